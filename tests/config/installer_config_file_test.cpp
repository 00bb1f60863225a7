// The readers over real files, and the window's plan from them.
#include <gtest/gtest.h>

#include <string>

#include "config/download_plan.h"
#include "config/installer_config_file.h"
#include "support/test_support.h"

using testing_support::TempDir;
using testing_support::WriteText;

namespace {

const char* kEntries =
    "<installerInfo default=\"YES\"><os>Windows XP</os><bit>64</bit><rlink>http://h/xp</rlink></installerInfo>"
    "<installerInfo><os>Windows 7</os><bit>64</bit><rlink>http://h/full</rlink>"
    "<patch>http://h/patch</patch></installerInfo>";

TEST(InstallerConfigFile, MissingOrWrongFilesGiveNoLink) {
  TempDir dir;
  InstallerConfig c;
  c.downloadLink.url = u"stale";
  EXPECT_FALSE(ReadInstallerConfig(dir.Wide("ZarnWebInstaller.xml"), u"Windows 7", u"64", c));
  EXPECT_EQ(c.downloadLink.url, u"");
  EXPECT_FALSE(ReadPatchLink(dir.Wide("ZarnWebInstaller.xml"), u"Windows 7", u"64", c));
  EXPECT_FALSE(ResolveDownloadPlan(dir.Wide("ZarnWebInstaller.xml"), u"Windows 7", u"64").hasLink);

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
    EXPECT_EQ(d.downloadLink.url, u"") << name;
    EXPECT_FALSE(ReadPatchLink(dir.Wide(name), u"Windows 7", u"64", d)) << name;
    EXPECT_FALSE(ResolveDownloadPlan(dir.Wide(name), u"Windows 7", u"64").hasLink) << name;
  }
}

TEST(InstallerConfigFile, InstalledProductDownloadsThePatch) {
  TempDir dir;
  // Empty registry element: HKEY_LOCAL_MACHINE itself, which always exists.
  WriteText(dir.path() / "c.xml", std::string("<zarnwebinstaller><product><name>Zarn</name><registry/>") +
                                      kEntries + "</product></zarnwebinstaller>");
  const DownloadPlan c = ResolveDownloadPlan(dir.Wide("c.xml"), u"Windows 7", u"64");
  ASSERT_TRUE(c.hasLink);
  EXPECT_EQ(c.productName, u"Zarn");
  EXPECT_EQ(c.download.url, u"http://h/patch");
  EXPECT_EQ(c.fallback.url, u"http://h/xp");

  // Installed but no patch for this machine: the chosen link stays.
  const DownloadPlan xp = ResolveDownloadPlan(dir.Wide("c.xml"), u"Windows XP", u"64");
  ASSERT_TRUE(xp.hasLink);
  EXPECT_TRUE(xp.installed);
  EXPECT_FALSE(xp.patch);
  EXPECT_EQ(xp.download.url, u"http://h/xp");
}

TEST(InstallerConfigFile, ProductNotInstalledKeepsTheFullPackage) {
  TempDir dir;
  WriteText(dir.path() / "c.xml",
            std::string("<zarnwebinstaller><product><name>Zarn</name>"
                        "<registry>SOFTWARE\\ZarnNotInstalledAnywhere\\Product</registry>") +
                kEntries + "</product></zarnwebinstaller>");
  const DownloadPlan plan = ResolveDownloadPlan(dir.Wide("c.xml"), u"Windows 7", u"64");
  ASSERT_TRUE(plan.hasLink);
  EXPECT_FALSE(plan.installed);
  EXPECT_EQ(plan.download.url, u"http://h/full");
  // An unrecognised machine never counts as installed.
  InstallerConfig c;
  EXPECT_FALSE(CheckPatchLink(dir.Wide("c.xml"), u"", u"", u"", c));
}

}  // namespace
