#include "download/failure_reason.h"

#include "platform/system.h"
#include "platform/text.h"

namespace {

struct ReasonText {
  const char* name;
  const char* words;
  bool systemCode;
};

// Indexed by the reason's number.
const ReasonText kReasons[] = {
    {"none", "no failure", false},
    {"no-size", "neither link gave the package's size", false},
    {"link-unparsable", "the link cannot be parsed", false},
    {"connect-failed", "could not connect to the server or send the request", true},
    {"http-status", "the server answered with a status that is not accepted", false},
    {"no-content-length", "the answer had no usable Content-Length", false},
    {"range-refused", "the answer did not carry the byte range asked for", false},
    {"stalled", "no data arrived for longer than the no-data limit", true},
    {"connection-broken", "the connection broke during the transfer", true},
    {"body-ended-early", "the answer ended before its last byte", false},
    {"too-much-data", "the answer carried more bytes than asked for", false},
    {"retries-used-up", "every further attempt failed", false},
    {"write-failed", "the package file could not be written", true},
    {"digest-mismatch", "the package's SHA-256 digest is not the one the configuration names", false},
    {"package-unreadable", "the package could not be read back to check its digest", true},
    {"cancelled", "cancelled by the user", false},
    {"thread-not-started", "a thread of the download could not be started", true},
    {"file-not-created", "the package file could not be created", true},
    {"session-not-opened", "the HTTP client could not be opened", true},
    {"package-not-held", "the package could not be held for its check", true},
    {"signer-mismatch", "the package is not signed by the publisher the configuration names", false},
};
constexpr uint32_t kReasonCount = sizeof(kReasons) / sizeof(kReasons[0]);

const ReasonText& Text(FailureReason reason) {
  const uint32_t n = static_cast<uint32_t>(reason);
  static const ReasonText unknown = {"unknown", "an unknown failure", false};
  return n < kReasonCount ? kReasons[n] : unknown;
}

std::u16string Code(FailureReason reason, uint32_t code) {
  if (!code) return u"";
  const std::u16string number = platform::Decimal(code);
  if (!Text(reason).systemCode) return u" (HTTP " + number + u")";
  const std::u16string message = platform::ErrorMessage(code);
  return u" (system error " + number + (message.empty() ? u"" : u": " + message) + u")";
}

}  // namespace

const char* FailureReasonName(FailureReason reason) { return Text(reason).name; }

bool FailureCodeIsSystemError(FailureReason reason) { return Text(reason).systemCode; }

std::u16string DescribeFailure(const EngineFailure& f) {
  std::u16string s = platform::Utf8ToWide(Text(f.reason).words);
  if (f.cause == FailureReason::kNone) return s + Code(f.reason, f.code);
  return s + u"; the last: " + platform::Utf8ToWide(Text(f.cause).words) + Code(f.cause, f.code);
}
