// The download engine's single object: opens the package file, creates the shared
// signals and the internet session, and runs the worker that probes the size, starts
// the segment transfers and drives the final states.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "download/download_status.h"
#include "download/engine_requests.h"
#include "download/segment_transfer.h"
#include "platform/sync.h"

class CDownloadManager {
 public:
  static CDownloadManager* Instance();

  // 1 when the file is open, the signals, the session and the suspended worker
  // exist; 0 otherwise (and then no file is left on disk).
  int Start(const std::u16string& link, const std::u16string& fallback, const std::u16string& path);
  // Lets the suspended worker run. Use this rather than workerThread->Resume(), so
  // that teardown knows whether there is a running worker to wait for.
  bool ResumeWorker();

  static uint32_t WorkerThreadProc(void* param);
  void Run();
  void CheckLinks();
  int64_t QueryContentLength();

  std::u16string targetPath;
  std::u16string downloadLink;
  std::u16string fallbackLink;
  // Set before the worker is resumed; the defaults change nothing on a good line.
  // The digest each link's package must have (64 lower-case hex digits), checked
  // after the transfer and before state 8; empty: not checked.
  std::u16string downloadSha256;
  std::u16string fallbackSha256;
  // Further attempts of a transfer that broke off (0..10), and the first pause.
  int retries = 3;
  uint32_t firstRetryPauseMs = 1000;
  // How long a transfer may go without data before it counts as broken; 0 keeps
  // the HTTP client's own limit.
  uint32_t noDataLimitMs = 0;
  std::unique_ptr<platform::Thread> workerThread;
  // Written by the worker only; read by teardown after the worker has ended.
  std::vector<std::unique_ptr<platform::Thread>> segmentThreads;
  bool workerResumed = false;
};

// True when the link canonicalises (browser mode) and then cracks.
bool LinkParses(const std::u16string& link);

// Whether the file at path has the digest sha256 (lower-case hex); false also when
// it cannot be read.
bool FileHasSha256(const std::u16string& path, const std::u16string& sha256);

// Teardown, for the window's destructor: releases statusLock, the internet session,
// fileLock, the three events and the manager, each only if it exists. When a worker
// was resumed it first sets cancelEvent and runEvent and waits (bounded by
// waitMs for the worker, then for each segment thread) so that no engine thread can
// touch a released object. If a thread has not ended in time, the objects are
// deliberately left alive (the process is about to end) and false is returned.
// Afterwards g_downloadStatus, runningSegments and segmentFailed are reset, so a
// later Start begins afresh.
bool ReleaseDownloadObjects(uint32_t waitMs = 6000);
