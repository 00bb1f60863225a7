// One ranged GET written at its own offsets into the shared package file.
#include <cstring>
#include <string>

#include "download/download_manager.h"
#include "platform/system.h"
#include "platform/text.h"

namespace {

constexpr uint32_t kReadSize = 4096;
constexpr uint32_t kWriteBufferSize = 40960;

const char16_t* const kTransferAcceptTypes[] = {u"*/*", nullptr};

std::u16string Decimal(int64_t v) { return platform::Utf8ToWide(std::to_string(v)); }

// Only a response that carries the requested bytes from the requested first byte
// counts: anything else (an error page, a range from elsewhere) would otherwise be
// written into the package as if it were the package.
bool ResponseMatchesRange(platform::HttpHandle request, int64_t first) {
  uint32_t status = 0;
  if (!platform::HttpQueryStatusCode(request, &status)) return false;
  if (status == 200) return first == 0;  // the server ignored the Range: whole body
  if (status != 206) return false;
  std::u16string range;
  if (!platform::HttpQueryHeader(request, u"Content-Range", 256, &range)) return false;
  // "bytes <first>-<last>/<total>"
  size_t i = 0;
  while (i < range.size() && range[i] == u' ') ++i;
  if (range.compare(i, 5, u"bytes") != 0) return false;
  i += 5;
  while (i < range.size() && range[i] == u' ') ++i;
  size_t digits = i;
  while (i < range.size() && range[i] >= u'0' && range[i] <= u'9') ++i;
  if (i == digits || i >= range.size() || range[i] != u'-') return false;
  return ParseContentLength(range.substr(digits, i - digits)) == first;
}

}  // namespace

uint32_t SegmentThreadProc(void* param) {
  auto* segment = static_cast<DownloadSegment*>(param);
  if (!segment) return 0;
  CancelRequest cancel(cancelEvent);
  DownloadRange(cancel, segment->url, segment->start, segment->end, segment->progress);
  delete segment;
  return 0;
}

int DownloadRange(ICancelRequest& cancel, const std::u16string& url, int64_t first, int64_t last,
                  int (*progress)(ProgressReport*)) {
  auto* report = new ProgressReport{STATUS_INIT, 0, 0};
  int result = 0;
  int64_t written = 0;
  platform::UrlParts parts;
  platform::HttpHandle connection = nullptr;
  platform::HttpHandle request = nullptr;
  if (platform::CrackUrl(url, &parts)) {
    connection = platform::HttpConnect(internetSession, parts.host, parts.port, parts.user, parts.password,
                                       parts.scheme == platform::UrlScheme::kFtp);
  }
  if (connection) {
    uint32_t flags = platform::kHttpFlagReload | platform::kHttpFlagNoCacheWrite |
                     platform::kHttpFlagKeepConnection | platform::kHttpFlagNoUi;
    if (parts.scheme == platform::UrlScheme::kHttps) flags |= platform::kHttpFlagSecure;
    request = platform::HttpOpenRequest(connection, u"GET", parts.path + parts.extra, u"HTTP/1.1",
                                        kTransferAcceptTypes, flags);
    if (!request) {
      platform::HttpClose(connection);
      connection = nullptr;
    }
  }
  bool sent = false;
  if (request) {
    const uint32_t headerFlags = platform::kHttpAddHeaderAdd | platform::kHttpAddHeaderReplace;
    platform::HttpAddRequestHeader(request, u"Range:bytes=" + Decimal(first) + u"-" + Decimal(last), headerFlags);
    if (!refererUrl.empty()) platform::HttpAddRequestHeader(request, u"Referer: " + refererUrl, headerFlags);
    sent = platform::HttpSendRequest(request) && !cancel.IsCancelled() && ResponseMatchesRange(request, first);
    if (!sent) {
      platform::HttpClose(request);
      platform::HttpClose(connection);
      request = connection = nullptr;
    }
  }
  if (sent) {
    // Kept on this thread's stack; ten full reads fill the write buffer.
    unsigned char readBuffer[kReadSize];
    unsigned char writeBuffer[kWriteBufferSize];
    uint32_t buffered = 0;
    int64_t offset = first;
    auto flushBuffer = [&]() -> bool {
      bool ok;
      fileLock->Enter();
      ok = outputFile->WriteAt(static_cast<uint64_t>(offset), writeBuffer, buffered) && outputFile->Flush();
      fileLock->Leave();
      if (!ok) return false;
      offset += buffered;
      written += buffered;
      std::memset(writeBuffer, 0, buffered);
      buffered = 0;
      return true;
    };
    bool fileFailed = false;
    for (;;) {
      uint32_t available = 0;
      if (!platform::HttpQueryDataAvailable(request, &available)) break;
      if (cancel.IsCancelled()) break;
      if (cancel.IsPaused()) {
        // Held while the user is asked whether to cancel: poll gently rather than
        // spin a core for as long as the question stays open.
        platform::SleepMs(10);
        continue;
      }
      if (available == 0) break;
      uint32_t got = 0;
      if (!platform::HttpReadData(request, readBuffer, available < kReadSize ? available : kReadSize, &got)) break;
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
        platform::HttpClose(request);
        platform::HttpClose(connection);
        delete report;
        return 0;
      }
    }
    if (!fileFailed && buffered > 0) flushBuffer();
    result = cancel.IsCancelled() ? 0 : 1;
    platform::HttpClose(request);
    platform::HttpClose(connection);
  }
  if (cancel.IsCancelled()) {
    platform::SleepMs(500);
    report->state = STATUS_DOWNLOAD_CANCELLED;
  } else {
    report->state = written == last - first + 1 ? STATUS_DOWNLOADDONE : STATUS_DOWNLOAD_FAILED;
  }
  report->bytesDone = 0;
  progress(report);
  delete report;
  return result;
}
