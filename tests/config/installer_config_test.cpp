#include <gtest/gtest.h>

#include <string>

#include "config/installer_config.h"
#include "platform/registry.h"
#include "xml/xml_document.h"

namespace {

std::u16string Entry(const char16_t* os, const char16_t* bit, const char16_t* rlink,
                     const char16_t* attrs = u"", const char16_t* patch = nullptr) {
  std::u16string s = u"<installerInfo";
  s += attrs;
  s += u"><os>";
  s += os;
  s += u"</os><bit>";
  s += bit;
  s += u"</bit>";
  if (rlink) s += u"<rlink>" + std::u16string(rlink) + u"</rlink>";
  if (patch) s += u"<patch>" + std::u16string(patch) + u"</patch>";
  return s + u"</installerInfo>";
}

std::u16string Config(const std::u16string& productBody) {
  return u"<?xml version=\"1.0\"?>\r\n<zarnwebinstaller><product>" + productBody +
         u"</product></zarnwebinstaller>";
}

struct Result {
  bool ok;
  InstallerConfig config;
};

Result Select(const std::u16string& text, const std::u16string& os = u"Windows 7",
              const std::u16string& bit = u"64") {
  CXmlDocument doc;
  doc.SetDocument(text);
  Result r;
  r.config.fallbackLink.url = u"untouched";
  r.config.downloadLink.url = u"stale";
  r.ok = SelectInstallerLinks(doc, os, bit, r.config);
  return r;
}

std::u16string Patch(const std::u16string& text, const std::u16string& os = u"Windows 7",
                     const std::u16string& bit = u"64") {
  CXmlDocument doc;
  doc.SetDocument(text);
  PackageLink link{u"none", u"", u"", u""};
  if (!SelectPatchLink(doc, os, bit, link)) {
    EXPECT_EQ(link.url, u"none");
  }
  return link.url;
}

TEST(LinkSelection, LastMatchingEntryWinsAndFallbackStaysUntouched) {
  auto r = Select(Config(u"<name>Zarn</name>" + Entry(u"Windows 7", u"64", u"a") +
                         Entry(u"Windows 7", u"32", u"c") + Entry(u"Windows 7", u"64", u"b")));
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.config.productName, u"Zarn");
  EXPECT_EQ(r.config.downloadLink.url, u"b");
  EXPECT_EQ(r.config.fallbackLink.url, u"untouched");
}

TEST(LinkSelection, DefaultEntrySuppliesTheFallbackInEitherOrder) {
  const std::u16string d = Entry(u"Windows XP", u"64", u"d", u" default=\"YES\"");
  const std::u16string a = Entry(u"Windows 7", u"64", u"a");
  for (const std::u16string& body : {d + a, a + d}) {
    auto r = Select(Config(body));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.config.downloadLink.url, u"a");
    EXPECT_EQ(r.config.fallbackLink.url, u"d");
  }
  // Once both are taken the search ends: a later match changes nothing.
  auto r = Select(Config(d + a + Entry(u"Windows 7", u"64", u"late")));
  EXPECT_EQ(r.config.downloadLink.url, u"a");
}

TEST(LinkSelection, DefaultEntriesOnTheirOwn) {
  // A matching default entry gives both links at once.
  auto both = Select(Config(Entry(u"Windows 7", u"64", u"m", u" default=\"YES\"")));
  EXPECT_TRUE(both.ok);
  EXPECT_EQ(both.config.downloadLink.url, u"m");
  EXPECT_EQ(both.config.fallbackLink.url, u"m");
  // Only a default entry for another os: no download link, but a fallback.
  auto only = Select(Config(Entry(u"Windows XP", u"64", u"d", u" default=\"YES\"")));
  EXPECT_TRUE(only.ok);
  EXPECT_EQ(only.config.downloadLink.url, u"");
  EXPECT_EQ(only.config.fallbackLink.url, u"d");
  // ...whose bit differs: nothing at all.
  auto none = Select(Config(Entry(u"Windows XP", u"32", u"d", u" default=\"YES\"")));
  EXPECT_FALSE(none.ok);
  EXPECT_EQ(none.config.downloadLink.url, u"");
  EXPECT_EQ(none.config.fallbackLink.url, u"untouched");
}

TEST(LinkSelection, TheDefaultMarkAndItsSpelling) {
  // D matches the os but not the bit and keeps its mark; B inherits it.
  auto carried = Select(Config(Entry(u"Windows 7", u"32", u"d", u" default=\"YES\"") +
                               Entry(u"Windows 8", u"64", u"b")));
  EXPECT_TRUE(carried.ok);
  EXPECT_EQ(carried.config.fallbackLink.url, u"b");
  EXPECT_EQ(carried.config.downloadLink.url, u"");
  // An entry without os keeps the mark too.
  auto noOs = Select(Config(u"<installerInfo default=\"YES\"><bit>64</bit><rlink>x</rlink></installerInfo>" +
                            Entry(u"Windows 8", u"64", u"b")));
  EXPECT_EQ(noOs.config.fallbackLink.url, u"b");
  // An entry of another os clears the mark even when it gives no link.
  auto cleared = Select(Config(Entry(u"Windows XP", u"32", u"d", u" default=\"YES\"") +
                               Entry(u"Windows 8", u"64", u"b")));
  EXPECT_FALSE(cleared.ok);
  EXPECT_EQ(cleared.config.fallbackLink.url, u"untouched");
  for (const char16_t* attr : {u" default=\"yes\"", u" default=\"Yes\"", u" default=\" YES\"", u" default"}) {
    auto r = Select(Config(Entry(u"Windows XP", u"64", u"d", attr)));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.config.fallbackLink.url, u"untouched");
  }
}

TEST(LinkSelection, ElementsOutOfOrderAreSkipped) {
  // bit before os, rlink before bit, os text of another case.
  auto r = Select(Config(
      u"<installerInfo><bit>64</bit><os>Windows 7</os><rlink>x</rlink></installerInfo>"
      u"<installerInfo><os>Windows 7</os><rlink>y</rlink><bit>64</bit></installerInfo>"
      u"<installerInfo><os>windows 7</os><bit>64</bit><rlink>z</rlink></installerInfo>"));
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.config.downloadLink.url, u"");
  // os may stand anywhere among the entry's children as long as bit and rlink follow.
  auto late = Select(Config(u"<installerInfo><rlink>no</rlink><os>Windows 7</os><bit>64</bit>"
                            u"<patch>p</patch><rlink>yes</rlink></installerInfo>"));
  EXPECT_TRUE(late.ok);
  EXPECT_EQ(late.config.downloadLink.url, u"yes");
}

TEST(LinkSelection, EntriesBeforeRegistryAreSeenOnlyByThePatchReader) {
  const std::u16string text = Config(u"<name>Zarn</name>" + Entry(u"Windows 7", u"64", u"early", u"", u"p1") +
                                     u"<registry>SOFTWARE\\Zarn</registry>" +
                                     Entry(u"Windows 7", u"64", u"late", u"", u"p2"));
  auto r = Select(text);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.config.registryKey, u"SOFTWARE\\Zarn");
  EXPECT_EQ(r.config.downloadLink.url, u"late");
  EXPECT_EQ(Patch(text), u"p1");  // the first match wins for the patch
  // Without name, registry is looked for among all children; entries before it
  // are still unseen.
  auto noName = Select(Config(Entry(u"Windows 7", u"64", u"early") + u"<registry>K</registry>"));
  EXPECT_FALSE(noName.ok);
  EXPECT_EQ(noName.config.registryKey, u"K");
  EXPECT_EQ(noName.config.productName, u"");
}

TEST(LinkSelection, PatchReaderNeedsOsBitAndPatchInOrder) {
  EXPECT_EQ(Patch(Config(Entry(u"Windows 7", u"64", u"a") + Entry(u"Windows 7", u"32", nullptr, u"", u"p32") +
                         Entry(u"Windows 7", u"64", nullptr, u" default=\"YES\"", u"p64"))),
            u"p64");
  EXPECT_EQ(Patch(Config(u"<installerInfo><os>Windows 7</os><patch>p</patch><bit>64</bit></installerInfo>")),
            u"none");
  EXPECT_EQ(Patch(Config(Entry(u"Windows 7", u"64", u"a"))), u"none");
}

TEST(LinkSelection, UnrecognisedVersionMatchesOnlyEmptyOsAndBit) {
  const std::u16string text = Config(Entry(u"Windows 7", u"64", u"a") + Entry(u"", u"", u"blank"));
  auto r = Select(text, u"", u"");
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.config.downloadLink.url, u"blank");
  EXPECT_FALSE(ProductKeyExists(u"", u""));
}

TEST(LinkSelection, DocumentsWithoutRootOrProductGiveNothing) {
  for (const std::u16string& text : {std::u16string(), std::u16string(u"not xml at all"),
                                     std::u16string(u"<other><product>" + Entry(u"Windows 7", u"64", u"a") +
                                                    u"</product></other>"),
                                     std::u16string(u"<zarnwebinstaller>" + Entry(u"Windows 7", u"64", u"a") +
                                                    u"</zarnwebinstaller>"),
                                     std::u16string(u"<ZarnWebInstaller><product>" +
                                                    Entry(u"Windows 7", u"64", u"a") +
                                                    u"</product></ZarnWebInstaller>")}) {
    auto r = Select(text);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.config.downloadLink.url, u"");
    EXPECT_EQ(Patch(text), u"none");
  }
}

TEST(LinkSelection, OnlyTheFirstProductIsRead) {
  auto r = Select(u"<zarnwebinstaller><product><name>one</name></product><product><name>two</name>" +
                  Entry(u"Windows 7", u"64", u"a") + u"</product></zarnwebinstaller>");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.config.productName, u"one");
}

#ifndef _WIN32
TEST(ProductKey, EmptyKeyIsLocalMachineAndTheViewFollowsTheBitness) {
  platform::ClearLocalMachineKeysForTest();
  platform::AddLocalMachineKeyForTest(u"SOFTWARE\\Zarn64", platform::RegistryView::k64);
  EXPECT_TRUE(ProductKeyExists(u"32", u""));
  EXPECT_TRUE(ProductKeyExists(u"64", u""));
  EXPECT_FALSE(ProductKeyExists(u"", u""));
  EXPECT_FALSE(ProductKeyExists(u"128", u""));
  EXPECT_TRUE(ProductKeyExists(u"64", u"SOFTWARE\\Zarn64"));
  EXPECT_FALSE(ProductKeyExists(u"32", u"SOFTWARE\\Zarn64"));
  platform::ClearLocalMachineKeysForTest();
}

#endif

}  // namespace

#include <fstream>
#include <iterator>

#include "platform/text.h"
#include "support/test_support.h"

namespace {

TEST(LinkSelection, TheShippedSampleServesEveryMachine) {
  std::ifstream in(testing_support::SourceDir() / "kit" / "ZarnWebInstaller.xml", std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::u16string text = platform::Utf8ToWide(bytes);
  ASSERT_FALSE(text.empty());
  const std::string base = "https://www.zarnsoft.example/download/example-";
  struct Row {
    const char16_t* os;
    const char* tag;
  } rows[] = {{u"Windows XP", "xp"}, {u"Windows Vista", "vista"}, {u"Windows 7", "win7"}, {u"Windows 8", "win8"}};
  for (const Row& row : rows) {
    for (const char* bit : {"32", "64"}) {
      const std::string arch = std::string(bit) == "32" ? "x86" : "x64";
      auto r = Select(text, row.os, platform::Utf8ToWide(bit));
      EXPECT_TRUE(r.ok) << row.tag << bit;
      // Windows XP downloads over plain http, guarded by the package's digest: it
      // cannot reach servers that accept only TLS 1.2 and later.
      const std::string full = base + "setup-" + row.tag + "-" + arch + ".exe";
      EXPECT_EQ(platform::WideToUtf8(r.config.downloadLink.url),
                std::string(row.tag) == "xp" ? "http" + full.substr(5) : full);
      EXPECT_EQ(r.config.productName, u"Zarn Example Product");
      EXPECT_EQ(r.config.registryKey, u"SOFTWARE\\ZarnSoft\\ExampleProduct");
      EXPECT_EQ(platform::WideToUtf8(Patch(text, row.os, platform::Utf8ToWide(bit))),
                base + "patch-" + row.tag + "-" + arch + ".exe");
    }
  }
  // 32-bit machines get the marked fallback.
  EXPECT_EQ(platform::WideToUtf8(Select(text, u"Windows 7", u"32").config.fallbackLink.url),
            "http" + base.substr(5) + "setup-xp-x86.exe");
  // A 64-bit machine has none: the marked entry is for 32 bits.
  EXPECT_EQ(Select(text, u"Windows 7", u"64").config.fallbackLink.url, u"untouched");
  // The sample shows a digest on one link and the retries element.
  auto win7 = Select(text, u"Windows 7", u"64");
  EXPECT_EQ(win7.config.downloadLink.sha256, u"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(win7.config.retries, 3);
  EXPECT_EQ(Select(text, u"Windows 7", u"32").config.downloadLink.sha256, u"");
}

}  // namespace
