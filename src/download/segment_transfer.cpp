// One ranged GET written at its own offsets into the shared package file, tried
// again from the first byte not yet written when the line lets it down.
#include "download/segment_transfer.h"

#include <cstring>

#include "download/engine_events.h"
#include "download/engine_requests.h"
#include "download/segment_split.h"
#include "platform/system.h"

platform::OutputFile* outputFile = nullptr;

namespace {

constexpr uint32_t kReadSize = 4096;
constexpr uint32_t kWriteBufferSize = 40960;
constexpr uint32_t kLongestRetryPauseMs = 30000;

// How one request ended. Only a line that let us down is worth another request: an
// answer that says no, a range from elsewhere or a full disk would say the same again.
enum class AttemptEnd {
  kComplete,    // the body ended where it should
  kMore,        // a whole answer that covered only part of the range: ask for the rest
  kTransient,   // the connection broke, timed out, or the server was busy (5xx, 408, 429)
  kFailed,      // a final answer: 4xx, a wrong range, a local error, more bytes than asked
  kCancelled,
  kStopped,     // the progress callback said stop (the outcome is already decided)
  kHandedOver,  // a later range of a split the server does not honour: the first takes it
};

// Why the line let an attempt down, from the system's code for it.
EngineFailure LineFailure(uint32_t error) {
  return {platform::HttpErrorIsTimeout(error) ? FailureReason::kStalled : FailureReason::kConnectionBroken,
          FailureReason::kNone, error};
}

// One range, fetched by as many requests as it takes, each from the first byte not
// yet written.
class RangeTransfer {
 public:
  RangeTransfer(ICancelRequest& cancel, const std::u16string& url, int64_t first, int64_t last,
                int (*progress)(ProgressReport*), const TransferOptions& options)
      : cancel_(cancel), url_(url), first_(first), last_(last), next_(first), progress_(progress),
        options_(options) {}
  int Run();

 private:
  AttemptEnd Attempt();
  // Whether the answer's body is to be read, and where it goes.
  AttemptEnd Verdict(RangeAnswer answer, const AnsweredRange& answered, int64_t* bodyAt, int64_t* bodyLast);
  // Cancelled, or (a later range of a split) no longer wanted.
  bool Stopping();
  // The first range of a dropped split, once alone: the rest of the package is its own.
  void TakeOverTheRest();
  // The first range, its own bytes written: whether it goes on with the rest.
  bool GoesOnAfterItsRange();
  bool PauseBeforeRetry(uint32_t ms);

  ICancelRequest& cancel_;
  const std::u16string& url_;
  const int64_t first_;
  int64_t last_;
  int64_t next_;  // the first byte not yet written: all from first_ up to it is written
  int (*progress_)(ProgressReport*);
  const TransferOptions& options_;
  ProgressReport report_{STATUS_INIT, 0, 0};
  int64_t counted_ = 0;  // what this transfer's reports added to the progress
  bool takenOver_ = false;
  FreshBytes fresh_;
  bool handedOver_ = false;
  int result_ = 0;
  AttemptEvent event_;  // what the latest attempt met
};

bool RangeTransfer::Stopping() {
  if (cancel_.IsCancelled()) return true;
  if (options_.split && options_.index > 0 && options_.split->Dropped()) handedOver_ = true;
  return handedOver_;
}

void RangeTransfer::TakeOverTheRest() {
  fresh_ = FreshBytes(next_, options_.split->CountedByOthers());
  takenOver_ = true;
  last_ = options_.total - 1;
}

bool RangeTransfer::GoesOnAfterItsRange() {
  SegmentSplit* split = options_.split;
  if (!split || options_.index != 0 || takenOver_) return false;
  // A later range may still be refused, and then its bytes are this one's to fetch;
  // a cancel ends the wait.
  if (!split->WaitUntilAlone(cancel_) || !split->Dropped()) return false;
  TakeOverTheRest();
  return true;
}

AttemptEnd RangeTransfer::Verdict(RangeAnswer answer, const AnsweredRange& answered, int64_t* bodyAt,
                                  int64_t* bodyLast) {
  switch (answer) {
    case RangeAnswer::kUsable:
      *bodyLast = answered.last;
      return AttemptEnd::kComplete;
    case RangeAnswer::kBusy: return AttemptEnd::kTransient;
    case RangeAnswer::kRefused: return AttemptEnd::kFailed;
    case RangeAnswer::kWhole:
    case RangeAnswer::kElsewhere: break;
  }
  SegmentSplit* split = options_.split;
  // One range: a whole body is that range only when it was asked for from the start.
  if (!split) return answer == RangeAnswer::kWhole && next_ == 0 ? AttemptEnd::kComplete : AttemptEnd::kFailed;
  if (options_.index > 0) {
    split->Drop();
    handedOver_ = true;
    return AttemptEnd::kHandedOver;
  }
  // The first range, and the server does not honour the split: this transfer takes
  // the rest, from this very answer when it runs on from here (a 200 starts again at
  // byte 0, which writes the same bytes and counts none twice).
  const bool whole = answer == RangeAnswer::kWhole;
  if (!whole && answered.first != next_) return AttemptEnd::kFailed;
  if (!takenOver_) {
    split->Drop();
    if (!split->WaitUntilAlone(cancel_)) return AttemptEnd::kCancelled;
    TakeOverTheRest();
  }
  if (answered.last > last_) return AttemptEnd::kFailed;
  *bodyAt = whole ? 0 : next_;
  *bodyLast = answered.last;
  return AttemptEnd::kComplete;
}

AttemptEnd RangeTransfer::Attempt() {
  event_ = AttemptEvent();
  event_.url = url_;
  event_.first = next_;
  event_.last = last_;
  EngineRequest opened;
  if (!OpenRangeRequest(internetSession, url_, next_, last_, &opened)) {
    event_.failure = opened.cracked ? EngineFailure{FailureReason::kConnectFailed, FailureReason::kNone, opened.error}
                                    : EngineFailure{FailureReason::kLinkUnparsable};
    return AttemptEnd::kFailed;
  }
  const platform::HttpHandle request = opened.request;
  AttemptEnd end = AttemptEnd::kTransient;  // a send that fails never reached an answer
  int64_t offset = next_, bodyLast = last_;
  if (platform::HttpSendRequest(request)) {
    AnsweredRange answered;
    const RangeAnswer answer = JudgeRangeAnswer(request, next_, last_, options_.total, &answered);
    uint32_t status = 0;
    platform::HttpQueryStatusCode(request, &status);
    event_.status = status;
    if (engineEvents) platform::HttpQueryHeader(request, u"Content-Range", 256, &event_.contentRange);
    end = Stopping() ? AttemptEnd::kCancelled : Verdict(answer, answered, &offset, &bodyLast);
    // A busy server is named by its status; an answer in the shape a range takes,
    // but not one this transfer can use, is a refused range; any other status is
    // refused for what it is.
    if (end == AttemptEnd::kTransient) event_.failure = {FailureReason::kHttpStatus, FailureReason::kNone, status};
    if (end == AttemptEnd::kFailed || end == AttemptEnd::kHandedOver) {
      const bool rangeShaped = status == 200 || status == 206;
      event_.failure = {rangeShaped ? FailureReason::kRangeRefused : FailureReason::kHttpStatus, FailureReason::kNone,
                        status};
    }
  } else {
    const uint32_t error = platform::LastErrorCode();
    event_.failure = platform::HttpErrorIsTimeout(error)
                         ? LineFailure(error)
                         : EngineFailure{FailureReason::kConnectFailed, FailureReason::kNone, error};
  }
  if (end != AttemptEnd::kComplete) {
    opened.Close();
    return end;
  }

  // Kept on this thread's stack; ten full reads fill the write buffer.
  unsigned char readBuffer[kReadSize];
  unsigned char writeBuffer[kWriteBufferSize];
  uint32_t buffered = 0;
  const int64_t bodyAt = offset;
  // fileLock keeps a seek and its write together. One transfer flushes inside it, as
  // it always has; the transfers of a split flush after leaving it (under the split's
  // own lock, which the file's close waits for), so that one waiting on the disk
  // never keeps the others from writing. Either way a buffer is on the disk before
  // its bytes count and before the next read.
  SegmentSplit* const split = options_.split;
  uint32_t fileError = 0;
  auto flushBuffer = [&]() -> bool {
    bool ok;
    fileLock->Enter();
    ok = outputFile->WriteAt(static_cast<uint64_t>(offset), writeBuffer, buffered) && (split || outputFile->Flush());
    if (!ok) fileError = platform::LastErrorCode();
    fileLock->Leave();
    if (ok && split) {
      platform::LockGuard flushing(split->flushLock());
      ok = outputFile->Flush();
      if (!ok) fileError = platform::LastErrorCode();
    }
    if (!ok) return false;
    offset += buffered;
    if (offset > next_) next_ = offset;
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
    if (Stopping()) break;
    if (cancel_.IsPaused()) {
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
    const int64_t at = offset + buffered;
    std::memcpy(writeBuffer + buffered, readBuffer, got);
    buffered += got;
    report_.state = STATUS_DOWNLOADING;
    report_.bytesDone = takenOver_ ? static_cast<uint64_t>(fresh_.Take(at, got)) : got;
    if (buffered + kReadSize > kWriteBufferSize || got < kReadSize) {
      if (!flushBuffer()) {
        fileFailed = true;
        break;
      }
    }
    if (progress_(&report_) != 0) {
      opened.Close();
      return AttemptEnd::kStopped;
    }
    counted_ += static_cast<int64_t>(report_.bytesDone);
  }
  // Every byte counted so far is written before the next attempt starts after it.
  if (!fileFailed && buffered > 0) fileFailed = !flushBuffer();
  result_ = cancel_.IsCancelled() ? 0 : 1;
  opened.Close();
  event_.bytes = offset - bodyAt;
  if (Stopping()) return handedOver_ ? AttemptEnd::kHandedOver : AttemptEnd::kCancelled;
  if (fileFailed) {
    event_.failure = {FailureReason::kWriteFailed, FailureReason::kNone, fileError};
    return AttemptEnd::kFailed;
  }
  if (offset > bodyLast + 1) {  // more than was asked for or announced
    event_.failure = {FailureReason::kTooMuchData};
    return AttemptEnd::kFailed;
  }
  if (offset == last_ + 1) return AttemptEnd::kComplete;
  if (offset == bodyLast + 1 && offset > bodyAt) return AttemptEnd::kMore;
  // A body that ends early and one that breaks off are the same to us: the rest is
  // still to come.
  event_.failure = lineFailed ? LineFailure(lineError) : EngineFailure{FailureReason::kBodyEndedEarly};
  return AttemptEnd::kTransient;
}

// Waits before the next attempt; false when the transfer is to stop (which ends the
// wait at once). A hold for the cancel question keeps the next attempt back until
// answered.
bool RangeTransfer::PauseBeforeRetry(uint32_t ms) {
  EngineClock& clock = CurrentEngineClock();
  const uint64_t until = clock.NowMs() + ms;
  for (;;) {
    if (Stopping()) return false;
    const uint64_t now = clock.NowMs();
    if (now < until) {
      clock.SleepMs(until - now < 10 ? static_cast<uint32_t>(until - now) : 10);
      continue;
    }
    if (!cancel_.IsPaused()) return true;
    platform::SleepMs(10);  // the user's answer comes in the system's time
  }
}

int RangeTransfer::Run() {
  EngineFailure failure;
  for (int retry = 0;;) {
    const AttemptEnd end = Attempt();
    if (end == AttemptEnd::kStopped) return 0;
    if (engineEvents) {
      event_.complete = end == AttemptEnd::kComplete;
      event_.partial = end == AttemptEnd::kMore;
      engineEvents->OnAttempt(event_);
    }
    failure = event_.failure;
    // A part answered in full is progress, not a failure: the rest is asked for at
    // once. Each such answer brings at least one byte, so this ends.
    if (end == AttemptEnd::kMore) continue;
    if (end == AttemptEnd::kComplete && GoesOnAfterItsRange()) {
      retry = 0;  // the rest is a segment of its own, with retries of its own
      continue;
    }
    if (end != AttemptEnd::kTransient || next_ > last_) break;
    if (retry >= options_.retries) {
      if (options_.retries > 0) failure = {FailureReason::kRetriesUsedUp, failure.reason, failure.code};
      break;
    }
    const uint32_t pause = RetryPauseMs(options_.firstPauseMs, retry);
    if (engineEvents) engineEvents->OnRetryPause(pause, retry + 1, options_.retries);
    if (!PauseBeforeRetry(pause)) break;
    ++retry;
  }
  if (cancel_.IsCancelled()) {
    CurrentEngineClock().SleepMs(500);
    report_.state = STATUS_DOWNLOAD_CANCELLED;
  } else if (handedOver_) {
    report_.state = kReportHandedOver;
  } else {
    report_.state = next_ == last_ + 1 ? STATUS_DOWNLOADDONE : STATUS_DOWNLOAD_FAILED;
    // Kept before the report decides the outcome, so the reason stands beside it.
    if (report_.state == STATUS_DOWNLOAD_FAILED) NoteDownloadFailure(failure);
  }
  report_.bytesDone = 0;
  if (options_.split) options_.split->SetCounted(options_.index, counted_);
  progress_(&report_);
  return result_;
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
  return RangeTransfer(cancel, url, first, last, progress, options).Run();
}
