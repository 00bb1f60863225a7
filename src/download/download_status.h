// What the download engine and the installer window share: the status record and
// its lock, the three events, the file lock, the completion counters, the progress
// callback and the cancellation probe. Everything here exists once per process.
#pragma once

#include <cstdint>

#include "download/failure_reason.h"
#include "platform/sync.h"

enum InstallStatus : int32_t {
  STATUS_INIT = 1,
  STATUS_DOWNLOADING = 2,
  STATUS_DOWNLOADDONE = 3,
  STATUS_DOWNLOAD_CANCELLING = 4,  // shown by the window only, never stored
  STATUS_DOWNLOAD_CANCELLED = 5,
  STATUS_DOWNLOAD_FAILED = 6,
  STATUS_CLEANUP_FILES = 7,
  STATUS_PREPARE_INSTALL = 8,
  STATUS_INSTALLING = 9,  // never stored
  STATUS_FINISHED = 10,
};

struct DownloadStatus {
  int32_t state;
  uint64_t bytesDone;
  uint64_t bytesTotal;
};

// A transfer's message to the progress callback: state 2 with the bytes of one
// read, or the final 3, 5 or 6 with 0 bytes, or kReportHandedOver.
using ProgressReport = DownloadStatus;
// The final report of a transfer that left its range to the first transfer (a
// split download whose server did not honour the range): it leaves the count and
// decides nothing. Never a stored state.
constexpr int32_t kReportHandedOver = 0;

// Guarded by statusLock once the worker runs.
extern DownloadStatus g_downloadStatus;
// Why the download failed, kept beside the state: the first failure noted stays.
extern EngineFailure g_downloadFailure;
extern int32_t runningSegments;
// Latches, 0 until the first final report of 6 or of 5: from then on the outcome
// is decided and every later report is told to stop.
extern int32_t segmentFailed;
extern int32_t segmentCancelled;

// Created by CDownloadManager::Start, released by ReleaseDownloadObjects(); null
// before and after.
extern platform::Lock* statusLock;
extern platform::Lock* fileLock;
extern platform::Event* doneEvent;    // automatic reset: the last segment has reported
extern platform::Event* cancelEvent;  // manual reset: stop for good
extern platform::Event* runEvent;     // manual reset, initially set: clear means hold the reads

struct ICancelRequest {
  virtual bool IsCancelled() = 0;
  virtual bool IsPaused() = 0;
};

struct CancelRequest : ICancelRequest {
  explicit CancelRequest(platform::Event* cancel) : cancelHandle(cancel) {}
  bool IsCancelled() override;
  bool IsPaused() override;
  platform::Event* cancelHandle;
};

// Folds a transfer's report into g_downloadStatus. 0: carry on; 1: the outcome is
// already decided (another segment failed or was cancelled), stop at once without
// a final report. A null report is ignored.
//
// The download is complete (3) when the last transfer leaves and none failed or
// was cancelled. The first failure (6) or cancel (5) decides at once, while other
// transfers may still run: it stores the outcome, wakes the worker and sets
// cancelEvent so that the others stop at their next read. The worker therefore
// never waits for a transfer stuck in a silent connection once the outcome is
// known; with one segment the first final report is also the last, as ever.
int OnSegmentProgress(ProgressReport* report);
// Stores all three fields in one locked section (through ChangeDownloadState).
void StoreStatus(const DownloadStatus* status);
// The one place where a new state is stored, so that every change can be told in
// one place (to engineEvents, after the lock is left). counts, when given, replaces
// bytesDone and bytesTotal in the same locked section. why, when it names a
// reason, is noted as by NoteDownloadFailure.
void ChangeDownloadState(int32_t state, const DownloadStatus* counts = nullptr,
                         const EngineFailure& why = EngineFailure());
// Keeps why the download failed, unless a failure is already kept: the first cause
// is the one worth telling (a failing segment's, not the stop of the others).
void NoteDownloadFailure(const EngineFailure& why);
// A consistent copy of the kept failure (before Start, without locking).
EngineFailure ReadDownloadFailure();
// The window's read: a consistent copy of the three fields. Before Start (no lock
// yet) it copies without locking.
DownloadStatus ReadDownloadStatus();
