#include "testserver/test_server.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "platform/text.h"

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
  // Ranged requests seen so far per path and query, for times=K.
  std::map<std::string, long long> rangedSeen;

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
    std::lock_guard<std::mutex> g(m);
    if (index >= records.size()) return;
    records[index].endedMs = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                       std::chrono::system_clock::now().time_since_epoch())
                                                       .count());
    if (logFile.empty()) return;
    std::ofstream out(logFile, std::ios::app);
    out << ToJsonLine(records[index]) << "\n";
  }
  long long CountRanged(const std::string& key) {
    std::lock_guard<std::mutex> g(m);
    return ++rangedSeen[key];
  }
  // Sleeps in small steps so that a stopping server is not held up.
  void Nap(int ms) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stopping && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  void Handle(const httplib::Request& req, httplib::Response& res);
};

namespace {

using platform::JsonEscape;

// The fault modes of one request, read from its query (see test_server.h). A
// request that times=K spares gets none of them.
struct Faults {
  long long delayMs = 0, dripMs = 0, headerDelayMs = 0;
  long long stallAfter = -1, stallMs = -1, dropAfter = -1, resetAfter = -1;
  long long extra = 0, corruptAt = -1;
  long long pace = 0;  // bytes per second; 0: as fast as the line goes
  long long times = -1;  // -1: every request
  size_t chunk = 4096;
  bool badRangeStart = false, badTotal = false, starTotal = false, noContentRange = false, garbledRange = false;
  bool shortRange = false, ignoreRange = false, resumeIgnoresRange = false, chunked = false, zeroLength = false;
  bool redirectLoop = false;
  int status = 0, probeStatus = 0, rangeStatus = 0;  // 0: not given
  std::string redirect;
};

// A request's query as the fault modes read it: "name~FIRST" stands for "name" on a
// ranged request whose Range starts at FIRST, and there wins over a plain "name".
class FaultQuery {
 public:
  explicit FaultQuery(const httplib::Request& req) : req_(req) {
    unsigned long long first = 0;
    const std::string range = req.get_header_value("Range");
    if (std::sscanf(range.c_str(), " bytes = %llu", &first) == 1) suffix_ = "~" + std::to_string(first);
  }
  bool Has(const char* name) const { return !Key(name).empty(); }
  long long Number(const char* name, long long fallback) const {
    const std::string key = Key(name);
    return key.empty() ? fallback : std::atoll(req_.get_param_value(key).c_str());
  }
  std::string Text(const char* name) const {
    const std::string key = Key(name);
    return key.empty() ? std::string() : req_.get_param_value(key);
  }

 private:
  std::string Key(const char* name) const {
    if (!suffix_.empty() && req_.has_param(name + suffix_)) return name + suffix_;
    return req_.has_param(name) ? name : "";
  }
  const httplib::Request& req_;
  std::string suffix_;
};

Faults ReadFaults(const httplib::Request& req) {
  const FaultQuery q(req);
  Faults f;
  f.headerDelayMs = q.Number("header_delay_ms", 0);
  f.delayMs = q.Number("delay_ms", 0);
  f.dripMs = q.Number("drip_ms", 0);
  f.chunk = static_cast<size_t>(q.Number("chunk", 4096));
  f.stallAfter = q.Number("stall_after", -1);
  f.stallMs = q.Number("stall_ms", -1);
  f.dropAfter = q.Number("drop_after", -1);
  f.resetAfter = q.Number("reset_after", -1);
  f.extra = q.Number("extra", 0);
  f.corruptAt = q.Number("corrupt_at", -1);
  f.badRangeStart = q.Has("bad_range_start");
  f.badTotal = q.Has("bad_total");
  f.starTotal = q.Has("star_total");
  f.noContentRange = q.Has("no_content_range");
  f.garbledRange = q.Has("garbled_range");
  f.shortRange = q.Has("short_range");
  f.ignoreRange = q.Has("ignore_range");
  f.resumeIgnoresRange = q.Has("resume_ignores_range");
  f.chunked = q.Has("chunked");
  f.zeroLength = q.Has("zero_length");
  f.status = static_cast<int>(q.Number("status", 0));
  f.probeStatus = static_cast<int>(q.Number("probe_status", 0));
  f.rangeStatus = static_cast<int>(q.Number("range_status", 0));
  f.redirectLoop = q.Has("redirect_loop");
  f.pace = q.Number("pace", 0);
  f.times = q.Number("times", -1);
  f.redirect = q.Text("redirect");
  return f;
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

uint16_t PortOf(const sockaddr_storage& a) {
  if (a.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(a).sin_port);
  if (a.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(a).sin6_port);
  return 0;
}

// Resets the connection that serves req: the library gives handlers no socket, so it
// is found among the process's descriptors by its two ports. The descriptor is then
// replaced by a fresh unconnected socket, so that the library's own close later
// touches nothing of ours; the original, closed with a zero linger, sends an RST.
bool ResetConnection(const httplib::Request& req) {
  DIR* dir = ::opendir("/proc/self/fd");
  if (!dir) return false;
  bool done = false;
  while (dirent* e = ::readdir(dir)) {
    int fd = std::atoi(e->d_name);
    if (fd <= 2) continue;
    sockaddr_storage local{}, peer{};
    socklen_t ll = sizeof local, pl = sizeof peer;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &ll) != 0) continue;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &pl) != 0) continue;
    if (PortOf(local) != req.local_port || PortOf(peer) != req.remote_port) continue;
    linger l{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    int dummy = ::socket(local.ss_family, SOCK_STREAM, 0);
    if (dummy >= 0) {
      ::dup2(dummy, fd);
      ::close(dummy);
      done = true;
    }
    break;
  }
  ::closedir(dir);
  return done;
}

}  // namespace

std::string ToJsonLine(const RequestRecord& r) {
  std::ostringstream o;
  o << "{\"method\":\"" << JsonEscape(r.method) << "\",\"path\":\"" << JsonEscape(r.path) << "\",\"query\":\""
    << JsonEscape(r.query) << "\",\"user_agent\":\"" << JsonEscape(r.userAgent) << "\",\"range\":\"" << JsonEscape(r.range)
    << "\",\"referer\":\"" << JsonEscape(r.referer) << "\",\"accept\":\"" << JsonEscape(r.accept)
    << "\",\"status\":" << r.status << ",\"bytes_sent\":" << r.bytesSent << ",\"ended_ms\":" << r.endedMs << "}";
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

  Faults f = ReadFaults(req);
  if (f.times >= 0) {
    // Spared requests get the faults that break or refuse an answer lifted; the
    // others (a server that ignores resumed ranges, say) stay what the server is.
    if (rec.range.empty() || CountRanged(req.path + "?" + query) > f.times) {
      f.stallAfter = f.stallMs = f.dropAfter = f.resetAfter = -1;
      f.rangeStatus = 0;
    }
  }

  if (f.headerDelayMs) Nap(static_cast<int>(f.headerDelayMs));

  if (!f.redirect.empty() || f.redirectLoop) {
    res.set_redirect(f.redirectLoop ? req.path + "?" + query : f.redirect);
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
  if (f.rangeStatus && !rec.range.empty()) {
    res.status = rec.status = f.rangeStatus;
    res.set_content("busy", "text/plain");
    Finish(Record(rec));
    return;
  }
  const uint64_t size = std::filesystem::file_size(root + req.path);
  int status = 200;
  if (f.status) status = f.status;
  if (f.probeStatus && rec.range.empty()) status = f.probeStatus;

  uint64_t first = 0, last = size ? size - 1 : 0, length = size;
  const bool ignoreRange = f.ignoreRange || (f.resumeIgnoresRange && rec.range.find("=0-") == std::string::npos);
  if (status == 200 && !rec.range.empty() && !ignoreRange) {
    if (ParseRange(rec.range, size, &first, &last)) {
      if (f.shortRange && last > first) last = first + (last - first) / 2;
      uint64_t shownFirst = first + (f.badRangeStart ? 1 : 0);
      status = 206;
      length = last - first + 1 + static_cast<uint64_t>(f.extra);
      std::string total = f.starTotal ? "*" : std::to_string(size + static_cast<uint64_t>(f.extra) + (f.badTotal ? 1 : 0));
      if (f.garbledRange) {
        res.set_header("Content-Range", "bytes garbage");
      } else if (!f.noContentRange) {
        res.set_header("Content-Range", "bytes " + std::to_string(shownFirst) + "-" +
                                            std::to_string(first + length - 1) + "/" + total);
      }
    } else {
      status = 416;
      length = 0;
    }
  }
  res.status = status;
  rec.status = status;
  size_t index = Record(rec);

  if (f.zeroLength || length == 0) {
    res.set_content("", "application/octet-stream");
    Finish(index);
    return;
  }
  const size_t chunk = f.dripMs ? 16 : (f.chunk ? f.chunk : 4096);
  const int delay = static_cast<int>(f.dripMs ? f.dripMs : f.delayMs);
  const long long stallAfter = f.stallAfter, stallMs = f.stallMs, dropAfter = f.dropAfter, resetAfter = f.resetAfter;
  const long long corruptAt = f.corruptAt;
  auto pacer = f.pace > 0 ? std::make_shared<Pacer>(static_cast<uint64_t>(f.pace)) : nullptr;
  // One-shot: a timed stall happens once per response, then the body goes on.
  auto stalled = std::make_shared<bool>(false);
  auto provider = [this, file, fileSize = size, first, length, chunk, delay, stallAfter, stallMs, dropAfter, resetAfter,
                   corruptAt, stalled, pacer, index, &req](size_t offset, size_t, httplib::DataSink& sink) -> bool {
    if (offset >= length) {
      return true;
    }
    if (dropAfter >= 0 && offset >= static_cast<uint64_t>(dropAfter)) return false;
    if (resetAfter >= 0 && offset >= static_cast<uint64_t>(resetAfter)) {
      ResetConnection(req);
      return false;
    }
    if (stallAfter >= 0 && offset >= static_cast<uint64_t>(stallAfter) && !*stalled) {
      if (stallMs < 0) {
        while (!stopping) Nap(50);
        return false;
      }
      Nap(static_cast<int>(stallMs));
      *stalled = true;
    }
    if (delay) Nap(delay);
    if (pacer) pacer->WaitFor(offset, stopping);
    size_t n = std::min<uint64_t>(chunk, length - offset);
    for (long long limit : {dropAfter, resetAfter, *stalled ? -1 : stallAfter}) {
      if (limit >= 0 && offset < static_cast<uint64_t>(limit)) n = std::min<uint64_t>(n, static_cast<uint64_t>(limit) - offset);
    }
    // Past the file's end (the extra= mode) the body goes on with filler bytes.
    std::string buf(n, 'X');
    uint64_t at = first + offset;
    if (at < fileSize) {
      file->clear();
      file->seekg(static_cast<std::streamoff>(at));
      file->read(&buf[0], static_cast<std::streamsize>(std::min<uint64_t>(n, fileSize - at)));
    }
    if (corruptAt >= 0 && static_cast<uint64_t>(corruptAt) >= at && static_cast<uint64_t>(corruptAt) < at + n) {
      buf[static_cast<size_t>(static_cast<uint64_t>(corruptAt) - at)] ^= '\xFF';
    }
    if (!sink.write(buf.data(), n)) return false;
    AddSent(index, n);
    return true;
  };
  auto releaser = [this, index](bool) { Finish(index); };
  if (f.chunked) {
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
