#include "download/download_status.h"

#include "download/engine_events.h"

DownloadStatus g_downloadStatus = {STATUS_INIT, 0, 0};
EngineFailure g_downloadFailure;
int32_t runningSegments = 0;
int32_t segmentFailed = 0;

platform::Lock* statusLock = nullptr;
platform::Lock* fileLock = nullptr;
platform::Event* doneEvent = nullptr;
platform::Event* cancelEvent = nullptr;
platform::Event* runEvent = nullptr;

bool CancelRequest::IsCancelled() { return cancelHandle && cancelHandle->Wait(0); }

bool CancelRequest::IsPaused() { return !(runEvent && runEvent->Wait(0)); }

int OnSegmentProgress(ProgressReport* report) {
  if (!report) return 0;
  // The outcome the last segment out leaves to store; 0 while others still run.
  int32_t outcome = 0;
  int answer = 0;
  {
    platform::LockGuard guard(*statusLock);
    if (segmentFailed) {
      // The reporting segment stops here without a final report, so it is counted
      // out now: every segment leaves the count exactly once.
      if (--runningSegments == 0) outcome = STATUS_DOWNLOAD_FAILED;
      if (report->state != STATUS_DOWNLOAD_FAILED && report->state != STATUS_DOWNLOAD_CANCELLED) cancelEvent->Set();
      answer = 1;
    } else {
      g_downloadStatus.bytesDone += report->bytesDone;
      switch (report->state) {
        case STATUS_DOWNLOADDONE:
        case STATUS_DOWNLOAD_CANCELLED:
          if (--runningSegments == 0) outcome = report->state;
          break;
        case STATUS_DOWNLOAD_FAILED:
          segmentFailed = 1;
          if (--runningSegments == 0) outcome = STATUS_DOWNLOAD_FAILED;
          break;
        default:
          break;
      }
    }
  }
  // Nobody reports after the last segment, so the outcome is stored outside the
  // lock the count was kept under; the worker waits for doneEvent until it is.
  if (outcome) {
    EngineFailure why;
    if (outcome == STATUS_DOWNLOAD_CANCELLED) why.reason = FailureReason::kCancelled;
    ChangeDownloadState(outcome, nullptr, why);
    doneEvent->Set();
  }
  return answer;
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
    if (why.reason != FailureReason::kNone && g_downloadFailure.reason == FailureReason::kNone) g_downloadFailure = why;
    now = g_downloadStatus;
    failure = g_downloadFailure;
  }
  if (engineEvents) engineEvents->OnStateChange(now, failure);
}

void NoteDownloadFailure(const EngineFailure& why) {
  if (why.reason == FailureReason::kNone) return;
  if (!statusLock) {
    if (g_downloadFailure.reason == FailureReason::kNone) g_downloadFailure = why;
    return;
  }
  platform::LockGuard guard(*statusLock);
  if (g_downloadFailure.reason == FailureReason::kNone) g_downloadFailure = why;
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
