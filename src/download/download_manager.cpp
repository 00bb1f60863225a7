#include "download/download_manager.h"

#include <algorithm>

#include "download/engine_requests.h"
#include "download/segment_transfer.h"
#include "platform/sha256.h"
#include "platform/signature.h"
#include "platform/system.h"

namespace {
CDownloadManager* g_manager = nullptr;

void CloseAndDeleteFile(const std::u16string& path) {
  if (outputFile) outputFile->Close();
  platform::DeleteFileByPath(path);
}
}  // namespace

CDownloadManager* CDownloadManager::Instance() {
  if (!g_manager) g_manager = new CDownloadManager();
  return g_manager;
}

bool FileHasSha256(platform::HeldFile& file, const std::u16string& sha256) {
  uint8_t digest[platform::kSha256Bytes];
  return platform::Sha256File(file, digest) && platform::Sha256Hex(digest) == sha256;
}

void ReleaseHeldPackage() {
  if (g_manager) g_manager->heldPackage.Close();
}

bool DiscardPackage(const std::u16string& path) {
  ReleaseHeldPackage();
  return platform::DeleteFileByPath(path);
}

bool CDownloadManager::HoldAndCheckPackage() {
  // Opened the moment the write handle is closed: from here until the package's
  // process exists, what was checked is what stays at the path.
  if (!heldPackage.Open(targetPath)) return false;
  // A package that is not the one the vendor named is never handed on.
  const bool named = (downloadLink.sha256.empty() || FileHasSha256(heldPackage, downloadLink.sha256)) &&
                     (downloadLink.signer.empty() || platform::FileSignedBy(heldPackage, targetPath, downloadLink.signer));
  if (!named) heldPackage.Close();
  return named;
}

int CDownloadManager::Start(const EngineSettings& given) {
  if (given.download.url.empty() && given.fallback.url.empty()) return 0;
  if (given.targetPath.empty()) return 0;
  settings = given;
  downloadLink = given.download;
  fallbackLink = given.fallback;
  if (!outputFile) outputFile = new platform::OutputFile();
  if (!outputFile->Create(given.targetPath)) return 0;
  targetPath = given.targetPath;
  // A failed start must not leave an empty package behind.
  auto fail = [this] {
    CloseAndDeleteFile(targetPath);
    return 0;
  };
  if (!doneEvent) doneEvent = new platform::Event(false, false);
  if (!cancelEvent) cancelEvent = new platform::Event(true, false);
  if (!runEvent) runEvent = new platform::Event(true, true);
  if (!fileLock) fileLock = new platform::Lock();
  if (!internetSession) internetSession = platform::HttpOpenSession(kAgentName);
  if (!internetSession) return fail();
  if (settings.noDataLimitMs) platform::HttpSetReceiveTimeout(internetSession, settings.noDataLimitMs);
  workerThread = platform::Thread::CreateSuspended(&CDownloadManager::WorkerThreadProc, this);
  if (!workerThread) return fail();
  if (!statusLock) statusLock = new platform::Lock();
  return 1;
}

bool CDownloadManager::ResumeWorker() {
  if (!workerThread) return false;
  workerResumed = workerThread->Resume();
  return workerResumed;
}

bool StartDownloadEngine(const EngineSettings& settings) {
  CDownloadManager* engine = CDownloadManager::Instance();
  if (!engine->Start(settings)) return false;
  g_downloadStatus.state = STATUS_INIT;
  g_downloadStatus.bytesDone = 0;
  engine->ResumeWorker();
  return true;
}

uint32_t CDownloadManager::WorkerThreadProc(void* param) {
  if (param) static_cast<CDownloadManager*>(param)->Run();
  return 0;
}

// The rule the plan applied before the engine got the links; applied again here so
// that links handed straight to the engine are mended the same way.
void CDownloadManager::CheckLinks() { RepairLinks(&downloadLink.url, &fallbackLink.url); }

int64_t CDownloadManager::QueryContentLength() {
  EngineRequest probe;
  if (!SendProbeRequest(internetSession, downloadLink.url, &probe)) return 0;
  const int64_t size = SizeFromProbe(probe, nullptr);
  probe.Close();
  return size;
}

void CDownloadManager::Run() {
  CheckLinks();
  int64_t size = QueryContentLength();
  if (cancelEvent->Wait(0)) {
    CloseAndDeleteFile(targetPath);
    {
      platform::LockGuard guard(*statusLock);
      g_downloadStatus.state = STATUS_DOWNLOAD_CANCELLED;
      g_downloadStatus.bytesDone = 0;
    }
    platform::SleepMs(1000);
    platform::LockGuard guard(*statusLock);
    g_downloadStatus.state = STATUS_FINISHED;
    return;
  }
  if (size == 0) {
    downloadLink = fallbackLink;
    size = QueryContentLength();
    if (size == 0) {
      CloseAndDeleteFile(targetPath);
      DownloadStatus failed = {STATUS_DOWNLOAD_FAILED, 0, 0};
      StoreStatus(&failed);
      platform::SleepMs(1000);
      DownloadStatus finished = ReadDownloadStatus();
      finished.state = STATUS_FINISHED;
      StoreStatus(&finished);
      return;
    }
  }
  {
    platform::LockGuard guard(*statusLock);
    g_downloadStatus.state = STATUS_DOWNLOADING;
    g_downloadStatus.bytesTotal = static_cast<uint64_t>(size);
  }
  const int wanted = std::min(settings.segments, InstallerConfig::kMaxSegments);
  const std::vector<ByteRange> ranges = PlanSegments(size, wanted);
  if (ranges.size() > 1) {
    split.reset(new SegmentSplit(ranges));
    platform::HttpAllowConnectionsPerServer(static_cast<uint32_t>(ranges.size()));
  }
  std::vector<DownloadSegment*> plan;
  const int attempts = settings.retries < 0 ? 0 : settings.retries;
  for (size_t i = 0; i < ranges.size(); ++i) {
    plan.push_back(new DownloadSegment{ranges[i].first, ranges[i].last, downloadLink.url, &OnSegmentProgress,
                                       TransferOptions{attempts, settings.firstRetryPauseMs, size, split.get(),
                                                       static_cast<int>(i)}});
  }
  {
    platform::LockGuard guard(*statusLock);
    runningSegments = static_cast<int32_t>(plan.size());
  }
  for (DownloadSegment* segment : plan) {
    std::unique_ptr<platform::Thread> thread = platform::Thread::CreateSuspended(&SegmentThreadProc, segment);
    if (!thread) {
      // A segment that cannot run has failed: its report keeps the bookkeeping
      // whole, so the worker still reaches its final states.
      ProgressReport report = {STATUS_DOWNLOAD_FAILED, 0, 0};
      segment->progress(&report);
      delete segment;
      continue;
    }
    platform::Thread* started = thread.get();
    segmentThreads.push_back(std::move(thread));
    started->Resume();
  }
  if (!doneEvent->Wait(platform::kInfinite)) return;
  // The transfers' end. After a failure or a cancel a transfer may still be on its
  // way out (one waiting on a silent connection, say): it either writes before the
  // close or finds the file closed, never a handle that is gone.
  {
    platform::LockGuard guard(*fileLock);
    if (split) {
      platform::LockGuard flushing(split->flushLock());
      outputFile->Close();
    } else {
      outputFile->Close();
    }
  }
  int32_t outcome = ReadDownloadStatus().state;
  // A package that cannot be held, or is not the one the vendor named, fails like a
  // broken transfer, and is deleted.
  if (outcome == STATUS_DOWNLOADDONE && !HoldAndCheckPackage()) {
    platform::LockGuard guard(*statusLock);
    g_downloadStatus.state = outcome = STATUS_DOWNLOAD_FAILED;
  }
  switch (outcome) {
    case STATUS_DOWNLOAD_FAILED: {
      platform::SleepMs(1000);
      {
        platform::LockGuard guard(*statusLock);
        g_downloadStatus.state = STATUS_CLEANUP_FILES;
      }
      platform::DeleteFileByPath(targetPath);
      platform::SleepMs(2000);
      platform::LockGuard guard(*statusLock);
      g_downloadStatus.state = STATUS_FINISHED;
      break;
    }
    case STATUS_DOWNLOAD_CANCELLED: {
      platform::DeleteFileByPath(targetPath);
      platform::SleepMs(1000);
      DownloadStatus finished = ReadDownloadStatus();
      finished.state = STATUS_FINISHED;
      StoreStatus(&finished);
      break;
    }
    case STATUS_DOWNLOADDONE: {
      platform::SleepMs(500);
      DownloadStatus install = ReadDownloadStatus();
      install.state = STATUS_PREPARE_INSTALL;
      StoreStatus(&install);
      break;
    }
    default:
      break;
  }
}

bool ReleaseDownloadObjects(uint32_t waitMs) {
  CDownloadManager* manager = g_manager;
  if (manager && manager->workerThread && manager->workerResumed) {
    if (cancelEvent) cancelEvent->Set();
    if (runEvent) runEvent->Set();
    if (!manager->workerThread->Join(waitMs)) return false;
    // The worker has ended, so its table of segment threads is complete.
    for (auto& thread : manager->segmentThreads) {
      if (!thread->Join(waitMs)) return false;
    }
  }
  delete statusLock;
  statusLock = nullptr;
  if (internetSession) {
    platform::HttpClose(internetSession);
    internetSession = nullptr;
  }
  delete fileLock;
  fileLock = nullptr;
  delete cancelEvent;
  cancelEvent = nullptr;
  delete doneEvent;
  doneEvent = nullptr;
  delete runEvent;
  runEvent = nullptr;
  delete outputFile;
  outputFile = nullptr;
  delete manager;
  g_manager = nullptr;
  g_downloadStatus = {STATUS_INIT, 0, 0};
  runningSegments = 0;
  segmentFailed = 0;
  segmentCancelled = 0;
  return true;
}
