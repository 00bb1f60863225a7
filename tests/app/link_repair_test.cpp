// The link check before the download: what the engine receives, and when the
// window must say "Unrecognized URL".
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "app/link_repair.h"
#include "download/download_manager.h"

namespace {

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
    EXPECT_EQ(app::RepairLinks(&d, &f), c.usable) << std::string(c.download.begin(), c.download.begin() + std::min<size_t>(c.download.size(), 40));
    EXPECT_EQ(d, c.gotDownload);
    EXPECT_EQ(f, c.gotFallback);
  }
}

}  // namespace
