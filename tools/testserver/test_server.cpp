#include "testserver/test_server.h"

#include "testserver/json_text.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

namespace testserver {

struct TestServer::Impl {
  std::string root;
  std::string logFile;
  httplib::Server server;
  std::thread thread;
  int port = 0;
  std::atomic<bool> stopping{false};
  mutable std::mutex m;
  std::vector<RequestRecord> records;

  size_t Record(const RequestRecord& r) {
    std::lock_guard<std::mutex> g(m);
    records.push_back(r);
    return records.size() - 1;
  }
  void AddSent(size_t index, uint64_t n) {
    std::lock_guard<std::mutex> g(m);
    if (index < records.size()) records[index].bytesSent += n;
  }
  void Finish(size_t index) {
    if (logFile.empty()) return;
    std::lock_guard<std::mutex> g(m);
    if (index >= records.size()) return;
    std::ofstream out(logFile, std::ios::app);
    out << ToJsonLine(records[index]) << "\n";
  }
  // Sleeps in small steps so that a stopping server is not held up.
  void Nap(int ms) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stopping && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  void Handle(const httplib::Request& req, httplib::Response& res);
};

namespace {

using testserver::JsonEscape;

long long Param(const httplib::Request& req, const char* name, long long fallback) {
  if (!req.has_param(name)) return fallback;
  return std::atoll(req.get_param_value(name).c_str());
}

// "bytes=A-B" (B may be absent); false for anything else.
bool ParseRange(const std::string& value, uint64_t size, uint64_t* first, uint64_t* last) {
  unsigned long long a = 0, b = 0;
  char dash = 0;
  int n = std::sscanf(value.c_str(), " bytes = %llu %c %llu", &a, &dash, &b);
  if (n < 2 || dash != '-') return false;
  if (n == 2) b = size ? size - 1 : 0;
  if (b >= size) b = size ? size - 1 : 0;
  if (a > b || a >= size) return false;
  *first = a;
  *last = b;
  return true;
}

// Holds a body to bytesPerSecond, smoothly: before each chunk it waits until the
// moment the chunk's first byte is due, counted from the body's first byte, so a slow
// chunk is caught up by the next ones and the average stays at the rate without
// bursts of more than one chunk.
class Pacer {
 public:
  explicit Pacer(uint64_t bytesPerSecond) : rate_(bytesPerSecond) {}
  void WaitFor(uint64_t offset, const std::atomic<bool>& stopping) {
    auto now = std::chrono::steady_clock::now();
    if (!started_) {
      started_ = true;
      start_ = now;
    }
    const auto due = start_ + std::chrono::nanoseconds(static_cast<int64_t>(
                                  static_cast<long double>(offset) * 1e9L / static_cast<long double>(rate_)));
    // In steps, so that a stopping server is not held up by a slow rate.
    while (!stopping && (now = std::chrono::steady_clock::now()) < due)
      std::this_thread::sleep_until(std::min(due, now + std::chrono::milliseconds(5)));
  }

 private:
  uint64_t rate_;
  bool started_ = false;
  std::chrono::steady_clock::time_point start_{};
};

}  // namespace

std::string ToJsonLine(const RequestRecord& r) {
  std::ostringstream o;
  o << "{\"method\":\"" << JsonEscape(r.method) << "\",\"path\":\"" << JsonEscape(r.path) << "\",\"query\":\""
    << JsonEscape(r.query) << "\",\"user_agent\":\"" << JsonEscape(r.userAgent) << "\",\"range\":\"" << JsonEscape(r.range)
    << "\",\"referer\":\"" << JsonEscape(r.referer) << "\",\"accept\":\"" << JsonEscape(r.accept)
    << "\",\"status\":" << r.status << ",\"bytes_sent\":" << r.bytesSent << "}";
  return o.str();
}

void TestServer::Impl::Handle(const httplib::Request& req, httplib::Response& res) {
  RequestRecord rec;
  rec.method = req.method;
  rec.path = req.path;
  std::string query;
  for (auto& p : req.params) query += (query.empty() ? "" : "&") + p.first + "=" + p.second;
  rec.query = query;
  rec.userAgent = req.get_header_value("User-Agent");
  rec.range = req.get_header_value("Range");
  rec.referer = req.get_header_value("Referer");
  rec.accept = req.get_header_value("Accept");

  if (long long ms = Param(req, "header_delay_ms", 0)) Nap(static_cast<int>(ms));

  if (req.has_param("redirect")) {
    res.set_redirect(req.get_param_value("redirect"));
    rec.status = res.status;
    Finish(Record(rec));
    return;
  }
  // The body is read from the file as it is sent, so that large packages cost no memory.
  auto file = std::make_shared<std::ifstream>(root + req.path, std::ios::binary);
  if (req.path.find("..") != std::string::npos || !*file || !std::filesystem::is_regular_file(root + req.path)) {
    res.status = 404;
    res.set_content("not found", "text/plain");
    rec.status = 404;
    Finish(Record(rec));
    return;
  }
  const uint64_t size = std::filesystem::file_size(root + req.path);
  int status = 200;
  if (req.has_param("status")) status = static_cast<int>(Param(req, "status", 200));
  if (req.has_param("probe_status") && rec.range.empty()) status = static_cast<int>(Param(req, "probe_status", 200));

  uint64_t first = 0, last = size ? size - 1 : 0, length = size;
  if (status == 200 && !rec.range.empty() && !req.has_param("ignore_range")) {
    if (ParseRange(rec.range, size, &first, &last)) {
      uint64_t extra = static_cast<uint64_t>(Param(req, "extra", 0));
      uint64_t shownFirst = first + (req.has_param("bad_range_start") ? 1 : 0);
      status = 206;
      length = last - first + 1 + extra;
      res.set_header("Content-Range", "bytes " + std::to_string(shownFirst) + "-" +
                                          std::to_string(first + length - 1) + "/" + std::to_string(size + extra));
    } else {
      status = 416;
      length = 0;
    }
  }
  res.status = status;
  rec.status = status;
  size_t index = Record(rec);

  if (req.has_param("zero_length") || length == 0) {
    res.set_content("", "application/octet-stream");
    Finish(index);
    return;
  }
  const size_t chunk = static_cast<size_t>(Param(req, "chunk", 4096));
  const int delay = static_cast<int>(Param(req, "delay_ms", 0));
  const long long stallAfter = Param(req, "stall_after", -1);
  const long long dropAfter = Param(req, "drop_after", -1);
  const long long pace = Param(req, "pace", 0);
  auto pacer = pace > 0 ? std::make_shared<Pacer>(static_cast<uint64_t>(pace)) : nullptr;
  auto provider = [this, file, fileSize = size, first, length, chunk, delay, stallAfter, dropAfter, index, pacer](
                      size_t offset, size_t, httplib::DataSink& sink) -> bool {
    if (offset >= length) {
      return true;
    }
    if (dropAfter >= 0 && offset >= static_cast<uint64_t>(dropAfter)) return false;
    if (stallAfter >= 0 && offset >= static_cast<uint64_t>(stallAfter)) {
      while (!stopping) Nap(50);
      return false;
    }
    if (delay) Nap(delay);
    if (pacer) pacer->WaitFor(offset, stopping);
    size_t n = std::min<uint64_t>(chunk ? chunk : 4096, length - offset);
    if (dropAfter >= 0) n = std::min<uint64_t>(n, static_cast<uint64_t>(dropAfter) - offset);
    if (stallAfter >= 0) n = std::min<uint64_t>(n, static_cast<uint64_t>(stallAfter) - offset);
    // Past the file's end (the extra= mode) the body goes on with filler bytes.
    std::string buf(n, 'X');
    uint64_t at = first + offset;
    if (at < fileSize) {
      file->clear();
      file->seekg(static_cast<std::streamoff>(at));
      file->read(&buf[0], static_cast<std::streamsize>(std::min<uint64_t>(n, fileSize - at)));
    }
    if (!sink.write(buf.data(), n)) return false;
    AddSent(index, n);
    return true;
  };
  auto releaser = [this, index](bool) { Finish(index); };
  if (req.has_param("chunked")) {
    auto sent = std::make_shared<uint64_t>(0);
    res.set_chunked_content_provider(
        "application/octet-stream",
        [provider, sent, length](size_t, httplib::DataSink& sink) -> bool {
          if (*sent >= length) {
            sink.done();
            return true;
          }
          // Count what this call wrote by wrapping the sink's writer.
          auto inner = sink.write;
          uint64_t wrote = 0;
          sink.write = [&](const char* d, size_t n) {
            wrote += n;
            return inner(d, n);
          };
          bool ok = provider(*sent, 0, sink);
          sink.write = inner;
          *sent += wrote;
          return ok;
        },
        releaser);
  } else {
    res.set_content_provider(length, "application/octet-stream", provider, releaser);
  }
}

TestServer::TestServer(std::string root, std::string logFile) : impl_(new Impl) {
  impl_->root = std::move(root);
  impl_->logFile = std::move(logFile);
}

TestServer::~TestServer() { Stop(); }

bool TestServer::Start(int port) {
  Impl* impl = impl_.get();
  impl->server.set_keep_alive_max_count(100);
  // Ranges are ours to answer (or to get wrong on purpose), not the library's.
  impl->server.set_pre_routing_handler([](const httplib::Request& req, httplib::Response&) {
    const_cast<httplib::Request&>(req).ranges.clear();
    return httplib::Server::HandlerResponse::Unhandled;
  });
  impl->server.Get(".*", [impl](const httplib::Request& req, httplib::Response& res) { impl->Handle(req, res); });
  if (port == 0) {
    impl->port = impl->server.bind_to_any_port("127.0.0.1");
    if (impl->port <= 0) return false;
  } else {
    if (!impl->server.bind_to_port("127.0.0.1", port)) return false;
    impl->port = port;
  }
  impl->thread = std::thread([impl] { impl->server.listen_after_bind(); });
  while (!impl->server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return true;
}

void TestServer::Stop() {
  if (!impl_->thread.joinable()) return;
  impl_->stopping = true;
  impl_->server.stop();
  impl_->thread.join();
}

int TestServer::port() const { return impl_->port; }

std::string TestServer::Url(const std::string& pathAndQuery) const {
  return "http://127.0.0.1:" + std::to_string(impl_->port) + pathAndQuery;
}

std::vector<RequestRecord> TestServer::Requests() const {
  std::lock_guard<std::mutex> g(impl_->m);
  return impl_->records;
}

void TestServer::ClearRequests() {
  std::lock_guard<std::mutex> g(impl_->m);
  impl_->records.clear();
}

}  // namespace testserver
