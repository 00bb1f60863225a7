// The digest attribute of rlink and patch, and the retries and segments elements.
#include <gtest/gtest.h>

#include <string>

#include "config/installer_config.h"
#include "xml/xml_document.h"

namespace {

const std::u16string kDigestUpper = u"E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855";
const std::u16string kDigest = u"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
const std::u16string kOther = u"0000000000000000000000000000000000000000000000000000000000000001";

std::u16string Doc(const std::u16string& productBody) {
  return u"<zarnwebinstaller><product>" + productBody + u"</product></zarnwebinstaller>";
}

std::u16string Entry(const std::u16string& os, const std::u16string& rlinkAttrs, const std::u16string& rlink,
                     const std::u16string& infoAttrs = u"", const std::u16string& patch = u"") {
  return u"<installerInfo" + infoAttrs + u"><os>" + os + u"</os><bit>64</bit><rlink" + rlinkAttrs + u">" + rlink +
         u"</rlink>" + patch + u"</installerInfo>";
}

// The debugger line is stderr natively; under Windows it goes to the debugger,
// which the tests do not read.
#ifdef _WIN32
constexpr bool kDebugLineSeen = false;
#else
constexpr bool kDebugLineSeen = true;
#endif
bool Said(const std::string& debug, const char* what) { return !kDebugLineSeen || debug.find(what) != std::string::npos; }

struct Selected {
  bool ok;
  InstallerConfig config;
  std::string debug;
};

Selected Select(const std::u16string& text) {
  CXmlDocument doc;
  doc.SetDocument(text);
  Selected s;
  testing::internal::CaptureStderr();
  s.ok = SelectInstallerLinks(doc, u"Windows 7", u"64", s.config);
  s.debug = testing::internal::GetCapturedStderr();
  return s;
}

TEST(Sha256Text, ExactlySixtyFourHexDigitsEitherCase) {
  std::u16string out = u"old";
  EXPECT_TRUE(ParseSha256Text(kDigestUpper, &out));
  EXPECT_EQ(out, kDigest);
  EXPECT_TRUE(ParseSha256Text(kDigest, nullptr));
  const std::u16string bad[] = {
      u"",
      kDigest.substr(1),             // 63 digits
      kDigest + u"0",                // 65
      u" " + kDigest.substr(1),      // a blank counts as a character, not as padding
      kDigest.substr(1) + u"g",      // not hex
      kDigest.substr(1) + u"\u0660",  // an Arabic-Indic zero is a digit, but not a hex digit here
      std::u16string(64, u'-'),
  };
  for (const auto& text : bad) {
    out = u"old";
    EXPECT_FALSE(ParseSha256Text(text, &out)) << text.size();
    EXPECT_EQ(out, u"old");
  }
}

TEST(Sha256Attribute, EachLinkCarriesTheDigestOfItsOwnElement) {
  auto s = Select(Doc(Entry(u"Windows XP", u" sha256=\"" + kOther + u"\"", u"http://d/", u" default=\"YES\"") +
                      Entry(u"Windows 7", u" sha256=\"" + kDigestUpper + u"\"", u"http://a/")));
  ASSERT_TRUE(s.ok);
  EXPECT_EQ(s.config.downloadLink.url, u"http://a/");
  EXPECT_EQ(s.config.downloadLink.sha256, kDigest);
  EXPECT_EQ(s.config.fallbackLink.url, u"http://d/");
  EXPECT_EQ(s.config.fallbackLink.sha256, kOther);
  EXPECT_EQ(s.debug, "");

  // Without the attribute the link has no digest: nothing is checked.
  s = Select(Doc(Entry(u"Windows 7", u"", u"http://a/", u" default=\"YES\"")));
  ASSERT_TRUE(s.ok);
  EXPECT_EQ(s.config.downloadLink.sha256, u"");
  EXPECT_EQ(s.config.fallbackLink.sha256, u"");
}

TEST(Sha256Attribute, MalformedDigestMakesTheLinkAbsentAndIsReported) {
  // The only matching entry has a bad digest: no link for this machine at all.
  auto s = Select(Doc(Entry(u"Windows 7", u" sha256=\"1234\"", u"http://a/")));
  EXPECT_FALSE(s.ok);
  EXPECT_EQ(s.config.downloadLink.url, u"");
  EXPECT_TRUE(Said(s.debug, "sha256"));
  EXPECT_TRUE(Said(s.debug, "http://a/"));

  // An earlier good entry stays chosen when a later one is spoiled; a spoiled
  // default entry gives no fallback, as if it had no rlink.
  s = Select(Doc(Entry(u"Windows 7", u"", u"http://good/") +
                 Entry(u"Windows 7", u" sha256=\"" + kDigest + u"x\"", u"http://bad/") +
                 Entry(u"Windows XP", u" sha256=\"zz\"", u"http://baddefault/", u" default=\"YES\"") +
                 Entry(u"Windows 8", u"", u"http://nextdefault/")));
  EXPECT_TRUE(s.ok);
  EXPECT_EQ(s.config.downloadLink.url, u"http://good/");
  EXPECT_EQ(s.config.fallbackLink.url, u"");
  EXPECT_TRUE(Said(s.debug, "http://bad/"));
  EXPECT_TRUE(Said(s.debug, "http://baddefault/"));

  // Entries for other machines are not reported: they were never candidates.
  s = Select(Doc(Entry(u"Windows 8", u" sha256=\"nope\"", u"http://other/") + Entry(u"Windows 7", u"", u"http://a/")));
  EXPECT_TRUE(s.ok);
  EXPECT_EQ(s.debug, "");
}

TEST(Sha256Attribute, PatchLinkCarriesItsOwnDigestAndABadOneIsSkipped) {
  const std::u16string text =
      Doc(Entry(u"Windows 7", u"", u"http://full/", u"", u"<patch sha256=\"bad\">http://p1/</patch>") +
          Entry(u"Windows 7", u"", u"http://full2/", u"", u"<patch sha256=\"" + kDigestUpper + u"\">http://p2/</patch>"));
  CXmlDocument doc;
  doc.SetDocument(text);
  PackageLink link{u"none", u"kept", u"", u""};
  testing::internal::CaptureStderr();
  EXPECT_TRUE(SelectPatchLink(doc, u"Windows 7", u"64", link));
  const std::string debug = testing::internal::GetCapturedStderr();
  EXPECT_EQ(link.url, u"http://p2/");
  EXPECT_EQ(link.sha256, kDigest);
  EXPECT_TRUE(Said(debug, "http://p1/"));
}

TEST(Counts, RetriesAndSegmentsReadAnywhereUnderProductAndClamped) {
  constexpr int R = InstallerConfig::kDefaultRetries, S = InstallerConfig::kDefaultSegments;
  struct Case {
    std::u16string element;
    int retries, segments;
    bool reported;
  } cases[] = {
      {u"", R, S, false},
      {u"<retries>0</retries>", 0, S, false},
      {u"<retries> 7 </retries>", 7, S, false},
      {u"<retries>10</retries>", 10, S, false},
      {u"<retries>11</retries>", 10, S, false},
      {u"<retries>99999999999999999999</retries>", 10, S, false},
      {u"<retries>-1</retries>", R, S, true},
      {u"<retries>two</retries>", R, S, true},
      {u"<retries></retries>", R, S, true},
      {u"<retriesx>5</retriesx>", R, S, false},  // another element
      {u"<segments>4</segments><retries>2</retries>", 2, 4, false},
      {u"<segments>\t8\n</segments>", R, 8, false},
      {u"<segments>9</segments>", R, 8, false},
      {u"<segments>0</segments>", R, 1, false},
      {u"<segments>-3</segments>", R, S, true},
      {u"<segments>4x</segments>", R, S, true},
  };
  for (const auto& c : cases) {
    // After the entries, so that reading it cannot disturb the link selection.
    auto s = Select(Doc(u"<name>P</name>" + Entry(u"Windows 7", u"", u"http://a/") + c.element));
    EXPECT_TRUE(s.ok);
    EXPECT_EQ(s.config.downloadLink.url, u"http://a/");
    EXPECT_EQ(s.config.productName, u"P");
    EXPECT_EQ(s.config.retries, c.retries) << std::string(c.element.begin(), c.element.end());
    EXPECT_EQ(s.config.segments, c.segments) << std::string(c.element.begin(), c.element.end());
    EXPECT_EQ(!s.debug.empty(), c.reported && kDebugLineSeen);
  }
  // Before name and registry it is found as well, and they are still read.
  auto s = Select(Doc(u"<retries>1</retries><name>P</name><registry>K</registry>" +
                      Entry(u"Windows 7", u"", u"http://a/")));
  EXPECT_EQ(s.config.retries, 1);
  EXPECT_EQ(s.config.productName, u"P");
  EXPECT_EQ(s.config.registryKey, u"K");
}

}  // namespace
