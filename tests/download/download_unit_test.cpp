// The engine's pieces that need no network: size text, link cracking, and the
// completion bookkeeping of the progress callback.
#include <gtest/gtest.h>

#include "download/download_manager.h"
#include "download/engine_requests.h"

namespace {

TEST(ContentLength, SixtyFourBitAndBadTextGiveNoSize) {
  EXPECT_EQ(ParseContentLength(u"40960"), 40960);
  EXPECT_EQ(ParseContentLength(u"  +12abc"), 12);
  EXPECT_EQ(ParseContentLength(u"3000000000"), 3000000000LL);
  EXPECT_EQ(ParseContentLength(u"-5"), 0);
  EXPECT_EQ(ParseContentLength(u"abc"), 0);
  EXPECT_EQ(ParseContentLength(u""), 0);
  EXPECT_EQ(ParseContentLength(u"99999999999999999999999"), 0);
}

TEST(Links, ParseCrackAndComponentLimits) {
  EXPECT_TRUE(LinkParses(u"http://www.example.com/a/b.exe?x=1"));
  EXPECT_FALSE(LinkParses(u"www.example.com/a.exe"));
  EXPECT_FALSE(LinkParses(u""));
  platform::UrlParts p;
  ASSERT_TRUE(platform::CrackUrl(u"https://u:pw@host.example:8443/dir/f.exe?q=1", &p));
  EXPECT_EQ(p.scheme, platform::UrlScheme::kHttps);
  EXPECT_EQ(p.host, u"host.example");
  EXPECT_EQ(p.port, 8443);
  EXPECT_EQ(p.user, u"u");
  EXPECT_EQ(p.password, u"pw");
  EXPECT_EQ(p.path, u"/dir/f.exe");
  EXPECT_EQ(p.extra, u"?q=1");
  ASSERT_TRUE(platform::CrackUrl(u"http://h/", &p));
  EXPECT_EQ(p.port, 80);
  EXPECT_TRUE(platform::CrackUrl(u"http://h/" + std::u16string(4000, u'a'), &p));
  EXPECT_FALSE(platform::CrackUrl(u"http://h/" + std::u16string(4100, u'a'), &p));
  EXPECT_FALSE(platform::CrackUrl(u"http://h/?" + std::u16string(4100, u'q'), &p));
}

class Bookkeeping : public ::testing::Test {
 protected:
  void SetUp() override {
    statusLock = new platform::Lock();
    doneEvent = new platform::Event(false, false);
    cancelEvent = new platform::Event(true, false);
    runEvent = new platform::Event(true, true);
    g_downloadStatus = {STATUS_DOWNLOADING, 0, 100};
    segmentFailed = 0;
  }
  void TearDown() override { ReleaseDownloadObjects(); }
};

TEST_F(Bookkeeping, LastSegmentStoresTheOutcome) {
  runningSegments = 2;
  ProgressReport r{STATUS_DOWNLOADING, 40, 0};
  EXPECT_EQ(OnSegmentProgress(&r), 0);
  EXPECT_EQ(OnSegmentProgress(nullptr), 0);
  r = {STATUS_DOWNLOADDONE, 0, 0};
  EXPECT_EQ(OnSegmentProgress(&r), 0);
  EXPECT_FALSE(doneEvent->Wait(0));
  EXPECT_EQ(OnSegmentProgress(&r), 0);
  EXPECT_TRUE(doneEvent->Wait(0));
  EXPECT_EQ(g_downloadStatus.state, STATUS_DOWNLOADDONE);
  EXPECT_EQ(g_downloadStatus.bytesDone, 40u);
}

TEST_F(Bookkeeping, AFailureStopsTheOthersAndTheLastOneLeavingStoresSix) {
  runningSegments = 3;
  ProgressReport failed{STATUS_DOWNLOAD_FAILED, 0, 0};
  EXPECT_EQ(OnSegmentProgress(&failed), 0);
  EXPECT_EQ(segmentFailed, 1);
  EXPECT_FALSE(cancelEvent->Wait(0));
  ProgressReport progress{STATUS_DOWNLOADING, 10, 0};
  EXPECT_EQ(OnSegmentProgress(&progress), 1);
  EXPECT_TRUE(cancelEvent->Wait(0));
  EXPECT_EQ(g_downloadStatus.bytesDone, 0u);  // not added once a segment failed
  EXPECT_FALSE(doneEvent->Wait(0));
  ProgressReport cancelled{STATUS_DOWNLOAD_CANCELLED, 0, 0};
  EXPECT_EQ(OnSegmentProgress(&cancelled), 1);
  EXPECT_TRUE(doneEvent->Wait(0));
  EXPECT_EQ(g_downloadStatus.state, STATUS_DOWNLOAD_FAILED);
  EXPECT_EQ(runningSegments, 0);
}

TEST(CancelProbe, CancelAndPauseAreIndependent) {
  platform::Event cancel(true, false);
  runEvent = new platform::Event(true, true);
  CancelRequest c(&cancel);
  EXPECT_FALSE(c.IsCancelled());
  EXPECT_FALSE(c.IsPaused());
  runEvent->Reset();
  EXPECT_TRUE(c.IsPaused());
  cancel.Set();
  EXPECT_TRUE(c.IsCancelled());
  delete runEvent;
  runEvent = nullptr;
  EXPECT_TRUE(c.IsPaused());  // no run event: nothing may be read
}

}  // namespace
