// Runs the engine the way the installer window does (StartDownloadEngine), polls
// the shared record and releases everything at the end.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "download/download_manager.h"
#include "download/engine_poll.h"
#include "download/segment_transfer.h"
#include "platform/system.h"

namespace enginetest {

struct Observation {
  int32_t state;
  uint64_t bytesDone;
  uint64_t bytesTotal;
  uint64_t atMs;  // since the worker was resumed
};

// Hears everything the engine tells and keeps its time. As a clock its holds and
// pauses take no time: each moves the clock on at once and counts towards the
// state the engine is in, so a run's holds can be asserted exactly.
class Recorder : public IEngineEvents, public EngineClock {
 public:
  uint64_t NowMs() override {
    platform::LockGuard guard(lock_);
    return now_;
  }
  void SleepMs(uint32_t ms) override {
    {
      platform::LockGuard guard(lock_);
      now_ += ms;
      if (!held_.empty()) held_.back() += ms;
    }
    // A moment of the system's time, so that a thread waiting in a loop of such
    // pauses lets the others run.
    platform::SleepMs(0);
  }
  void OnStateChange(const DownloadStatus& status, const EngineFailure& failure) override {
    platform::LockGuard guard(lock_);
    states_.push_back(status.state);
    held_.push_back(0);
    failure_ = failure;
  }
  void OnProbe(const ProbeEvent& probe) override {
    platform::LockGuard guard(lock_);
    probes_.push_back(probe);
  }
  void OnAttempt(const AttemptEvent& attempt) override {
    platform::LockGuard guard(lock_);
    attempts_.push_back(attempt);
  }
  void OnRetryPause(uint32_t ms, int retry, int retries) override {
    platform::LockGuard guard(lock_);
    pauses_.push_back(ms);
  }
  void OnDigest(const std::u16string& expected, const std::u16string& computed) override {
    platform::LockGuard guard(lock_);
    digests_.push_back({expected, computed});
  }

  std::vector<int32_t> States() const { return Copy(states_); }
  // The failure as the last state change told it.
  EngineFailure Failure() const { return Copy(failure_); }
  std::vector<ProbeEvent> Probes() const { return Copy(probes_); }
  std::vector<AttemptEvent> Attempts() const { return Copy(attempts_); }
  std::vector<uint32_t> Pauses() const { return Copy(pauses_); }
  std::vector<std::pair<std::u16string, std::u16string>> Digests() const { return Copy(digests_); }
  // How long the first occurrence of a state was held, by this clock.
  uint64_t HeldMs(int32_t state) const {
    platform::LockGuard guard(lock_);
    for (size_t i = 0; i < states_.size(); ++i)
      if (states_[i] == state) return held_[i];
    return 0;
  }

 private:
  template <typename T>
  T Copy(const T& v) const {
    platform::LockGuard guard(lock_);
    return v;
  }
  mutable platform::Lock lock_;
  uint64_t now_ = 0;
  std::vector<int32_t> states_;
  std::vector<uint64_t> held_;
  EngineFailure failure_;
  std::vector<ProbeEvent> probes_;
  std::vector<AttemptEvent> attempts_;
  std::vector<uint32_t> pauses_;
  std::vector<std::pair<std::u16string, std::u16string>> digests_;
};

struct RunResult {
  int started = 0;
  std::vector<Observation> changes;  // as polled: one entry per change of state seen
  DownloadStatus last{};
  bool released = false;
  std::shared_ptr<Recorder> heard = std::make_shared<Recorder>();
  bool realClock = false;
  // Why the run failed, as the engine kept it at the end (also when it could not
  // start).
  EngineFailure failure;
  // Every state the engine stored, in order.
  std::vector<int32_t> States() const { return heard->States(); }
  // How long a state was held: by the recorder's clock, or as polled when the run
  // went by the system's clock.
  uint64_t HeldMs(int32_t state) const {
    if (!realClock) return heard->HeldMs(state);
    for (size_t i = 0; i + 1 < changes.size(); ++i)
      if (changes[i].state == state) return changes[i + 1].atMs - changes[i].atMs;
    return 0;
  }
};

// Tests pause 20 ms before the first retry instead of a second.
constexpr uint32_t kShortRetryPauseMs = 20;
// A hold is seen between two polls of the status, so on a loaded machine (or under
// Wine, whose tick is coarse) it can look shorter than the engine's pause by a poll
// and a late wake-up. The fixed pauses are 500, 1000 and 2000 ms: this slack still
// tells each of them from the next shorter one and from none.
constexpr uint64_t kHoldSlackMs = 150;
// The installer's settings but for the short retry pause; links and target are the
// run's. The holds and retry pauses take no time unless realClock is set (for the
// tests that time them, or act while they last).
struct EngineSetup : EngineSettings {
  EngineSetup() { firstRetryPauseMs = kShortRetryPauseMs; }
  bool realClock = false;
};

using TickFn = std::function<void(const DownloadStatus&, uint64_t)>;

// onTick runs on the polling thread after every poll but the last (the window's
// side: it may reset or set runEvent and set cancelEvent); it gets the latest copy.
inline RunResult RunEngine(EngineSetup setup, const std::u16string& link, const std::u16string& fallback,
                           const std::u16string& target, const TickFn& onTick = {}, uint32_t pollMs = 25,
                           uint64_t limitMs = 60000) {
  RunResult r;
  r.realClock = setup.realClock;
  setup.download.url = link;
  setup.fallback.url = fallback;
  setup.targetPath = target;
  setup.events = r.heard.get();
  setup.clock = setup.realClock ? nullptr : r.heard.get();
  r.started = StartDownloadEngine(setup);
  if (r.started) {
    r.last = WaitForDownloadEnd(pollMs, [&](const DownloadStatus& s, uint64_t now) {
      if (r.changes.empty() || r.changes.back().state != s.state)
        r.changes.push_back({s.state, s.bytesDone, s.bytesTotal, now});
      const bool last = s.state == STATUS_PREPARE_INSTALL || s.state == STATUS_FINISHED || now > limitMs;
      if (!last && onTick) onTick(s, now);
    }, limitMs);
  }
  r.failure = ReadDownloadFailure();
  r.released = ReleaseDownloadObjects();
  return r;
}

inline RunResult RunEngine(const std::u16string& link, const std::u16string& fallback, const std::u16string& target,
                           const TickFn& onTick = {}, uint32_t pollMs = 25, uint64_t limitMs = 60000) {
  return RunEngine(EngineSetup{}, link, fallback, target, onTick, pollMs, limitMs);
}

// One transfer on its own, without the worker and its fixed pauses around the
// outcome: for the cases where only the transfer's verdict matters.
struct TransferRun {
  int started = 0;
  int32_t finalState = 0;  // the final report's state; 0 when there was none
  uint64_t bytes = 0;      // what the intermediate reports counted
};

inline TransferRun& CurrentTransfer() {
  static TransferRun run;
  return run;
}

inline int RecordReport(ProgressReport* report) {
  if (report->state == STATUS_DOWNLOADING) {
    CurrentTransfer().bytes += report->bytesDone;
  } else {
    CurrentTransfer().finalState = report->state;
  }
  return 0;
}

inline TransferRun RunTransfer(const std::u16string& link, const std::u16string& target, int64_t size,
                               const TransferOptions& options) {
  CurrentTransfer() = TransferRun{};
  EngineSettings settings;
  settings.download.url = link;
  settings.targetPath = target;
  CurrentTransfer().started = CDownloadManager::Instance()->Start(settings);
  if (CurrentTransfer().started) {
    CancelRequest cancel(cancelEvent);
    DownloadRange(cancel, link, 0, size - 1, &RecordReport, options);
  }
  ReleaseDownloadObjects();
  return CurrentTransfer();
}

}  // namespace enginetest
