// LoadFile over files in every encoding the loader recognises, written here; each
// case checks the text and the exact result text, and that LoadBytes agrees.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/system.h"
#include "platform/text.h"
#include "support/test_support.h"
#include "xml/xml_document.h"
#include "xml/xml_markup.h"

namespace {

using testing_support::TempDir;

std::string U8(const std::u16string& s) { return platform::WideToUtf8(s); }

struct Loaded {
  bool ok;
  std::u16string text;
  std::u16string results;
};

class LoadCorpus : public ::testing::Test {
 protected:
  Loaded Load(const std::string& bytes) {
    std::filesystem::path p = dir_.path() / ("f" + std::to_string(++count_) + ".xml");
    testing_support::WriteBytes(p, std::vector<uint8_t>(bytes.begin(), bytes.end()));
    CXmlDocument doc;
    bool ok = doc.LoadFile(dir_.Wide(p.filename().string()));
    // The same bytes from memory (a configuration carried inside the program) must
    // load exactly alike: every case of the corpus checks both ways.
    CXmlDocument fromBytes;
    EXPECT_EQ(fromBytes.LoadBytes(bytes.data(), bytes.size()), ok);
    EXPECT_EQ(fromBytes.GetDocumentText(), doc.GetDocumentText());
    EXPECT_EQ(U8(fromBytes.GetResultText()), U8(doc.GetResultText()));
    EXPECT_EQ(fromBytes.GetRecordCount(), doc.GetRecordCount());
    return {ok, doc.GetDocumentText(), doc.GetResultText()};
  }
  TempDir dir_;
  int count_ = 0;
};

std::string Utf16(const std::u16string& s, bool bigEndian) {
  std::string out;
  for (char16_t c : s) {
    char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
    out += bigEndian ? hi : lo;
    out += bigEndian ? lo : hi;
  }
  return out;
}

TEST_F(LoadCorpus, ByteOrderMarks) {
  Loaded u8 = Load("\xEF\xBB\xBF<a>\xC3\xA9</a>");
  EXPECT_TRUE(u8.ok);
  EXPECT_EQ(u8.text, u"<a>\u00E9</a>");
  EXPECT_EQ(U8(u8.results), R"(<bom/><read encoding="UTF-8" length="9"/><converted_to encoding="UTF-16" length="8"/>)");

  // An odd last byte is dropped; UTF-16 is taken as read, without a conversion.
  Loaded le = Load("\xFF\xFE" + Utf16(u"<a>\u20AC</a>", false) + "A");
  EXPECT_TRUE(le.ok);
  EXPECT_EQ(le.text, u"<a>\u20AC</a>");
  EXPECT_EQ(U8(le.results), R"(<bom/><read encoding="UTF-16LE" length="8"/>)");

  Loaded be = Load("\xFE\xFF" + Utf16(u"<a>\u20AC\U0001D11E</a>", true));
  EXPECT_TRUE(be.ok);
  EXPECT_EQ(be.text, u"<a>\u20AC\U0001D11E</a>");
  EXPECT_EQ(U8(be.results), R"(<bom/><read encoding="UTF-16BE" length="10"/><endian_swap/>)");

  Loaded onlyMark = Load("\xEF\xBB\xBF");
  EXPECT_FALSE(onlyMark.ok);
  EXPECT_EQ(onlyMark.text, u"");
  EXPECT_EQ(U8(onlyMark.results), R"(<bom/><read encoding="UTF-8" length="0"/>)");

  Loaded onlyLeMark = Load("\xFF\xFE");
  EXPECT_FALSE(onlyLeMark.ok);
  EXPECT_EQ(U8(onlyLeMark.results), R"(<bom/><read encoding="UTF-16LE" length="0"/>)");
}

TEST_F(LoadCorpus, DeclaredEncodings) {
  const std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>caf\xE9</a>";
  Loaded l1 = Load(latin1);
  EXPECT_TRUE(l1.ok);
  EXPECT_EQ(l1.text, u"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>caf\u00E9</a>");
  EXPECT_EQ(U8(l1.results), R"(<read encoding="ISO-8859-1" length="54"/><converted_to encoding="UTF-16" length="54"/>)");

  Loaded w1252 = Load("<?xml version=\"1.0\" encoding=\"windows-1252\"?><a>\x80\x9C</a>");
  EXPECT_TRUE(w1252.ok);
  EXPECT_EQ(w1252.text, u"<?xml version=\"1.0\" encoding=\"windows-1252\"?><a>\u20AC\u0153</a>");
  EXPECT_EQ(U8(w1252.results),
            R"(<read encoding="windows-1252" length="54"/><converted_to encoding="UTF-16" length="54"/>)");

  // After a blank line the declaration is not sniffed: valid UTF-8 is detected.
  Loaded late = Load("\n<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>caf\xC3\xA9</a>");
  EXPECT_EQ(late.text, u"\n<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>caf\u00E9</a>");
  EXPECT_EQ(U8(late.results),
            R"(<read encoding="UTF-8" length="56"/><utf8_detection/><converted_to encoding="UTF-16" length="55"/>)");

  // An HTML meta tag in capitals with an unquoted content type.
  Loaded html = Load("<HTML><HEAD><META HTTP-EQUIV=Content-Type CONTENT=text/html;charset=windows-1252 />"
                     "</HEAD><BODY>\x80</BODY></HTML>");
  EXPECT_TRUE(html.ok) << U8(html.results);
  EXPECT_NE(html.text.find(u"<BODY>\u20AC</BODY>"), std::u16string::npos);
  EXPECT_EQ(U8(html.results),
            R"(<read encoding="windows-1252" length="111"/><converted_to encoding="UTF-16" length="111"/>)");
}

TEST_F(LoadCorpus, Utf32Names) {
  // The table's utf-32 (12000) converts to nothing; only "UTF-32" is the library's.
  const std::string lower = "<?xml version=\"1.0\" encoding=\"utf-32\"?><a/>";
  Loaded l = Load(lower);
  EXPECT_FALSE(l.ok);
  EXPECT_EQ(l.text, u"");
  EXPECT_EQ(U8(l.results), R"(<read encoding="utf-32" length="43"/><converted_to encoding="UTF-16" length="0"/>)");

  // ASCII read four bytes at a time gives code points above the BMP: two units
  // per group, the three trailing bytes ignored.
  const std::string upper = "<?xml version=\"1.0\" encoding=\"UTF-32\"?><a/>";
  Loaded u = Load(upper);
  EXPECT_FALSE(u.ok);
  EXPECT_EQ(u.text.size(), 2 * (upper.size() / 4));
  EXPECT_EQ(u.text[0], 0xD800 | (((0x6D783F3Cu - 0x10000) >> 10) & 0x3FF));
  EXPECT_EQ(U8(u.results).rfind(R"(<read encoding="UTF-32" length="43"/><converted_to encoding="UTF-16" length="20"/>)", 0),
            0u);
}

TEST_F(LoadCorpus, DetectionAndUnmarkedUtf16) {
  // UTF-16LE without a mark: the sniffer stops at the first zero, "<" makes it UTF-8,
  // and the zero bytes go.
  Loaded le = Load(Utf16(u"<a>hi</a>", false));
  EXPECT_TRUE(le.ok);
  EXPECT_EQ(le.text, u"<a>hi</a>");
  EXPECT_EQ(U8(le.results),
            R"(<read encoding="UTF-8" length="18"/><nulls_removed count="9"/><converted_to encoding="UTF-16" length="9"/>)");

  // Invalid UTF-8 without a declaration: detection fails and the ANSI code page
  // takes it (ASCII here, so that every ANSI code page reads it alike).
  Loaded bad = Load("text \xC3( more");
  EXPECT_FALSE(bad.ok);
  EXPECT_EQ(bad.text.size(), 12u);
  EXPECT_EQ(bad.text.substr(0, 5), u"text ");
  EXPECT_EQ(bad.text.substr(6), u"( more");
  EXPECT_EQ(U8(bad.results), R"(<read encoding="" length="12"/><utf8_detection/>)"
                             R"(<converted_to encoding="UTF-16" length="12"/><no_root_element/>)");

  // Starting with "<", bytes are taken as UTF-8 without detection.
  Loaded lt = Load("<a>\xE9</a>");
  EXPECT_TRUE(lt.ok);
  EXPECT_EQ(lt.text.size(), 8u);
  EXPECT_EQ(U8(lt.results), R"(<read encoding="UTF-8" length="8"/><converted_to encoding="UTF-16" length="8"/>)");

  Loaded empty = Load("");
  EXPECT_FALSE(empty.ok);
  EXPECT_EQ(empty.text, u"");
  EXPECT_EQ(U8(empty.results), R"(<read encoding="" length="0"/>)");

  // Zero bytes only: nothing is left to convert.
  Loaded zeros = Load(std::string(4, '\0'));
  EXPECT_FALSE(zeros.ok);
  EXPECT_EQ(U8(zeros.results), R"(<read encoding="UTF-8" length="4"/><nulls_removed count="4"/><utf8_detection/>)"
                               R"(<converted_to encoding="UTF-16" length="0"/>)");
}

TEST_F(LoadCorpus, FileErrorsLeaveAnEmptyDocument) {
  CXmlDocument doc;
  std::filesystem::path good = dir_.path() / "good.xml";
  testing_support::WriteText(good, "<a><b/></a>");
  ASSERT_TRUE(doc.LoadFile(dir_.Wide("good.xml")));
  ASSERT_GT(doc.GetRecordCount(), 1u);

  EXPECT_FALSE(doc.LoadFile(dir_.Wide("missing.xml")));
  std::u16string expected;
  xml::AddResult(expected, u"file_error", u"msg", platform::ErrorMessage(2), u"n", 2);
  EXPECT_EQ(U8(doc.GetResultText()), U8(expected));
  EXPECT_EQ(platform::ErrorMessage(2).find_first_of(u"\r\n"), std::u16string::npos);
  EXPECT_FALSE(platform::ErrorMessage(2).empty());
  EXPECT_EQ(doc.GetDocumentText(), u"");
  EXPECT_LE(doc.GetRecordCount(), 1u);
  EXPECT_FALSE(doc.FindElement(u"a"));

  // A folder opens on some systems and not on others, but never loads.
  EXPECT_FALSE(doc.LoadFile(dir_.Wide()));
  EXPECT_EQ(U8(doc.GetResultText()).rfind("<file_error msg=", 0), 0u);
  EXPECT_EQ(doc.GetDocumentText(), u"");
}

TEST_F(LoadCorpus, FilesOfTwoGibibytesAreRefused) {
  std::filesystem::path big = dir_.path() / "big.xml";
  testing_support::WriteText(big, "<a/>");
  std::error_code ec;
  std::filesystem::resize_file(big, uint64_t{1} << 31, ec);
  if (ec) GTEST_SKIP() << "no sparse file of 2 GiB here: " << ec.message();
  CXmlDocument doc;
  EXPECT_FALSE(doc.LoadFile(dir_.Wide("big.xml")));
  EXPECT_EQ(U8(doc.GetResultText()).rfind("<file_error msg=", 0), 0u) << U8(doc.GetResultText());
  EXPECT_EQ(doc.GetDocumentText(), u"");
  std::filesystem::remove(big, ec);
}

TEST_F(LoadCorpus, PathsBeyondAscii) {
  std::u16string name = u"d\u00E9j\u00E0-\u65E5\u672C.xml";
  std::filesystem::path p = dir_.path() / std::filesystem::u8path(platform::WideToUtf8(name));
  testing_support::WriteText(p, "<a/>");
  CXmlDocument doc;
  EXPECT_TRUE(doc.LoadFile(dir_.Wide() + u"/" + name)) << U8(doc.GetResultText());
}

}  // namespace
