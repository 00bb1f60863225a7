// The readers over real files, in the calling order the window uses.
#include <gtest/gtest.h>

#include <string>

#include "config/installer_config_file.h"
#include "support/test_support.h"

using testing_support::TempDir;
using testing_support::WriteText;

namespace {

const char* kEntries =
    "<installerInfo default=\"YES\"><os>Windows XP</os><bit>64</bit><rlink>http://h/xp</rlink></installerInfo>"
    "<installerInfo><os>Windows 7</os><bit>64</bit><rlink>http://h/full</rlink>"
    "<patch>http://h/patch</patch></installerInfo>";

// The window's sequence: read, patch link defaults to the download link, patch rule.
bool RunWindowSequence(const std::u16string& path, const std::u16string& os, const std::u16string& bit,
                       InstallerConfig& c) {
  if (!ReadInstallerConfig(path, os, bit, c)) return false;
  c.patchLink = c.downloadLink;
  if (CheckPatchLink(path, os, bit, c.registryKey, c)) c.downloadLink = c.patchLink;
  return true;
}

TEST(InstallerConfigFile, MissingOrWrongFilesGiveNoLink) {
  TempDir dir;
  InstallerConfig c;
  c.downloadLink = u"stale";
  EXPECT_FALSE(ReadInstallerConfig(dir.Wide("ZarnWebInstaller.xml"), u"Windows 7", u"64", c));
  EXPECT_EQ(c.downloadLink, u"");
  EXPECT_FALSE(ReadPatchLink(dir.Wide("ZarnWebInstaller.xml"), u"Windows 7", u"64", c));

  const std::string bad[] = {
      "",
      std::string("<other><product>") + kEntries + "</product></other>",
      std::string("<zarnwebinstaller>") + kEntries + "</zarnwebinstaller>",
      std::string("<zarnwebinstaller><product>") + kEntries,  // never closed
  };
  int n = 0;
  for (const std::string& text : bad) {
    const std::string name = "bad" + std::to_string(n++) + ".xml";
    WriteText(dir.path() / name, text);
    InstallerConfig d;
    EXPECT_FALSE(ReadInstallerConfig(dir.Wide(name), u"Windows 7", u"64", d)) << name;
    EXPECT_EQ(d.downloadLink, u"") << name;
    EXPECT_FALSE(ReadPatchLink(dir.Wide(name), u"Windows 7", u"64", d)) << name;
  }
}

TEST(InstallerConfigFile, InstalledProductDownloadsThePatch) {
  TempDir dir;
  // Empty registry element: HKEY_LOCAL_MACHINE itself, which always exists.
  WriteText(dir.path() / "c.xml", std::string("<zarnwebinstaller><product><name>Zarn</name><registry/>") +
                                      kEntries + "</product></zarnwebinstaller>");
  InstallerConfig c;
  ASSERT_TRUE(RunWindowSequence(dir.Wide("c.xml"), u"Windows 7", u"64", c));
  EXPECT_EQ(c.productName, u"Zarn");
  EXPECT_EQ(c.downloadLink, u"http://h/patch");
  EXPECT_EQ(c.fallbackLink, u"http://h/xp");

  // Installed but no patch for this machine: the chosen link stays.
  InstallerConfig xp;
  ASSERT_TRUE(RunWindowSequence(dir.Wide("c.xml"), u"Windows XP", u"64", xp));
  EXPECT_EQ(xp.downloadLink, u"http://h/xp");
  EXPECT_EQ(xp.patchLink, u"http://h/xp");
}

TEST(InstallerConfigFile, ProductNotInstalledKeepsTheFullPackage) {
  TempDir dir;
  WriteText(dir.path() / "c.xml",
            std::string("<zarnwebinstaller><product><name>Zarn</name>"
                        "<registry>SOFTWARE\\ZarnNotInstalledAnywhere\\Product</registry>") +
                kEntries + "</product></zarnwebinstaller>");
  InstallerConfig c;
  ASSERT_TRUE(RunWindowSequence(dir.Wide("c.xml"), u"Windows 7", u"64", c));
  EXPECT_EQ(c.downloadLink, u"http://h/full");
  // An unrecognised machine never counts as installed.
  EXPECT_FALSE(CheckPatchLink(dir.Wide("c.xml"), u"", u"", u"", c));
}

}  // namespace
