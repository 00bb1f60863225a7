// The loopback test server as the net tests see it, natively (in this process)
// and under Wine (the native program, started by a CTest fixture), and the fixture
// that serves files from it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "download/engine_harness.h"
#include "platform/output_file.h"
#include "platform/text.h"
#include "support/test_support.h"
#ifdef _WIN32
#include <cstdlib>
#include <fstream>
#include <sstream>
#else
#include "testserver/test_server.h"
#endif

namespace nettest {

using enginetest::RunEngine;
using enginetest::RunResult;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;


inline std::vector<uint8_t> Pattern(size_t n, uint32_t seed = 7) {
  std::vector<uint8_t> v(n);
  std::mt19937 rng(seed);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

#ifdef _WIN32
// Under Wine the server is the native program, started by the test fixture; its
// folder (root/, port, requests.jsonl) is named by ZARN_TESTSERVER_DIR.
struct Record {
  std::string path, range, userAgent, referer, accept, query;
  int status = 0;
  uint64_t bytesSent = 0;
};
class Server {
 public:
  bool Start() {
    const char* dir = std::getenv("ZARN_TESTSERVER_DIR");
    if (!dir) return false;
    std::string d = std::string("Z:") + dir;
    for (char& c : d) if (c == '/') c = '\\';
    dir_ = d;
    std::ifstream in(dir_ + "\\port");
    in >> port_;
    ClearRequests();
    return port_ > 0;
  }
  void Stop() {}
  std::filesystem::path Root() const { return std::filesystem::path(dir_) / "root"; }
  std::string Url(const std::string& pq) const { return "http://127.0.0.1:" + std::to_string(port_) + pq; }
  void ClearRequests() {
    skip_ = Lines("requests.jsonl").size();
    skipSending_ = Lines("progress.jsonl").size();
  }
  // The log is written when a response ends, so a moment may pass before it shows:
  // an answer the engine gave up on ends only when the server's stall does.
  std::vector<Record> Requests(size_t expected = 0) const {
    std::vector<std::string> lines;
    for (int i = 0; i < 250; ++i) {
      lines = Lines("requests.jsonl");
      if (lines.size() >= skip_ + expected) break;
      platform::SleepMs(20);
    }
    return Parse(lines, skip_);
  }
  // Every request so far, answered or still sending, as the server wrote them last
  // (every 100 ms).
  std::vector<Record> Sending() const { return Parse(Lines("progress.jsonl"), skipSending_); }

 private:
  static std::vector<Record> Parse(const std::vector<std::string>& lines, size_t skip) {
    std::vector<Record> out;
    for (size_t i = skip; i < lines.size(); ++i) {
      Record r;
      r.path = Field(lines[i], "path");
      r.range = Field(lines[i], "range");
      r.userAgent = Field(lines[i], "user_agent");
      r.referer = Field(lines[i], "referer");
      r.accept = Field(lines[i], "accept");
      r.query = Field(lines[i], "query");
      r.status = std::atoi(Field(lines[i], "status").c_str());
      r.bytesSent = std::strtoull(Field(lines[i], "bytes_sent").c_str(), nullptr, 10);
      out.push_back(r);
    }
    return out;
  }
  std::vector<std::string> Lines(const char* name) const {
    std::ifstream in(dir_ + "\\" + name);
    std::vector<std::string> v;
    for (std::string line; std::getline(in, line);) if (!line.empty()) v.push_back(line);
    return v;
  }
  // A string or number field of a log line, as text.
  static std::string Field(const std::string& line, const std::string& name) {
    std::string key = "\"" + name + "\":";
    size_t at = line.find(key);
    if (at == std::string::npos) return {};
    at += key.size();
    if (at < line.size() && line[at] == '"') return line.substr(at + 1, line.find('"', at + 1) - at - 1);
    return line.substr(at, line.find_first_of(",}", at) - at);
  }
  std::string dir_;
  int port_ = 0;
  size_t skip_ = 0, skipSending_ = 0;
};
#else
class Server {
 public:
  bool Start() { return server_.Start(0); }
  void Stop() { server_.Stop(); }
  std::filesystem::path Root() const { return root_.path(); }
  std::string Url(const std::string& pq) const { return server_.Url(pq); }
  void ClearRequests() { server_.ClearRequests(); }
  std::vector<testserver::RequestRecord> Requests(size_t = 0) const { return server_.Requests(); }
  std::vector<testserver::RequestRecord> Sending() const { return server_.Requests(); }

 private:
  TempDir root_;
  testserver::TestServer server_{root_.path().string()};
};
#endif

class DownloadNet : public ::testing::Test {
 protected:
  void SetUp() override {
    server = std::make_unique<Server>();
    ASSERT_TRUE(server->Start()) << "no test server";
    target = out.Wide("package.exe");
  }
  void TearDown() override { server->Stop(); }

  std::vector<uint8_t> Serve(const std::string& name, size_t size) {
    auto data = Pattern(size, static_cast<uint32_t>(size));
    WriteBytes(server->Root() / name, data);
    return data;
  }
  std::u16string Link(const std::string& pathAndQuery) const { return platform::Utf8ToWide(server->Url(pathAndQuery)); }
  bool TargetExists() const { return platform::PathExists(target); }

  TempDir out;
  std::unique_ptr<Server> server;
  std::u16string target;
};


// "bytes=A-B" -> A; -1 for anything else.
inline long long RangeStart(const std::string& range) {
  if (range.compare(0, 6, "bytes=") != 0) return -1;
  return std::atoll(range.c_str() + 6);
}

// The fixture with the engine's requests read back by range, and the progress the
// window would see.
class DownloadWatched : public DownloadNet {
 protected:
  // The transfer requests of the last run, by their first byte.
  template <typename Records>
  static std::vector<std::string> Ranges(const Records& reqs) {
    std::vector<std::string> out;
    for (const auto& q : reqs) {
      if (!q.range.empty()) out.push_back(q.range);
    }
    std::sort(out.begin(), out.end(),
              [](const std::string& a, const std::string& b) { return RangeStart(a) < RangeStart(b); });
    return out;
  }
  std::vector<std::string> RunRanges(size_t expected) { return Ranges(server->Requests(expected)); }
  // Collects every copy of the status the window would see, to show that the
  // band never goes back and the state stays "downloading" between attempts.
  enginetest::TickFn Watch() {
    seen.clear();
    return [this](const DownloadStatus& s, uint64_t) { seen.push_back(s); };
  }
  void ExpectProgressNeverGoesBack() const {
    for (size_t i = 1; i < seen.size(); ++i) {
      EXPECT_GE(seen[i].bytesDone, seen[i - 1].bytesDone) << i;
      if (seen[i - 1].state == STATUS_DOWNLOADING) {
        EXPECT_TRUE(seen[i].state == STATUS_DOWNLOADING || seen[i].state == STATUS_DOWNLOADDONE ||
                    seen[i].state == STATUS_PREPARE_INSTALL)
            << seen[i].state;
      }
    }
  }
  std::vector<DownloadStatus> seen;
};

const std::vector<int32_t> kFailedAfterTransfer = {STATUS_DOWNLOAD_FAILED, STATUS_CLEANUP_FILES, STATUS_FINISHED};

// The last states of a run, without the earlier ones a fast run may skip.
inline std::vector<int32_t> Tail(const RunResult& r, size_t n) {
  auto s = r.States();
  return std::vector<int32_t>(s.end() - std::min(n, s.size()), s.end());
}

}  // namespace nettest
