// The parse's quick reading against the full scanner: for any text both must give
// the same records, result text, positions and document text.
#include <cstdlib>

#include "xml/xml_markup.h"
#include "xml_test_util.h"

namespace {

// ZARN_XML_FULL_SCANNER=1 in the environment runs every test of this program with
// every node through the full scanner (a second CTest entry does so).
class FullScannerFromEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    const char* v = std::getenv("ZARN_XML_FULL_SCANNER");
    if (v && *v == '1') xml::SetFullScannerOnly(true);
  }
};
::testing::Environment* const kFullScannerEnvironment =
    ::testing::AddGlobalTestEnvironment(new FullScannerFromEnvironment);

::testing::AssertionResult SameBothWays(const std::u16string& text) {
  const std::string difference = ScannerDifference(text);
  if (difference.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << difference << " for " << N(text);
}

TEST(XmlQuickScan, TagsAtTheEdgeOfWhatIsReadQuickly) {
  const char* const cases[] = {
      "<a b=\"1\" c='2'/>", "<a b = \"1\">x</a>", "<a b=c>x</a>", "<a b==\"1\">x</a>", "<a b=>x</a>",
      "<a b/>",  "<a/b/>", "<a b=\"1\"/ >", "<a b=\"1\"c=\"2\"/>", "<a \"b\"=\"1\"/>", "<a= \"x\">y</a=>",
      "<a b=\"x>y\" c='<'/>", "<a b=\"x", "<a b='x\"/>", "<a b=\"1\" =\"2\"/>", "<a\tb\n=\r'1'/>",
      "<a></a >", "<a></a/>", "<a></ab>", "<ab></a>", "<a></A>", "<a><b></a>", "<a></a", "</a>",
      "<a[1]></a>", "<a x='1'></a[1]>", "<a>t>u</a>", "<a>>></a>", "< a/>", "<a", "<", "<a/",
      "<a/><!-- <b> --><![CDATA[</a>]]><?pi <x>?><!DOCTYPE d [<!ELEMENT e \">\">]><c/>",
      "<\xe4\xb8\xad \xe4\xb8\xad='\xe4\xb8\xad'></\xe4\xb8\xad>", "<_a/><:b/><Z/><~/><{/>", "<a>&lt;</a>",
  };
  for (const char* text : cases) EXPECT_TRUE(SameBothWays(U(text)));
  // Surrogates, lone and paired, and the units around the classes' 64-bit masks.
  std::u16string odd = u"<a b='\xD800'>\xDC00<\xD800\xDC00/>";
  for (char16_t ch : {char16_t(63), char16_t(64), char16_t(0x7F), char16_t(0xFFFF)}) {
    odd += u"<x";
    odd += ch;
    odd += u" y";
    odd += ch;
    odd += u"='1'/>";
  }
  odd += u"</a>";
  EXPECT_TRUE(SameBothWays(odd));
}

TEST(XmlQuickScan, EveryCutAndEveryDeletionOfADocument) {
  const std::u16string doc =
      u"<?xml version=\"1.0\"?>\n<config a='1'>\n  <link os=\"win7\" bits=\"64\">http://x/y.exe</link>\n"
      u"  <e/><f x=\"1\"/>\n  <key>S\\V</key><!-- c --></config>\n";
  for (size_t n = 0; n <= doc.size(); ++n) EXPECT_TRUE(SameBothWays(doc.substr(0, n)));
  for (size_t i = 0; i < doc.size(); ++i) EXPECT_TRUE(SameBothWays(doc.substr(0, i) + doc.substr(i + 1)));
}

TEST(XmlQuickScan, SearchesEndingAtEveryPlaceOfABlock) {
  // The quote, the "<" after text and the end of the text fall on every unit of
  // the eight-unit blocks, and past the last whole block.
  for (size_t k = 0; k < 40; ++k) {
    const std::u16string run(k, u'v');
    EXPECT_TRUE(SameBothWays(u"<a b='" + run + u"'>" + run + u"</a>"));
    EXPECT_TRUE(SameBothWays(u"<a b='" + run));
    EXPECT_TRUE(SameBothWays(u"<a>" + run));
    EXPECT_TRUE(SameBothWays(u"<a b='" + run + u"'/" + run));
  }
}

TEST(XmlQuickScan, TextEndsAtItsFirstZeroWhereverItFalls) {
  for (size_t at = 0; at < 40; ++at) {
    std::u16string text = u"<a>";
    while (text.size() < 48) text += u"<b x='1'/>";
    text.resize(48);
    text += u"</a>";
    text[at] = 0;
    CXmlDocument doc(text);
    EXPECT_EQ(doc.GetDocumentText(), text.substr(0, at));
    EXPECT_TRUE(SameBothWays(text));
  }
}

TEST(XmlQuickScan, DeepNestingManyRecordsAndLimits) {
  std::u16string deep;
  for (int i = 0; i < 300; ++i) deep += (i % 3 ? u"<d>" : u"<e x='1'>");
  for (int i = 0; i < 150; ++i) deep += u"</d>";
  EXPECT_TRUE(SameBothWays(deep));
  EXPECT_TRUE(SameBothWays(deep + u"</e>"));

  // Records across page ends and the index's growth steps.
  std::u16string many = u"<r>";
  for (int i = 0; i < 140000; ++i) many += (i % 5 ? u"<e/>" : u"<f a='1'>t</f>");
  many += u"</r>";
  CXmlDocument quick, full;
  EXPECT_EQ(ScannerDifference(many, quick, full), "");
  EXPECT_EQ(quick.GetRecordCount(), 140002u);

  // A start tag too long for its field and an end tag too long for its own.
  const std::u16string longName(1030, u'n');
  std::u16string limits = u"<r><" + longName + u"></" + longName + u"><s v='" +
                          std::u16string(ElementRecord::kStartTagMax, u'v') + u"'/></r>";
  EXPECT_EQ(ScannerDifference(limits, quick, full), "");
  const std::string results = N(quick.GetResultText());
  EXPECT_NE(results.find("limit_exceeded type=\"end_tag\""), std::string::npos);
  EXPECT_NE(results.find("limit_exceeded type=\"start_tag\""), std::string::npos);
}

TEST(XmlQuickScan, RandomDocumentsFromMarkupPieces) {
  const char16_t* const pieces[] = {u"<a",  u"<b",  u"<",   u">",  u"/>",  u"</a>", u"</b", u"</",  u" x='",
                                    u"\"",  u"'",   u"=",   u" ",  u"\n",  u"text", u"<!--", u"-->", u"<?p",
                                    u"?>",  u"&",   u"\xD800", u"\x3F", u"<c y=\"1\"/>", u"<![CDATA[", u"]]>"};
  const size_t kinds = sizeof pieces / sizeof pieces[0];
  uint32_t seed = 12345;
  auto next = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return seed >> 16;
  };
  for (int round = 0; round < 3000; ++round) {
    std::u16string text;
    const uint32_t count = next() % 40;
    for (uint32_t i = 0; i < count; ++i) text += pieces[next() % kinds];
    ASSERT_TRUE(SameBothWays(text)) << "round " << round;
  }
}

}  // namespace
