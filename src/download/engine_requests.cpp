#include "download/engine_requests.h"

#include "download/download_manager.h"
#include "platform/text.h"

namespace {

const char16_t* const kProbeAcceptTypes[] = {u"application/xml", u"*/*", nullptr};
const char16_t* const kTransferAcceptTypes[] = {u"*/*", nullptr};
constexpr uint32_t kHeaderFlags = platform::kHttpAddHeaderAdd | platform::kHttpAddHeaderReplace;

std::u16string Decimal(int64_t v) { return platform::Utf8ToWide(std::to_string(v)); }

bool Open(platform::HttpHandle session, const std::u16string& url, const char16_t* const* acceptTypes,
          uint32_t flags, const std::u16string& verb, EngineRequest* out) {
  *out = EngineRequest();
  platform::UrlParts parts;
  if (!platform::CrackUrl(url, &parts)) return false;
  out->connection = platform::HttpConnect(session, parts.host, parts.port, parts.user, parts.password,
                                          parts.scheme == platform::UrlScheme::kFtp);
  if (!out->connection) return false;
  // Certificates are checked: the package will be executed, so its server must be
  // able to prove who it is.
  if (parts.scheme == platform::UrlScheme::kHttps) flags |= platform::kHttpFlagSecure;
  out->request = platform::HttpOpenRequest(out->connection, verb, parts.path + parts.extra, u"HTTP/1.1",
                                           acceptTypes, flags);
  if (!out->request) {
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
  out->Close();
  return false;
}

}  // namespace

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
