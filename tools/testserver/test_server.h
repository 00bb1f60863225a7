// A loopback HTTP/1.1 server for the download tests: serves the files of one folder
// and misbehaves on request. Fault modes are chosen by the query string:
//   delay_ms=N        pause N ms before each chunk of the body (chunk=N bytes, 4096)
//   header_delay_ms=N pause N ms before answering at all
//   stall_after=N     send N body bytes, then go silent until the server stops
//   drop_after=N      send N body bytes of the announced length, then drop the connection
//   extra=N           a ranged answer runs N bytes past the file's end (and says so)
//   bad_range_start=1 a ranged answer whose Content-Range starts one byte late
//   ignore_range=1    answer 200 with the whole file whatever the Range
//   chunked=1         no Content-Length: chunked transfer coding
//   zero_length=1     Content-Length 0, no body
//   status=N          answer with status N and the file as the body
//   probe_status=N    the same, but only for requests without a Range header
//   redirect=PATH     302 to PATH
//   pace=N            send the body at N bytes per second, one chunk at a time
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
