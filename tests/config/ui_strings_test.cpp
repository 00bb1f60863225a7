#include <gtest/gtest.h>

#include "config/ui_strings.h"
#include "platform/text.h"
#include "support/test_support.h"

using testing_support::TempDir;
using testing_support::WriteText;

namespace {

TEST(UiStrings, WithoutTheFileEveryTextIsItsDefault) {
  TempDir dir;
  const std::u16string missing = dir.Wide("ZarnWebInstallerString.ini");
  const char16_t* expected[kUiStringCount] = {
      u"Cancel", u"Problems downloading?", u"http://www.zarnsoft.example/download-help",
      u"Initializing...", u"Downloading...", u"Download completed.", u"Cancelling...",
      u"Download cancelled.", u"Download failed.", u"Cleaning up temp files...",
      u"Preparing installation...", u"Installing...", u"Finished.",
      u"Are you sure you want to cancel downloading?"};
  for (int i = 0; i < kUiStringCount; ++i) {
    EXPECT_EQ(GetUiString(static_cast<UiStringId>(i), missing), expected[i]) << i;
  }
}

TEST(UiStrings, StatusCodesMapToTheirTextsAndOthersHaveNone) {
  const UiStringId expected[10] = {
      IDS_STATUS_INIT, IDS_STATUS_DOWNLOADING, IDS_STATUS_DOWNLOADDONE,
      IDS_STATUS_DOWNLOAD_CANCELLING, IDS_STATUS_DOWNLOAD_CANCELLED, IDS_STATUS_DOWNLOAD_FAILED,
      IDS_STATUS_CLEANUP_FILES, IDS_STATUS_PREPARE_INSTALL, IDS_STATUS_INSTALLING, IDS_STATUS_FINISHED};
  for (int32_t code = 1; code <= 10; ++code) {
    UiStringId id = kUiStringCount;
    ASSERT_TRUE(GetStatusUiStringId(code, id));
    EXPECT_EQ(id, expected[code - 1]) << code;
  }
  TempDir dir;
  for (int32_t code : {0, 11, -1, 0x7fffffff}) {
    std::u16string text = u"kept";
    EXPECT_FALSE(GetStatusUiString(code, dir.Wide("none.ini"), text));
    EXPECT_EQ(text, u"kept");
  }
}

TEST(UiStrings, FileOverridesOnlyItsKeysAndIsReadAgainEachTime) {
  TempDir dir;
  const auto ini = dir.path() / "ZarnWebInstallerString.ini";
  WriteText(ini, "[UISTRING]\r\nIDS_TEXT_CANCEL=Abbrechen\r\nIDS_STATUS_FINISHED=\r\n");
  EXPECT_EQ(GetUiString(IDS_TEXT_CANCEL, dir.Wide("ZarnWebInstallerString.ini")), u"Abbrechen");
  std::u16string text;
  ASSERT_TRUE(GetStatusUiString(10, dir.Wide("ZarnWebInstallerString.ini"), text));
  EXPECT_EQ(text, u"");  // present but empty: no default
  EXPECT_EQ(GetUiString(IDS_STATUS_INIT, dir.Wide("ZarnWebInstallerString.ini")), u"Initializing...");
  WriteText(ini, "[UISTRING]\r\nIDS_TEXT_CANCEL=Annuler\r\n");
  EXPECT_EQ(GetUiString(IDS_TEXT_CANCEL, dir.Wide("ZarnWebInstallerString.ini")), u"Annuler");
}

TEST(UiStrings, TheShippedSampleCarriesAllFourteenKeys) {
  const auto sample = testing_support::SourceDir() / "kit" / "ZarnWebInstallerString.ini";
  const std::u16string path = platform::Utf8ToWide(sample.u8string());
  for (int i = 0; i < kUiStringCount; ++i) {
    const UiString& s = GetUiStringEntry(static_cast<UiStringId>(i));
    EXPECT_NE(GetUiString(s.key, u"\x1f missing", path), u"\x1f missing") << i;
  }
}

}  // namespace
