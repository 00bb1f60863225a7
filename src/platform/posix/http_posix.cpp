// The HTTP seam over libcurl. A request is one easy handle in a multi handle of its
// own, driven only from the calls below: the body is pulled, never pushed, so that
// "available" and "read" behave like WinINet's and nothing runs behind the caller.
#include "platform/http.h"

#include <curl/curl.h>
#include <poll.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/text.h"

namespace platform {
namespace {

// WinINet gives up on a connection or a response that stays silent this long.
constexpr long kConnectTimeoutS = 60;
constexpr std::chrono::milliseconds kReceiveTimeout = std::chrono::seconds(60);
// The most body the adapter holds ahead of its reader.
constexpr size_t kBodyHighWater = 64 * 1024;

enum class Kind { kSession, kConnection, kRequest };

struct Handle {
  explicit Handle(Kind k) : kind(k) {}
  virtual ~Handle() = default;
  Kind kind;
};

struct Session : Handle {
  Session() : Handle(Kind::kSession) {}
  std::string agent;
  std::chrono::milliseconds receiveTimeout = kReceiveTimeout;
};

struct Connection : Handle {
  Connection() : Handle(Kind::kConnection) {}
  std::string agent, host, user, password;
  std::chrono::milliseconds receiveTimeout = kReceiveTimeout;
  uint16_t port = 0;
  bool ftp = false;
};

struct Request : Handle {
  Request() : Handle(Kind::kRequest) {}
  ~Request() override {
    if (multi && easy) curl_multi_remove_handle(multi, easy);
    if (easy) curl_easy_cleanup(easy);
    if (multi) curl_multi_cleanup(multi);
    if (slist) curl_slist_free_all(slist);
  }
  CURL* easy = nullptr;
  CURLM* multi = nullptr;
  curl_slist* slist = nullptr;
  std::string url;
  std::chrono::milliseconds receiveTimeout = kReceiveTimeout;
  std::vector<std::pair<std::string, std::string>> headers;  // lower-case name, whole line
  bool sent = false;
  bool headersDone = false;
  bool done = false;
  bool held = false;  // the transfer is paused at kBodyHighWater
  CURLcode result = CURLE_OK;
  bool sawLocation = false;
  std::vector<std::pair<std::string, std::string>> responseHeaders;  // lower-case name, value
  std::string body;
  size_t bodyPos = 0;
};

std::once_flag g_curlInit;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n')) --e;
  return s.substr(b, e - b);
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* r = static_cast<Request*>(user);
  std::string line(data, size * count);
  if (line.compare(0, 5, "HTTP/") == 0) {
    // A new response (after a redirect or an interim answer): forget the last one.
    r->responseHeaders.clear();
    r->sawLocation = false;
  } else if (line == "\r\n" || line == "\n") {
    long status = 0;
    curl_easy_getinfo(r->easy, CURLINFO_RESPONSE_CODE, &status);
    bool followed = status >= 300 && status < 400 && r->sawLocation;
    if (status >= 200 && !followed) r->headersDone = true;
  } else {
    size_t colon = line.find(':');
    if (colon != std::string::npos) {
      std::string name = Lower(Trim(line.substr(0, colon)));
      if (name == "location") r->sawLocation = true;
      r->responseHeaders.emplace_back(name, Trim(line.substr(colon + 1)));
    }
  }
  return size * count;
}

size_t Buffered(const Request* r) { return r->body.size() - r->bodyPos; }

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* r = static_cast<Request*>(user);
  r->headersDone = true;
  if (Buffered(r) >= kBodyHighWater) {
    // One step of the library may read the socket many times over; the rest waits
    // in the socket until the reader has caught up.
    r->held = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  if (r->bodyPos == r->body.size()) {
    r->body.clear();
    r->bodyPos = 0;
  }
  r->body.append(data, size * count);
  return size * count;
}

// One non-blocking step of the transfer: whatever the socket has now is read and
// delivered to the callbacks. Sets done (with the result) when the transfer ends.
void Perform(Request* r) {
  if (r->held && Buffered(r) < kBodyHighWater) {
    // Unpausing hands over the refused delivery at once.
    r->held = false;
    curl_easy_pause(r->easy, CURLPAUSE_CONT);
  }
  int running = 0;
  if (curl_multi_perform(r->multi, &running) != CURLM_OK) {
    r->done = true;
    r->result = CURLE_FAILED_INIT;
    return;
  }
  int queued = 0;
  while (CURLMsg* msg = curl_multi_info_read(r->multi, &queued)) {
    if (msg->msg == CURLMSG_DONE) {
      r->done = true;
      r->result = msg->data.result;
    }
  }
}

// Runs the transfer until ready() holds or it ends; false on a timeout.
template <typename Ready>
bool Drive(Request* r, Ready ready) {
  auto lastProgress = std::chrono::steady_clock::now();
  while (!ready() && !r->done) {
    size_t before = Buffered(r);
    Perform(r);
    if (ready() || r->done) break;
    auto now = std::chrono::steady_clock::now();
    if (Buffered(r) != before) lastProgress = now;
    if (now - lastProgress > r->receiveTimeout) return false;
    curl_multi_poll(r->multi, nullptr, 0, 200, nullptr);
  }
  return true;
}

// Takes in, without waiting, what the connection already holds until a full unit is
// buffered. Without this a read would be short wherever one delivery of the
// library's happened to end (after the response headers, then at every buffer's
// end), and every short read costs the caller a write and a flush of its own.
void TopUp(Request* r) {
  if (r->done || Buffered(r) >= kHttpFullUnit) return;
  // What is left is less than a unit: moving it to the front keeps the buffer at
  // the size of one delivery instead of growing with the whole body.
  r->body.erase(0, r->bodyPos);
  r->bodyPos = 0;
  while (!r->done && Buffered(r) < kHttpFullUnit) {
    size_t before = Buffered(r);
    Perform(r);
    if (Buffered(r) == before) break;  // nothing more has arrived yet
  }
}

// libcurl's result as the errno value LastErrorCode() gives, so that callers read
// a failure the way they read WinINet's.
int ErrnoFor(CURLcode code) {
  switch (code) {
    case CURLE_OPERATION_TIMEDOUT: return ETIMEDOUT;
    case CURLE_COULDNT_CONNECT: return ECONNREFUSED;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return EHOSTUNREACH;
    case CURLE_RECV_ERROR: return ECONNRESET;
    case CURLE_SEND_ERROR: return EPIPE;
    case CURLE_PARTIAL_FILE: return ECONNABORTED;
    case CURLE_TOO_MANY_REDIRECTS: return ELOOP;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR: return EPROTO;
    default: return EIO;
  }
}

// Fails a call of the seam with the errno that tells why.
bool Failed(int error) {
  errno = error;
  return false;
}

Request* AsRequest(HttpHandle h) {
  auto* base = static_cast<Handle*>(h);
  return base && base->kind == Kind::kRequest ? static_cast<Request*>(base) : nullptr;
}

bool GetPart(CURLU* u, CURLUPart part, std::u16string* out, unsigned flags = 0) {
  char* value = nullptr;
  CURLUcode rc = curl_url_get(u, part, &value, flags);
  if (rc == CURLUE_OK) {
    *out = Utf8ToWide(value);
    curl_free(value);
  } else {
    out->clear();
  }
  return out->size() < kUrlComponentChars;
}

}  // namespace

bool CanonicalizeUrl(const std::u16string& url, std::u16string* canonical) {
  CURLU* u = curl_url();
  if (!u) return false;
  bool ok = curl_url_set(u, CURLUPART_URL, WideToUtf8(url).c_str(), CURLU_URLENCODE | CURLU_ALLOW_SPACE) == CURLUE_OK;
  char* full = nullptr;
  if (ok && curl_url_get(u, CURLUPART_URL, &full, 0) == CURLUE_OK) {
    *canonical = Utf8ToWide(full);
    curl_free(full);
  } else {
    ok = false;
  }
  curl_url_cleanup(u);
  return ok;
}

bool CrackUrl(const std::u16string& url, UrlParts* parts) {
  CURLU* u = curl_url();
  if (!u) return false;
  bool ok = curl_url_set(u, CURLUPART_URL, WideToUtf8(url).c_str(), 0) == CURLUE_OK;
  UrlParts p;
  std::u16string port, query, fragment;
  if (ok) {
    ok = GetPart(u, CURLUPART_SCHEME, &p.schemeName) && GetPart(u, CURLUPART_HOST, &p.host) &&
         GetPart(u, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) && GetPart(u, CURLUPART_USER, &p.user) &&
         GetPart(u, CURLUPART_PASSWORD, &p.password) && GetPart(u, CURLUPART_PATH, &p.path) &&
         GetPart(u, CURLUPART_QUERY, &query) && GetPart(u, CURLUPART_FRAGMENT, &fragment);
  }
  curl_url_cleanup(u);
  if (!ok) return false;
  if (!query.empty()) p.extra += u"?" + query;
  if (!fragment.empty()) p.extra += u"#" + fragment;
  if (p.extra.size() >= kUrlComponentChars) return false;
  std::string scheme = Lower(WideToUtf8(p.schemeName));
  p.scheme = scheme == "http" ? UrlScheme::kHttp : scheme == "https" ? UrlScheme::kHttps
           : scheme == "ftp" ? UrlScheme::kFtp : UrlScheme::kUnknown;
  unsigned long n = std::strtoul(WideToUtf8(port).c_str(), nullptr, 10);
  p.port = static_cast<uint16_t>(n <= 65535 ? n : 0);
  *parts = std::move(p);
  return true;
}

HttpHandle HttpOpenSession(const std::u16string& agent) {
  bool ready = true;
  std::call_once(g_curlInit, [&] { ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
  if (!ready) return nullptr;
  auto* s = new Session();
  s->agent = WideToUtf8(agent);
  return s;
}

bool HttpSetReceiveTimeout(HttpHandle session, uint32_t ms) {
  auto* s = static_cast<Handle*>(session);
  if (!s || s->kind != Kind::kSession) return false;
  static_cast<Session*>(s)->receiveTimeout = std::chrono::milliseconds(ms);
  return true;
}

// Each request has its own connection and libcurl sets no limit per server.
bool HttpAllowConnectionsPerServer(uint32_t) { return true; }

HttpHandle HttpConnect(HttpHandle session, const std::u16string& host, uint16_t port, const std::u16string& user,
                       const std::u16string& password, bool ftp) {
  auto* s = static_cast<Handle*>(session);
  if (!s || s->kind != Kind::kSession || host.empty()) {
    errno = EINVAL;
    return nullptr;
  }
  auto* c = new Connection();
  c->agent = static_cast<Session*>(s)->agent;
  c->receiveTimeout = static_cast<Session*>(s)->receiveTimeout;
  c->host = WideToUtf8(host);
  c->port = port;
  c->user = WideToUtf8(user);
  c->password = WideToUtf8(password);
  c->ftp = ftp;
  return c;
}

HttpHandle HttpOpenRequest(HttpHandle connection, const std::u16string& verb, const std::u16string& object,
                           const std::u16string& version, const char16_t* const* acceptTypes, uint32_t flags) {
  auto* base = static_cast<Handle*>(connection);
  if (!base || base->kind != Kind::kConnection) return nullptr;
  auto* c = static_cast<Connection*>(base);
  if (c->ftp) {  // an FTP connection offers no HTTP requests
    errno = EPROTONOSUPPORT;
    return nullptr;
  }
  std::string method = verb.empty() ? "GET" : WideToUtf8(verb);
  std::string path = WideToUtf8(object);
  if (path.empty() || path[0] != '/') path = "/" + path;
  auto* r = new Request();
  r->receiveTimeout = c->receiveTimeout;
  r->easy = curl_easy_init();
  r->multi = curl_multi_init();
  if (!r->easy || !r->multi) {
    delete r;
    return nullptr;
  }
  std::string host = c->host.find(':') != std::string::npos && c->host[0] != '[' ? "[" + c->host + "]" : c->host;
  r->url = std::string((flags & kHttpFlagSecure) ? "https://" : "http://") + host + ":" + std::to_string(c->port) + path;
  CURL* e = r->easy;
  curl_easy_setopt(e, CURLOPT_URL, r->url.c_str());
  curl_easy_setopt(e, CURLOPT_USERAGENT, c->agent.c_str());
  if (!c->user.empty()) {
    curl_easy_setopt(e, CURLOPT_USERNAME, c->user.c_str());
    curl_easy_setopt(e, CURLOPT_PASSWORD, c->password.c_str());
  }
  if (method != "GET") curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, method.c_str());
  curl_easy_setopt(e, CURLOPT_HTTP_VERSION, version == u"HTTP/1.0" ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutS);
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, r);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, r);
  std::string accept;
  for (const char16_t* const* t = acceptTypes; t && *t; ++t) {
    if (!accept.empty()) accept += ", ";
    accept += WideToUtf8(*t);
  }
  if (!accept.empty()) r->headers.emplace_back("accept", "Accept: " + accept);
  return r;
}

bool HttpAddRequestHeader(HttpHandle request, const std::u16string& header, uint32_t flags) {
  Request* r = AsRequest(request);
  if (!r || r->sent) return false;
  std::string line = WideToUtf8(header);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  size_t colon = line.find(':');
  if (colon == std::string::npos || colon == 0) return false;
  std::string name = Lower(Trim(line.substr(0, colon)));
  auto same = [&](const std::pair<std::string, std::string>& h) { return h.first == name; };
  if (flags & kHttpAddHeaderReplace) r->headers.erase(std::remove_if(r->headers.begin(), r->headers.end(), same), r->headers.end());
  r->headers.emplace_back(name, line);
  return true;
}

bool HttpSendRequest(HttpHandle request) {
  Request* r = AsRequest(request);
  if (!r || r->sent) return false;
  r->sent = true;
  for (auto& h : r->headers) r->slist = curl_slist_append(r->slist, h.second.c_str());
  curl_easy_setopt(r->easy, CURLOPT_HTTPHEADER, r->slist);
  if (curl_multi_add_handle(r->multi, r->easy) != CURLM_OK) return Failed(EIO);
  if (!Drive(r, [r] { return r->headersDone; })) return Failed(ETIMEDOUT);
  // A response that broke off inside its body still has a status and headers.
  return r->headersDone || Failed(ErrnoFor(r->result));
}

bool HttpQueryStatusCode(HttpHandle request, uint32_t* status) {
  Request* r = AsRequest(request);
  if (!r || !r->headersDone) return false;
  long code = 0;
  curl_easy_getinfo(r->easy, CURLINFO_RESPONSE_CODE, &code);
  if (code <= 0) return false;
  *status = static_cast<uint32_t>(code);
  return true;
}

bool HttpQueryHeader(HttpHandle request, const std::u16string& name, size_t bufferBytes, std::u16string* value) {
  Request* r = AsRequest(request);
  if (!r || !r->headersDone) return false;
  std::string wanted = Lower(WideToUtf8(name));
  for (auto& h : r->responseHeaders) {
    if (h.first != wanted) continue;
    std::u16string v = Utf8ToWide(h.second);
    if ((v.size() + 1) * sizeof(char16_t) > bufferBytes) return false;
    *value = v;
    return true;
  }
  return false;
}

bool HttpQueryDataAvailable(HttpHandle request, uint32_t* available) {
  Request* r = AsRequest(request);
  if (!r || !r->sent) return Failed(EBADF);
  if (!Drive(r, [r] { return r->bodyPos < r->body.size(); })) return Failed(ETIMEDOUT);
  TopUp(r);
  size_t buffered = Buffered(r);
  if (buffered == 0 && r->result != CURLE_OK) return Failed(ErrnoFor(r->result));  // the response broke off
  *available = static_cast<uint32_t>(std::min<size_t>(buffered, 0x7FFFFFFF));
  return true;
}

bool HttpReadData(HttpHandle request, void* buffer, uint32_t size, uint32_t* read) {
  Request* r = AsRequest(request);
  if (!r || !r->sent) return Failed(EBADF);
  if (!Drive(r, [r] { return r->bodyPos < r->body.size(); })) return Failed(ETIMEDOUT);
  size_t n = std::min<size_t>(size, r->body.size() - r->bodyPos);
  if (n == 0 && r->result != CURLE_OK) return Failed(ErrnoFor(r->result));
  std::copy(r->body.data() + r->bodyPos, r->body.data() + r->bodyPos + n, static_cast<char*>(buffer));
  r->bodyPos += n;
  *read = static_cast<uint32_t>(n);
  return true;
}

void HttpClose(HttpHandle handle) { delete static_cast<Handle*>(handle); }

bool HttpErrorIsTimeout(uint32_t code) { return code == ETIMEDOUT; }

}  // namespace platform
