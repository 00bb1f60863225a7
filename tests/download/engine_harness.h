// Runs the engine the way the installer window does: Start, store state 1, resume
// the worker, poll the shared record, release everything at the end.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "download/download_manager.h"
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

// onTick runs on the polling thread after every poll (the window's side: it may
// reset or set runEvent and set cancelEvent); it gets the latest copy.
inline RunResult RunEngine(const std::u16string& link, const std::u16string& fallback, const std::u16string& target,
                           const std::function<void(const DownloadStatus&, uint64_t)>& onTick = {},
                           uint32_t pollMs = 25, uint64_t limitMs = 60000) {
  RunResult r;
  CDownloadManager* m = CDownloadManager::Instance();
  r.started = m->Start(link, fallback, target);
  if (!r.started) {
    r.released = ReleaseDownloadObjects();
    return r;
  }
  g_downloadStatus.state = STATUS_INIT;
  g_downloadStatus.bytesDone = 0;
  m->ResumeWorker();
  uint64_t t0 = platform::TickMs();
  for (;;) {
    DownloadStatus s = ReadDownloadStatus();
    uint64_t now = platform::TickMs() - t0;
    if (r.changes.empty() || r.changes.back().state != s.state) r.changes.push_back({s.state, s.bytesDone, s.bytesTotal, now});
    r.last = s;
    if (s.state == STATUS_PREPARE_INSTALL || s.state == STATUS_FINISHED || now > limitMs) break;
    if (onTick) onTick(s, now);
    platform::SleepMs(pollMs);
  }
  r.released = ReleaseDownloadObjects();
  return r;
}

}  // namespace enginetest
