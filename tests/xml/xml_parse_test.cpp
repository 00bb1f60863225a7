// Tokenizer, result text and the element index built by a parse.
#include "xml/xml_markup.h"
#include "xml_test_util.h"

namespace {

std::string Results(const char* text) {
  CXmlDocument doc(U(text));
  return N(doc.GetResultText());
}

TEST(XmlResultText, EntriesKeepAttributeOrderAndEscapeValues) {
  std::u16string r;
  xml::AddResult(r, u"read", u"encoding", u"a\"<&'>", u"length", 12);
  EXPECT_EQ(N(r), "<read encoding=\"a&quot;&lt;&amp;&apos;&gt;\" length=\"12\"/>");
  xml::AddResult(r, u"lone_end_tag", u"tagname", u"b", u"offset", -1);
  xml::AddResult(r, u"unended_start_tag", u"tagname", u"c", u"offset", 3, 9);
  EXPECT_EQ(N(r), "<read encoding=\"a&quot;&lt;&amp;&apos;&gt;\" length=\"12\"/><lone_end_tag tagname=\"b\"/>"
                  "<unended_start_tag tagname=\"c\" offset=\"3\" offset2=\"9\"/>");
  // Update mode edits the first entry of that name in place; absent names change nothing.
  xml::AddResult(r, u"read", u"encoding", u"UTF-8", nullptr, 0, -1, true);
  xml::AddResult(r, u"missing", u"type", u"x", nullptr, 0, -1, true);
  EXPECT_EQ(N(r).substr(0, 36), "<read encoding=\"UTF-8\" length=\"12\"/>");
}

TEST(XmlResultText, StopsGrowingAtOneThousandCharacters) {
  std::u16string r;
  while (r.size() < 1000) xml::AddResult(r, u"bom", nullptr, {}, nullptr, 0);
  size_t full = r.size();
  xml::AddResult(r, u"bom", nullptr, {}, nullptr, 0);
  EXPECT_EQ(r.size(), full);
  // A document with many faults keeps a bounded result text.
  std::string many;
  for (int i = 0; i < 500; ++i) many += "</x>";
  EXPECT_LT(Results(("<r>" + many + "</r>").c_str()).size(), 1100u);
}

TEST(XmlScanner, NodeKindsAndTheirFaults) {
  struct Case { const char* text; int32_t type; int32_t length; const char* results; } cases[] = {
      {"<a b='>'>", xml::kNodeStartTag, 9, ""},
      {"<a />", xml::kNodeStartTag, 5, ""},
      {"</a >", xml::kNodeEndTag, 5, ""},
      {"<?pi x?>", xml::kNodeProcessing, 8, ""},
      {"<!-->", xml::kNodeComment, 5, ""},
      {"<!-- x -->", xml::kNodeComment, 10, ""},
      {"<![CDATA[<x>]]>", xml::kNodeCData, 15, ""},
      {"<!DOCTYPE d [<!ELEMENT e \">\"><!-- > --><!X>]>", xml::kNodeDocType, 45,
       "<doctype_tag_syntax offset=\"0\"/>"},
      {" \t\r\n", xml::kNodeWhitespace, 4, ""},
      {"ab>cd", xml::kNodeText, 3, ""},
      {">ab<", xml::kNodeText, 3, ""},
      {"< a>", xml::kNodeMalformed, 4, "<first_tag_syntax offset=\"0\"/>"},
      {"<!x>", xml::kNodeMalformed, 4, "<exclamation_tag_syntax offset=\"0\"/>"},
      {"<!-x>", xml::kNodeMalformed, 5, "<comment_tag_syntax offset=\"0\"/>"},
      {"<![x<b>", xml::kNodeMalformed, 4, "<cdata_section_syntax offset=\"0\"/>"},
      {"<a", xml::kNodeMalformed, 2, "<unterminated_tag_syntax type=\"start_tag\" offset=\"0\"/>"},
      {"</a", xml::kNodeMalformed, 3, "<unterminated_tag_syntax type=\"end_tag\" offset=\"0\"/>"},
      {"<!-- ", xml::kNodeMalformed, 5, "<unterminated_tag_syntax type=\"comment\" offset=\"0\"/>"},
      {"<![CDATA[", xml::kNodeMalformed, 9, "<unterminated_tag_syntax type=\"cdata_section\" offset=\"0\"/>"},
      {"<?x", xml::kNodeMalformed, 3, "<unterminated_tag_syntax type=\"processing_instruction\" offset=\"0\"/>"},
      {"<!DOCTYPE", xml::kNodeMalformed, 9, "<unterminated_tag_syntax type=\"document_type\" offset=\"0\"/>"},
      {"<", xml::kNodeMalformed, 1, "<unterminated_tag_syntax type=\"tag\" offset=\"0\"/>"},
      {"<!q", xml::kNodeMalformed, 3,
       "<exclamation_tag_syntax offset=\"0\"/><unterminated_tag_syntax type=\"tag\" offset=\"0\"/>"},
  };
  for (const Case& k : cases) {
    std::u16string text = U(k.text);
    xml::TokenCursor c(text.c_str());
    xml::XmlNode node;
    EXPECT_EQ(xml::ScanNode(c, node), k.type) << k.text;
    EXPECT_EQ(node.length, k.length) << k.text;
    EXPECT_EQ(c.next, k.length) << k.text;
    EXPECT_EQ(N(node.results), k.results) << k.text;
  }
}

TEST(XmlScanner, EmptyElementNeedsNameBlankOrQuoteBeforeSlash) {
  const char* empty[] = {"<a/>", "<a />", "<a b=\"c\"/>", "<a b='c'/>"};
  const char* notEmpty[] = {"<a b/>", "<a b=c/>", "<a>"};
  for (const char* s : empty) {
    std::u16string t = U(s);
    xml::TokenCursor c(t.c_str());
    xml::XmlNode node;
    EXPECT_EQ(xml::ScanNode(c, node), xml::kNodeStartTag);
    EXPECT_TRUE(node.empty) << s;
    EXPECT_EQ(N(c.Token()), "a");
  }
  for (const char* s : notEmpty) {
    std::u16string t = U(s);
    xml::TokenCursor c(t.c_str());
    xml::XmlNode node;
    xml::ScanNode(c, node);
    EXPECT_FALSE(node.empty) << s;
  }
}

TEST(XmlScanner, MatchNameAcceptsPathContinuationsAndFoldsCaseUntilNonAscii) {
  std::u16string t = u"item";
  xml::TokenCursor c(t.c_str());
  ASSERT_TRUE(xml::ReadToken(c));
  EXPECT_TRUE(xml::MatchName(c, u"item"));
  EXPECT_TRUE(xml::MatchName(c, u"item[2]"));
  EXPECT_TRUE(xml::MatchName(c, u"item/x"));
  EXPECT_FALSE(xml::MatchName(c, u"items"));
  EXPECT_FALSE(xml::MatchName(c, u"ITEM"));
  c.ignoreCase = true;
  EXPECT_TRUE(xml::MatchName(c, u"ITEM"));
  std::u16string u2 = u"\u00e9A";
  xml::TokenCursor d(u2.c_str(), 0, true);
  ASSERT_TRUE(xml::ReadToken(d));
  EXPECT_FALSE(xml::MatchName(d, u"\u00e9a"));  // after a non-ASCII match, case counts
}

TEST(XmlParse, EmptyTextNoRootAndTwoRoots) {
  CXmlDocument empty;
  EXPECT_FALSE(empty.ParseDocument());
  EXPECT_EQ(empty.GetRecordCount(), 1u);
  EXPECT_TRUE(empty.GetResultText().empty());

  CXmlDocument text(u"just text");
  EXPECT_EQ(N(text.GetResultText()), "<no_root_element/>");

  CXmlDocument two;
  EXPECT_FALSE(two.SetDocument(u"<a/><b/>"));
  EXPECT_EQ(N(two.GetResultText()), "<root_has_sibling/>");
  EXPECT_EQ(two.GetRecordCount(), 3u);
  EXPECT_EQ(two.GetRecord(0).firstChild, 1u);
  EXPECT_EQ(two.GetRecord(1).nextSibling, 2u);

  CXmlDocument good;
  EXPECT_TRUE(good.SetDocument(u"<?xml version=\"1.0\"?><!DOCTYPE r><r a='1'><!--c--><b>t</b></r>"));
  EXPECT_TRUE(good.GetResultText().empty());
}

TEST(XmlParse, RecordsDescribeTagsAndLinks) {
  CXmlDocument doc(u"<r><a>x</a><b/><c></c></r>");
  ASSERT_EQ(doc.GetRecordCount(), 5u);
  const ElementRecord& r = doc.GetRecord(1);
  EXPECT_EQ(r.offset, 0u);
  EXPECT_EQ(r.length, 26u);
  EXPECT_EQ(r.StartTagLength(), 3u);
  EXPECT_EQ(r.EndTagLength(), 4u);
  EXPECT_EQ(r.firstChild, 2u);
  const ElementRecord& a = doc.GetRecord(2);
  EXPECT_EQ(a.flags, 1u | ElementRecord::kFirstChild);
  EXPECT_EQ(a.prevSibling, 4u);  // a first child names the last child
  EXPECT_EQ(a.nextSibling, 3u);
  EXPECT_EQ(doc.GetRecord(3).length, 4u);
  EXPECT_EQ(doc.GetRecord(3).EndTagLength(), 0u);
  EXPECT_EQ(doc.GetRecord(4).prevSibling, 3u);
  EXPECT_EQ(doc.GetRecord(4).nextSibling, 0u);
  EXPECT_EQ(doc.GetRecord(0).length, 26u);
}

TEST(XmlParse, LenientStructure) {
  // A lone end tag is noted and ignored; an end tag with a blank after "</" names nothing.
  EXPECT_EQ(Results("<r></x></ r></r>"),
            "<lone_end_tag tagname=\"x\" offset=\"3\"/><lone_end_tag tagname=\"\" offset=\"7\"/>");

  // A child left open is closed at its start tag; its children become its siblings.
  CXmlDocument doc(u"<r><c><g/><h/></r>");
  EXPECT_EQ(N(doc.GetResultText()), "<unended_start_tag tagname=\"c\" offset=\"3\" offset2=\"15\"/>");
  ASSERT_EQ(doc.GetRecordCount(), 5u);
  const ElementRecord& c = doc.GetRecord(2);
  EXPECT_TRUE(c.flags & ElementRecord::kUnended);
  EXPECT_EQ(c.length, 3u);
  EXPECT_EQ(c.firstChild, 0u);
  EXPECT_EQ(c.nextSibling, 3u);
  EXPECT_EQ(doc.GetRecord(3).parent, 1u);
  EXPECT_FALSE(doc.GetRecord(3).flags & ElementRecord::kFirstChild);
  EXPECT_EQ(doc.GetRecord(4).parent, 1u);
  EXPECT_EQ(doc.GetRecord(2).prevSibling, 4u);  // r's last-child link
  EXPECT_EQ(doc.GetRecord(1).length, 18u);      // r still closed by its end tag
  EXPECT_TRUE(doc.GetRecord(0).flags & ElementRecord::kNotWellFormed);

  // Open at the end of the text: offset2 is the text length.
  EXPECT_EQ(Results("<r><a>"), "<unended_start_tag tagname=\"a\" offset=\"3\" offset2=\"6\"/>"
                               "<unended_start_tag tagname=\"r\" offset=\"0\" offset2=\"6\"/><root_has_sibling/>");
  // Malformed markup reaches the result text with doctype faults seen before it.
  EXPECT_EQ(Results("<!DOCTYPE x [<!Q>]><r>< x</r>"),
            "<doctype_tag_syntax offset=\"0\"/><first_tag_syntax offset=\"22\"/>");
  EXPECT_EQ(Results("<!DOCTYPE x [<!Q>]><r/>"), "");
}

TEST(XmlParse, FieldOverflowLeavesAConsistentIndex) {
  std::u16string longEnd = u"<r><a></a" + std::u16string(1100, u' ') + u"></r>";
  CXmlDocument doc(longEnd);
  EXPECT_NE(N(doc.GetResultText()).find("<limit_exceeded type=\"end_tag\" offset=\"6\"/>"), std::string::npos);
  EXPECT_TRUE(doc.GetRecord(0).flags & ElementRecord::kNotWellFormed);
  EXPECT_EQ(doc.GetRecord(2).EndTagLength(), 0u);
  EXPECT_EQ(doc.GetRecord(1).EndTagLength(), 4u);

  std::u16string longStart = u"<r><a" + std::u16string(ElementRecord::kStartTagMax, u' ') + u"/></r>";
  CXmlDocument big(longStart);
  EXPECT_EQ(big.GetRecordCount(), 2u);
  EXPECT_NE(N(big.GetResultText()).find("limit_exceeded type=\"start_tag\""), std::string::npos);

  std::u16string deep;
  for (int i = 0; i < 65537; ++i) deep += u"<d>";
  for (int i = 0; i < 65537; ++i) deep += u"</d>";
  CXmlDocument nest(deep);
  EXPECT_EQ(nest.GetRecordCount(), 65537u);
  EXPECT_NE(N(nest.GetResultText()).find("limit_exceeded type=\"nesting\""), std::string::npos);
  EXPECT_EQ(nest.GetRecord(65536).Level(), 65535u);
  EXPECT_EQ(nest.GetRecord(65536).EndTagLength(), 4u);
  EXPECT_NE(N(nest.GetResultText()).find("lone_end_tag"), std::string::npos);

  // Left open, the same nesting ends as one flat level, in linear time.
  CXmlDocument flat(deep.substr(0, 60000 * 3));
  ASSERT_EQ(flat.GetRecordCount(), 60001u);
  EXPECT_EQ(flat.GetRecord(60000).parent, 0u);
  EXPECT_EQ(flat.GetRecord(59999).nextSibling, 60000u);
  EXPECT_EQ(flat.GetRecord(1).prevSibling, 60000u);
  EXPECT_TRUE(IndexMatchesFreshParse(flat, true));
}

TEST(XmlParse, PagedIndexBeyondOnePage) {
  std::u16string text = u"<r>";
  for (int i = 0; i < 70000; ++i) text += (i == 69999 ? u"<last v='1'/>" : u"<e/>");
  text += u"</r>";
  CXmlDocument doc(text);  // sized from the text, then grown while parsing
  ASSERT_EQ(doc.GetRecordCount(), 70002u);
  EXPECT_GE(doc.GetIndex().Capacity(), 70002u);
  EXPECT_EQ(doc.GetRecord(70001).offset, 3u + 69999u * 4u);
  EXPECT_EQ(doc.GetRecord(70000).nextSibling, 70001u);
  EXPECT_EQ(doc.GetRecord(2).prevSibling, 70001u);
  ASSERT_TRUE(doc.FindElement(u"r"));
  ASSERT_TRUE(doc.FindChildElement(u"last"));
  ASSERT_TRUE(doc.EnterElement());
  ASSERT_TRUE(doc.LeaveElement());
  EXPECT_EQ(doc.GetChildPosition(), 70001u);
}

TEST(XmlIndex, GrowthAddsAtMostOnePageAndKeepsRecords) {
  ElementIndex index;
  index.Grow(10, 0);
  EXPECT_EQ(index.Capacity(), 10u);
  for (uint32_t i = 0; i < 10; ++i) index[i].offset = i;
  index.Grow(300000, 10);  // capped at the end of the second page
  EXPECT_EQ(index.Capacity(), 2u * 65536u);
  for (uint32_t i = 0; i < 10; ++i) EXPECT_EQ(index[i].offset, i);
  index[131071].offset = 7;
  index.Grow(131072 + 5, 131072);
  EXPECT_EQ(index.Capacity(), 131077u);
  EXPECT_EQ(index[131071].offset, 7u);
  index[131076].offset = 9;
  index.Grow(131072 + 100, 131077);  // within the last page: the page is replaced
  EXPECT_EQ(index[131071].offset, 7u);
  EXPECT_EQ(index[131076].offset, 9u);
  EXPECT_EQ(index.Capacity(), 131172u);
  // Small steps within the last page, some inside the room already allocated for
  // it and some past it, keep every record written so far.
  for (uint32_t cap = 131172; cap < 131072 + 3000; cap += 37) {
    index[cap - 1].offset = cap;
    index.Grow(cap + 37, cap);
    ASSERT_EQ(index.Capacity(), cap + 37);
    for (uint32_t k = 131172; k <= cap; k += 37) ASSERT_EQ(index[k - 1].offset, k) << cap;
  }
}

}  // namespace
