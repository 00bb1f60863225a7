// The download engine's single object: opens the package file, creates the shared
// signals and the internet session, and runs the worker that probes the size, starts
// the segment transfers and drives the final states.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "download/download_status.h"
#include "platform/http.h"
#include "platform/output_file.h"
#include "platform/sync.h"

struct DownloadSegment {
  int64_t start;
  int64_t end;  // inclusive
  std::u16string url;
  int (*progress)(ProgressReport*);
};

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
  std::unique_ptr<platform::Thread> workerThread;
  // Written by the worker only; read by teardown after the worker has ended.
  std::vector<std::unique_ptr<platform::Thread>> segmentThreads;
  bool workerResumed = false;
};

extern platform::OutputFile* outputFile;
extern platform::HttpHandle internetSession;
extern const std::u16string refererUrl;

// The agent every request carries.
extern const char16_t kAgentName[];

// True when the link canonicalises (browser mode) and then cracks.
bool LinkParses(const std::u16string& link);

// A Content-Length value as a size: leading blanks and a sign accepted, digits up to
// the first non-digit; negative, missing or out-of-range values give 0.
int64_t ParseContentLength(const std::u16string& text);

uint32_t SegmentThreadProc(void* param);
int DownloadRange(ICancelRequest& cancel, const std::u16string& url, int64_t first, int64_t last,
                  int (*progress)(ProgressReport*));

// Teardown, for the window's destructor: releases statusLock, the internet session,
// fileLock, the three events and the manager, each only if it exists. When a worker
// was resumed it first sets cancelEvent and runEvent and waits (bounded by
// waitMs for the worker, then for each segment thread) so that no engine thread can
// touch a released object. If a thread has not ended in time, the objects are
// deliberately left alive (the process is about to end) and false is returned.
// Afterwards g_downloadStatus, runningSegments and segmentFailed are reset, so a
// later Start begins afresh.
bool ReleaseDownloadObjects(uint32_t waitMs = 6000);
