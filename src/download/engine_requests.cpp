#include "download/engine_requests.h"

#include "platform/system.h"
#include "platform/text.h"

platform::HttpHandle internetSession = nullptr;
const char16_t kAgentName[] = u"Ostrel_WebInstaller";
const std::u16string refererUrl = u"http://www.zarnsoft.example/";

namespace {

const char16_t* const kProbeAcceptTypes[] = {u"application/xml", u"*/*", nullptr};
const char16_t* const kTransferAcceptTypes[] = {u"*/*", nullptr};
constexpr uint32_t kHeaderFlags = platform::kHttpAddHeaderAdd | platform::kHttpAddHeaderReplace;

bool TransientStatus(uint32_t status) { return status >= 500 || status == 408 || status == 429; }

// Reads "<digits>" at text[*i]; false when there are none.
bool ReadNumber(const std::u16string& text, size_t* i, int64_t* value) {
  size_t digits = *i;
  while (*i < text.size() && text[*i] >= u'0' && text[*i] <= u'9') ++*i;
  if (*i == digits) return false;
  *value = ParseContentLength(text.substr(digits, *i - digits));
  return true;
}

using platform::Decimal;

bool Open(platform::HttpHandle session, const std::u16string& url, const char16_t* const* acceptTypes,
          uint32_t flags, const std::u16string& verb, EngineRequest* out) {
  *out = EngineRequest();
  platform::UrlParts parts;
  if (!platform::CrackUrl(url, &parts)) return false;
  out->cracked = true;
  out->connection = platform::HttpConnect(session, parts.host, parts.port, parts.user, parts.password,
                                          parts.scheme == platform::UrlScheme::kFtp);
  if (!out->connection) {
    out->error = platform::LastErrorCode();
    return false;
  }
  // Certificates are checked: the package will be executed, so its server must be
  // able to prove who it is.
  if (parts.scheme == platform::UrlScheme::kHttps) flags |= platform::kHttpFlagSecure;
  out->request = platform::HttpOpenRequest(out->connection, verb, parts.path + parts.extra, u"HTTP/1.1",
                                           acceptTypes, flags);
  if (!out->request) {
    out->error = platform::LastErrorCode();
    out->Close();
    return false;
  }
  return true;
}

void AddReferer(EngineRequest* out) {
  if (!refererUrl.empty()) platform::HttpAddRequestHeader(out->request, u"Referer: " + refererUrl, kHeaderFlags);
}

bool Send(bool opened, EngineRequest* out) {
  if (!opened) return false;
  if (platform::HttpSendRequest(out->request)) return true;
  out->error = platform::LastErrorCode();
  out->Close();
  return false;
}

}  // namespace

int64_t ParseContentLength(const std::u16string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    int digit = text[i] - u'0';
    if (value > (INT64_MAX - digit) / 10) return 0;
    value = value * 10 + digit;
  }
  return negative ? 0 : value;
}

void EngineRequest::Close() {
  if (request) platform::HttpClose(request);
  if (connection) platform::HttpClose(connection);
  request = connection = nullptr;
}

bool OpenProbeRequest(platform::HttpHandle session, const std::u16string& link, EngineRequest* out) {
  if (!Open(session, link, kProbeAcceptTypes, platform::kHttpFlagReload | platform::kHttpFlagNoUi, u"", out))
    return false;
  AddReferer(out);
  return true;
}

bool OpenRangeRequest(platform::HttpHandle session, const std::u16string& url, int64_t first, int64_t last,
                      EngineRequest* out) {
  const uint32_t flags = platform::kHttpFlagReload | platform::kHttpFlagNoCacheWrite |
                         platform::kHttpFlagKeepConnection | platform::kHttpFlagNoUi;
  if (!Open(session, url, kTransferAcceptTypes, flags, u"GET", out)) return false;
  platform::HttpAddRequestHeader(out->request, u"Range:bytes=" + Decimal(first) + u"-" + Decimal(last), kHeaderFlags);
  AddReferer(out);
  return true;
}

bool SendProbeRequest(platform::HttpHandle session, const std::u16string& link, EngineRequest* out) {
  return Send(OpenProbeRequest(session, link, out), out);
}

bool SendRangeRequest(platform::HttpHandle session, const std::u16string& url, int64_t first, int64_t last,
                      EngineRequest* out) {
  return Send(OpenRangeRequest(session, url, first, last, out), out);
}

int64_t SizeFromProbe(const EngineRequest& probe, uint32_t* status) {
  uint32_t code = 0;
  std::u16string length;
  int64_t size = 0;
  if (platform::HttpQueryStatusCode(probe.request, &code) && code != 404 && code >= 200 && code <= 500 &&
      platform::HttpQueryHeader(probe.request, u"Content-Length", 32, &length)) {
    size = ParseContentLength(length);
  }
  if (status) *status = code;
  return size;
}

RangeAnswer JudgeRangeAnswer(platform::HttpHandle request, int64_t first, int64_t last, int64_t total,
                             AnsweredRange* answered) {
  *answered = {first, last};
  uint32_t status = 0;
  if (!platform::HttpQueryStatusCode(request, &status)) return RangeAnswer::kRefused;
  if (TransientStatus(status)) return RangeAnswer::kBusy;
  // The server ignored the Range: the whole body.
  if (status == 200) {
    *answered = {0, total >= 0 ? total - 1 : last};
    return RangeAnswer::kWhole;
  }
  if (status != 206) return RangeAnswer::kRefused;
  std::u16string range;
  if (!platform::HttpQueryHeader(request, u"Content-Range", 256, &range)) return RangeAnswer::kRefused;
  // "bytes <first>-<last>/<total or *>"
  size_t i = 0;
  while (i < range.size() && range[i] == u' ') ++i;
  if (range.compare(i, 5, u"bytes") != 0) return RangeAnswer::kRefused;
  i += 5;
  while (i < range.size() && range[i] == u' ') ++i;
  int64_t shownFirst = 0, shownLast = 0, shownTotal = 0;
  if (!ReadNumber(range, &i, &shownFirst)) return RangeAnswer::kRefused;
  if (i >= range.size() || range[i++] != u'-' || !ReadNumber(range, &i, &shownLast)) return RangeAnswer::kRefused;
  if (shownLast < shownFirst) return RangeAnswer::kRefused;
  if (total >= 0) {
    if (i >= range.size() || range[i++] != u'/') return RangeAnswer::kRefused;
    // A total other than the probed size is another package: resuming would splice
    // two. "*" does not tell the size.
    if (!(i < range.size() && range[i] == u'*') && (!ReadNumber(range, &i, &shownTotal) || shownTotal != total))
      return RangeAnswer::kRefused;
  }
  *answered = {shownFirst, shownLast};
  return shownFirst == first && shownLast <= last ? RangeAnswer::kUsable : RangeAnswer::kElsewhere;
}
