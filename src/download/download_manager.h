// The download engine's single object: opens the package file, creates the shared
// signals and the internet session, and runs the worker that probes the size, starts
// the segment transfers and drives the final states. Its start and its release are
// the two calls everyone who runs the engine makes (StartDownloadEngine,
// ReleaseDownloadObjects).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "config/installer_config.h"
#include "config/package_link.h"
#include "download/download_status.h"
#include "download/engine_events.h"
#include "download/segment_split.h"
#include "platform/output_file.h"
#include "platform/sync.h"

// Everything one run of the engine is told before it starts. The defaults are the
// installer's own.
struct EngineSettings {
  // The link tried first and the one to turn to when it yields no size, each with
  // the digest and the publisher its package must have (checked after the
  // transfer, before state 8).
  PackageLink download;
  PackageLink fallback;
  std::u16string targetPath;
  // Further attempts of a transfer that broke off (0..10), and the first pause.
  int retries = InstallerConfig::kDefaultRetries;
  uint32_t firstRetryPauseMs = 1000;
  // How long a transfer may go without data before it counts as broken; 0 keeps
  // the HTTP client's own limit.
  uint32_t noDataLimitMs = 0;
  // Who hears the engine's states and events (none: nobody), and the clock its
  // holds and retry pauses run by (none: the system's). Both must outlive the run,
  // up to ReleaseDownloadObjects.
  IEngineEvents* events = nullptr;
  EngineClock* clock = nullptr;
  // How many ranges are fetched side by side, each over its own connection (1..8;
  // fewer for a package too small to give each 1 MiB).
  int segments = InstallerConfig::kDefaultSegments;
};

class CDownloadManager {
 public:
  static CDownloadManager* Instance();

  // 1 when the file is open, the signals, the session and the suspended worker
  // exist; 0 otherwise (and then no file is left on disk).
  int Start(const EngineSettings& settings);
  // Lets the suspended worker run. Use this rather than workerThread->Resume(), so
  // that teardown knows whether there is a running worker to wait for.
  bool ResumeWorker();

  static uint32_t WorkerThreadProc(void* param);
  void Run();
  void CheckLinks();
  // The size the current download link announces; 0 when it gives none, and then
  // *why says what it met.
  int64_t QueryContentLength(EngineFailure* why = nullptr);
  // Once the last transfer has ended and the package file is closed: holds the
  // package (read, shared for reading only) and checks it through that hold
  // against what its link says (sha256, signer). False when it is not the package
  // the vendor named, or when it cannot be held because someone else has it open,
  // with *why saying which; the hold is then closed again, so that the file can be
  // deleted.
  bool HoldAndCheckPackage(EngineFailure* why);

  std::u16string targetPath;
  // The current download link, which the worker replaces by the fallback link (the
  // digest with it) when it yields no size.
  PackageLink downloadLink;
  PackageLink fallbackLink;
  // As Start was given them; the worker reads its tuning here.
  EngineSettings settings;
  std::unique_ptr<platform::Thread> workerThread;
  // Written by the worker only; read by teardown after the worker has ended.
  std::vector<std::unique_ptr<platform::Thread>> segmentThreads;
  // What the transfers of a download in several ranges share; null with one range.
  // It lives as long as they may.
  std::unique_ptr<SegmentSplit> split;
  bool workerResumed = false;
  // The package from its check until its process exists (state 8 on): nobody can
  // write, replace or delete it meanwhile. Opened by the worker; after state 8 the
  // window alone releases it (HandOffPackage, DiscardPackage).
  platform::HeldFile heldPackage;
};

// The engine's start, in the order the installer window makes it: Start, then
// state 1 with no bytes done in g_downloadStatus (no lock yet needed: the worker
// has not run), then the worker resumed. False when Start failed: nothing runs then
// and nothing may be polled. Either way ReleaseDownloadObjects is the matching end.
bool StartDownloadEngine(const EngineSettings& settings);

// The link the package is being fetched from: the download link, or the fallback
// once the download link gave no size, each with what the configuration says of
// it. Settled when the engine reports state 2, so it may be read from then on (the
// window hands the package on at state 8).
PackageLink DownloadedLink();

// Closes the hold on the package: its process has been created, or it never will
// be. Nothing when no package is held.
void ReleaseHeldPackage();
// The package was ready but is not to be started (a cancel confirmed after state
// 8): the hold is closed first, then the file deleted. False when it could not be
// deleted.
bool DiscardPackage(const std::u16string& path);

// Teardown, for the window's destructor: releases statusLock, the internet session,
// fileLock, the three events and the manager, each only if it exists. When a worker
// was resumed it first sets cancelEvent and runEvent and waits (bounded by
// waitMs for the worker, then for each segment thread) so that no engine thread can
// touch a released object. If a thread has not ended in time, the objects are
// deliberately left alive (the process is about to end) and false is returned.
// Afterwards g_downloadStatus, runningSegments and the two latches are reset, so a
// later Start begins afresh.
bool ReleaseDownloadObjects(uint32_t waitMs = 6000);
