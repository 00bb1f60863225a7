// Adding elements and setting attributes: the text is the output and the index
// stays what a fresh parse of it would build.
#include "xml_test_util.h"

namespace {

TEST(XmlModify, AddToEmptyDocumentAndAtTheTopLevel) {
  CXmlDocument d;
  ASSERT_TRUE(d.AddElement(u"root"));
  EXPECT_EQ(N(d.GetDocumentText()), "<root/>");
  EXPECT_EQ(d.GetRecord(0).firstChild, 1u);
  EXPECT_EQ(d.GetRecord(1).offset, 0u);
  EXPECT_TRUE(IndexMatchesFreshParse(d));
  ASSERT_TRUE(d.AddElement(u"next"));
  EXPECT_EQ(N(d.GetDocumentText()), "<root/><next/>");
  EXPECT_TRUE(IndexMatchesFreshParse(d));
}

TEST(XmlModify, AddAfterMainAndAtTheEndOfALevel) {
  CXmlDocument d(u"<r>\n <a>x</a>\n <b/>\n</r><!-- tail -->");
  ASSERT_TRUE(d.FindElement(u"r"));
  ASSERT_TRUE(d.FindChildElement(u"a"));
  ASSERT_TRUE(d.EnterElement());
  EXPECT_EQ(d.GetMainPosition(), 2u);
  ASSERT_TRUE(d.AddElement(u"after_a"));
  EXPECT_TRUE(IndexMatchesFreshParse(d));
  EXPECT_EQ(N(d.GetDocumentText()), "<r>\n <a>x</a><after_a/>\n <b/>\n</r><!-- tail -->");
  // At the end of a level: a fresh level (main 0) appends before the parent's end tag.
  CXmlDocument e(d.GetDocumentText());
  ASSERT_TRUE(e.FindElement());
  ASSERT_TRUE(e.EnterElement());
  EXPECT_EQ(e.GetMainPosition(), 0u);
  ASSERT_TRUE(e.AddElement(u"last"));
  EXPECT_EQ(N(e.GetDocumentText()), "<r>\n <a>x</a><after_a/>\n <b/>\n<last/></r><!-- tail -->");
  EXPECT_TRUE(IndexMatchesFreshParse(e));
  EXPECT_EQ(N(e.GetData(2)), "x");
}

TEST(XmlModify, RefusesWhatWouldNotReadBack) {
  CXmlDocument d(u"<r><e/></r>");
  ASSERT_TRUE(d.FindElement());
  ASSERT_TRUE(d.FindChildElement());
  ASSERT_TRUE(d.EnterElement());
  ASSERT_TRUE(d.EnterElement());  // parent is the empty element e
  EXPECT_FALSE(d.AddElement(u"x"));  // e has no end tag to insert before
  ASSERT_TRUE(d.LeaveElement());
  for (const char16_t* bad : {u"", u"a b", u"a/", u"<a", u"a>", u"a=\"", u"1a"}) EXPECT_FALSE(d.AddElement(bad));
  EXPECT_EQ(N(d.GetDocumentText()), "<r><e/></r>");
  CXmlDocument open(u"<r/><!-- open");
  EXPECT_FALSE(open.AddElement(u"x"));  // would vanish into the comment
  EXPECT_FALSE(open.SetAttribute(u"a", u"b"));  // no main
}

TEST(XmlModify, SetNewAndExistingAttributes) {
  CXmlDocument d(u"<r><a/><b k='old' u=bare></b><c>text</c></r>");
  ASSERT_TRUE(d.FindElement());
  ASSERT_TRUE(d.EnterElement());
  ASSERT_TRUE(d.FindElement(u"a"));
  ASSERT_TRUE(d.SetAttribute(u"n", u"1"));
  EXPECT_EQ(N(d.GetDocumentText()), "<r><a n=\"1\"/><b k='old' u=bare></b><c>text</c></r>");
  EXPECT_TRUE(IndexMatchesFreshParse(d));
  ASSERT_TRUE(d.FindElement(u"b"));
  ASSERT_TRUE(d.SetAttribute(u"k", u"new value"));
  ASSERT_TRUE(d.SetAttribute(u"u", u""));
  EXPECT_EQ(N(d.GetDocumentText()), "<r><a n=\"1\"/><b k=\"new value\" u=\"\"></b><c>text</c></r>");
  EXPECT_TRUE(IndexMatchesFreshParse(d));
  ASSERT_TRUE(d.FindElement(u"c"));
  EXPECT_EQ(N(d.GetData()), "text");
  // Markup characters are escaped and read back as set.
  const std::u16string tricky = u"<&>'\"";
  ASSERT_TRUE(d.SetAttribute(u"t", tricky));
  EXPECT_NE(N(d.GetDocumentText()).find("t=\"&lt;&amp;&gt;&apos;&quot;\""), std::string::npos);
  EXPECT_EQ(d.GetAttribute(u"t"), tricky);
  EXPECT_TRUE(IndexMatchesFreshParse(d));
  EXPECT_FALSE(d.SetAttribute(u"bad name", u"x"));
  EXPECT_FALSE(d.SetAttribute(u"z", std::u16string(1, u'\0')));
}

TEST(XmlModify, AttributeOnParentMovesChildrenAndFollowers) {
  CXmlDocument d(u"<r><p><c1>one</c1><c2 x='y'>two</c2></p><q>three</q></r>");
  ASSERT_TRUE(d.FindElement());
  ASSERT_TRUE(d.FindChildElement(u"p"));
  ASSERT_TRUE(d.EnterElement());
  ASSERT_TRUE(d.SetAttribute(u"long", u"a fairly long value"));
  EXPECT_TRUE(IndexMatchesFreshParse(d));
  EXPECT_EQ(N(d.GetData(3)), "one");
  EXPECT_EQ(N(d.GetData(4)), "two");
  EXPECT_EQ(N(d.GetAttribute(4, u"x")), "y");
  EXPECT_EQ(N(d.GetData(5)), "three");
  ASSERT_TRUE(d.SetAttribute(u"long", u"s"));  // shrinking moves them back
  EXPECT_TRUE(IndexMatchesFreshParse(d));
  EXPECT_EQ(N(d.GetData(5)), "three");
}

TEST(XmlModify, ValuelessAttributeKeepsTheElementsShape) {
  CXmlDocument d(u"<r><a v/><b>t</b></r>");
  ASSERT_TRUE(d.FindElement());
  ASSERT_TRUE(d.FindChildElement(u"a"));
  ASSERT_TRUE(d.EnterElement());
  // "<a v/>" is no empty element; adding after "v" would make it one.
  EXPECT_FALSE(d.SetAttribute(u"w", u"1"));
  EXPECT_EQ(N(d.GetDocumentText()), "<r><a v/><b>t</b></r>");
  EXPECT_TRUE(IndexMatchesFreshParse(d));
}

TEST(XmlModify, ManyAdditionsAcrossIndexGrowth) {
  CXmlDocument d(u"<r></r>");
  ASSERT_TRUE(d.FindElement());
  ASSERT_TRUE(d.EnterElement());
  for (int i = 0; i < 70000; ++i) ASSERT_TRUE(d.AddElement(u"e"));
  EXPECT_EQ(d.GetRecordCount(), 70002u);
  EXPECT_TRUE(IndexMatchesFreshParse(d));
}

}  // namespace
