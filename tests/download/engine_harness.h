// Runs the engine the way the installer window does (StartDownloadEngine), polls
// the shared record and releases everything at the end.
#pragma once

#include <functional>
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

struct RunResult {
  int started = 0;
  std::vector<Observation> changes;  // one entry per change of state
  DownloadStatus last{};
  bool released = false;
  // How long each state was seen, by state code.
  uint64_t HeldMs(int32_t state) const {
    for (size_t i = 0; i + 1 < changes.size(); ++i)
      if (changes[i].state == state) return changes[i + 1].atMs - changes[i].atMs;
    return 0;
  }
  std::vector<int32_t> States() const {
    std::vector<int32_t> s;
    for (auto& c : changes) s.push_back(c.state);
    return s;
  }
};

// Tests pause 20 ms before the first retry instead of a second (one test times the
// real pauses).
constexpr uint32_t kShortRetryPauseMs = 20;
// A hold is seen between two polls of the status, so on a loaded machine (or under
// Wine, whose tick is coarse) it can look shorter than the engine's pause by a poll
// and a late wake-up. The fixed pauses are 500, 1000 and 2000 ms: this slack still
// tells each of them from the next shorter one and from none.
constexpr uint64_t kHoldSlackMs = 150;
// The installer's settings but for the short retry pause; links and target are the
// run's.
struct EngineSetup : EngineSettings {
  EngineSetup() { firstRetryPauseMs = kShortRetryPauseMs; }
};

using TickFn = std::function<void(const DownloadStatus&, uint64_t)>;

// onTick runs on the polling thread after every poll but the last (the window's
// side: it may reset or set runEvent and set cancelEvent); it gets the latest copy.
inline RunResult RunEngine(EngineSetup setup, const std::u16string& link, const std::u16string& fallback,
                           const std::u16string& target, const TickFn& onTick = {}, uint32_t pollMs = 25,
                           uint64_t limitMs = 60000) {
  RunResult r;
  setup.download.url = link;
  setup.fallback.url = fallback;
  setup.targetPath = target;
  r.started = StartDownloadEngine(setup);
  if (r.started) {
    r.last = WaitForDownloadEnd(pollMs, [&](const DownloadStatus& s, uint64_t now) {
      if (r.changes.empty() || r.changes.back().state != s.state)
        r.changes.push_back({s.state, s.bytesDone, s.bytesTotal, now});
      const bool last = s.state == STATUS_PREPARE_INSTALL || s.state == STATUS_FINISHED || now > limitMs;
      if (!last && onTick) onTick(s, now);
    }, limitMs);
  }
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
