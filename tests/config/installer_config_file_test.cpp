// The readers over real files, and the window's plan from them.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "config/download_plan.h"
#include "config/installer_config_file.h"
#include "config/kit_files.h"
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

TEST(InstallerConfigFile, AFileAboveTheCapIsNotReadAtAll) {
  TempDir dir;
  // A good document padded with blanks up to the cap is read; one byte more, and
  // the same document counts as missing.
  std::string text = std::string("<zarnwebinstaller><product><name>P</name>") + kEntries + "</product></zarnwebinstaller>";
  text.resize(kMaxInstallerConfigBytes, ' ');
  WriteText(dir.path() / "at.xml", text);
  WriteText(dir.path() / "above.xml", text + "\n");
  EXPECT_TRUE(ResolveDownloadPlan(dir.Wide("at.xml"), u"Windows 7", u"64").hasLink);
  const DownloadPlan above = ResolveDownloadPlan(dir.Wide("above.xml"), u"Windows 7", u"64");
  EXPECT_FALSE(above.hasLink);
  EXPECT_EQ(above.productName, u"") << "nothing of it was read";
  InstallerConfig c;
  EXPECT_FALSE(ReadInstallerConfig(dir.Wide("above.xml"), u"Windows 7", u"64", c));
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

// A single-file installer reads its carried bytes through the same readers: for
// each file the plain program reads beside it, the carried copy answers the same,
// and a file beside it is never read.
TEST(InstallerConfigFile, CarriedKitAnswersAsTheFilesBesideThePlainProgram) {
  TempDir dir;
  const std::string xml = std::string("<zarnwebinstaller><product><name>Zarn</name><registry/>") + kEntries +
                          "</product></zarnwebinstaller>";
  const std::string ini = "[UISTRING]\r\nIDS_TEXT_CANCEL=Abort\r\nIDS_STATUS_FINISHED=\r\n";
  WriteText(dir.path() / "c.xml", xml);
  WriteText(dir.path() / "s.ini", ini);
  KitFiles plain;
  plain.configPath = dir.Wide("c.xml");
  plain.stringFilePath = dir.Wide("s.ini");
  KitFiles carried;
  carried.embedded = true;
  carried.config = std::string_view(xml);
  carried.strings = std::string_view(ini);
  // Planted beside it: a different configuration and string file, never read.
  WriteText(dir.path() / "planted.xml", "<zarnwebinstaller><product><name>Planted</name></product></zarnwebinstaller>");
  carried.configPath = dir.Wide("planted.xml");
  carried.stringFilePath = dir.Wide("planted.xml");
  for (const KitFiles* kit : {&plain, &carried}) {
    // An empty registry key counts as installed: the patch replaces the link.
    const DownloadPlan plan = ResolveDownloadPlan(*kit, u"Windows 7", u"64");
    ASSERT_TRUE(plan.hasLink) << kit->embedded;
    EXPECT_EQ(plan.productName, u"Zarn");
    EXPECT_TRUE(plan.patch);
    EXPECT_EQ(plan.download.url, u"http://h/patch");
    EXPECT_EQ(plan.fallback.url, u"http://h/xp");
    EXPECT_EQ(GetUiString(IDS_TEXT_CANCEL, *kit), u"Abort");
    EXPECT_EQ(GetUiString(IDS_STATUS_FINISHED, *kit), u"");
    EXPECT_EQ(GetUiString(IDS_STATUS_INIT, *kit), u"Initializing...");
  }
  // Carrying no string file gives the built-in texts; a carried configuration that
  // is not well-formed is "Xml file is missing!", as the file would be.
  carried.strings.reset();
  EXPECT_EQ(GetUiString(IDS_TEXT_CANCEL, carried), u"Cancel");
  const std::string broken = xml.substr(0, xml.size() / 2);
  carried.config = std::string_view(broken);
  EXPECT_FALSE(ResolveDownloadPlan(carried, u"Windows 7", u"64").hasLink);
}

}  // namespace
