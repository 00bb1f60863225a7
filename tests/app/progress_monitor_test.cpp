// The progress monitor driven through whole flows, tick by tick, as the engine would
// report them.
#include <gtest/gtest.h>

#include <vector>

#include "app/instance_lock.h"
#include "app/progress_monitor.h"

namespace app {
namespace {

using A = MonitorAction;

MonitorAction Status(int32_t code) { return {A::ShowStatus, static_cast<uint64_t>(code)}; }
MonitorAction Progress(uint64_t bytes) { return {A::ShowProgress, bytes}; }
const MonitorAction kEnd{A::EndDialog, 0};
const MonitorAction kLaunch{A::LaunchInstaller, 0};
const MonitorAction kDelete{A::DeletePackage, 0};

class Monitor : public ::testing::Test {
 protected:
  void SetUp() override {
    launchArmed = false;
    m.EngineStarted();
  }
  TickResult Tick(int32_t state, uint64_t done = 0, uint64_t total = 0) {
    return m.Tick(DownloadStatus{state, done, total});
  }
  static bool Has(const TickResult& r, MonitorAction::Kind kind) {
    for (const auto& a : r.actions)
      if (a.kind == kind) return true;
    return false;
  }
  ProgressMonitor m;
};

TEST_F(Monitor, SuccessShowsEachNewStateAndStartsThePackageOnTheSecondTickOfState8) {
  TickResult r = Tick(STATUS_INIT);
  EXPECT_EQ(r.actions, (std::vector<A>{Status(1)})) << "the first tick always shows a text";
  EXPECT_EQ(r.nextTimerMs, kTickMs);
  r = Tick(STATUS_INIT);
  EXPECT_TRUE(r.actions.empty()) << "no bytes yet: no band, no repeated text";

  r = Tick(STATUS_DOWNLOADING, 100, 1000);
  EXPECT_EQ(r.actions, (std::vector<A>{Status(2), Progress(100), Progress(100)}));
  EXPECT_EQ(m.bytesTotal, 1000u);
  r = Tick(STATUS_DOWNLOADING, 600, 1000);
  EXPECT_EQ(r.actions, (std::vector<A>{Progress(600), Progress(600)}));

  r = Tick(STATUS_DOWNLOADDONE, 1000, 1000);
  EXPECT_EQ(r.actions, (std::vector<A>{Status(3), Progress(1000), Progress(1000)}));
  r = Tick(STATUS_PREPARE_INSTALL, 1000, 1000);
  EXPECT_EQ(r.actions, (std::vector<A>{Status(8), Progress(1000), Progress(1000)}));
  EXPECT_EQ(r.nextTimerMs, kTickMs) << "the first tick of state 8 only arms";
  EXPECT_TRUE(launchArmed);
  r = Tick(STATUS_PREPARE_INSTALL, 1000, 1000);
  EXPECT_EQ(r.actions, (std::vector<A>{Progress(1000), Progress(1000), kLaunch, kEnd}));
  EXPECT_EQ(r.nextTimerMs, 0u);
  EXPECT_FALSE(launchArmed);
}

TEST_F(Monitor, FailureAfterATransferShowsFailedOnEveryTickThenCleanupAndCloses) {
  Tick(STATUS_DOWNLOADING, 500, 1000);
  TickResult r = Tick(STATUS_DOWNLOAD_FAILED, 500, 1000);
  EXPECT_EQ(r.actions, (std::vector<A>{Status(6), Status(6), Progress(500), Progress(500)}));
  r = Tick(STATUS_DOWNLOAD_FAILED, 500, 1000);
  EXPECT_EQ(r.actions, (std::vector<A>{Status(6), Progress(500), Progress(500)}));
  r = Tick(STATUS_CLEANUP_FILES, 500, 1000);
  EXPECT_EQ(r.actions.front(), Status(7));
  EXPECT_EQ(r.nextTimerMs, kTickMs);
  r = Tick(STATUS_FINISHED, 500, 1000);
  EXPECT_EQ(r.actions.front(), kEnd);
  EXPECT_FALSE(Has(r, A::LaunchInstaller));
  EXPECT_EQ(r.nextTimerMs, 0u);
}

TEST_F(Monitor, FailureWithoutASizeGoesStraightFrom6To10) {
  Tick(STATUS_INIT);
  EXPECT_EQ(Tick(STATUS_DOWNLOAD_FAILED).actions, (std::vector<A>{Status(6), Status(6)}));
  EXPECT_EQ(Tick(STATUS_DOWNLOAD_FAILED).actions, (std::vector<A>{Status(6)}));
  TickResult r = Tick(STATUS_FINISHED);
  EXPECT_EQ(r.actions, (std::vector<A>{kEnd, Status(10)}));
  EXPECT_EQ(r.nextTimerMs, 0u);
}

TEST_F(Monitor, ConfirmedCancelWaitsForTheEngineAndFreezesTheBand) {
  Tick(STATUS_DOWNLOADING, 300, 1000);
  ASSERT_TRUE(m.BeginConfirm());
  m.EndConfirm(true);
  EXPECT_FALSE(m.BeginConfirm()) << "a second click after a confirmed cancel does nothing";
  TickResult r = Tick(STATUS_DOWNLOADING, 400, 2000);
  EXPECT_EQ(r.actions, (std::vector<A>{Status(STATUS_DOWNLOAD_CANCELLING)}));
  EXPECT_EQ(r.nextTimerMs, kTickMs);
  EXPECT_EQ(m.bytesDone, 300u);
  EXPECT_EQ(m.bytesTotal, 1000u);
  r = Tick(STATUS_DOWNLOAD_CANCELLED, 400, 2000);
  EXPECT_EQ(r.actions, (std::vector<A>{Status(5)}));
  EXPECT_EQ(r.nextTimerMs, kCancelledTickMs);
  r = Tick(STATUS_FINISHED);
  EXPECT_EQ(r.actions, (std::vector<A>{kEnd}));
  EXPECT_EQ(r.nextTimerMs, 0u);
}

TEST_F(Monitor, AnsweringNoChangesNothing) {
  Tick(STATUS_DOWNLOADING, 300, 1000);
  ASSERT_TRUE(m.BeginConfirm());
  m.EndConfirm(false);
  EXPECT_FALSE(m.cancelRequested);
  EXPECT_EQ(Tick(STATUS_DOWNLOADING, 350, 1000).actions, (std::vector<A>{Progress(350), Progress(350)}));
  EXPECT_TRUE(m.BeginConfirm()) << "the user may ask again";
}

TEST_F(Monitor, CancelConfirmedAfterThePackageIsCompleteDeletesItAndNeverStartsIt) {
  Tick(STATUS_DOWNLOADDONE, 1000, 1000);
  Tick(STATUS_PREPARE_INSTALL, 1000, 1000);  // armed
  ASSERT_TRUE(m.BeginConfirm());
  // Ticks keep coming while the box is open; the package is not started behind it.
  TickResult r = Tick(STATUS_PREPARE_INSTALL, 1000, 1000);
  EXPECT_FALSE(Has(r, A::LaunchInstaller));
  EXPECT_FALSE(Has(r, A::EndDialog));
  EXPECT_EQ(r.nextTimerMs, kTickMs);
  m.EndConfirm(true);
  r = Tick(STATUS_PREPARE_INSTALL, 1000, 1000);
  EXPECT_EQ(r.actions, (std::vector<A>{kDelete, kEnd}));
  EXPECT_EQ(r.nextTimerMs, 0u);
}

TEST_F(Monitor, AnsweringNoAfterState8StartsThePackageOnTheNextTick) {
  Tick(STATUS_PREPARE_INSTALL, 1000, 1000);
  ASSERT_TRUE(m.BeginConfirm());
  EXPECT_FALSE(Has(Tick(STATUS_PREPARE_INSTALL, 1000, 1000), A::LaunchInstaller));
  m.EndConfirm(false);
  TickResult r = Tick(STATUS_PREPARE_INSTALL, 1000, 1000);
  EXPECT_TRUE(Has(r, A::LaunchInstaller));
  EXPECT_EQ(r.actions.back(), kEnd);
}

TEST_F(Monitor, StalledBytesStillPaintTwiceAndBytesGoingBackAreNotShown) {
  Tick(STATUS_DOWNLOADING, 500, 1000);
  EXPECT_EQ(Tick(STATUS_DOWNLOADING, 500, 1000).actions, (std::vector<A>{Progress(500), Progress(500)}));
  EXPECT_TRUE(Tick(STATUS_DOWNLOADING, 200, 1000).actions.empty());
  EXPECT_EQ(m.bytesDone, 500u);
  EXPECT_EQ(Tick(STATUS_DOWNLOADING, 501, 1000).actions, (std::vector<A>{Progress(501), Progress(501)}));
}

TEST_F(Monitor, StateOutsideTheRangeStillRequestsAStatusPaintAndKeepsPolling) {
  Tick(STATUS_DOWNLOADING);
  for (int32_t odd : {0, 11, -3}) {
    TickResult r = Tick(odd);
    EXPECT_EQ(r.actions, (std::vector<A>{Status(odd)})) << odd;
    EXPECT_EQ(r.nextTimerMs, kTickMs);
  }
  EXPECT_TRUE(Tick(-3).actions.empty());
}

TEST_F(Monitor, LaunchArmStaysWhenTheStateMovesAwayFrom8) {
  Tick(STATUS_PREPARE_INSTALL, 10, 10);
  Tick(STATUS_DOWNLOADING, 10, 10);
  EXPECT_TRUE(launchArmed);
  EXPECT_TRUE(Has(Tick(STATUS_PREPARE_INSTALL, 10, 10), A::LaunchInstaller))
      << "a later state 8 starts on its first tick";
}

TEST(MonitorStart, FailedEngineStartShowsFailureThenClosesWithoutPolling) {
  ProgressMonitor m;
  EXPECT_FALSE(m.BeginConfirm()) << "before the engine runs there is nothing to cancel";
  TickResult r = m.StartFailed();
  EXPECT_EQ(r.actions, (std::vector<A>{Status(STATUS_DOWNLOAD_FAILED)}));
  EXPECT_EQ(r.nextTimerMs, kFailedStartHoldMs);
  EXPECT_FALSE(m.EngineRunning());
  EXPECT_FALSE(m.BeginConfirm());
  // Whatever the status record holds, it is not looked at.
  r = m.Tick(DownloadStatus{STATUS_PREPARE_INSTALL, 5, 5});
  EXPECT_EQ(r.actions, (std::vector<A>{kEnd}));
  EXPECT_EQ(r.nextTimerMs, 0u);
}

// Enter, Escape and Alt+F4 never end a running download without the question.
TEST(MonitorClose, KeysAskWhileTheEngineRunsAndEndOnlyWithoutIt) {
  using C = ProgressMonitor::CloseOutcome;
  ProgressMonitor m;
  EXPECT_EQ(m.CloseRequested(), C::End) << "before the engine starts (a start-up error box)";
  m.EngineStarted();
  EXPECT_EQ(m.CloseRequested(), C::Ask);
  ASSERT_TRUE(m.BeginConfirm());
  EXPECT_EQ(m.CloseRequested(), C::Ignore) << "the question is open";
  m.EndConfirm(false);
  EXPECT_EQ(m.CloseRequested(), C::Ask);
  launchArmed = false;
  m.Tick(DownloadStatus{STATUS_PREPARE_INSTALL, 10, 10});
  EXPECT_EQ(m.CloseRequested(), C::Ask) << "the package is about to start: still asked";
  ASSERT_TRUE(m.BeginConfirm());
  m.EndConfirm(true);
  EXPECT_EQ(m.CloseRequested(), C::Ignore) << "the cancel is under way";
  launchArmed = false;
  ProgressMonitor failed;
  failed.EngineStarted();
  failed.StartFailed();
  EXPECT_EQ(failed.CloseRequested(), C::End);
}

TEST(InstanceLockName, OnePackagePathOneNameFitForAnObjectName) {
  const std::u16string a = InstanceLockName(u"C:\\KITS\\ACME\\ACME EDITOR.EXE");
  EXPECT_EQ(a, InstanceLockName(u"C:\\KITS\\ACME\\ACME EDITOR.EXE"));
  EXPECT_NE(a, InstanceLockName(u"C:\\KITS\\ACME2\\ACME EDITOR.EXE"));
  EXPECT_NE(a, InstanceLockName(u"C:\\KITS\\ACME\\ACME EDITOR2.EXE"));
  const std::u16string deep = InstanceLockName(u"C:\\" + std::u16string(30000, u'X') + u"\\\u30C4.EXE");
  EXPECT_EQ(deep.size(), a.size()) << "any path gives a name of one length";
  EXPECT_EQ(deep.find(u'\\'), std::u16string::npos) << "no backslash: the namespace prefix is the caller's";
}

}  // namespace
}  // namespace app
