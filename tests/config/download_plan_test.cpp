// What one machine downloads: the plan's patch rule, repair and file name, each link
// with what its element says about the package.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "config/download_plan.h"
#include "platform/registry.h"
#include "xml/xml_document.h"

namespace {

const std::u16string kFull(64, u'a'), kPatch(64, u'b'), kDefault(64, u'c');

std::u16string Link(const char16_t* element, const std::u16string& url, const std::u16string& sha256,
                    const std::u16string& more = u"") {
  return u"<" + std::u16string(element) + u" sha256=\"" + sha256 + u"\"" + more + u">" + url + u"</" + element + u">";
}

// Windows 7 64-bit has a full package and a patch; Windows 8 64-bit only a full
// package given without a scheme; a Windows XP default entry gives the fallback.
std::u16string Config(const std::u16string& registry) {
  return u"<zarnwebinstaller><product><name>Zarn: Plan</name>" + registry +
         u"<installerInfo default=\"YES\"><os>Windows XP</os><bit>64</bit>" +
         Link(u"rlink", u"http://h/xp", kDefault, u" signer=\"Zarn &amp; Co\" quietArgs=\"/xp\"") +
         u"</installerInfo><installerInfo><os>Windows 7</os><bit>64</bit>" +
         Link(u"rlink", u"http://h/full", kFull, u" quietArgs=\"/S\"") +
         Link(u"patch", u"http://h/patch", kPatch, u" signer=\"Patch Signer\" quietArgs=\"/patch /S\"") +
         u"</installerInfo><installerInfo><os>Windows 8</os><bit>64</bit><rlink>h/bare</rlink></installerInfo>"
         u"<retries>5</retries></product></zarnwebinstaller>";
}

TEST(DownloadPlan, EachLinkKeepsItsDigestSignerAndQuietArgumentsThroughThePatchRuleAndTheRepair) {
  CXmlDocument doc(Config(u"<registry>SOFTWARE\\ZarnPlan</registry>"));
  for (bool installed : {false, true}) {
    SCOPED_TRACE(installed);
    const DownloadPlan p = ResolveDownloadPlanAs(doc, u"Windows 7", u"64", installed);
    ASSERT_TRUE(p.hasLink);
    EXPECT_EQ(p.installed, installed);
    EXPECT_EQ(p.patch, installed);
    EXPECT_EQ(p.download.url, installed ? u"http://h/patch" : u"http://h/full");
    EXPECT_EQ(p.download.sha256, installed ? kPatch : kFull);
    EXPECT_EQ(p.download.signer, installed ? u"Patch Signer" : u"");
    EXPECT_EQ(p.download.quietArgs, installed ? u"/patch /S" : u"/S");
    EXPECT_EQ(p.fallback.url, u"http://h/xp");
    EXPECT_EQ(p.fallback.sha256, kDefault);
    EXPECT_EQ(p.fallback.signer, u"Zarn & Co");
    EXPECT_EQ(p.fallback.quietArgs, u"/xp");
    EXPECT_TRUE(p.linksParse);
    EXPECT_FALSE(p.downloadRepaired || p.fallbackRepaired);
    EXPECT_EQ(p.packageFileName, u"Zarn_ Plan.exe");
    EXPECT_EQ(p.retries, 5);
  }
  // A machine without a patch keeps its link, mended, and no digest appears.
  const DownloadPlan bare = ResolveDownloadPlanAs(doc, u"Windows 8", u"64", true);
  EXPECT_TRUE(bare.installed);
  EXPECT_FALSE(bare.patch);
  EXPECT_EQ(bare.download.url, u"http://h/bare");
  EXPECT_EQ(bare.download.sha256, u"");
  EXPECT_EQ(bare.download.quietArgs, u"");
  EXPECT_TRUE(bare.downloadRepaired);
  // No entry for the machine: no link, but the name is read all the same.
  const DownloadPlan none = ResolveDownloadPlanAs(doc, u"Windows Vista", u"32", true);
  EXPECT_FALSE(none.hasLink);
  EXPECT_FALSE(none.linksParse);
  EXPECT_EQ(none.productName, u"Zarn: Plan");
  // A document that is not well-formed gives nothing.
  CXmlDocument broken(u"<zarnwebinstaller><product>");
  const DownloadPlan unread = ResolveDownloadPlan(broken, u"Windows 7", u"64");
  EXPECT_FALSE(unread.hasLink);
  EXPECT_FALSE(unread.configRead);
  EXPECT_NE(unread.configResult, u"") << "the XML library's account of what is wrong";
}

#ifndef _WIN32
// The registry stand-in answers for the key; its debugger output is stderr.
TEST(DownloadPlan, TheRegistryDecidesInTheViewOfTheBitnessAndAMissingPatchIsSaid) {
  platform::ClearLocalMachineKeysForTest();
  platform::AddLocalMachineKeyForTest(u"SOFTWARE\\ZarnPlan", platform::RegistryView::k64);
  CXmlDocument doc(Config(u"<registry>SOFTWARE\\ZarnPlan</registry>"));
  DownloadPlan p = ResolveDownloadPlan(doc, u"Windows 7", u"64");
  EXPECT_TRUE(p.patch);
  EXPECT_EQ(p.download.sha256, kPatch);
  // The stated form agrees with the registry in both states.
  EXPECT_EQ(ResolveDownloadPlanAs(doc, u"Windows 7", u"64", true).download.url, p.download.url);
  p = ResolveDownloadPlan(doc, u"Windows 7", u"32");  // the 32-bit view has no such key
  EXPECT_FALSE(p.installed);
  EXPECT_FALSE(p.hasLink);

  testing::internal::CaptureStderr();
  p = ResolveDownloadPlan(doc, u"Windows 8", u"64");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "patch link not found!\n");
  EXPECT_EQ(p.download.url, u"http://h/bare");
  // A supposed state says nothing.
  testing::internal::CaptureStderr();
  ResolveDownloadPlanAs(doc, u"Windows 8", u"64", true);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  // No registry element: HKEY_LOCAL_MACHINE itself, which always exists; an
  // unrecognised machine never counts as installed.
  CXmlDocument keyless(Config(u""));
  EXPECT_TRUE(ResolveDownloadPlan(keyless, u"Windows 7", u"64").patch);
  EXPECT_TRUE(ResolveDownloadPlanAs(keyless, u"Windows 7", u"64", false).patch);
  EXPECT_FALSE(ResolveDownloadPlanAs(keyless, u"", u"", true).installed);
  platform::ClearLocalMachineKeysForTest();
}
#endif

TEST(RepairLinks, WhatTheEngineReceives) {
  const std::u16string longHost = u"http://" + std::u16string(5000, u'h') + u"/p";
  struct Case {
    std::u16string download, fallback;
    bool usable;
    std::u16string gotDownload, gotFallback;
  } cases[] = {
      // Both parse: untouched.
      {u"http://a.example/p.exe", u"http://b.example/q.exe", true, u"http://a.example/p.exe", u"http://b.example/q.exe"},
      // A bare download link gets the scheme.
      {u"a.example/p.exe", u"", true, u"http://a.example/p.exe", u""},
      // The mended fault: a bare fallback is repaired although the download link parses.
      {u"http://a.example/p.exe", u"b.example/q.exe", true, u"http://a.example/p.exe", u"http://b.example/q.exe"},
      {u"a.example/p.exe", u"b.example/q.exe", true, u"http://a.example/p.exe", u"http://b.example/q.exe"},
      // A download link that cannot be mended keeps its prefix; the fallback as written.
      {longHost, u"http://b.example/q.exe", true, u"http://" + longHost, u"http://b.example/q.exe"},
      // Nothing usable (whether a bare "http://" parses is the platform's affair:
      // libcurl refuses it, Wine's WinINet takes it with an empty host).
      {u"", u"", LinkParses(u"http://"), u"http://", u""},
      {longHost, longHost, false, u"http://" + longHost, u"http://" + longHost},
      // Only the fallback is usable, after its repair.
      {u"", u"b.example/q.exe", true, u"http://", u"http://b.example/q.exe"},
  };
  for (const Case& c : cases) {
    std::u16string d = c.download, f = c.fallback;
    EXPECT_EQ(RepairLinks(&d, &f), c.usable) << std::string(c.download.begin(), c.download.begin() + std::min<size_t>(c.download.size(), 40));
    EXPECT_EQ(d, c.gotDownload);
    EXPECT_EQ(f, c.gotFallback);
  }
}

TEST(PackageFileName, ForbiddenCharactersBecomeUnderscores) {
  EXPECT_EQ(PackageFileName(u"Zarn Example Product"), u"Zarn Example Product.exe");
  EXPECT_EQ(PackageFileName(u"a\\b/c:d*e?f\"g<h>i|j"), u"a_b_c_d_e_f_g_h_i_j.exe");
  EXPECT_EQ(PackageFileName(u"..\\..\\evil"), u".._.._evil.exe") << "never leaves the folder";
  EXPECT_EQ(PackageFileName(std::u16string(u"tab\there\x01", 9)), u"tab_here_.exe");
  EXPECT_EQ(PackageFileName(u""), u".exe");
  EXPECT_EQ(PackageFileName(u"Zärn Ünïcode"), u"Zärn Ünïcode.exe");
  // Device names would swallow the package.
  EXPECT_EQ(PackageFileName(u"nul"), u"_nul.exe");
  EXPECT_EQ(PackageFileName(u"Con.setup"), u"_Con.setup.exe");
  EXPECT_EQ(PackageFileName(u"COM1 "), u"_COM1 .exe");
  EXPECT_EQ(PackageFileName(u"LPT0"), u"LPT0.exe");
  EXPECT_EQ(PackageFileName(u"CONIN$"), u"_CONIN$.exe");
  EXPECT_EQ(PackageFileName(u"conout$.x"), u"_conout$.x.exe");
  EXPECT_EQ(PackageFileName(u"COM\u00B9"), u"_COM\u00B9.exe");
  EXPECT_EQ(PackageFileName(u"CONIN$2"), u"CONIN$2.exe");
  EXPECT_EQ(PackageFileName(u"Console"), u"Console.exe");
}

}  // namespace
