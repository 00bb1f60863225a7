// Why a download ended without a package to start. The numbers are written into
// support logs and read by scripts and support desks: a number, once given, keeps
// its meaning for ever and is never reused. New reasons take the next free number.
#pragma once

#include <cstdint>
#include <string>

enum class FailureReason : uint32_t {
  kNone = 0,
  kNoSize = 1,             // neither link gave a size; the cause is the last probe's
  kLinkUnparsable = 2,     // the link cannot be split into its parts
  kConnectFailed = 3,      // no connection, or the request could not be sent (system code)
  kHttpStatus = 4,         // an HTTP status that is not accepted (the status)
  kNoContentLength = 5,    // an accepted status without a usable Content-Length (the status)
  kRangeRefused = 6,       // a ranged answer that does not carry the range asked for (the status)
  kStalled = 7,            // no data for longer than the no-data limit (system code)
  kConnectionBroken = 8,   // the connection broke inside the answer (system code)
  kBodyEndedEarly = 9,     // the answer ended before the last byte of its range
  kTooMuchData = 10,       // the answer ran past the range or past what it announced
  kRetriesUsedUp = 11,     // every further attempt met a broken line; the cause is the last one's
  kWriteFailed = 12,       // the package file could not be written (system code)
  kDigestMismatch = 13,    // the package is not the one the configuration names
  kPackageUnreadable = 14, // the package could not be read back for its digest
  kCancelled = 15,         // the user cancelled
  kThreadNotStarted = 16,  // a thread of the engine could not be created (system code)
  kFileNotCreated = 17,    // the package file could not be created (system code)
  kSessionNotOpened = 18,  // the HTTP client could not be opened (system code)
  kPackageNotHeld = 19,    // the package could not be held for its check: someone else has it open (system code)
  kSignerMismatch = 20,    // the package is not signed by the publisher the configuration names
};

struct EngineFailure {
  FailureReason reason = FailureReason::kNone;
  // For kNoSize and kRetriesUsedUp: what the last probe or attempt met. kNone
  // otherwise.
  FailureReason cause = FailureReason::kNone;
  // The system error code or the HTTP status of the reason (or of its cause); 0 when
  // there is none.
  uint32_t code = 0;

  bool operator==(const EngineFailure& o) const { return reason == o.reason && cause == o.cause && code == o.code; }
  bool operator!=(const EngineFailure& o) const { return !(*this == o); }
};

// A short stable name ("http-status") for logs and tables.
const char* FailureReasonName(FailureReason reason);
// The failure in words, with its code and, for a system error, the system's text:
// "the server answered with a status that is not accepted (HTTP 404)".
std::u16string DescribeFailure(const EngineFailure& failure);
// Whether the reason's code is a system error code (rather than an HTTP status).
bool FailureCodeIsSystemError(FailureReason reason);
