// The two kinds of request the engine sends, opened and sent but not read: the size
// probe and the ranged transfer. The engine reads their answers; the vendor kit's
// checker sends the very same requests to tell a vendor how a server answers them.
#pragma once

#include <cstdint>
#include <string>

#include "platform/http.h"

// The session every request goes out on: opened by CDownloadManager::Start when
// none exists yet, closed at teardown (ReleaseDownloadObjects).
extern platform::HttpHandle internetSession;
// The agent every request carries, and the address every request names as its
// Referer.
extern const char16_t kAgentName[];
extern const std::u16string refererUrl;

// A Content-Length value as a size: leading blanks and a sign accepted, digits up to
// the first non-digit; negative, missing or out-of-range values give 0.
int64_t ParseContentLength(const std::u16string& text);

struct EngineRequest {
  platform::HttpHandle connection = nullptr;
  platform::HttpHandle request = nullptr;
  // When opening or sending failed: whether the link was split into its parts, and
  // the system's error code of the step that failed.
  bool cracked = false;
  uint32_t error = 0;
  // Closes both handles (each request and its connection are closed on their own).
  void Close();
};

// GET link with the probe's accept types and flags and the Referer, opened but not
// sent; false, with nothing left open, when the link does not crack or no
// connection or request could be made.
bool OpenProbeRequest(platform::HttpHandle session, const std::u16string& link, EngineRequest* out);
// GET url with "Range:bytes=first-last", the transfer's flags and the Referer,
// opened but not sent; false as above.
bool OpenRangeRequest(platform::HttpHandle session, const std::u16string& url, int64_t first, int64_t last,
                      EngineRequest* out);
// Open and send in one; false, with nothing left open, when either fails.
bool SendProbeRequest(platform::HttpHandle session, const std::u16string& link, EngineRequest* out);
bool SendRangeRequest(platform::HttpHandle session, const std::u16string& url, int64_t first, int64_t last,
                      EngineRequest* out);

// The package size a sent probe announces: its Content-Length, when the status is
// 200 to 500 but not 404; 0 (no size) otherwise. status, when given, gets the status
// code (0 when there is none).
int64_t SizeFromProbe(const EngineRequest& probe, uint32_t* status);

// How a sent ranged request for first..last was answered. Only an answer that
// carries the requested bytes from the requested first byte is usable as it is:
// anything else (an error page, a range from elsewhere, a package of another size)
// would otherwise be written into the package as if it were the package.
enum class RangeAnswer {
  kUsable,     // a 206 for first..answered->last (never past last)
  kWhole,      // a 200: the whole package from byte 0, whatever the Range asked
  kElsewhere,  // a 206 of this package, but not from first or running past last
  kBusy,       // the server may answer better later (5xx, 408, 429)
  kRefused,    // anything else, a package of another size among it
};
// The bytes an answer says it carries (for kWhole: 0 to total - 1, or to last when
// the total is not to be checked).
struct AnsweredRange {
  int64_t first = 0;
  int64_t last = 0;
};
// total: the probed size, or -1 when the total is not to be checked.
RangeAnswer JudgeRangeAnswer(platform::HttpHandle request, int64_t first, int64_t last, int64_t total,
                             AnsweredRange* answered);
