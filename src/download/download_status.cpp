#include "download/download_status.h"

#include "download/engine_events.h"

DownloadStatus g_downloadStatus = {STATUS_INIT, 0, 0};
EngineFailure g_downloadFailure;
int32_t runningSegments = 0;
int32_t segmentFailed = 0;
int32_t segmentCancelled = 0;

platform::Lock* statusLock = nullptr;
platform::Lock* fileLock = nullptr;
platform::Event* doneEvent = nullptr;
platform::Event* cancelEvent = nullptr;
platform::Event* runEvent = nullptr;

namespace {

// Keeps why unless a failure is already kept: the first cause is the one worth
// telling. The caller holds statusLock once it exists.
void KeepFirstFailure(const EngineFailure& why) {
  if (why.reason != FailureReason::kNone && g_downloadFailure.reason == FailureReason::kNone) g_downloadFailure = why;
}

}  // namespace

bool CancelRequest::IsCancelled() { return cancelHandle && cancelHandle->Wait(0); }

bool CancelRequest::IsPaused() { return !(runEvent && runEvent->Wait(0)); }

int OnSegmentProgress(ProgressReport* report) {
  if (!report) return 0;
  // The outcome this report decides (0: none yet), stored once the lock is left.
  int32_t outcome = 0;
  EngineFailure why;
  {
    platform::LockGuard guard(*statusLock);
    if (segmentFailed || segmentCancelled) {
      // The reporting segment stops here without a final report, so it is counted
      // out now: every segment leaves the count exactly once.
      --runningSegments;
      if (report->state != STATUS_DOWNLOAD_FAILED && report->state != STATUS_DOWNLOAD_CANCELLED) cancelEvent->Set();
      return 1;
    }
    g_downloadStatus.bytesDone += report->bytesDone;
    const int32_t state = report->state;
    if (state != STATUS_DOWNLOADDONE && state != STATUS_DOWNLOAD_FAILED && state != STATUS_DOWNLOAD_CANCELLED &&
        state != kReportHandedOver)
      return 0;  // an intermediate report
    const bool last = --runningSegments == 0;
    if (state == STATUS_DOWNLOADDONE || state == kReportHandedOver) {
      // A range handed over completes nothing by itself: were it the last to leave,
      // the package would be incomplete.
      if (!last) return 0;
      outcome = state == STATUS_DOWNLOADDONE ? STATUS_DOWNLOADDONE : STATUS_DOWNLOAD_FAILED;
      if (state == kReportHandedOver) why.reason = FailureReason::kRangeRefused;
    } else {
      // The first segment to fail or be cancelled decides at once: the latch sends
      // every other one away at its next report, the cancel wakes those between
      // reports.
      (state == STATUS_DOWNLOAD_FAILED ? segmentFailed : segmentCancelled) = 1;
      if (!last) cancelEvent->Set();
      outcome = state;
      if (state == STATUS_DOWNLOAD_CANCELLED) why.reason = FailureReason::kCancelled;
    }
  }
  // The latch keeps every later report from deciding, so the outcome is stored
  // outside the lock (where the state's listener is told); the worker waits for
  // doneEvent until it is.
  ChangeDownloadState(outcome, nullptr, why);
  doneEvent->Set();
  return 0;
}

void StoreStatus(const DownloadStatus* status) { ChangeDownloadState(status->state, status); }

void ChangeDownloadState(int32_t state, const DownloadStatus* counts, const EngineFailure& why) {
  DownloadStatus now;
  EngineFailure failure;
  {
    platform::LockGuard guard(*statusLock);
    g_downloadStatus.state = state;
    if (counts) {
      g_downloadStatus.bytesDone = counts->bytesDone;
      g_downloadStatus.bytesTotal = counts->bytesTotal;
    }
    KeepFirstFailure(why);
    now = g_downloadStatus;
    failure = g_downloadFailure;
  }
  if (engineEvents) engineEvents->OnStateChange(now, failure);
}

void NoteDownloadFailure(const EngineFailure& why) {
  if (!statusLock) return KeepFirstFailure(why);
  platform::LockGuard guard(*statusLock);
  KeepFirstFailure(why);
}

EngineFailure ReadDownloadFailure() {
  if (!statusLock) return g_downloadFailure;
  platform::LockGuard guard(*statusLock);
  return g_downloadFailure;
}

DownloadStatus ReadDownloadStatus() {
  if (!statusLock) return g_downloadStatus;
  platform::LockGuard guard(*statusLock);
  return g_downloadStatus;
}
