// The engine's pieces that need no network: size text, link cracking, the
// completion bookkeeping of the progress callback, and how a package is cut into
// ranges.
#include <gtest/gtest.h>

#include "download/download_manager.h"
#include "download/engine_requests.h"
#include "download/segment_split.h"

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

TEST_F(Bookkeeping, TheFirstFailureOrCancelDecidesAtOnceAndStopsTheOthers) {
  for (int32_t first : {STATUS_DOWNLOAD_FAILED, STATUS_DOWNLOAD_CANCELLED}) {
    SCOPED_TRACE(first);
    TearDown();  // each case afresh
    SetUp();
    runningSegments = 3;
    ProgressReport r{first, 0, 0};
    EXPECT_EQ(OnSegmentProgress(&r), 0);
    // Decided while two transfers still run: the worker need not wait for them (one
    // may sit on a silent connection), and they are told to stop.
    EXPECT_EQ(g_downloadStatus.state, first);
    EXPECT_TRUE(doneEvent->Wait(0));
    EXPECT_TRUE(cancelEvent->Wait(0));
    g_downloadStatus.state = STATUS_CLEANUP_FILES;  // the worker has gone on
    ProgressReport progress{STATUS_DOWNLOADING, 10, 0};
    EXPECT_EQ(OnSegmentProgress(&progress), 1);
    ProgressReport done{STATUS_DOWNLOADDONE, 0, 0};
    EXPECT_EQ(OnSegmentProgress(&done), 1);
    // The late leavers are counted out and change nothing the worker has stored.
    EXPECT_EQ(runningSegments, 0);
    EXPECT_EQ(g_downloadStatus.state, STATUS_CLEANUP_FILES);
    EXPECT_EQ(g_downloadStatus.bytesDone, 0u);
    EXPECT_FALSE(doneEvent->Wait(0));
  }
}

TEST_F(Bookkeeping, AHandedOverRangeLeavesWithoutDecidingAndNeverCompletesThePackage) {
  runningSegments = 2;
  ProgressReport handed{kReportHandedOver, 0, 0};
  EXPECT_EQ(OnSegmentProgress(&handed), 0);
  EXPECT_FALSE(doneEvent->Wait(0));
  EXPECT_FALSE(cancelEvent->Wait(0));
  ProgressReport done{STATUS_DOWNLOADDONE, 0, 0};
  EXPECT_EQ(OnSegmentProgress(&done), 0);
  EXPECT_EQ(g_downloadStatus.state, STATUS_DOWNLOADDONE);
  // Were a handed-over range the last to leave, the package would be incomplete.
  TearDown();
  SetUp();
  runningSegments = 1;
  EXPECT_EQ(OnSegmentProgress(&handed), 0);
  EXPECT_TRUE(doneEvent->Wait(0));
  EXPECT_EQ(g_downloadStatus.state, STATUS_DOWNLOAD_FAILED);
}

TEST(SegmentPlan, ContiguousRangesOfAtLeastOneMiBCoveringThePackage) {
  constexpr int64_t MiB = kSmallestSegmentBytes;
  struct Case {
    int64_t size;
    int wanted;
    size_t count;
  } cases[] = {{1, 4, 1}, {4 * MiB - 1, 4, 3}, {4 * MiB, 4, 4}, {10 * MiB + 3, 4, 4}, {10 * MiB + 3, 8, 8},
               {5 * MiB, 0, 1}, {5 * MiB, 1, 1}, {INT64_MAX / 2 + 7, 8, 8}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    const std::vector<ByteRange> ranges = PlanSegments(c.size, c.wanted);
    ASSERT_EQ(ranges.size(), c.count);
    int64_t next = 0, shortest = INT64_MAX, longest = 0;
    for (const ByteRange& r : ranges) {
      EXPECT_EQ(r.first, next);
      next = r.last + 1;
      shortest = std::min(shortest, r.last - r.first + 1);
      longest = std::max(longest, r.last - r.first + 1);
    }
    EXPECT_EQ(next, c.size);
    EXPECT_LE(longest - shortest, 1);
    if (c.count > 1) {
      EXPECT_GE(shortest, MiB);
    }
  }
}

TEST(SegmentPlan, TakingOverCountsEveryByteOfThePackageOnce) {
  // The first range had written 0..99 when it took over; two others had counted
  // 200..299 and 500..549 of a package of 650 bytes.
  FreshBytes fresh(100, {{200, 299}, {500, 549}});
  int64_t counted = 100 + 100 + 50;
  counted += fresh.Take(100, 50);   // 100..149
  counted += fresh.Take(150, 200);  // 150..349, of which 200..299 was counted
  // The line broke; a 200 answer writes the package again from byte 0.
  EXPECT_EQ(fresh.Take(0, 300), 0);
  counted += fresh.Take(300, 350);  // 300..649, of which 350 is new and 500..549 not
  EXPECT_EQ(counted, 650);
  EXPECT_EQ(fresh.Take(0, 650), 0);
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
