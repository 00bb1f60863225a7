// The online check against the loopback test server in its fault modes: each link
// gets the installer's own probe and a one-byte range request, and a package with
// an expected digest is fetched and hashed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kit_check.h"
#include "platform/sha256.h"
#include "platform/text.h"
#include "support/test_support.h"
#include "testserver/test_server.h"

using testing_support::TempDir;

namespace {

std::string Hex(const std::vector<uint8_t>& data) {
  platform::Sha256 h;
  uint8_t digest[platform::kSha256Bytes];
  EXPECT_TRUE(h.Update(data.data(), data.size()) && h.Final(digest));
  return platform::WideToUtf8(platform::Sha256Hex(digest));
}

const kit::ProbeRow* ProbeOf(const kit::Report& r, const std::string& link) {
  for (const kit::ProbeRow& p : r.probes)
    if (p.link == link) return &p;
  return nullptr;
}

std::vector<std::string> FindingsAbout(const kit::Report& r, const std::string& link) {
  std::vector<std::string> codes;
  for (const kit::Finding& f : r.findings)
    if (f.code.compare(0, 7, "online-") == 0 && f.message.find("\"" + link + "\"") == 0) codes.push_back(f.code);
  return codes;
}

TEST(KitOnline, EachFaultModeIsReportedForItsLinkOnly) {
  TempDir root, dir;
  testserver::TestServer server(root.path().string());
  ASSERT_TRUE(server.Start(0));
  std::vector<uint8_t> package(70000);
  for (size_t i = 0; i < package.size(); ++i) package[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
  testing_support::WriteBytes(root.path() / "pkg.exe", package);
  const std::string good = server.Url("/pkg.exe"), missing = server.Url("/pkg.exe?status=404"),
                    noLength = server.Url("/pkg.exe?chunked=1"), noRange = server.Url("/pkg.exe?ignore_range=1"),
                    swapped = server.Url("/pkg.exe?corrupt_at=100"), dead = "http://127.0.0.1:1/pkg.exe";
  std::vector<uint8_t> corrupt = package;
  corrupt[100] = static_cast<uint8_t>(~corrupt[100]);
  auto entry = [](const char* os, const char* bit, const std::string& link, const std::string& sha = "") {
    return std::string("<installerInfo><os>") + os + "</os><bit>" + bit + "</bit><rlink" +
           (sha.empty() ? "" : " sha256=\"" + sha + "\"") + ">" + link + "</rlink></installerInfo>\n";
  };
  testing_support::WriteText(
      dir.path() / "ZarnWebInstaller.xml",
      "<zarnwebinstaller><product><name>P</name><registry>SOFTWARE\\P</registry>\n" +
          entry("Windows 8", "64", good, Hex(package)) + entry("Windows 7", "64", missing, Hex(package)) +
          entry("Windows Vista", "64", noLength) + entry("Windows XP", "64", noRange) +
          // The server's body differs from the file in one byte: the package's digest
          // does not match.
          entry("Windows 8", "32", swapped, Hex(package)) + entry("Windows XP", "32", dead) +
          entry("Windows 7", "32", good) + "</product></zarnwebinstaller>\n");
  kit::Report r;
  kit::CheckConfiguration(dir.Wide("ZarnWebInstaller.xml"), "ZarnWebInstaller.xml", r);
  server.ClearRequests();
  kit::CheckOnline(r);
  server.Stop();

  ASSERT_EQ(r.probes.size(), 6u);  // the good link once, though two machines use it
  const kit::ProbeRow* p = ProbeOf(r, good);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->status, 200u);
  EXPECT_EQ(p->size, 70000);
  EXPECT_EQ(p->rangeStatus, 206u);
  EXPECT_EQ(p->contentRange, "bytes 0-0/70000");
  EXPECT_TRUE(p->rangeHonoured);
  EXPECT_TRUE(p->downloaded);
  EXPECT_EQ(p->actualSha256, Hex(package));
  EXPECT_TRUE(FindingsAbout(r, good).empty());

  EXPECT_EQ(ProbeOf(r, missing)->status, 404u);
  EXPECT_EQ(FindingsAbout(r, missing), std::vector<std::string>{"online-no-size"});
  EXPECT_EQ(FindingsAbout(r, noLength), std::vector<std::string>{"online-no-size"});
  EXPECT_EQ(ProbeOf(r, noRange)->rangeStatus, 200u);
  EXPECT_EQ(FindingsAbout(r, noRange), std::vector<std::string>{"online-range"});
  EXPECT_EQ(FindingsAbout(r, swapped), std::vector<std::string>{"online-sha256-mismatch"});
  EXPECT_EQ(ProbeOf(r, swapped)->actualSha256, Hex(corrupt));
  EXPECT_FALSE(ProbeOf(r, dead)->sent);
  EXPECT_EQ(FindingsAbout(r, dead), std::vector<std::string>{"online-no-answer"});
  for (const kit::Finding& f : r.findings)
    if (f.code.compare(0, 7, "online-") == 0) {
      EXPECT_EQ(f.grade, kit::Grade::kWarning) << f.code;
    }

  // The probe and the range request are the installer's own: its agent and Referer,
  // no Range on the probe, exactly one byte asked for after it.
  size_t probes = 0, ranges = 0;
  for (const testserver::RequestRecord& q : server.Requests()) {
    if (q.path != "/pkg.exe" || q.query != "") continue;
    EXPECT_EQ(q.userAgent, "Ostrel_WebInstaller");
    EXPECT_EQ(q.referer, "http://www.zarnsoft.example/");
    if (q.range.empty()) {
      ++probes;
      EXPECT_EQ(q.accept, "application/xml, */*");
    } else if (q.range == "bytes=0-0") {
      ++ranges;
    }
  }
  EXPECT_EQ(probes, 2u);  // the probe, and the engine's own probe before the download
  EXPECT_EQ(ranges, 1u);
}

}  // namespace
