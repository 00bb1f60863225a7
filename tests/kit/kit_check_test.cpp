// The kit checker over small broken kits: each finding at its place, and a table
// that says what the installer itself does for every machine and state.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "config/download_plan.h"
#include "kit_check.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "support/test_support.h"
#include "xml/xml_document.h"

using testing_support::TempDir;
using testing_support::WriteText;

namespace {

const kit::Finding* FindCode(const kit::Report& r, const std::string& code) {
  for (const kit::Finding& f : r.findings)
    if (f.code == code) return &f;
  return nullptr;
}

size_t CountCode(const kit::Report& r, const std::string& code) {
  size_t n = 0;
  for (const kit::Finding& f : r.findings) n += f.code == code;
  return n;
}

std::string Codes(const kit::Report& r) {
  std::string s;
  for (const kit::Finding& f : r.findings)
    s += f.code + "@" + std::to_string(f.line) + ":" + std::to_string(f.column) + " " + f.message + "\n";
  return s;
}

const kit::MachineRow& Row(const kit::Report& r, const std::string& os, const std::string& bit, bool installed) {
  for (const kit::MachineRow& row : r.machines)
    if (row.osName == os && row.bitness == bit && row.installed == installed) return row;
  ADD_FAILURE() << "no row " << os << " " << bit;
  return r.machines.front();
}

kit::Report CheckXml(TempDir& dir, const std::string& xml) {
  WriteText(dir.path() / "ZarnWebInstaller.xml", xml);
  kit::Report report;
  kit::CheckConfiguration(dir.Wide("ZarnWebInstaller.xml"), "ZarnWebInstaller.xml", report);
  return report;
}

std::string Entry(const std::string& os, const std::string& bit, const std::string& rlink,
                  const std::string& extra = "", const std::string& attrs = "") {
  return "<installerInfo" + attrs + "><os>" + os + "</os><bit>" + bit + "</bit><rlink>" + rlink + "</rlink>" + extra +
         "</installerInfo>\n";
}

const std::string kDigest = "sha256=\"" + std::string(64, 'a') + "\"";

// Every machine has its own entry, https but for Windows XP, which reaches today's
// servers only over http and gets a digest there: the base the broken cases change
// one thing in.
std::string CleanEntries() {
  std::string s;
  for (const char* os : {"Windows XP", "Windows Vista", "Windows 7", "Windows 8"})
    for (const char* bit : {"32", "64"}) {
      const bool xp = os[8] == 'X';
      s += Entry(os, bit, std::string(xp ? "http" : "https") + "://h.example/" + os[8] + bit + ".exe");
      if (xp) s.replace(s.rfind("<rlink>"), 7, "<rlink " + kDigest + ">");
    }
  return s;
}

std::string Config(const std::string& entries, const std::string& head = "<name>P</name><registry>SOFTWARE\\P</registry>\n") {
  return "<zarnwebinstaller>\n<product>\n" + head + entries + "</product>\n</zarnwebinstaller>\n";
}

// What the installer does for one machine and state: its plan over the file, on
// Windows in the stated state, elsewhere with the registry stand-in holding the key
// or not, so that the kit's supposed states are checked against the registry rule.
struct Installer {
  bool started = false;
  std::string download, fallback;
};
Installer RunInstaller(const std::u16string& path, const char16_t* os, const char16_t* bit, bool keyExists) {
#ifdef _WIN32
  // The real registry is not ours to fill here.
  CXmlDocument doc;
  doc.LoadFile(path);
  const DownloadPlan plan = ResolveDownloadPlanAs(doc, os, bit, keyExists);
#else
  platform::ClearLocalMachineKeysForTest();
  const std::u16string key = ResolveDownloadPlan(path, os, bit).registryKey;
  if (keyExists)
    platform::AddLocalMachineKeyForTest(key, std::u16string(bit) == u"64" ? platform::RegistryView::k64
                                                                         : platform::RegistryView::k32);
  const DownloadPlan plan = ResolveDownloadPlan(path, os, bit);
  platform::ClearLocalMachineKeysForTest();
#endif
  Installer out;
  out.started = plan.hasLink && plan.linksParse;
  out.download = platform::WideToUtf8(plan.download.url);
  out.fallback = platform::WideToUtf8(plan.fallback.url);
  return out;
}

void ExpectTableIsTheInstaller(const kit::Report& report, const std::u16string& path) {
  ASSERT_EQ(report.machines.size(), 16u);
  for (const kit::MachineRow& row : report.machines) {
    const std::u16string os = platform::Utf8ToWide(row.osName), bit = platform::Utf8ToWide(row.bitness);
    const Installer real = RunInstaller(path, os.c_str(), bit.c_str(), row.installed);
    const std::string what = row.osName + " " + row.bitness + (row.installed ? " installed" : " not installed");
    EXPECT_EQ(row.hasLink && row.usable, real.started) << what;
    if (!real.started) continue;
    EXPECT_EQ(row.download.link, real.download) << what;
    EXPECT_EQ(row.fallback.link, real.fallback) << what;
  }
}

TEST(KitCheck, TheKitsOwnSampleChecksCleanAndItsTableIsTheInstallers) {
  const std::filesystem::path kitDir = testing_support::SourceDir() / "kit";
  const std::u16string xml = platform::Utf8ToWide((kitDir / "ZarnWebInstaller.xml").string());
  kit::Report report;
  kit::CheckConfiguration(xml, "ZarnWebInstaller.xml", report);
  kit::CheckStrings(platform::Utf8ToWide((kitDir / "ZarnWebInstallerString.ini").string()),
                    "ZarnWebInstallerString.ini", report);
  kit::CheckSkin(kit::SkinFolderOf(platform::Utf8ToWide(kitDir.string())), report);
  EXPECT_EQ(report.ExitStatus(), 0) << Codes(report);
  EXPECT_EQ(report.findings.size(), 3u) << Codes(report);
  EXPECT_NE(FindCode(report, "default-own-bit"), nullptr);
  EXPECT_EQ(CountCode(report, "plain-http"), 2u) << "Windows XP's links, with their digests";
  EXPECT_EQ(report.packageFileName, "Zarn Example Product.exe");
  ExpectTableIsTheInstaller(report, xml);
  const kit::MachineRow& win7 = Row(report, "Windows 7", "64", true);
  EXPECT_TRUE(win7.patch);
  EXPECT_EQ(win7.download.link, "https://www.zarnsoft.example/download/example-patch-win7-x64.exe");
  EXPECT_EQ(Row(report, "Windows 7", "32", false).fallback.link,
            "http://www.zarnsoft.example/download/example-setup-xp-x86.exe");
}

// The configurations the end-to-end tier runs the installer with, and what it saw.
TEST(KitCheck, TableMatchesTheEndToEndVersionAndPatchCases) {
  TempDir dir;
  {
    std::string entries;
    for (const char* tag : {"xp", "vista", "win7", "win8"}) {
      const std::string os = std::string(tag) == "xp" ? "Windows XP" : std::string(tag) == "vista" ? "Windows Vista"
                             : std::string(tag) == "win7" ? "Windows 7" : "Windows 8";
      entries += Entry(os, "64", "http://127.0.0.1:9/" + std::string(tag) + ".exe",
                       "<patch>http://127.0.0.1:9/patch-" + std::string(tag) + ".exe</patch>");
    }
    const kit::Report r = CheckXml(dir, Config(entries, "<name>Zarn E2E Product</name><registry>SOFTWARE\\ZarnE2E\\NotInstalled</registry>"));
    EXPECT_EQ(Row(r, "Windows XP", "64", false).download.link, "http://127.0.0.1:9/xp.exe");
    EXPECT_EQ(Row(r, "Windows 7", "64", false).download.link, "http://127.0.0.1:9/win7.exe");
    EXPECT_EQ(Row(r, "Windows 8", "64", false).download.link, "http://127.0.0.1:9/win8.exe");
    EXPECT_EQ(r.packageFileName, "Zarn E2E Product.exe");
    ExpectTableIsTheInstaller(r, dir.Wide("ZarnWebInstaller.xml"));
  }
  {
    const kit::Report r = CheckXml(dir, Config(Entry("Windows 8", "64", "http://127.0.0.1:9/full.exe",
                                                     "<patch>http://127.0.0.1:9/patch.exe</patch>"),
                                               "<name>Zarn E2E Product</name><registry>SOFTWARE\\ZarnE2E\\PatchRule</registry>"));
    EXPECT_EQ(Row(r, "Windows 8", "64", false).download.link, "http://127.0.0.1:9/full.exe");
    EXPECT_EQ(Row(r, "Windows 8", "64", true).download.link, "http://127.0.0.1:9/patch.exe");
    EXPECT_TRUE(Row(r, "Windows 8", "64", true).patch);
    ExpectTableIsTheInstaller(r, dir.Wide("ZarnWebInstaller.xml"));
  }
  {
    // No registry element and no patch: counts as installed, still the full package.
    const kit::Report r = CheckXml(dir, Config(Entry("Windows 8", "64", "http://127.0.0.1:9/full.exe"),
                                               "<name>Zarn E2E Product</name>"));
    const kit::MachineRow& row = Row(r, "Windows 8", "64", false);
    EXPECT_TRUE(row.countsInstalled);
    EXPECT_EQ(row.download.link, "http://127.0.0.1:9/full.exe");
    const kit::Finding* f = FindCode(r, "registry-empty");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->grade, kit::Grade::kNote);
    ExpectTableIsTheInstaller(r, dir.Wide("ZarnWebInstaller.xml"));
  }
}

TEST(KitCheck, UnreadableOrNotWellFormedFilesAreErrorsAtTheirPlace) {
  TempDir dir;
  kit::Report missing;
  kit::CheckConfiguration(dir.Wide("none.xml"), "none.xml", missing);
  ASSERT_NE(FindCode(missing, "file-unreadable"), nullptr);
  EXPECT_EQ(missing.ExitStatus(), 2);
  for (const kit::MachineRow& row : missing.machines) EXPECT_FALSE(row.hasLink);

  // A lone end tag on line 4, column 3 (after two blanks), and an element never closed.
  const kit::Report r = CheckXml(dir, "<zarnwebinstaller>\n<product>\n<name>P</name>\n  </nam>\n</product>\n");
  EXPECT_EQ(r.ExitStatus(), 2);
  bool lone = false, unended = false;
  for (const kit::Finding& f : r.findings) {
    if (f.code != "not-well-formed") continue;
    EXPECT_EQ(f.grade, kit::Grade::kError);
    if (f.message.find("lone end tag <nam>") != std::string::npos) {
      lone = true;
      EXPECT_EQ(f.line, 4u);
      EXPECT_EQ(f.column, 3u);
    }
    if (f.message.find("unended start tag <zarnwebinstaller>") != std::string::npos) {
      unended = true;
      EXPECT_EQ(f.line, 1u);
      EXPECT_EQ(f.column, 1u);
    }
  }
  EXPECT_TRUE(lone && unended) << Codes(r);
  for (const kit::MachineRow& row : r.machines) EXPECT_FALSE(row.hasLink);
}

struct BrokenCase {
  const char* what;
  std::string xml;
  const char* code;
  kit::Grade grade;
  uint32_t line;  // 0: anywhere
};

TEST(KitCheck, EachMistakeIsFoundWhereItIs) {
  const std::string clean = CleanEntries();
  // In Config() the product is line 2, the head line 3, the first entry line 4; an
  // entry appended to CleanEntries() is line 12.
  const std::vector<BrokenCase> cases = {
      {"a machine with no link", Config(clean.substr(clean.find("<installerInfo", 1))), "no-link", kit::Grade::kError, 2},
      {"two entries for one machine", Config(clean + Entry("Windows 7", "64", "https://h.example/again.exe")),
       "several-entries", kit::Grade::kWarning, 0},
      {"an entry above name", Config(Entry("Windows 8", "64", "https://h.example/early.exe") + "<name>P</name>" +
                                     "<registry>SOFTWARE\\P</registry>\n" + clean, ""),
       "entry-above-name", kit::Grade::kWarning, 3},
      {"default on an entry without bit",
       Config(clean + "<installerInfo default=\"YES\"><os>Windows 7</os><rlink>https://h.example/d.exe</rlink></installerInfo>\n"),
       "default-incomplete", kit::Grade::kWarning, 12},
      {"default on an entry without os",
       Config(clean + "<installerInfo default=\"YES\"><bit>64</bit><rlink>https://h.example/d.exe</rlink></installerInfo>\n"),
       "default-incomplete", kit::Grade::kWarning, 12},
      {"two default marks",
       Config(Entry("Windows XP", "32", "https://h.example/d1.exe", "", " default=\"YES\"") + clean +
              Entry("Windows XP", "32", "https://h.example/d2.exe", "", " default=\"YES\"")),
       "several-defaults", kit::Grade::kWarning, 13},
      {"a default serving only its bit while a machine of the other has no entry",
       Config(Entry("Windows XP", "32", "https://h.example/d.exe", "", " default=\"YES\"") +
              Entry("Windows 7", "64", "https://h.example/7.exe")),
       "default-own-bit", kit::Grade::kWarning, 4},
      {"a default serving only its bit, every machine covered",
       Config(Entry("Windows XP", "32", "https://h.example/d.exe", "", " default=\"YES\"") + clean),
       "default-own-bit", kit::Grade::kNote, 4},
      {"a default mark that passes to an entry of another machine",
       Config(Entry("Windows 7", "32", "https://h.example/d.exe", "", " default=\"YES\"") +
              Entry("Windows 8", "64", "https://h.example/b.exe") + Entry("Windows 7", "64", "https://h.example/7.exe")),
       "default-passed", kit::Grade::kWarning, 5},
      {"lower-case default", Config(clean + Entry("Windows XP", "32", "https://h.example/x.exe", "", " default=\"yes\"")),
       "default-value", kit::Grade::kWarning, 12},
      {"a link that parses in no way", Config(clean + Entry("Windows 8", "64", "http://" + std::string(5000, 'a') + "/p")),
       "link-unparsable", kit::Grade::kWarning, 12},
      {"a link without scheme", Config(clean + Entry("Windows 8", "64", "h.example/p.exe")), "link-no-scheme",
       kit::Grade::kWarning, 12},
      {"plain http", Config(clean + Entry("Windows 8", "64", "http://h.example/p.exe")), "plain-http",
       kit::Grade::kWarning, 12},
      {"ftp", Config(clean + Entry("Windows 8", "64", "ftp://h.example/p.exe")), "link-scheme", kit::Grade::kWarning, 12},
      {"empty registry with patches",
       Config(Entry("Windows 8", "64", "https://h.example/f.exe", "<patch>https://h.example/p.exe</patch>") + clean,
              "<name>P</name><registry></registry>\n"),
       "registry-empty", kit::Grade::kWarning, 3},
      {"missing registry with patches",
       Config(Entry("Windows 8", "64", "https://h.example/f.exe", "<patch>https://h.example/p.exe</patch>") + clean,
              "<name>P</name>\n"),
       "registry-empty", kit::Grade::kWarning, 2},
      {"a misspelt element", Config(clean + "<installerInfo><os>Windows 8</os><bit>64</bit><rlnk>https://h.example/x</rlnk></installerInfo>\n"),
       "unread-element", kit::Grade::kWarning, 12},
      {"a wrongly cased element", Config(clean + "<installerinfo/>\n"), "unread-element", kit::Grade::kWarning, 12},
      {"rlink before bit", Config(clean + "<installerInfo><os>Windows 8</os><rlink>https://h.example/x</rlink><bit>64</bit></installerInfo>\n"),
       "unread-element", kit::Grade::kWarning, 12},
      {"an unread attribute", Config(clean + Entry("Windows 8", "64", "https://h.example/x", "", " lang='de'")),
       "unread-attribute", kit::Grade::kWarning, 12},
      {"a malformed sha256",
       Config(clean + "<installerInfo><os>Windows 8</os><bit>64</bit><rlink sha256=\"abc\">https://h.example/x</rlink></installerInfo>\n"),
       "sha256-malformed", kit::Grade::kWarning, 12},
      {"a file above the cap", Config(clean) + std::string(1 << 20, ' '), "file-unreadable", kit::Grade::kError, 0},
      {"an empty signer",
       Config(clean + "<installerInfo><os>Windows 8</os><bit>64</bit><rlink signer=\"\">https://h.example/x</rlink></installerInfo>\n"),
       "signer-empty", kit::Grade::kWarning, 12},
      {"an os no machine has", Config(clean + Entry("Windows 10", "64", "https://h.example/x")), "unknown-os",
       kit::Grade::kWarning, 12},
      {"a bit no machine has", Config(clean + Entry("Windows 8", "x64", "https://h.example/x")), "unknown-bit",
       kit::Grade::kWarning, 12},
      {"no product name", Config(clean, "<registry>SOFTWARE\\P</registry>\n"), "no-name", kit::Grade::kWarning, 2},
      {"retries that are no number", Config(clean, "<name>P</name><registry>SOFTWARE\\P</registry><retries>three</retries>\n"),
       "retries-value", kit::Grade::kWarning, 3},
      {"retries above the most", Config(clean, "<name>P</name><registry>SOFTWARE\\P</registry><retries> 25 </retries>\n"),
       "retries-value", kit::Grade::kNote, 3},
      {"segments that are no number", Config(clean, "<name>P</name><registry>SOFTWARE\\P</registry><segments>four</segments>\n"),
       "segments-value", kit::Grade::kWarning, 3},
      {"segments below the fewest", Config(clean, "<name>P</name><registry>SOFTWARE\\P</registry><segments>0</segments>\n"),
       "segments-value", kit::Grade::kNote, 3},
      {"a second retries", Config(clean + "<retries>1</retries>\n", "<name>P</name><registry>SOFTWARE\\P</registry><retries>2</retries>\n"),
       "unread-element", kit::Grade::kWarning, 12},
      {"wrong root", "<zarn><product/></zarn>", "no-root", kit::Grade::kError, 1},
      {"no product", "<zarnwebinstaller><produkt/></zarnwebinstaller>", "no-product", kit::Grade::kError, 1},
  };
  TempDir dir;
  const kit::Report base = CheckXml(dir, Config(clean));
  EXPECT_EQ(base.ExitStatus(), 0) << Codes(base);
  for (const BrokenCase& c : cases) {
    for (const kit::Finding& f : base.findings) EXPECT_FALSE(f.code == c.code && f.grade == c.grade) << c.what;
    const kit::Report r = CheckXml(dir, c.xml);
    const kit::Finding* f = nullptr;
    for (const kit::Finding& g : r.findings)
      if (!f && g.code == c.code && g.grade == c.grade) f = &g;
    ASSERT_NE(f, nullptr) << c.what << "\n" << Codes(r);
    EXPECT_EQ(f->grade, c.grade) << c.what;
    if (c.line) {
      EXPECT_EQ(f->line, c.line) << c.what << "\n" << Codes(r);
    }
    EXPECT_EQ(r.ExitStatus(), r.Count(kit::Grade::kError) ? 2 : r.Count(kit::Grade::kWarning) ? 1 : 0);
  }
}

TEST(KitCheck, FindingsSayWhatTheInstallerActuallyDoes) {
  TempDir dir;
  // A, then the default, then B for the same machine: the search ends at the default,
  // so A is downloaded, not the last entry.
  const std::string clean = CleanEntries();
  (void)clean;
  const kit::Report r = CheckXml(dir, Config(Entry("Windows 7", "64", "https://h.example/a.exe") +
                                             Entry("Windows XP", "64", "https://h.example/d.exe", "", " default=\"YES\"") +
                                             Entry("Windows 7", "64", "https://h.example/b.exe")));
  const kit::Finding* f = FindCode(r, "several-entries");
  ASSERT_NE(f, nullptr);
  EXPECT_NE(f->message.find("\"https://h.example/a.exe\""), std::string::npos) << f->message;
  EXPECT_EQ(Row(r, "Windows 7", "64", false).download.link, "https://h.example/a.exe");

  // A machine served by the default alone: a note, and its download link is the
  // installer's repaired empty link, which the engine passes over for the fallback.
  const kit::Report only = CheckXml(dir, Config(Entry("Windows XP", "64", "https://h.example/d.exe", "", " default=\"YES\"")));
  const kit::MachineRow& row = Row(only, "Windows 8", "64", false);
  EXPECT_TRUE(row.usable);
  EXPECT_EQ(row.fallback.link, "https://h.example/d.exe");
  ASSERT_NE(FindCode(only, "fallback-only"), nullptr);
  EXPECT_EQ(FindCode(only, "fallback-only")->grade, kit::Grade::kNote);
  ExpectTableIsTheInstaller(only, dir.Wide("ZarnWebInstaller.xml"));

  // A malformed digest takes the link away for its machine; a good one is shown, and
  // so are quiet arguments, in columns of their own that only such a kit has.
  const kit::Report sha = CheckXml(
      dir, Config("<installerInfo><os>Windows 8</os><bit>64</bit><rlink sha256=\"" + std::string(64, 'A') +
                  "\" quietArgs=\"/S /norestart\">https://h.example/8.exe</rlink></installerInfo>\n"
                  "<installerInfo><os>Windows 7</os><bit>64</bit><rlink sha256=\"" + std::string(63, 'a') +
                  "\">https://h.example/7.exe</rlink></installerInfo>\n"));
  EXPECT_EQ(Row(sha, "Windows 8", "64", false).download.sha256, std::string(64, 'a'));
  EXPECT_EQ(Row(sha, "Windows 8", "64", false).download.quietArgs, "/S /norestart");
  EXPECT_FALSE(Row(sha, "Windows 7", "64", false).hasLink);
  EXPECT_NE(FindCode(sha, "sha256-malformed"), nullptr);
  EXPECT_EQ(FindCode(sha, "entry-incomplete"), nullptr) << Codes(sha);
  // The signer columns show only for a kit that names a publisher.
  EXPECT_EQ(kit::RenderText(sha).find("signer"), std::string::npos);
  EXPECT_EQ(kit::RenderJson(sha).find("signer"), std::string::npos);
  const kit::Report signed_ = CheckXml(
      dir, Config("<installerInfo><os>Windows 8</os><bit>64</bit><rlink signer=\"Zarn &amp; Co\">http://h.example/8.exe"
                  "</rlink></installerInfo>\n"));
  EXPECT_EQ(Row(signed_, "Windows 8", "64", false).download.signer, "Zarn & Co");
  EXPECT_NE(kit::RenderText(signed_).find("sha256  signer"), std::string::npos) << kit::RenderText(signed_);
  EXPECT_NE(kit::RenderJson(signed_).find("\"signer\": \"Zarn & Co\""), std::string::npos);
  EXPECT_EQ(FindCode(signed_, "unread-attribute"), nullptr) << Codes(signed_);
  ASSERT_NE(FindCode(signed_, "plain-http"), nullptr);
  EXPECT_EQ(FindCode(signed_, "plain-http")->grade, kit::Grade::kNote) << "the publisher guards it on the way";
  EXPECT_EQ(FindCode(sha, "unread-attribute"), nullptr) << Codes(sha);
  const std::string table = kit::RenderText(sha);
  EXPECT_LT(table.find("quietArgs"), table.find("fallback")) << table;
  EXPECT_NE(table.find("/S /norestart"), std::string::npos) << table;
  EXPECT_NE(kit::RenderJson(sha).find("\"quietArgs\": \"/S /norestart\""), std::string::npos);
  EXPECT_EQ(kit::RenderText(only).find("quietArgs"), std::string::npos);
}

// Windows XP reaches today's TLS 1.2 servers not at all: a row that tries only
// https is a warning; an http fallback with a digest is the way out it suggests.
TEST(KitCheck, WindowsXpWithOnlyHttpsLinksIsWarned) {
  TempDir dir;
  const kit::Report r =
      CheckXml(dir, Config("<installerInfo default=\"YES\"><os>Windows Vista</os><bit>32</bit><rlink " + kDigest +
                           ">http://h.example/v32.exe</rlink></installerInfo>\n" +
                           Entry("Windows XP", "32", "https://h.example/x32.exe") +
                           Entry("Windows XP", "64", "https://h.example/x64.exe")));
  EXPECT_EQ(Row(r, "Windows XP", "32", false).fallback.link, "http://h.example/v32.exe");
  ASSERT_EQ(CountCode(r, "xp-https-only"), 1u) << Codes(r);
  const kit::Finding* f = FindCode(r, "xp-https-only");
  EXPECT_EQ(f->grade, kit::Grade::kWarning);
  EXPECT_NE(f->message.find("Windows XP 64-bit"), std::string::npos) << f->message;
  EXPECT_EQ(FindCode(r, "plain-http")->grade, kit::Grade::kNote) << "the fallback carries its digest";
}

// Bad input of every kind: the sample cut anywhere, and bytes that are no XML at all.
TEST(KitCheck, EveryCutOfTheSampleHasADefinedOutcome) {
  const std::vector<uint8_t> sample =
      testing_support::ReadBytes(testing_support::SourceDir() / "kit" / "ZarnWebInstaller.xml");
  const std::string text(sample.begin(), sample.end());
  const size_t end = text.rfind('>');
  const uint32_t lines = static_cast<uint32_t>(std::count(text.begin(), text.end(), '\n')) + 1;
  TempDir dir;
  for (size_t cut = 0; cut < end; cut += 7) {
    const kit::Report r = CheckXml(dir, text.substr(0, cut));
    EXPECT_EQ(r.ExitStatus(), 2) << cut;
    for (const kit::Finding& f : r.findings) EXPECT_LE(f.line, lines) << cut << " " << f.message;
  }
  std::string noise;
  for (int i = 0; i < 20000; ++i) noise.push_back(static_cast<char>((i * 7919 + (i >> 3)) & 0xFF));
  EXPECT_EQ(CheckXml(dir, noise).ExitStatus(), 2);
  EXPECT_EQ(CheckXml(dir, "<zarnwebinstaller><product><installerInfo/><installerInfo><os/><bit/><rlink/></installerInfo>"
                          "</product></zarnwebinstaller>").ExitStatus(), 2);
}

TEST(KitCheck, PlacesCountLinesAndCharacters) {
  const std::u16string text = u"ab\r\n\U0001F600x<y\n<z";
  EXPECT_EQ(kit::PlaceOf(text, 0).line, 1u);
  EXPECT_EQ(kit::PlaceOf(text, 5).line, 2u);
  EXPECT_EQ(kit::PlaceOf(text, 7).column, 3u);  // the pair counts once
  EXPECT_EQ(kit::PlaceOf(text, 10).line, 3u);
  EXPECT_EQ(kit::PlaceOf(text, 10).column, 1u);
  EXPECT_EQ(kit::PlaceOf(text, 11).column, 2u);
  EXPECT_EQ(kit::PlaceOf(text, 999).line, 3u);  // past the end: the end
}

TEST(KitCheck, StringFileFindings) {
  TempDir dir;
  auto check = [&](const std::u16string& path) {
    kit::Report r;
    kit::CheckStrings(path, "s.ini", r);
    return r;
  };
  const kit::Report none = check(dir.Wide("none.ini"));
  ASSERT_EQ(none.findings.size(), 1u);
  EXPECT_EQ(none.findings[0].code, "ini-missing");
  EXPECT_EQ(none.ExitStatus(), 0);

  // A folder where the file should be cannot be read.
  std::filesystem::create_directory(dir.path() / "folder.ini");
  ASSERT_NE(FindCode(check(dir.Wide("folder.ini")), "ini-unreadable"), nullptr);

  std::string text = "[UISTRING]\r\n";
  for (const char* key : {"IDS_TEXT_CANCEL", "IDS_DOWNLOAD_PROBLEM", "IDS_DOWNLOAD_PROBLEM_RLINK", "IDS_STATUS_INIT",
                          "IDS_STATUS_DOWNLOADING", "IDS_STATUS_DOWNLOADDONE", "IDS_STATUS_DOWNLOAD_CANCELLING",
                          "IDS_STATUS_DOWNLOAD_CANCELLED", "IDS_STATUS_DOWNLOAD_FAILED", "IDS_STATUS_CLEANUP_FILES",
                          "IDS_STATUS_PREPARE_INSTALL", "IDS_STATUS_INSTALLING", "IDS_STATUS_FINISHED",
                          "IDS_MESSAGE_CANCELNOTICE"})
    text += std::string(key) + "=text\r\n";
  WriteText(dir.path() / "full.ini", text);
  EXPECT_TRUE(check(dir.Wide("full.ini")).findings.empty()) << Codes(check(dir.Wide("full.ini")));

  std::string broken = text;
  broken.replace(broken.find("IDS_STATUS_INIT=text"), 20, "IDS_STATUS_INT=text");  // line 5
  broken.replace(broken.find("IDS_TEXT_CANCEL=text"), 20, "IDS_TEXT_CANCEL=");     // line 2
  broken += "[Extra]\r\nk=v\r\n";                                                    // line 16
  WriteText(dir.path() / "broken.ini", broken);
  const kit::Report r = check(dir.Wide("broken.ini"));
  ASSERT_NE(FindCode(r, "ini-unread-key"), nullptr) << Codes(r);
  EXPECT_EQ(FindCode(r, "ini-unread-key")->line, 5u);
  ASSERT_NE(FindCode(r, "ini-missing-key"), nullptr);
  EXPECT_NE(FindCode(r, "ini-missing-key")->message.find("Initializing..."), std::string::npos);
  ASSERT_NE(FindCode(r, "ini-empty-key"), nullptr);
  EXPECT_EQ(FindCode(r, "ini-empty-key")->line, 2u);
  ASSERT_NE(FindCode(r, "ini-unread-section"), nullptr);
  EXPECT_EQ(FindCode(r, "ini-unread-section")->line, 16u);
  EXPECT_EQ(r.ExitStatus(), 1);
}

TEST(KitCheck, SkinImagesMissingBrokenOrOfAnotherSize) {
  TempDir dir;
  const std::filesystem::path skin = testing_support::SourceDir() / "kit" / "skin";
  for (const auto& e : std::filesystem::directory_iterator(skin))
    std::filesystem::copy_file(e.path(), dir.path() / e.path().filename());
  kit::Report clean;
  kit::CheckSkin(dir.Wide(), clean);
  EXPECT_TRUE(clean.findings.empty()) << Codes(clean);

  std::filesystem::remove(dir.path() / "Min_H.jpg");
  testing_support::WriteText(dir.path() / "Min_N.jpg", "not a picture");
  const std::vector<uint8_t> whole = testing_support::ReadBytes(skin / "MainWndBkg.jpg");
  testing_support::WriteBytes(dir.path() / "StatusBkg.jpg",
                              std::vector<uint8_t>(whole.begin(), whole.begin() + whole.size() / 2));
  std::filesystem::copy_file(skin / "Close_N.jpg", dir.path() / "CheckD.jpg",
                             std::filesystem::copy_options::overwrite_existing);
  kit::Report r;
  kit::CheckSkin(dir.Wide(), r);
  auto fileOf = [&](const char* code) {
    std::string files;
    for (const kit::Finding& f : r.findings)
      if (f.code == code) files += f.file + " ";
    return files;
  };
  EXPECT_EQ(fileOf("skin-missing"), "Min_H.jpg ");
  EXPECT_EQ(fileOf("skin-undecodable"), "StatusBkg.jpg Min_N.jpg ");
  EXPECT_EQ(fileOf("skin-size"), "CheckD.jpg ");
  EXPECT_EQ(r.ExitStatus(), 1);
}

// What a kit looks like on screens: the string file's encoding, texts too wide for
// their places, double-size variants and a background larger than a small screen.
TEST(KitCheck, ScreenFindings) {
  TempDir dir;
  auto strings = [&](const char* name, const std::vector<uint8_t>& bytes) {
    testing_support::WriteBytes(dir.path() / name, bytes);
    kit::Report r;
    kit::CheckStrings(dir.Wide(name), name, r);
    kit::CheckTextFit(dir.Wide(name), name, u"", r);
    return r;
  };
  auto bytes = [](const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); };
  const std::string head = "[UISTRING]\r\nIDS_TEXT_CANCEL=Cancel\r\n";
  // An editor's UTF-8 save, with and without its signature: the letters turn to mojibake.
  for (const std::string& sig : {std::string(), std::string("\xEF\xBB\xBF")}) {
    const kit::Report r = strings("utf8.ini", bytes(sig + head + "IDS_STATUS_INIT=Gr\xC3\xB6\xC3\x9F" "e\r\n"));
    ASSERT_NE(FindCode(r, "ini-encoding"), nullptr) << Codes(r);
    EXPECT_NE(FindCode(r, "ini-encoding")->message.find("UTF-8"), std::string::npos);
    EXPECT_EQ(FindCode(r, "ini-encoding")->line, sig.empty() ? 3u : 1u);
  }
  const kit::Report ansi = strings("ansi.ini", bytes(head + "IDS_STATUS_INIT=Gr\xF6\xDF" "e\r\n"));
  ASSERT_NE(FindCode(ansi, "ini-encoding"), nullptr);
  EXPECT_NE(FindCode(ansi, "ini-encoding")->message.find("code page"), std::string::npos);
  std::vector<uint8_t> utf16{0xFF, 0xFE};
  for (char16_t c : platform::Utf8ToWide(head + "IDS_STATUS_INIT=Gr\xC3\xB6\xC3\x9F" "e\r\n")) {
    utf16.push_back(static_cast<uint8_t>(c & 0xFF));
    utf16.push_back(static_cast<uint8_t>(c >> 8));
  }
  EXPECT_EQ(FindCode(strings("utf16.ini", utf16), "ini-encoding"), nullptr);
  EXPECT_EQ(FindCode(strings("ascii.ini", bytes(head)), "ini-encoding"), nullptr);
  EXPECT_EQ(FindCode(strings("ascii.ini", bytes(head)), "ini-text-too-wide"), nullptr);

  const kit::Report wide = strings(
      "wide.ini", bytes("[UISTRING]\r\nIDS_TEXT_CANCEL=Abbrechen\r\nIDS_STATUS_DOWNLOADING=Die Installationsdateien "
                        "werden heruntergeladen, bitte warten Sie einen Moment, bis der Vorgang abgeschlossen ist.\r\n"));
  ASSERT_EQ(CountCode(wide, "ini-text-too-wide"), 2u) << Codes(wide);
  std::string messages;
  for (const kit::Finding& f : wide.findings) messages += f.message + "|" + std::to_string(f.line) + "\n";
  EXPECT_NE(messages.find("IDS_STATUS_DOWNLOADING is"), std::string::npos) << messages;
  EXPECT_NE(messages.find("\"Die Installationsdateien werden..."), std::string::npos) << messages;
  EXPECT_NE(messages.find("IDS_TEXT_CANCEL is"), std::string::npos) << messages;
  EXPECT_NE(messages.find("|2\n"), std::string::npos) << "at the key's line";

  // A variant of the wrong size, one of the right size, and a giant background.
  const std::filesystem::path skin = testing_support::SourceDir() / "kit" / "skin";
  for (const char* name : {"MainWndBkg.jpg", "Close_N.jpg", "Min_N.jpg"})
    std::filesystem::copy_file(skin / name, dir.path() / name);
  std::filesystem::copy_file(skin / "Close_N.jpg", dir.path() / "Min_N@2x.jpg");
  std::filesystem::copy_file(skin / "Close_N@2x.jpg", dir.path() / "Close_N@2x.jpg");
  kit::Report r;
  kit::CheckSkinForScreens(dir.Wide(), r);
  ASSERT_EQ(CountCode(r, "skin-2x-size"), 1u) << Codes(r);
  EXPECT_EQ(FindCode(r, "skin-2x-size")->file, "Min_N@2x.jpg");
  EXPECT_EQ(FindCode(r, "skin-too-large"), nullptr);
  std::filesystem::copy_file(testing_support::SourceDir() / "tests" / "kit" / "large-background.jpg",
                             dir.path() / "MainWndBkg.jpg", std::filesystem::copy_options::overwrite_existing);
  kit::Report giant;
  kit::CheckSkinForScreens(dir.Wide(), giant);
  ASSERT_NE(FindCode(giant, "skin-too-large"), nullptr) << Codes(giant);
  EXPECT_EQ(FindCode(giant, "skin-too-large")->file, "MainWndBkg.jpg");
}

TEST(KitCheck, ExitStatusAndJson) {
  TempDir dir;
  kit::Report r = CheckXml(dir, Config(CleanEntries()));
  EXPECT_EQ(r.ExitStatus(), 0);
  r.Add(kit::Grade::kNote, "n", "f", 1, 1, "a note");
  EXPECT_EQ(r.ExitStatus(), 0);
  r.Add(kit::Grade::kWarning, "w", "f", 2, 1, "a \"quoted\"\tmessage");
  EXPECT_EQ(r.ExitStatus(), 1);
  const std::string json = kit::RenderJson(r);
  EXPECT_NE(json.find("\"message\": \"a \\\"quoted\\\"\\u0009message\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"exitStatus\": 1"), std::string::npos);
  EXPECT_NE(json.find("\"os\": \"Windows Vista\", \"bit\": \"32\", \"installed\": true"), std::string::npos);
  r.Add(kit::Grade::kError, "e", "f", 3, 1, "an error");
  EXPECT_EQ(r.ExitStatus(), 2);
  const std::string text = kit::RenderText(r);
  EXPECT_NE(text.find("f:2:1: warning: a \"quoted\"\tmessage [w]"), std::string::npos) << text;
  EXPECT_NE(text.find("1 error(s), 1 warning(s), 3 note(s)"), std::string::npos) << text;
}

}  // namespace
