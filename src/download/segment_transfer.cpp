// One ranged GET written at its own offsets into the shared package file, tried
// again from the first byte not yet written when the line lets it down.
#include "download/segment_transfer.h"

#include <cstring>

#include "download/engine_events.h"
#include "download/engine_requests.h"
#include "platform/system.h"

platform::OutputFile* outputFile = nullptr;

namespace {

constexpr uint32_t kReadSize = 4096;
constexpr uint32_t kWriteBufferSize = 40960;
constexpr uint32_t kLongestRetryPauseMs = 30000;

// How one request ended. Only a line that let us down is worth another request: an
// answer that says no, a range from elsewhere or a full disk would say the same again.
enum class AttemptEnd {
  kComplete,   // the body ended where it should
  kMore,       // a whole answer that covered only part of the range: ask for the rest
  kTransient,  // the connection broke, timed out, or the server was busy (5xx, 408, 429)
  kFailed,     // a final answer: 4xx, a wrong range, a local error, more bytes than asked
  kCancelled,
  kStopped,    // the progress callback said stop (another segment failed)
};

// Why the line let an attempt down, from the system's code for it.
EngineFailure LineFailure(uint32_t error) {
  return {platform::HttpErrorIsTimeout(error) ? FailureReason::kStalled : FailureReason::kConnectionBroken,
          FailureReason::kNone, error};
}

// How the answer to a sent ranged request for first..last is taken, and why when it
// is not.
AttemptEnd JudgeAnswer(platform::HttpHandle request, int64_t first, int64_t last, int64_t total,
                       int64_t* announcedLast, AttemptEvent* event) {
  const RangeAnswer answer = JudgeRangeAnswer(request, first, last, total, announcedLast);
  uint32_t status = 0;
  platform::HttpQueryStatusCode(request, &status);
  event->status = status;
  if (engineEvents) platform::HttpQueryHeader(request, u"Content-Range", 256, &event->contentRange);
  switch (answer) {
    case RangeAnswer::kUsable:
      return AttemptEnd::kComplete;
    case RangeAnswer::kBusy:
      event->failure = {FailureReason::kHttpStatus, FailureReason::kNone, status};
      return AttemptEnd::kTransient;
    case RangeAnswer::kRefused:
      break;
  }
  // An answer in the shape a range takes, but not the range asked for, is refused
  // as a range; any other status is refused for what it is.
  const bool rangeShaped = status == 200 || status == 206;
  event->failure = {rangeShaped ? FailureReason::kRangeRefused : FailureReason::kHttpStatus, FailureReason::kNone,
                    status};
  return AttemptEnd::kFailed;
}

// One request for first..last, appended at first. *written counts the bytes of the
// whole segment written so far (before this attempt, and by it). The event gets what
// the attempt met.
AttemptEnd RunAttempt(ICancelRequest& cancel, const std::u16string& url, int64_t first, int64_t last, int64_t total,
                      int (*progress)(ProgressReport*), ProgressReport* report, int64_t* written, int* result,
                      AttemptEvent* event) {
  *event = AttemptEvent();
  event->url = url;
  event->first = first;
  event->last = last;
  EngineRequest opened;
  if (!OpenRangeRequest(internetSession, url, first, last, &opened)) {
    event->failure = opened.cracked ? EngineFailure{FailureReason::kConnectFailed, FailureReason::kNone, opened.error}
                                    : EngineFailure{FailureReason::kLinkUnparsable};
    return AttemptEnd::kFailed;
  }
  const platform::HttpHandle request = opened.request;
  auto close = [&] { opened.Close(); };
  AttemptEnd end = AttemptEnd::kTransient;  // a send that fails never reached an answer
  int64_t announcedLast = last;
  if (platform::HttpSendRequest(request)) {
    end = cancel.IsCancelled() ? AttemptEnd::kCancelled
                               : JudgeAnswer(request, first, last, total, &announcedLast, event);
  } else {
    const uint32_t error = platform::LastErrorCode();
    event->failure = platform::HttpErrorIsTimeout(error) ? LineFailure(error)
                                                          : EngineFailure{FailureReason::kConnectFailed,
                                                                          FailureReason::kNone, error};
  }
  if (end != AttemptEnd::kComplete) {
    close();
    return end;
  }

  // Kept on this thread's stack; ten full reads fill the write buffer.
  unsigned char readBuffer[kReadSize];
  unsigned char writeBuffer[kWriteBufferSize];
  uint32_t buffered = 0;
  int64_t offset = first;
  uint32_t fileError = 0;
  auto flushBuffer = [&]() -> bool {
    bool ok;
    fileLock->Enter();
    ok = outputFile->WriteAt(static_cast<uint64_t>(offset), writeBuffer, buffered) && outputFile->Flush();
    if (!ok) fileError = platform::LastErrorCode();
    fileLock->Leave();
    if (!ok) return false;
    offset += buffered;
    *written += buffered;
    std::memset(writeBuffer, 0, buffered);
    buffered = 0;
    return true;
  };
  bool fileFailed = false;
  bool lineFailed = false;
  uint32_t lineError = 0;
  for (;;) {
    uint32_t available = 0;
    if (!platform::HttpQueryDataAvailable(request, &available)) {
      lineFailed = true;
      lineError = platform::LastErrorCode();
      break;
    }
    if (cancel.IsCancelled()) break;
    if (cancel.IsPaused()) {
      // Held while the user is asked whether to cancel: poll gently rather than
      // spin a core for as long as the question stays open.
      platform::SleepMs(10);
      continue;
    }
    if (available == 0) break;
    uint32_t got = 0;
    if (!platform::HttpReadData(request, readBuffer, available < kReadSize ? available : kReadSize, &got)) {
      lineFailed = true;
      lineError = platform::LastErrorCode();
      break;
    }
    std::memcpy(writeBuffer + buffered, readBuffer, got);
    buffered += got;
    report->state = STATUS_DOWNLOADING;
    report->bytesDone = got;
    if (buffered + kReadSize > kWriteBufferSize || got < kReadSize) {
      if (!flushBuffer()) {
        fileFailed = true;
        break;
      }
    }
    if (progress(report) != 0) {
      close();
      return AttemptEnd::kStopped;
    }
  }
  // Every byte counted so far is written before the next attempt starts after it.
  if (!fileFailed && buffered > 0) fileFailed = !flushBuffer();
  *result = cancel.IsCancelled() ? 0 : 1;
  close();
  event->bytes = offset - first;
  if (cancel.IsCancelled()) return AttemptEnd::kCancelled;
  if (fileFailed) {
    event->failure = {FailureReason::kWriteFailed, FailureReason::kNone, fileError};
    return AttemptEnd::kFailed;
  }
  if (offset > announcedLast + 1) {  // more than was asked for or announced
    event->failure = {FailureReason::kTooMuchData};
    return AttemptEnd::kFailed;
  }
  if (offset == last + 1) return AttemptEnd::kComplete;
  if (offset == announcedLast + 1 && offset > first) return AttemptEnd::kMore;
  // A body that ends early and one that breaks off are the same to us: the rest is
  // still to come.
  event->failure = lineFailed ? LineFailure(lineError) : EngineFailure{FailureReason::kBodyEndedEarly};
  return AttemptEnd::kTransient;
}

// Waits before the next attempt; false when a cancel came (which ends the wait at
// once). A hold for the cancel question keeps the next attempt back until answered.
bool PauseBeforeRetry(ICancelRequest& cancel, uint32_t ms) {
  EngineClock& clock = CurrentEngineClock();
  const uint64_t until = clock.NowMs() + ms;
  for (;;) {
    if (cancel.IsCancelled()) return false;
    const uint64_t now = clock.NowMs();
    if (now < until) {
      clock.SleepMs(until - now < 10 ? static_cast<uint32_t>(until - now) : 10);
      continue;
    }
    if (!cancel.IsPaused()) return true;
    platform::SleepMs(10);  // the user's answer comes in the system's time
  }
}

}  // namespace

uint32_t RetryPauseMs(uint32_t firstPauseMs, int retry) {
  uint64_t ms = firstPauseMs;
  for (int i = 0; i < retry && ms < kLongestRetryPauseMs; ++i) ms *= 2;
  return static_cast<uint32_t>(ms < kLongestRetryPauseMs ? ms : kLongestRetryPauseMs);
}

uint32_t SegmentThreadProc(void* param) {
  auto* segment = static_cast<DownloadSegment*>(param);
  if (!segment) return 0;
  CancelRequest cancel(cancelEvent);
  DownloadRange(cancel, segment->url, segment->start, segment->end, segment->progress, segment->options);
  delete segment;
  return 0;
}

int DownloadRange(ICancelRequest& cancel, const std::u16string& url, int64_t first, int64_t last,
                  int (*progress)(ProgressReport*), const TransferOptions& options) {
  auto* report = new ProgressReport{STATUS_INIT, 0, 0};
  int result = 0;
  int64_t written = 0;
  AttemptEvent attempt;
  EngineFailure failure;
  for (int retry = 0;;) {
    const AttemptEnd end = RunAttempt(cancel, url, first + written, last, options.total, progress, report, &written,
                                      &result, &attempt);
    if (engineEvents && end != AttemptEnd::kStopped) {
      attempt.complete = end == AttemptEnd::kComplete;
      attempt.partial = end == AttemptEnd::kMore;
      engineEvents->OnAttempt(attempt);
    }
    if (end == AttemptEnd::kStopped) {
      delete report;
      return 0;
    }
    failure = attempt.failure;
    // A part answered in full is progress, not a failure: the rest is asked for at
    // once. Each such answer brings at least one byte, so this ends.
    if (end == AttemptEnd::kMore) continue;
    if (end != AttemptEnd::kTransient || first + written > last) break;
    if (retry >= options.retries) {
      if (options.retries > 0) failure = {FailureReason::kRetriesUsedUp, failure.reason, failure.code};
      break;
    }
    const uint32_t pause = RetryPauseMs(options.firstPauseMs, retry);
    if (engineEvents) engineEvents->OnRetryPause(pause, retry + 1, options.retries);
    if (!PauseBeforeRetry(cancel, pause)) break;
    ++retry;
  }
  if (cancel.IsCancelled()) {
    CurrentEngineClock().SleepMs(500);
    report->state = STATUS_DOWNLOAD_CANCELLED;
  } else {
    report->state = written == last - first + 1 ? STATUS_DOWNLOADDONE : STATUS_DOWNLOAD_FAILED;
    if (report->state == STATUS_DOWNLOAD_FAILED) NoteDownloadFailure(failure);
  }
  report->bytesDone = 0;
  progress(report);
  delete report;
  return result;
}
