#include "download/download_status.h"

DownloadStatus g_downloadStatus = {STATUS_INIT, 0, 0};
int32_t runningSegments = 0;
int32_t segmentFailed = 0;
int32_t segmentCancelled = 0;

platform::Lock* statusLock = nullptr;
platform::Lock* fileLock = nullptr;
platform::Event* doneEvent = nullptr;
platform::Event* cancelEvent = nullptr;
platform::Event* runEvent = nullptr;

bool CancelRequest::IsCancelled() { return cancelHandle && cancelHandle->Wait(0); }

bool CancelRequest::IsPaused() { return !(runEvent && runEvent->Wait(0)); }

namespace {
// Under statusLock: the outcome is known, the worker may go on.
void Decide(int32_t state) {
  g_downloadStatus.state = state;
  doneEvent->Set();
}
}  // namespace

int OnSegmentProgress(ProgressReport* report) {
  if (!report) return 0;
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
    if (last) Decide(state == STATUS_DOWNLOADDONE ? STATUS_DOWNLOADDONE : STATUS_DOWNLOAD_FAILED);
    return 0;
  }
  (state == STATUS_DOWNLOAD_FAILED ? segmentFailed : segmentCancelled) = 1;
  if (!last) cancelEvent->Set();
  Decide(state);
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
