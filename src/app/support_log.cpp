#include "app/support_log.h"

#include <cstdio>

#include "config/download_plan.h"
#include "platform/text.h"

namespace app {

namespace {

using platform::Decimal;

std::u16string Quoted(const std::u16string& s) { return u"\"" + s + u"\""; }

std::string Stamp(const platform::LocalTime& t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
  return buf;
}

}  // namespace

std::u16string LinkForLog(const std::u16string& link) {
  const size_t scheme = link.find(u"://");
  const size_t from = scheme == std::u16string::npos ? 0 : scheme + 3;
  const size_t end = link.find_first_of(u"/?#", from);
  const size_t at = link.rfind(u'@', end == std::u16string::npos ? std::u16string::npos : end);
  if (at == std::u16string::npos || at < from) return link;
  return link.substr(0, from) + link.substr(at + 1);
}

std::u16string FailureForLog(const EngineFailure& f) {
  return u"reason " + Decimal(static_cast<uint32_t>(f.reason)) + u" " +
         platform::Utf8ToWide(FailureReasonName(f.reason)) + u": " + DescribeFailure(f);
}

CSupportLog::CSupportLog(const std::u16string& file, uint64_t startMs, const platform::LocalTime& startedAt)
    : startMs_(startMs), startedAt_(startedAt) {
  if (file.empty()) return;
  settled_ = true;
  path_ = file;
  failed_ = !file_.CreateReadable(file, false);
}

void CSupportLog::Settle(const std::u16string& stem, const std::u16string& folder) {
  platform::LockGuard guard(lock_);
  if (settled_) return;
  settled_ = true;
  // The product's name as the package file is named, without its ".exe".
  std::u16string name = PackageFileName(stem);
  name.resize(name.size() - 4);
#ifdef _WIN32
  const char16_t* separator = u"\\";
#else
  const char16_t* separator = u"/";
#endif
  const std::u16string prefix = folder + separator + name + u"_" + platform::Utf8ToWide(Stamp(startedAt_));
  for (int n = 1; n <= 100 && !folder.empty() && !file_.IsOpen(); ++n) {
    path_ = prefix + (n == 1 ? u"" : u"_" + Decimal(n)) + u".log";
    file_.CreateReadable(path_, true);
  }
  failed_ = !file_.IsOpen();
  if (failed_) {
    path_.clear();
    pending_.clear();
    return;
  }
  std::string waiting;
  waiting.swap(pending_);
  Append(waiting);
}

std::u16string CSupportLog::Path() const {
  platform::LockGuard guard(lock_);
  return path_;
}

bool CSupportLog::Failed() const {
  platform::LockGuard guard(lock_);
  return failed_;
}

void CSupportLog::SetKit(const KitFiles& kit) {
  platform::LockGuard guard(lock_);
  kit_ = kit;
}

void CSupportLog::Append(const std::string& bytes) {
  if (failed_ || bytes.empty()) return;
  if (!file_.IsOpen()) {
    pending_ += bytes;
    return;
  }
  // No flush to the disk: a line is in the system's hands once written, which is
  // enough for a program that ends, and costs nothing while the download runs.
  if (!file_.WriteAt(offset_, bytes.data(), bytes.size())) {
    failed_ = true;
    return;
  }
  offset_ += bytes.size();
}

void CSupportLog::Write(const std::u16string& text) {
  char ms[32];
  std::snprintf(ms, sizeof ms, "%7llu ms  ", static_cast<unsigned long long>(platform::TickMs() - startMs_));
  std::string line = ms + platform::WideToUtf8(text);
  // One event, one line, whatever the text holds.
  for (char& c : line)
    if (c == '\r' || c == '\n') c = ' ';
  line += "\r\n";
  platform::LockGuard guard(lock_);
  Append(line);
}

void CSupportLog::PackageStarted(const std::u16string& path, const std::u16string& args, bool started,
                                 uint32_t error) {
  std::u16string line = u"package started: " + path + (args.empty() ? u", no arguments" : u", arguments " + Quoted(args));
  if (!started) {
    line = u"package not started: " + path + (args.empty() ? u"" : u", arguments " + Quoted(args)) +
           u": system error " + Decimal(error);
    const std::u16string message = platform::ErrorMessage(error);
    if (!message.empty()) line += u": " + message;
  }
  Write(line);
}

void CSupportLog::OnStateChange(const DownloadStatus& status, const EngineFailure& failure) {
  KitFiles kit;
  {
    platform::LockGuard guard(lock_);
    kit = kit_;
  }
  std::u16string text;
  GetStatusUiString(status.state, kit, text);
  std::u16string line = u"state " + Decimal(status.state) + u" " + Quoted(text) + u", " +
                        Decimal(status.bytesDone) + u" of " + Decimal(status.bytesTotal) + u" bytes";
  const bool ends = status.state == STATUS_DOWNLOAD_FAILED || status.state == STATUS_DOWNLOAD_CANCELLED;
  if (ends && failure.reason != FailureReason::kNone) line += u"; " + FailureForLog(failure);
  Write(line);
}

void CSupportLog::OnProbe(const ProbeEvent& p) {
  std::u16string line = u"probe " + (p.link.empty() ? u"(an empty link)" : LinkForLog(p.link)) + u": ";
  if (p.status) {
    line += u"status " + Decimal(p.status) + u", Content-Length " +
            (p.contentLength.empty() ? u"none" : Quoted(p.contentLength));
  } else {
    line += u"no answer";
  }
  line += u", " + Decimal(p.ms) + u" ms";
  line += p.size > 0 ? u", size " + Decimal(p.size) : u"; no size: " + FailureForLog(p.failure);
  Write(line);
}

void CSupportLog::OnAttempt(const AttemptEvent& a) {
  std::u16string line = u"transfer " + LinkForLog(a.url) + u" bytes=" + Decimal(a.first) + u"-" +
                        Decimal(a.last) + u": ";
  line += a.status ? u"status " + Decimal(a.status) : u"no answer";
  if (!a.contentRange.empty()) line += u", Content-Range " + Quoted(a.contentRange);
  line += u", " + Decimal(a.bytes) + u" bytes written, ";
  if (a.complete) {
    line += u"complete";
  } else if (a.partial) {
    line += u"the rest is asked for next";
  } else if (a.failure.reason != FailureReason::kNone) {
    line += u"ended: " + FailureForLog(a.failure);
  } else {
    line += u"stopped";
  }
  Write(line);
}

void CSupportLog::OnRetryPause(uint32_t ms, int retry, int retries) {
  Write(u"pause " + Decimal(ms) + u" ms before further attempt " + Decimal(retry) + u" of " +
        Decimal(retries));
}

void CSupportLog::OnDigest(const std::u16string& expected, const std::u16string& computed) {
  Write(u"sha256 expected " + expected + u", computed " + (computed.empty() ? u"nothing (unreadable)" : computed) +
        (computed == expected ? u": the same" : u": DIFFERENT"));
}

}  // namespace app
