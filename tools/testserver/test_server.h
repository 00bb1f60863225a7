// A loopback HTTP/1.1 server for the download tests: serves the files of one folder
// and misbehaves on request. Fault modes are chosen by the query string:
//   delay_ms=N        pause N ms before each chunk of the body (chunk=N bytes, 4096)
//   drip_ms=N         the body trickles in 16-byte pieces, one every N ms
//   header_delay_ms=N pause N ms before answering at all
//   stall_after=N     send N body bytes, then go silent until the server stops
//   stall_ms=N        with stall_after: go silent for N ms only, then go on
//   drop_after=N      send N body bytes of the announced length, then close the connection
//   reset_after=N     send N body bytes, then reset the connection (TCP RST)
//   extra=N           a ranged answer runs N bytes past the file's end (and says so)
//   bad_range_start=1 a ranged answer whose Content-Range starts one byte late
//   bad_total=1       a ranged answer whose Content-Range names a total one byte too big
//   star_total=1      a ranged answer whose Content-Range gives the total as "*"
//   no_content_range=1 a 206 answer without Content-Range
//   garbled_range=1   a 206 answer with the Content-Range "bytes garbage"
//   short_range=1     a ranged answer covering only the first half of what was asked
//   ignore_range=1    answer 200 with the whole file whatever the Range
//   resume_ignores_range=1 the same, but only for a Range that does not start at 0
//   chunked=1         no Content-Length: chunked transfer coding
//   zero_length=1     Content-Length 0, no body
//   corrupt_at=N      the body's byte at file offset N is inverted (same length)
//   status=N          answer with status N and the file as the body
//   probe_status=N    the same, but only for requests without a Range header
//   range_status=N    requests with a Range header get status N and a 4-byte body
//   redirect=PATH     302 to PATH
//   redirect_loop=1   302 to the same path and query, for ever
//   times=K           stall_after, drop_after, reset_after and range_status hit only
//                     the first K requests with a Range header for this path and
//                     query; requests without one, and later ones, are answered in
//                     full (the other modes still apply)
//   pace=N            send the body at N bytes per second, one chunk at a time
// Any mode written name~FIRST (range_status~1048576=404, say) applies only to
// requests whose Range starts at byte FIRST, and there wins over a plain name.
// Every request is recorded (and, with a log file, written as one JSON line).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace testserver {

struct RequestRecord {
  std::string method;
  std::string path;
  std::string query;
  std::string userAgent;
  std::string range;  // the Range header's value, empty when absent
  std::string referer;
  std::string accept;
  int status = 0;
  uint64_t bytesSent = 0;
  // When the answer ended, in milliseconds of the wall clock since 1970 (0 while it
  // runs), so that a test can time what a client did after it.
  uint64_t endedMs = 0;
};

class TestServer {
 public:
  explicit TestServer(std::string root, std::string logFile = {});
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  // Listens on 127.0.0.1; port 0 takes a free one. False when it cannot listen.
  bool Start(int port = 0);
  void Stop();
  int port() const;
  // "http://127.0.0.1:<port>" followed by pathAndQuery.
  std::string Url(const std::string& pathAndQuery) const;
  std::vector<RequestRecord> Requests() const;
  void ClearRequests();

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

std::string ToJsonLine(const RequestRecord& r);

}  // namespace testserver
