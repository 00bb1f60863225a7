// The HTTP seam over WinINet: each call is the WinINet call of the same name.
// WinINet is not a KnownDLL on later Windows, so it is loaded from the system
// folder on first use and its functions taken by name; without it every call
// fails as a refused link would.
#include "platform/http.h"

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <vector>

// wininet.h maps these names to its W entry points; here they are the seam's own.
#undef HttpOpenRequest
#undef HttpSendRequest

#include "platform/text.h"
#include "platform/win32/system_library.h"

namespace platform {

namespace {

struct WinInet {
  decltype(&::InternetCanonicalizeUrlW) InternetCanonicalizeUrlW = nullptr;
  decltype(&::InternetCrackUrlW) InternetCrackUrlW = nullptr;
  decltype(&::InternetOpenW) InternetOpenW = nullptr;
  decltype(&::InternetSetOptionW) InternetSetOptionW = nullptr;
  decltype(&::InternetConnectW) InternetConnectW = nullptr;
  decltype(&::HttpOpenRequestW) HttpOpenRequestW = nullptr;
  decltype(&::HttpAddRequestHeadersW) HttpAddRequestHeadersW = nullptr;
  decltype(&::HttpSendRequestW) HttpSendRequestW = nullptr;
  decltype(&::HttpQueryInfoW) HttpQueryInfoW = nullptr;
  decltype(&::InternetQueryDataAvailable) InternetQueryDataAvailable = nullptr;
  decltype(&::InternetReadFile) InternetReadFile = nullptr;
  decltype(&::InternetCloseHandle) InternetCloseHandle = nullptr;
  bool loaded = false;

  WinInet() {
    // WinINet asks for the security packages and TLS's crypto by name on the first
    // https request; Wine's took them from beside the program even with the search
    // limited to the system folder. Loaded first by full path, they are found loaded.
    for (const wchar_t* name : {L"secur32.dll", L"schannel.dll", L"kerberos.dll", L"msv1_0.dll", L"crypt32.dll",
                                L"rsaenh.dll", L"bcrypt.dll"})
      LoadSystemLibrary(name);
    const HMODULE dll = LoadSystemLibrary(L"wininet.dll");
    loaded = BindProc(dll, "InternetCanonicalizeUrlW", &InternetCanonicalizeUrlW) &&
             BindProc(dll, "InternetCrackUrlW", &InternetCrackUrlW) && BindProc(dll, "InternetOpenW", &InternetOpenW) &&
             BindProc(dll, "InternetSetOptionW", &InternetSetOptionW) &&
             BindProc(dll, "InternetConnectW", &InternetConnectW) &&
             BindProc(dll, "HttpOpenRequestW", &HttpOpenRequestW) &&
             BindProc(dll, "HttpAddRequestHeadersW", &HttpAddRequestHeadersW) &&
             BindProc(dll, "HttpSendRequestW", &HttpSendRequestW) && BindProc(dll, "HttpQueryInfoW", &HttpQueryInfoW) &&
             BindProc(dll, "InternetQueryDataAvailable", &InternetQueryDataAvailable) &&
             BindProc(dll, "InternetReadFile", &InternetReadFile) &&
             BindProc(dll, "InternetCloseHandle", &InternetCloseHandle);
  }
};

// Loaded once, by whichever thread asks first.
const WinInet* Inet() {
  static const WinInet inet;
  if (inet.loaded) return &inet;
  ::SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

// Wine's WinINet takes the receive limit from the request handle only, so the
// session's limit is kept here and handed to each request as it is opened. A new
// session starts with the system's own limits again.
std::atomic<uint32_t> g_receiveTimeoutMs{0};
}  // namespace


bool CanonicalizeUrl(const std::u16string& url, std::u16string* canonical) {
  const WinInet* inet = Inet();
  if (!inet) return false;
  DWORD chars = static_cast<DWORD>(url.size() * 3 + 64);
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::vector<wchar_t> buffer(chars + 1);
    DWORD length = chars;
    if (inet->InternetCanonicalizeUrlW(W(url), buffer.data(), &length, ICU_BROWSER_MODE)) {
      *canonical = FromW(buffer.data(), length);
      return true;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    chars = length + 1;
  }
  return false;
}

bool CrackUrl(const std::u16string& url, UrlParts* parts) {
  const WinInet* inet = Inet();
  if (!inet) return false;
  std::vector<wchar_t> scheme(kUrlComponentChars), host(kUrlComponentChars), user(kUrlComponentChars),
      password(kUrlComponentChars), path(kUrlComponentChars), extra(kUrlComponentChars);
  URL_COMPONENTSW uc = {};
  uc.dwStructSize = sizeof(uc);
  uc.lpszScheme = scheme.data();
  uc.dwSchemeLength = kUrlComponentChars;
  uc.lpszHostName = host.data();
  uc.dwHostNameLength = kUrlComponentChars;
  uc.lpszUserName = user.data();
  uc.dwUserNameLength = kUrlComponentChars;
  uc.lpszPassword = password.data();
  uc.dwPasswordLength = kUrlComponentChars;
  uc.lpszUrlPath = path.data();
  uc.dwUrlPathLength = kUrlComponentChars;
  uc.lpszExtraInfo = extra.data();
  uc.dwExtraInfoLength = kUrlComponentChars;
  if (!inet->InternetCrackUrlW(W(url), static_cast<DWORD>(url.size()), 0, &uc)) return false;
  UrlParts p;
  p.schemeName = FromW(scheme.data(), uc.dwSchemeLength);
  p.host = FromW(host.data(), uc.dwHostNameLength);
  p.user = FromW(user.data(), uc.dwUserNameLength);
  p.password = FromW(password.data(), uc.dwPasswordLength);
  p.path = FromW(path.data(), uc.dwUrlPathLength);
  p.extra = FromW(extra.data(), uc.dwExtraInfoLength);
  p.port = uc.nPort;
  switch (uc.nScheme) {
    case INTERNET_SCHEME_HTTP: p.scheme = UrlScheme::kHttp; break;
    case INTERNET_SCHEME_HTTPS: p.scheme = UrlScheme::kHttps; break;
    case INTERNET_SCHEME_FTP: p.scheme = UrlScheme::kFtp; break;
    default: p.scheme = UrlScheme::kUnknown; break;
  }
  *parts = std::move(p);
  return true;
}

HttpHandle HttpOpenSession(const std::u16string& agent) {
  const WinInet* inet = Inet();
  if (!inet) return nullptr;
  g_receiveTimeoutMs = 0;
  return inet->InternetOpenW(W(agent), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
}

bool HttpSetReceiveTimeout(HttpHandle session, uint32_t ms) {
  const WinInet* inet = Inet();
  if (!inet) return false;
  DWORD value = ms;
  g_receiveTimeoutMs = ms;
  return inet->InternetSetOptionW(static_cast<HINTERNET>(session), INTERNET_OPTION_RECEIVE_TIMEOUT, &value, sizeof value) &&
         inet->InternetSetOptionW(static_cast<HINTERNET>(session), INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &value, sizeof value);
}

bool HttpAllowConnectionsPerServer(uint32_t count) {
  const WinInet* inet = Inet();
  if (!inet) return false;
  DWORD value = count;
  // These two are set on no handle: they hold for the whole process.
  const bool v11 = inet->InternetSetOptionW(nullptr, INTERNET_OPTION_MAX_CONNS_PER_SERVER, &value, sizeof value) != 0;
  const bool v10 = inet->InternetSetOptionW(nullptr, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, &value, sizeof value) != 0;
  return v11 && v10;
}

HttpHandle HttpConnect(HttpHandle session, const std::u16string& host, uint16_t port, const std::u16string& user,
                       const std::u16string& password, bool ftp) {
  const WinInet* inet = Inet();
  if (!inet) return nullptr;
  return inet->InternetConnectW(static_cast<HINTERNET>(session), W(host), port, W(user), W(password),
                          ftp ? INTERNET_SERVICE_FTP : INTERNET_SERVICE_HTTP, 0, 0);
}

HttpHandle HttpOpenRequest(HttpHandle connection, const std::u16string& verb, const std::u16string& object,
                           const std::u16string& version, const char16_t* const* acceptTypes, uint32_t flags) {
  const WinInet* inet = Inet();
  if (!inet) return nullptr;
  HINTERNET request =
      inet->HttpOpenRequestW(static_cast<HINTERNET>(connection), verb.empty() ? nullptr : W(verb), W(object), W(version),
                       nullptr, reinterpret_cast<LPCWSTR*>(const_cast<const char16_t**>(acceptTypes)), flags, 0);
  DWORD limit = g_receiveTimeoutMs;
  if (request && limit) inet->InternetSetOptionW(request, INTERNET_OPTION_RECEIVE_TIMEOUT, &limit, sizeof limit);
  return request;
}

bool HttpAddRequestHeader(HttpHandle request, const std::u16string& header, uint32_t flags) {
  const WinInet* inet = Inet();
  if (!inet) return false;
  return inet->HttpAddRequestHeadersW(static_cast<HINTERNET>(request), W(header), static_cast<DWORD>(-1), flags) != 0;
}

bool HttpSendRequest(HttpHandle request) {
  const WinInet* inet = Inet();
  if (!inet) return false;
  return inet->HttpSendRequestW(static_cast<HINTERNET>(request), nullptr, 0, nullptr, 0) != 0;
}

bool HttpQueryStatusCode(HttpHandle request, uint32_t* status) {
  const WinInet* inet = Inet();
  if (!inet) return false;
  DWORD code = 0, size = sizeof(code);
  if (!inet->HttpQueryInfoW(static_cast<HINTERNET>(request), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &size,
                      nullptr)) {
    return false;
  }
  *status = code;
  return true;
}

bool HttpQueryHeader(HttpHandle request, const std::u16string& name, size_t bufferBytes, std::u16string* value) {
  const WinInet* inet = Inet();
  if (!inet) return false;
  DWORD level = HTTP_QUERY_CUSTOM;
  if (name == u"Content-Length") level = HTTP_QUERY_CONTENT_LENGTH;
  if (name == u"Content-Range") level = HTTP_QUERY_CONTENT_RANGE;
  size_t chars = bufferBytes / sizeof(wchar_t);
  if (level == HTTP_QUERY_CUSTOM && chars <= name.size()) return false;
  std::vector<wchar_t> buffer(chars + 1, 0);
  if (level == HTTP_QUERY_CUSTOM) name.copy(reinterpret_cast<char16_t*>(buffer.data()), name.size());
  DWORD size = static_cast<DWORD>(bufferBytes);
  if (!inet->HttpQueryInfoW(static_cast<HINTERNET>(request), level, buffer.data(), &size, nullptr)) return false;
  *value = FromW(buffer.data(), size / sizeof(wchar_t));
  return true;
}

bool HttpQueryDataAvailable(HttpHandle request, uint32_t* available) {
  const WinInet* inet = Inet();
  if (!inet) return false;
  DWORD n = 0;
  if (!inet->InternetQueryDataAvailable(static_cast<HINTERNET>(request), &n, 0, 0)) return false;
  *available = n;
  return true;
}

bool HttpReadData(HttpHandle request, void* buffer, uint32_t size, uint32_t* read) {
  const WinInet* inet = Inet();
  if (!inet) return false;
  DWORD n = 0;
  if (!inet->InternetReadFile(static_cast<HINTERNET>(request), buffer, size, &n)) return false;
  *read = n;
  return true;
}

void HttpClose(HttpHandle handle) {
  const WinInet* inet = Inet();
  if (!inet) return;
  if (handle) inet->InternetCloseHandle(static_cast<HINTERNET>(handle));
}

// Windows' WinINet says ERROR_INTERNET_TIMEOUT; Wine's passes the socket's
// WSAETIMEDOUT on.
bool HttpErrorIsTimeout(uint32_t code) { return code == ERROR_INTERNET_TIMEOUT || code == 10060; }

}  // namespace platform
