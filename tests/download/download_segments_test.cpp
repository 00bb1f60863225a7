// Downloads in several ranges at once: where each range lands, one range's trouble
// kept to itself or ending everything at once, holding and cancelling them all, and
// a server that does not honour the split.
#include "download/net_fixture.h"

using namespace nettest;
using enginetest::EngineSetup;

namespace {

using DownloadSegments = DownloadWatched;

constexpr size_t kSize = 4 * 1048576 + 2;
// How the engine cuts kSize in four: the first two ranges are a byte longer.
const std::vector<std::string> kFour = {"bytes=0-1048576", "bytes=1048577-2097153", "bytes=2097154-3145729",
                                        "bytes=3145730-4194305"};

EngineSetup Segments(int n) {
  EngineSetup s;
  s.segments = n;
  return s;
}

// The ranged requests with their answers' status, by first byte and then by text.
template <typename Records>
std::vector<std::pair<std::string, int>> Answered(const Records& reqs) {
  std::vector<std::pair<std::string, int>> out;
  for (const auto& q : reqs) {
    if (!q.range.empty()) out.emplace_back(q.range, q.status);
  }
  std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
    return RangeStart(a.first) != RangeStart(b.first) ? RangeStart(a.first) < RangeStart(b.first) : a < b;
  });
  return out;
}

TEST_F(DownloadSegments, RangesLandByteForByteAtTheirOffsets) {
  struct Case {
    size_t size;
    int segments;
    std::vector<std::string> ranges;
  } cases[] = {
      {kSize, 4, kFour},
      // Too small to split at all: the one request of an unsplit download.
      {1000, 4, {"bytes=0-999"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    auto data = Serve("p.bin", c.size);
    server->ClearRequests();
    RunResult r = RunEngine(Segments(c.segments), Link("/p.bin"), u"", target, Watch());
    EXPECT_EQ(r.last.state, STATUS_PREPARE_INSTALL);
    EXPECT_EQ(ReadBytes(out.path() / "package.exe"), data);
    EXPECT_EQ(r.last.bytesDone, c.size);
    ExpectProgressNeverGoesBack();
    EXPECT_EQ(RunRanges(c.ranges.size() + 1), c.ranges);
  }
}

TEST_F(DownloadSegments, ACutRangeResumesOnItsOwn) {
  auto data = Serve("p.bin", kSize);
  server->ClearRequests();
  // The third range's connection closes after 300000 bytes; its resumed request
  // starts elsewhere and is spared.
  RunResult r = RunEngine(Segments(4), Link("/p.bin?drop_after~2097154=300000"), u"", target, Watch());
  EXPECT_EQ(r.last.state, STATUS_PREPARE_INSTALL);
  EXPECT_EQ(ReadBytes(out.path() / "package.exe"), data);
  EXPECT_EQ(r.last.bytesDone, kSize);  // no byte counted twice
  ExpectProgressNeverGoesBack();
  std::vector<std::string> want = kFour;
  want.insert(want.begin() + 3, "bytes=2397154-3145729");
  EXPECT_EQ(RunRanges(want.size() + 1), want);
}

TEST_F(DownloadSegments, ARangeFailingForGoodEndsItAllAtOnceWithoutWaitingForASilentOne) {
  Serve("p.bin", kSize);
  server->ClearRequests();
  // Every range at 200000 B/s (5 s each). After 800 ms the second is refused for
  // good; the third has been silent since its first 50000 bytes and stays so for 4 s.
  RunResult r = RunEngine(Segments(4),
                          Link("/p.bin?pace=200000&header_delay_ms~1048577=800&range_status~1048577=404"
                               "&stall_after~2097154=50000&stall_ms~2097154=4000"),
                          u"", target);
  EXPECT_EQ(Tail(r, 3), kFailedAfterTransfer);
  // Why is the refused range's answer, not the stop it caused in the others.
  EXPECT_EQ(r.failure, (EngineFailure{FailureReason::kHttpStatus, FailureReason::kNone, 404}));
  EXPECT_GE(r.HeldMs(STATUS_DOWNLOAD_FAILED), 1000u - enginetest::kHoldSlackMs);
  EXPECT_GE(r.HeldMs(STATUS_CLEANUP_FILES), 2000u - enginetest::kHoldSlackMs);
  EXPECT_FALSE(TargetExists());
  EXPECT_TRUE(r.released);
  // Decided when the refusal came, not when the silent range woke.
  EXPECT_LT(r.HeldMs(STATUS_DOWNLOADING), 800u + 1000u);
  // The ranges still sending stopped within a second of it: they had sent no more
  // than 1.8 s of their pace (a whole range is over 5 s of it).
  size_t others = 0;
  for (const auto& q : server->Requests(5)) {
    if (q.range == kFour[0] || q.range == kFour[3]) {
      ++others;
      EXPECT_LT(q.bytesSent, 360000u) << q.range;
    }
  }
  EXPECT_EQ(others, 2u);
}

TEST_F(DownloadSegments, TheCancelQuestionHoldsAllFourAndYesStopsThemAll) {
  Serve("p.bin", kSize);
  server->ClearRequests();
  uint64_t heldAt = 0, held = 0, afterHold = 0;
  bool cancelled = false;
  RunResult r = RunEngine(Segments(4), Link("/p.bin?pace=300000"), u"", target, [&](const DownloadStatus& s, uint64_t t) {
    if (!heldAt) {
      size_t sending = 0;
      for (const auto& q : server->Sending()) sending += !q.range.empty() && q.bytesSent > 0;
      if (sending == 4 && s.bytesDone > 0) {
        runEvent->Reset();  // the question opens
        heldAt = t;
      }
    } else if (!held && t > heldAt + 150) {
      held = s.bytesDone;  // reads already under way may still have landed
    } else if (held && !cancelled && t > heldAt + 850) {
      afterHold = s.bytesDone;
      cancelled = true;
      cancelEvent->Set();  // Yes: cancel first, then let the reads go
      runEvent->Set();
    }
  });
  ASSERT_TRUE(cancelled);
  EXPECT_EQ(afterHold, held);
  EXPECT_EQ(Tail(r, 2), (std::vector<int32_t>{STATUS_DOWNLOAD_CANCELLED, STATUS_FINISHED}));
  EXPECT_EQ(r.failure.reason, FailureReason::kCancelled);
  EXPECT_LT(r.last.bytesDone, kSize);
  EXPECT_FALSE(TargetExists());
  EXPECT_EQ(RunRanges(5), kFour);  // nothing asked for after the cancel
}

TEST_F(DownloadSegments, AServerThatDoesNotHonourTheSplitStillDeliversThePackageInOne) {
  auto data = Serve("p.bin", kSize);
  const std::string rest = "bytes=1048577-4194305";  // the first range's end to the package's
  struct Case {
    std::string query;
    std::vector<std::pair<std::string, int>> requests;
  } cases[] = {
      // Every Range ignored: the first range's answer is the whole package, and it
      // takes all of it.
      {"ignore_range=1", {{kFour[0], 200}, {kFour[1], 200}, {kFour[2], 200}, {kFour[3], 200}}},
      // Ranges honoured from byte 0 only: the first range is written, then the rest
      // is asked for from its end; the 200 answer is written again from byte 0.
      {"resume_ignores_range=1",
       {{kFour[0], 206}, {kFour[1], 200}, {rest, 200}, {kFour[2], 200}, {kFour[3], 200}}},
      // The third range answered with other bytes after 150 ms, when the second and
      // the fourth had counted part of theirs.
      {"pace=4000000&header_delay_ms~2097154=150&bad_range_start~2097154=1",
       {{kFour[0], 206}, {kFour[1], 206}, {rest, 206}, {kFour[2], 206}, {kFour[3], 206}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.query);
    server->ClearRequests();
    RunResult r = RunEngine(Segments(4), Link("/p.bin?" + c.query), u"", target, Watch());
    EXPECT_EQ(r.last.state, STATUS_PREPARE_INSTALL);
    EXPECT_EQ(ReadBytes(out.path() / "package.exe"), data);
    EXPECT_EQ(r.last.bytesDone, kSize);  // every byte counted once
    ExpectProgressNeverGoesBack();
    EXPECT_EQ(Answered(server->Requests(c.requests.size() + 1)), c.requests);
  }
}

}  // namespace
