#include "download/download_status.h"

DownloadStatus g_downloadStatus = {STATUS_INIT, 0, 0};
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
  platform::LockGuard guard(*statusLock);
  if (segmentFailed) {
    // The reporting segment stops here without a final report, so it is counted
    // out now: every segment leaves the count exactly once.
    if (--runningSegments == 0) {
      g_downloadStatus.state = STATUS_DOWNLOAD_FAILED;
      doneEvent->Set();
    }
    if (report->state != STATUS_DOWNLOAD_FAILED && report->state != STATUS_DOWNLOAD_CANCELLED) cancelEvent->Set();
    return 1;
  }
  g_downloadStatus.bytesDone += report->bytesDone;
  switch (report->state) {
    case STATUS_DOWNLOADDONE:
    case STATUS_DOWNLOAD_CANCELLED:
      if (--runningSegments == 0) {
        g_downloadStatus.state = report->state;
        doneEvent->Set();
      }
      break;
    case STATUS_DOWNLOAD_FAILED:
      segmentFailed = 1;
      if (--runningSegments == 0) {
        g_downloadStatus.state = STATUS_DOWNLOAD_FAILED;
        doneEvent->Set();
      }
      break;
    default:
      break;
  }
  return 0;
}

void StoreStatus(const DownloadStatus* status) {
  platform::LockGuard guard(*statusLock);
  g_downloadStatus.state = status->state;
  g_downloadStatus.bytesDone = status->bytesDone;
  g_downloadStatus.bytesTotal = status->bytesTotal;
}

DownloadStatus ReadDownloadStatus() {
  if (!statusLock) return g_downloadStatus;
  platform::LockGuard guard(*statusLock);
  return g_downloadStatus;
}
