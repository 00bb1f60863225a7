// Transfers that meet a bad line: what is tried again and from where, what is not,
// the package digest, the no-data limit, and cancelling while the engine waits to
// try again.
#include <map>

#ifdef _WIN32
#include <windows.h>
#endif

#include "download/net_fixture.h"
#include "platform/http.h"
#include "platform/sha256.h"

using namespace nettest;
using enginetest::EngineSetup;


namespace {

std::u16string DigestOf(const std::vector<uint8_t>& data) {
  platform::Sha256 h;
  uint8_t d[platform::kSha256Bytes];
  h.Update(data.data(), data.size());
  h.Final(d);
  return platform::Sha256Hex(d);
}

using DownloadResume = DownloadWatched;

TEST_F(DownloadResume, CutConnectionsResumeAtTheFirstByteNotYetWritten) {
  auto data = Serve("p.bin", 100000);
  // Closed twice after 40000 bytes: every resumed Range starts where the file ends.
  server->ClearRequests();
  RunResult r = RunEngine(Link("/p.bin?drop_after=40000&times=2"), u"", target, Watch());
  EXPECT_EQ(r.last.state, STATUS_PREPARE_INSTALL);
  EXPECT_EQ(ReadBytes(out.path() / "package.exe"), data);
  EXPECT_EQ(r.last.bytesDone, 100000u);  // no byte counted twice
  EXPECT_EQ(RunRanges(4), (std::vector<std::string>{"bytes=0-99999", "bytes=40000-99999", "bytes=80000-99999"}));
  ExpectProgressNeverGoesBack();

  // Reset (RST) instead of closed: what was read before the reset is kept, the rest
  // is asked for from the next byte, and the count still ends at the size exactly.
  // (How much is read before a reset is the client's affair: Wine's WinINet drops
  // what it had buffered, so there the first resumed request may start at 0 again.)
  server->ClearRequests();
  r = RunEngine(Link("/p.bin?reset_after=30000&times=2"), u"", target, Watch());
  EXPECT_EQ(r.last.state, STATUS_PREPARE_INSTALL);
  EXPECT_EQ(ReadBytes(out.path() / "package.exe"), data);
  EXPECT_EQ(r.last.bytesDone, 100000u);
  auto ranges = RunRanges(4);
  ASSERT_EQ(ranges.size(), 3u);
  EXPECT_EQ(ranges[0], "bytes=0-99999");
  EXPECT_LE(RangeStart(ranges[1]), 30000);
  EXPECT_LE(RangeStart(ranges[2]), RangeStart(ranges[1]) + 30000);
  ExpectProgressNeverGoesBack();
}

TEST_F(DownloadResume, BusyAnswersAreTriedAgainAndRunOutAfterTheRetries) {
  auto data = Serve("p.bin", 60000);
  for (std::string status : {"503", "408", "429", "500"}) {
    SCOPED_TRACE(status);
    server->ClearRequests();
    RunResult r = RunEngine(Link("/p.bin?times=1&range_status=" + status), u"", target);
    EXPECT_EQ(r.last.state, STATUS_PREPARE_INSTALL);
    EXPECT_EQ(ReadBytes(out.path() / "package.exe"), data);
    EXPECT_EQ(RunRanges(3), (std::vector<std::string>{"bytes=0-59999", "bytes=0-59999"}));
  }
  // Busy for good: one attempt and two more, then the failure path, and no file.
  EngineSetup two;
  two.retries = 2;
  server->ClearRequests();
  RunResult r = RunEngine(two, Link("/p.bin?range_status=503"), u"", target);
  EXPECT_EQ(Tail(r, 3), kFailedAfterTransfer);
  EXPECT_EQ(r.last.bytesDone, 0u);  // the error pages were never counted
  EXPECT_FALSE(TargetExists());
  EXPECT_EQ(RunRanges(4).size(), 3u);
}

TEST_F(DownloadResume, FinalAnswersAreNotTriedAgain) {
  Serve("p.bin", 60000);
  TransferOptions options{3, enginetest::kShortRetryPauseMs, 60000};
  for (std::string q : {"range_status=404", "range_status=403", "range_status=416", "status=403", "bad_range_start=1",
                        "bad_total=1", "garbled_range=1", "no_content_range=1", "extra=100"}) {
    SCOPED_TRACE(q);
    server->ClearRequests();
    auto t = enginetest::RunTransfer(Link("/p.bin?" + q), target, 60000, options);
    ASSERT_TRUE(t.started);
    EXPECT_EQ(t.finalState, STATUS_DOWNLOAD_FAILED);
    EXPECT_EQ(RunRanges(1).size(), 1u);
  }
  // Through the whole engine: the failure path, and no file left.
  server->ClearRequests();
  RunResult r = RunEngine(Link("/p.bin?bad_total=1"), u"", target);
  EXPECT_EQ(Tail(r, 3), kFailedAfterTransfer);
  EXPECT_FALSE(TargetExists());
  EXPECT_EQ(RunRanges(2).size(), 1u);
  // A resumed request answered 200 with the whole package is not spliced in.
  server->ClearRequests();
  r = RunEngine(Link("/p.bin?drop_after=20000&times=1&resume_ignores_range=1"), u"", target);
  EXPECT_EQ(Tail(r, 3), kFailedAfterTransfer);
  EXPECT_FALSE(TargetExists());
  EXPECT_EQ(RunRanges(3), (std::vector<std::string>{"bytes=0-59999", "bytes=20000-59999"}));
}

TEST_F(DownloadResume, PartialAndLooseRangeAnswersThatAreRight) {
  auto data = Serve("p.bin", 100000);
  // A server that answers half of each range: the rest is asked for at once, and
  // this is no failure, so it needs no retries at all.
  EngineSetup none;
  none.retries = 0;
  server->ClearRequests();
  RunResult r = RunEngine(none, Link("/p.bin?short_range=1"), u"", target);
  EXPECT_EQ(r.last.state, STATUS_PREPARE_INSTALL);
  EXPECT_EQ(ReadBytes(out.path() / "package.exe"), data);
  auto ranges = RunRanges(10);
  ASSERT_GE(ranges.size(), 10u);
  // Each request starts right after what the one before delivered: half of its range.
  for (size_t i = 1; i < ranges.size(); ++i) {
    long long prev = RangeStart(ranges[i - 1]);
    EXPECT_EQ(RangeStart(ranges[i]), prev + (99999 - prev) / 2 + 1) << i;
  }
  // A total given as "*" does not say the package changed.
  r = RunEngine(Link("/p.bin?star_total=1"), u"", target);
  EXPECT_EQ(r.last.state, STATUS_PREPARE_INSTALL);
  // A line far slower than the no-data limit but never silent that long.
  auto small = Serve("s.bin", 640);
  EngineSetup patient;
  patient.noDataLimitMs = 1000;
  server->ClearRequests();
  r = RunEngine(patient, Link("/s.bin?drip_ms=25"), u"", target);
  EXPECT_EQ(r.last.state, STATUS_PREPARE_INSTALL);
  EXPECT_EQ(ReadBytes(out.path() / "package.exe"), small);
  EXPECT_EQ(RunRanges(2).size(), 1u);
}

TEST_F(DownloadResume, SilenceLongerThanTheNoDataLimitCountsAsABrokenLine) {
  auto data = Serve("p.bin", 100000);
  EngineSetup limit;
  limit.noDataLimitMs = 800;
  // Silent for 3 s once: the attempt gives up and the next one resumes.
  server->ClearRequests();
  RunResult r = RunEngine(limit, Link("/p.bin?stall_after=20000&stall_ms=3000&times=1"), u"", target);
  EXPECT_EQ(r.last.state, STATUS_PREPARE_INSTALL);
  EXPECT_EQ(ReadBytes(out.path() / "package.exe"), data);
  EXPECT_EQ(RunRanges(3), (std::vector<std::string>{"bytes=0-99999", "bytes=20000-99999"}));
  // Silent for good after 20000 bytes of every answer, one retry allowed: the
  // failure path, after 20000 bytes of each of the two attempts.
  limit.retries = 1;
  server->ClearRequests();
  r = RunEngine(limit, Link("/p.bin?stall_after=20000"), u"", target);
  EXPECT_EQ(Tail(r, 3), kFailedAfterTransfer);
  EXPECT_FALSE(TargetExists());
  EXPECT_EQ(r.last.bytesDone, 40000u);
#ifndef _WIN32
  // (The server program's log, which the Wine build reads, has a line for an
  // answer only once it ends, and these never do.)
  EXPECT_EQ(RunRanges(2), (std::vector<std::string>{"bytes=0-99999", "bytes=20000-99999"}));
#endif
}

TEST_F(DownloadResume, RedirectLoopGivesNoSize) {
#ifdef _WIN32
  GTEST_SKIP() << "Wine's WinINet follows a redirect loop without end";
#endif
  Serve("p.bin", 1000);
  RunResult r = RunEngine(Link("/p.bin?redirect_loop=1"), u"", target);
  EXPECT_EQ(r.States(), (std::vector<int32_t>{STATUS_INIT, STATUS_DOWNLOAD_FAILED, STATUS_FINISHED}));
  EXPECT_EQ(r.failure.reason, FailureReason::kNoSize);
  EXPECT_FALSE(TargetExists());
}

TEST_F(DownloadResume, PackageDigestIsCheckedBeforeItIsHandedOn) {
  auto data = Serve("p.bin", 70000);
  EngineSetup checked;
  checked.download.sha256 = DigestOf(data);
  // The right package, also when it came in three pieces.
  RunResult r = RunEngine(checked, Link("/p.bin?drop_after=30000&times=2"), u"", target);
  EXPECT_EQ(r.last.state, STATUS_PREPARE_INSTALL);
  EXPECT_EQ(ReadBytes(out.path() / "package.exe"), data);

  // One byte differs: failed, cleaned up, never handed on.
  r = RunEngine(checked, Link("/p.bin?corrupt_at=69999"), u"", target);
  EXPECT_EQ(Tail(r, 3), kFailedAfterTransfer);
  EXPECT_EQ(r.HeldMs(STATUS_DOWNLOAD_FAILED), 1000u);
  EXPECT_EQ(r.HeldMs(STATUS_CLEANUP_FILES), 2000u);
  EXPECT_EQ(r.last.bytesDone, 70000u);
  EXPECT_FALSE(TargetExists());
  EXPECT_EQ(r.failure.reason, FailureReason::kDigestMismatch);
  auto digests = r.heard->Digests();
  ASSERT_EQ(digests.size(), 1u);
  EXPECT_EQ(digests[0].first, checked.download.sha256);
  EXPECT_EQ(digests[0].second.size(), 64u);
  EXPECT_NE(digests[0].second, digests[0].first);
  // Without a digest the same body is taken as it is: the check is opt-in.
  r = RunEngine(Link("/p.bin?corrupt_at=69999"), u"", target);
  EXPECT_EQ(r.last.state, STATUS_PREPARE_INSTALL);

  // The fallback is checked against its own digest, not the first link's.
  EngineSetup both;
  both.download.sha256 = std::u16string(64, u'0');
  both.fallback.sha256 = DigestOf(data);
  r = RunEngine(both, Link("/missing.bin"), Link("/p.bin"), target);
  EXPECT_EQ(r.last.state, STATUS_PREPARE_INSTALL);
  std::swap(both.download.sha256, both.fallback.sha256);
  r = RunEngine(both, Link("/missing.bin"), Link("/p.bin"), target);
  EXPECT_EQ(Tail(r, 3), kFailedAfterTransfer);
  EXPECT_FALSE(TargetExists());

  // A publisher named and a package nobody signed: a reason of its own, not the
  // digest's.
  EngineSetup signedBy;
  signedBy.download.signer = u"Zarn Test Publisher";
  r = RunEngine(signedBy, Link("/p.bin"), u"", target);
  EXPECT_EQ(Tail(r, 3), kFailedAfterTransfer);
  EXPECT_EQ(r.failure.reason, FailureReason::kSignerMismatch);
  EXPECT_FALSE(TargetExists());
}

// From the digest check to the hand-off the package is held: on Windows another
// opener may read it but never write, replace or delete it. A cancel confirmed after
// state 8 lets go of it first and then deletes it.
TEST_F(DownloadResume, TheCheckedPackageIsHeldUntilItIsHandedOnOrDiscarded) {
  auto data = Serve("p.bin", 70000);
  EngineSetup checked;
  checked.download.url = Link("/p.bin");
  checked.download.sha256 = DigestOf(data);
  checked.targetPath = target;
  ASSERT_TRUE(StartDownloadEngine(checked));
  ASSERT_EQ(WaitForDownloadEnd(25, {}, 60000).state, STATUS_PREPARE_INSTALL);
#ifdef _WIN32
  const std::wstring path(platform::W(target)), other = path + L".other";
  testing_support::WriteBytes(out.path() / "package.exe.other", Pattern(100));
  HANDLE reader = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE) << "readers are welcome";
  if (reader != INVALID_HANDLE_VALUE) ::CloseHandle(reader);
  HANDLE writer = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(::MoveFileExW(other.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_FALSE(::DeleteFileW(path.c_str()));
  EXPECT_FALSE(platform::DeleteFileByPath(target)) << "a cancel after state 8 must let go of it first";
#endif
  EXPECT_EQ(ReadBytes(out.path() / "package.exe"), data);
  EXPECT_TRUE(DiscardPackage(target));
  EXPECT_FALSE(TargetExists());
  EXPECT_TRUE(ReleaseDownloadObjects());

#ifndef _WIN32
  // A package gone before it could be held (here, where the transfer's own handle
  // does not keep it) is a failed download, and nothing is handed on.
  bool removed = false;
  RunResult r = RunEngine(checked, Link("/p.bin?chunk=8192&delay_ms=20"), u"", target,
                          [&](const DownloadStatus& s, uint64_t) {
                            if (!removed && s.bytesDone > 0) removed = platform::DeleteFileByPath(target);
                          });
  EXPECT_TRUE(removed);
  EXPECT_EQ(Tail(r, 3), kFailedAfterTransfer);
  EXPECT_EQ(r.failure.reason, FailureReason::kPackageNotHeld);
#endif
}

TEST_F(DownloadResume, CancelDuringARetryPauseEndsAtOnce) {
  Serve("p.bin", 60000);
  EngineSetup slow;
  slow.realClock = true;
  slow.firstRetryPauseMs = 4000;
  uint64_t cancelledAt = 0;
  RunResult r = RunEngine(slow, Link("/p.bin?range_status=503"), u"", target, [&](const DownloadStatus& s, uint64_t t) {
    // The first transfer request has been refused by now, and the pause runs.
    if (!cancelledAt && s.state == STATUS_DOWNLOADING && t > 400) {
      cancelledAt = t;
      cancelEvent->Set();
      runEvent->Set();
    }
  });
  ASSERT_GT(cancelledAt, 0u);
  EXPECT_EQ(Tail(r, 2), (std::vector<int32_t>{STATUS_DOWNLOAD_CANCELLED, STATUS_FINISHED}));
  ASSERT_GE(r.changes.size(), 2u);
  const uint64_t shownAt = r.changes[r.changes.size() - 2].atMs;
  // The transfer's 500 ms before its final report, and no more of the 4 s pause.
  EXPECT_LT(shownAt - cancelledAt, 1500u);
  EXPECT_FALSE(TargetExists());
}

// Every way the test server can make a download fail leaves its own reason beside
// the state, with the status or the system's code, and the listener hears the
// probes and attempts that led there.
TEST_F(DownloadResume, EveryFailureKeepsItsReason) {
  auto data = Serve("p.bin", 60000);
  using R = FailureReason;
  struct Case {
    std::string query;  // on /p.bin, or a whole path when it starts with '/'
    int retries;
    R reason, cause;
    uint32_t code;  // an HTTP status, or 1: any system code but 0
  };
  const Case cases[] = {
      {"/missing.bin", 0, R::kNoSize, R::kHttpStatus, 404},
      {"status=503", 0, R::kNoSize, R::kHttpStatus, 503},
      {"zero_length=1", 0, R::kNoSize, R::kNoContentLength, 200},
      {"chunked=1", 0, R::kNoSize, R::kNoContentLength, 200},
      {"/" + std::string(5000, 'a'), 0, R::kNoSize, R::kLinkUnparsable, 0},
      {"status=403", 0, R::kHttpStatus, R::kNone, 403},
      {"range_status=416", 0, R::kHttpStatus, R::kNone, 416},
      {"bad_range_start=1", 0, R::kRangeRefused, R::kNone, 206},
      {"bad_total=1", 0, R::kRangeRefused, R::kNone, 206},
      {"garbled_range=1", 0, R::kRangeRefused, R::kNone, 206},
      {"no_content_range=1", 0, R::kRangeRefused, R::kNone, 206},
      {"drop_after=20000&times=1&resume_ignores_range=1&reason=1", 1, R::kRangeRefused, R::kNone, 200},
      {"extra=100", 0, R::kRangeRefused, R::kNone, 206},
      {"range_status=503", 2, R::kRetriesUsedUp, R::kHttpStatus, 503},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.query.substr(0, 60));
    EngineSetup setup;
    setup.retries = c.retries;
    RunResult r = RunEngine(setup, Link(c.query[0] == '/' ? c.query : "/p.bin?" + c.query), u"", target);
    EXPECT_EQ(r.last.state, STATUS_FINISHED);
    EXPECT_EQ(r.failure.reason, c.reason);
    EXPECT_EQ(r.failure.cause, c.cause);
    if (c.code == 1) {
      EXPECT_NE(r.failure.code, 0u);
    } else {
      EXPECT_EQ(r.failure.code, c.code);
    }
    EXPECT_EQ(r.heard->Failure(), r.failure) << "the last state told a failure other than the one kept";
    EXPECT_FALSE(TargetExists());
  }

  // A connection closed or reset inside the body: Wine's WinINet says the body
  // ended, libcurl that the connection broke; either way it is the line.
  EngineSetup once;
  once.retries = 0;
  RunResult r = RunEngine(once, Link("/p.bin?reset_after=30000"), u"", target);
  EXPECT_TRUE(r.failure.reason == R::kBodyEndedEarly || r.failure.reason == R::kConnectionBroken)
      << FailureReasonName(r.failure.reason);
  r = RunEngine(once, Link("/p.bin?drop_after=20000"), u"", target);
  EXPECT_TRUE(r.failure.reason == R::kBodyEndedEarly || r.failure.reason == R::kConnectionBroken)
      << FailureReasonName(r.failure.reason);
  auto attempts = r.heard->Attempts();
  ASSERT_EQ(attempts.size(), 1u);
  EXPECT_EQ(attempts[0].status, 206u);
  EXPECT_EQ(attempts[0].contentRange, u"bytes 0-59999/60000");
  EXPECT_EQ(attempts[0].bytes, 20000);
  EXPECT_EQ(attempts[0].failure, r.failure);

  // A silence past the no-data limit is told apart from a broken line.
  EngineSetup limit;
  limit.retries = 0;
  limit.noDataLimitMs = 500;
  r = RunEngine(limit, Link("/p.bin?stall_after=20000&stall_ms=3000"), u"", target);
  EXPECT_EQ(r.failure.reason, R::kStalled) << FailureReasonName(r.failure.reason) << " " << r.failure.code;
  EXPECT_TRUE(platform::HttpErrorIsTimeout(r.failure.code)) << r.failure.code;
  // So is an answer that keeps the probe waiting past it (but for Wine's WinINet,
  // which ends such a wait as an aborted connection).
  r = RunEngine(limit, Link("/p.bin?header_delay_ms=2000"), u"", target);
  EXPECT_EQ(r.failure.reason, R::kNoSize);
#ifdef _WIN32
  EXPECT_TRUE(r.failure.cause == R::kStalled || r.failure.cause == R::kConnectFailed) << r.failure.code;
#else
  EXPECT_EQ(r.failure.cause, R::kStalled) << FailureReasonName(r.failure.cause) << " " << r.failure.code;
#endif

  // Nobody listening on the port: the probe of each link could not connect.
  r = RunEngine(u"http://127.0.0.1:1/p.bin", u"", target);
  EXPECT_EQ(r.failure.reason, R::kNoSize);
  EXPECT_EQ(r.failure.cause, R::kConnectFailed);
  EXPECT_NE(r.failure.code, 0u);

  // Both links probed, each told with its answer; the reason is the fallback's.
  r = RunEngine(Link("/missing.bin"), Link("/p.bin?status=503"), target);
  EXPECT_EQ(r.failure, (EngineFailure{R::kNoSize, R::kHttpStatus, 503}));
  auto probes = r.heard->Probes();
  ASSERT_EQ(probes.size(), 2u);
  EXPECT_EQ(probes[0].link, Link("/missing.bin"));
  EXPECT_EQ(probes[0].status, 404u);
  EXPECT_EQ(probes[1].status, 503u);

  // The retries were paused for as the pauses said, and each attempt was heard.
  EngineSetup two;
  two.retries = 2;
  r = RunEngine(two, Link("/p.bin?range_status=503"), u"", target);
  EXPECT_EQ(r.heard->Pauses(), (std::vector<uint32_t>{enginetest::kShortRetryPauseMs, 2 * enginetest::kShortRetryPauseMs}));
  EXPECT_EQ(r.heard->Attempts().size(), 3u);
  EXPECT_EQ(r.HeldMs(STATUS_DOWNLOADING), 3 * enginetest::kShortRetryPauseMs);
}

// The one test that times the engine's pauses by the system's clock; the others
// count them by the recorder's.
TEST_F(DownloadResume, RealPausesAndHoldsLastAsLongAsTheyShould) {
  auto data = Serve("p.bin", 20000);
  EngineSetup real;
  real.realClock = true;
  real.firstRetryPauseMs = 1000;
  RunResult r = RunEngine(real, Link("/p.bin?range_status=503&times=2"), u"", target);
  EXPECT_EQ(r.last.state, STATUS_PREPARE_INSTALL);
  EXPECT_EQ(ReadBytes(out.path() / "package.exe"), data);
  // Downloading from the size probe to the end: 1 s + 2 s of pauses, and not the
  // 4 s a third pause would add; then the package is held 500 ms before state 8.
  EXPECT_GE(r.HeldMs(STATUS_DOWNLOADING), 3000u - enginetest::kHoldSlackMs);
  EXPECT_LT(r.HeldMs(STATUS_DOWNLOADING), 6500u);
  EXPECT_GE(r.HeldMs(STATUS_DOWNLOADDONE), 500u - enginetest::kHoldSlackMs);
  EXPECT_EQ(RetryPauseMs(1000, 0), 1000u);
  EXPECT_EQ(RetryPauseMs(1000, 2), 4000u);
  EXPECT_EQ(RetryPauseMs(1000, 9), 30000u);
  // A failed transfer: 1 s of "failed", 2 s of "cleaning up".
  real.retries = 0;
  r = RunEngine(real, Link("/p.bin?status=403"), u"", target);
  EXPECT_EQ(Tail(r, 3), kFailedAfterTransfer);
  EXPECT_GE(r.HeldMs(STATUS_DOWNLOAD_FAILED), 1000u - enginetest::kHoldSlackMs);
  EXPECT_GE(r.HeldMs(STATUS_CLEANUP_FILES), 2000u - enginetest::kHoldSlackMs);
}

}  // namespace
