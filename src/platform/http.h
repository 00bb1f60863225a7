// The HTTP client the download engine talks to: WinINet on Windows, libcurl
// elsewhere. The shape is WinINet's (session, connection, request; status and
// headers queried after the send; the body pulled by "available" and "read"), so
// that the engine reads the same on both platforms.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Request flags, with WinINet's values so that the Windows backend passes them as is.
constexpr uint32_t kHttpFlagReload = 0x80000000u;
constexpr uint32_t kHttpFlagNoCacheWrite = 0x04000000u;
constexpr uint32_t kHttpFlagSecure = 0x00800000u;
constexpr uint32_t kHttpFlagKeepConnection = 0x00400000u;
constexpr uint32_t kHttpFlagNoUi = 0x00000200u;
// Header flags: add the header, replacing one of the same name.
constexpr uint32_t kHttpAddHeaderAdd = 0x20000000u;
constexpr uint32_t kHttpAddHeaderReplace = 0x80000000u;

// Each component of a cracked link is at most this many characters (including the
// terminator): a longer component makes the crack fail.
constexpr size_t kUrlComponentChars = 4096;

// The read unit of the download engine.
constexpr uint32_t kHttpFullUnit = 4096;

enum class UrlScheme { kUnknown, kHttp, kHttps, kFtp };

struct UrlParts {
  UrlScheme scheme = UrlScheme::kUnknown;
  std::u16string schemeName;
  std::u16string host;
  uint16_t port = 0;
  std::u16string user;
  std::u16string password;
  std::u16string path;
  std::u16string extra;  // query and fragment, with their leading '?' or '#'
};

// Browser-mode canonicalisation (unsafe characters escaped); false when the link is
// not understood.
bool CanonicalizeUrl(const std::u16string& url, std::u16string* canonical);
// Splits a link into its components; false when it has no scheme, cannot be split
// or has a component that does not fit kUrlComponentChars.
bool CrackUrl(const std::u16string& url, UrlParts* parts);

// Opaque handles; every non-null handle is closed with HttpClose. Closing a
// connection does not close its requests: each is closed on its own.
using HttpHandle = void*;

// A session with the given User-Agent and the system's proxy settings.
HttpHandle HttpOpenSession(const std::u16string& agent);
// How long a request may wait for its response or for more of its body before it
// fails, for the connections opened on this session from now on. Without this call
// the backend keeps its own limits (WinINet's, or 60 s with libcurl).
bool HttpSetReceiveTimeout(HttpHandle session, uint32_t ms);
// Lets the process hold count connections to one server at a time, for the
// transfers of a download in several ranges. WinINet allows only a few (two on
// older Windows) and queues further requests behind them; libcurl has no such
// limit. Process-wide.
bool HttpAllowConnectionsPerServer(uint32_t count);
// A connection to host:port (ftp selects the FTP service, which offers no HTTP
// requests). Nothing goes over the network yet.
HttpHandle HttpConnect(HttpHandle session, const std::u16string& host, uint16_t port,
                       const std::u16string& user, const std::u16string& password, bool ftp);
// acceptTypes: a null-terminated array (may be null). An empty verb means GET.
HttpHandle HttpOpenRequest(HttpHandle connection, const std::u16string& verb, const std::u16string& object,
                           const std::u16string& version, const char16_t* const* acceptTypes, uint32_t flags);
// header: "Name: value" (the blank after the colon is optional).
bool HttpAddRequestHeader(HttpHandle request, const std::u16string& header, uint32_t flags);
// Sends the request and waits until the response headers have arrived.
bool HttpSendRequest(HttpHandle request);
bool HttpQueryStatusCode(HttpHandle request, uint32_t* status);
// The value of a response header as text, into a buffer of bufferBytes bytes (UTF-16
// with its terminator): false when the header is absent or does not fit.
bool HttpQueryHeader(HttpHandle request, const std::u16string& name, size_t bufferBytes, std::u16string* value);
// Bytes that can be read without waiting; waits for more when none are buffered.
// 0 with true: the body has ended. The libcurl backend first takes in what the
// connection already holds, so it answers fewer than kHttpFullUnit only when no
// more has arrived yet or the body ends; WinINet answers what its buffer holds.
bool HttpQueryDataAvailable(HttpHandle request, uint32_t* available);
bool HttpReadData(HttpHandle request, void* buffer, uint32_t size, uint32_t* read);
void HttpClose(HttpHandle handle);
// After any of the calls above failed, LastErrorCode() says why (WinINet's
// ERROR_INTERNET_* codes, or errno values for libcurl's errors). True for the code
// of a request that waited longer than its limit for an answer or for more body.
bool HttpErrorIsTimeout(uint32_t code);

}  // namespace platform
