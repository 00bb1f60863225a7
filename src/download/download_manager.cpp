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

PackageLink DownloadedLink() {
  CDownloadManager* manager = CDownloadManager::Instance();
  // The worker wrote it before it stored state 2 under statusLock; this lock orders
  // the read after that write.
  if (statusLock) {
    platform::LockGuard guard(*statusLock);
    return manager->downloadLink;
  }
  return manager->downloadLink;
}

void ReleaseHeldPackage() {
  if (g_manager) g_manager->heldPackage.Close();
}

bool DiscardPackage(const std::u16string& path) {
  ReleaseHeldPackage();
  return platform::DeleteFileByPath(path);
}

int CDownloadManager::Start(const EngineSettings& given) {
  if (given.download.url.empty() && given.fallback.url.empty()) return 0;
  if (given.targetPath.empty()) return 0;
  settings = given;
  downloadLink = given.download;
  fallbackLink = given.fallback;
  engineEvents = given.events;
  engineClock = given.clock;
  g_downloadFailure = EngineFailure();
  if (!outputFile) outputFile = new platform::OutputFile();
  if (!outputFile->Create(given.targetPath)) {
    NoteDownloadFailure({FailureReason::kFileNotCreated, FailureReason::kNone, platform::LastErrorCode()});
    return 0;
  }
  targetPath = given.targetPath;
  // A failed start must not leave an empty package behind.
  auto fail = [this](FailureReason reason) {
    NoteDownloadFailure({reason, FailureReason::kNone, platform::LastErrorCode()});
    CloseAndDeleteFile(targetPath);
    return 0;
  };
  if (!doneEvent) doneEvent = new platform::Event(false, false);
  if (!cancelEvent) cancelEvent = new platform::Event(true, false);
  if (!runEvent) runEvent = new platform::Event(true, true);
  if (!fileLock) fileLock = new platform::Lock();
  if (!internetSession) internetSession = platform::HttpOpenSession(kAgentName);
  if (!internetSession) return fail(FailureReason::kSessionNotOpened);
  if (settings.noDataLimitMs) platform::HttpSetReceiveTimeout(internetSession, settings.noDataLimitMs);
  workerThread = platform::Thread::CreateSuspended(&CDownloadManager::WorkerThreadProc, this);
  if (!workerThread) return fail(FailureReason::kThreadNotStarted);
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
  // Told like every later state, though stored without the lock: the worker has
  // not run yet.
  g_downloadStatus.state = STATUS_INIT;
  g_downloadStatus.bytesDone = 0;
  if (engineEvents) engineEvents->OnStateChange(g_downloadStatus, g_downloadFailure);
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

int64_t CDownloadManager::QueryContentLength(EngineFailure* why) {
  EngineClock& clock = CurrentEngineClock();
  const uint64_t startedAt = clock.NowMs();
  ProbeEvent probe;
  probe.link = downloadLink.url;
  EngineRequest request;
  if (!SendProbeRequest(internetSession, downloadLink.url, &request)) {
    const FailureReason unsent =
        platform::HttpErrorIsTimeout(request.error) ? FailureReason::kStalled : FailureReason::kConnectFailed;
    probe.failure = request.cracked ? EngineFailure{unsent, FailureReason::kNone, request.error}
                                    : EngineFailure{FailureReason::kLinkUnparsable};
  } else {
    probe.size = SizeFromProbe(request, &probe.status);
    if (engineEvents) platform::HttpQueryHeader(request.request, u"Content-Length", 64, &probe.contentLength);
    request.Close();
    if (probe.size == 0) {
      const bool accepted = probe.status != 404 && probe.status >= 200 && probe.status <= 500;
      probe.failure = {accepted ? FailureReason::kNoContentLength : FailureReason::kHttpStatus, FailureReason::kNone,
                       probe.status};
    }
  }
  probe.ms = clock.NowMs() - startedAt;
  if (engineEvents) engineEvents->OnProbe(probe);
  if (why) *why = probe.failure;
  return probe.size;
}

namespace {

// The digest of the held package, as lower-case hex; empty when it cannot be read
// (then *error has the system's code).
std::u16string PackageDigest(platform::HeldFile& file, uint32_t* error) {
  uint8_t digest[platform::kSha256Bytes];
  if (!platform::Sha256File(file, digest)) {
    *error = platform::LastErrorCode();
    return u"";
  }
  return platform::Sha256Hex(digest);
}

DownloadStatus WithBytesDone(uint64_t bytesDone) {
  DownloadStatus counts = ReadDownloadStatus();
  counts.bytesDone = bytesDone;
  return counts;
}

}  // namespace

bool CDownloadManager::HoldAndCheckPackage(EngineFailure* why) {
  // Opened the moment the write handle is closed: from here until the package's
  // process exists, what was checked is what stays at the path.
  if (!heldPackage.Open(targetPath)) {
    *why = {FailureReason::kPackageNotHeld, FailureReason::kNone, platform::LastErrorCode()};
    return false;
  }
  // A package that is not the one the vendor named is never handed on.
  if (!downloadLink.sha256.empty()) {
    uint32_t error = 0;
    const std::u16string digest = PackageDigest(heldPackage, &error);
    if (engineEvents) engineEvents->OnDigest(downloadLink.sha256, digest);
    if (digest.empty()) {
      *why = {FailureReason::kPackageUnreadable, FailureReason::kNone, error};
    } else if (digest != downloadLink.sha256) {
      *why = {FailureReason::kDigestMismatch};
    }
  }
  if (why->reason == FailureReason::kNone && !downloadLink.signer.empty() &&
      !platform::FileSignedBy(heldPackage, targetPath, downloadLink.signer)) {
    *why = {FailureReason::kSignerMismatch};
  }
  if (why->reason == FailureReason::kNone) return true;
  heldPackage.Close();
  return false;
}

void CDownloadManager::Run() {
  EngineClock& clock = CurrentEngineClock();
  CheckLinks();
  EngineFailure why;
  int64_t size = QueryContentLength(&why);
  if (cancelEvent->Wait(0)) {
    CloseAndDeleteFile(targetPath);
    const DownloadStatus counts = WithBytesDone(0);
    ChangeDownloadState(STATUS_DOWNLOAD_CANCELLED, &counts, {FailureReason::kCancelled});
    clock.SleepMs(1000);
    ChangeDownloadState(STATUS_FINISHED);
    return;
  }
  if (size == 0) {
    {
      // Read by DownloadedLink under the same lock.
      platform::LockGuard guard(*statusLock);
      downloadLink = fallbackLink;
    }
    EngineFailure fallbackWhy;
    size = QueryContentLength(&fallbackWhy);
    // Without a fallback there was nothing more to ask: the first link's answer is
    // the one that tells why.
    if (!fallbackLink.url.empty()) why = fallbackWhy;
    if (size == 0) {
      CloseAndDeleteFile(targetPath);
      const DownloadStatus none = {STATUS_DOWNLOAD_FAILED, 0, 0};
      ChangeDownloadState(STATUS_DOWNLOAD_FAILED, &none, {FailureReason::kNoSize, why.reason, why.code});
      clock.SleepMs(1000);
      ChangeDownloadState(STATUS_FINISHED);
      return;
    }
  }
  const DownloadStatus sized = {STATUS_DOWNLOADING, ReadDownloadStatus().bytesDone, static_cast<uint64_t>(size)};
  ChangeDownloadState(STATUS_DOWNLOADING, &sized);
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
      NoteDownloadFailure({FailureReason::kThreadNotStarted, FailureReason::kNone, platform::LastErrorCode()});
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
  EngineFailure unchecked;
  if (outcome == STATUS_DOWNLOADDONE && !HoldAndCheckPackage(&unchecked)) {
    outcome = STATUS_DOWNLOAD_FAILED;
    ChangeDownloadState(outcome, nullptr, unchecked);
  }
  switch (outcome) {
    case STATUS_DOWNLOAD_FAILED:
      clock.SleepMs(1000);
      ChangeDownloadState(STATUS_CLEANUP_FILES);
      platform::DeleteFileByPath(targetPath);
      clock.SleepMs(2000);
      ChangeDownloadState(STATUS_FINISHED);
      break;
    case STATUS_DOWNLOAD_CANCELLED:
      platform::DeleteFileByPath(targetPath);
      clock.SleepMs(1000);
      ChangeDownloadState(STATUS_FINISHED);
      break;
    case STATUS_DOWNLOADDONE:
      clock.SleepMs(500);
      ChangeDownloadState(STATUS_PREPARE_INSTALL);
      break;
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
  g_downloadFailure = EngineFailure();
  engineEvents = nullptr;
  engineClock = nullptr;
  runningSegments = 0;
  segmentFailed = 0;
  segmentCancelled = 0;
  return true;
}
