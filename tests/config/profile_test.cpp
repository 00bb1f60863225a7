// The same tricky files through the profile-string seam: our reader on Linux,
// GetPrivateProfileStringW under Wine. One table, one set of answers.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/profile.h"
#include "platform/text.h"
#include "support/test_support.h"

using testing_support::TempDir;

namespace {

std::vector<uint8_t> Ansi(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::vector<uint8_t> Utf16LeWithMark(const std::u16string& s) {
  std::vector<uint8_t> b = {0xFF, 0xFE};
  for (char16_t c : s) {
    b.push_back(static_cast<uint8_t>(c & 0xFF));
    b.push_back(static_cast<uint8_t>(c >> 8));
  }
  return b;
}

struct Case {
  const char* what;
  std::vector<uint8_t> file;
  const char16_t* section;
  const char16_t* key;
  std::u16string expected;
};

TEST(ProfileStrings, TrickyFilesGiveTheSameAnswersOnEveryPlatform) {
  const std::string long300(300, 'x');
  const std::vector<Case> cases = {
      {"names ignore case", Ansi("[uiString]\r\nids_text_cancel=Abort\r\n"), u"UISTRING", u"IDS_TEXT_CANCEL", u"Abort"},
      {"blanks around key and value", Ansi("[S]\r\n  \t key \t =  a  b \t \r\n"), u"S", u"key", u"a  b"},
      {"indented section", Ansi("   [S]   \r\nk=v\r\n"), u"S", u"k", u"v"},
      {"double quotes removed", Ansi("[S]\r\nk=\"  quoted  \"\r\n"), u"S", u"k", u"  quoted  "},
      {"single quotes removed", Ansi("[S]\r\nk='single'\r\n"), u"S", u"k", u"single"},
      {"only one pair removed", Ansi("[S]\r\nk=\"\"two\"\"\r\n"), u"S", u"k", u"\"two\""},
      {"unbalanced quote kept", Ansi("[S]\r\nk=\"open\r\n"), u"S", u"k", u"\"open"},
      {"mixed quotes kept", Ansi("[S]\r\nk=\"mixed'\r\n"), u"S", u"k", u"\"mixed'"},
      {"first key wins", Ansi("[S]\r\nk=first\r\nK=second\r\n"), u"S", u"k", u"first"},
      {"first section wins", Ansi("[S]\r\nk=one\r\n[s]\r\nk=two\r\n"), u"S", u"k", u"one"},
      {"other sections do not leak", Ansi("[A]\r\nk=a\r\n[S]\r\nj=s\r\n"), u"S", u"k", u"dflt"},
      {"missing section", Ansi("[A]\r\nk=a\r\n"), u"S", u"k", u"dflt"},
      {"missing key", Ansi("[S]\r\nj=a\r\n"), u"S", u"k", u"dflt"},
      {"empty value", Ansi("[S]\r\nk=\r\n"), u"S", u"k", u""},
      {"blank value", Ansi("[S]\r\nk=   \r\n"), u"S", u"k", u""},
      {"equals sign inside value", Ansi("[S]\r\nk=a=b\r\n"), u"S", u"k", u"a=b"},
      {"bare line feeds", Ansi("[S]\nj=1\nk=2\n"), u"S", u"k", u"2"},
      {"no final line break", Ansi("[S]\r\nk=end"), u"S", u"k", u"end"},
      {"300 characters cut to 259", Ansi("[S]\r\nk=" + long300 + "\r\n"), u"S", u"k", std::u16string(259, u'x')},
      {"empty file", Ansi(""), u"S", u"k", u"dflt"},
      {"utf-16le with mark",
       Utf16LeWithMark(u"[UISTRING]\r\nIDS_TEXT_CANCEL = Abbrechen \u00e9\u4e2d\r\n"), u"uistring",
       u"ids_text_cancel", u"Abbrechen \u00e9\u4e2d"},
      {"utf-16le 300 characters", Utf16LeWithMark(u"[S]\r\nk=" + std::u16string(300, u'\u00e9') + u"\r\n"),
       u"S", u"k", std::u16string(259, u'\u00e9')},
  };
  TempDir dir;
  int n = 0;
  for (const Case& c : cases) {
    const std::string name = "case" + std::to_string(n++) + ".ini";
    testing_support::WriteBytes(dir.path() / name, c.file);
    EXPECT_EQ(platform::WideToUtf8(platform::ReadProfileString(c.section, c.key, u"dflt", dir.Wide(name))),
              platform::WideToUtf8(c.expected))
        << c.what;
    // A string file carried inside the program is read from its bytes, and must
    // answer as the same file beside it does (under Wine: as the profile functions).
    const std::string_view bytes(reinterpret_cast<const char*>(c.file.data()), c.file.size());
    EXPECT_EQ(platform::WideToUtf8(platform::ReadProfileStringFromBytes(c.section, c.key, u"dflt", bytes)),
              platform::WideToUtf8(c.expected))
        << c.what << " (from bytes)";
  }
}

TEST(ProfileStrings, MissingFileGivesTheDefaultCutAndTrimmed) {
  TempDir dir;
  EXPECT_EQ(platform::ReadProfileString(u"S", u"k", u"fallback", dir.Wide("none.ini")), u"fallback");
  EXPECT_EQ(platform::ReadProfileString(u"S", u"k", u"fallback  ", dir.Wide("none.ini")), u"fallback");
  EXPECT_EQ(platform::ReadProfileString(u"S", u"k", std::u16string(300, u'd'), dir.Wide("none.ini")),
            std::u16string(259, u'd'));
}

// The names a vendor's file holds, for telling which of them the installer never
// reads: the same lists from our reader and from the Windows profile functions.
TEST(ProfileStrings, SectionAndKeyNamesInTheOrderWritten) {
  TempDir dir;
  testing_support::WriteBytes(dir.path() / "names.ini",
                              Ansi("; comment\r\n[UISTRING]\r\n IDS_A = 1\r\n;IDS_C=3\r\nIDS_B=\r\n\r\n"
                                   "[Other]\r\nx=1\r\n"));
  const auto sections = platform::ReadProfileSectionNames(dir.Wide("names.ini"));
  ASSERT_EQ(sections.size(), 2u);
  EXPECT_EQ(sections[0], u"UISTRING");
  EXPECT_EQ(sections[1], u"Other");
  const auto keys = platform::ReadProfileKeyNames(u"uistring", dir.Wide("names.ini"));
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0], u"IDS_A");
  EXPECT_EQ(keys[1], u"IDS_B");
  EXPECT_TRUE(platform::ReadProfileKeyNames(u"missing", dir.Wide("names.ini")).empty());
  EXPECT_TRUE(platform::ReadProfileSectionNames(dir.Wide("none.ini")).empty());
}

}  // namespace
