// The libcurl adapter of the HTTP seam against the loopback test server: how much it
// says is available, and what it holds in memory meanwhile. Also the server's paced
// line, which the download benchmark depends on.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <random>
#include <thread>

#include "platform/http.h"
#include "support/test_support.h"
#include "testserver/test_server.h"

using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

using Clock = std::chrono::steady_clock;

// Answers one request with the status line, the headers and the body in a single
// send, so that the client's first delivery holds the headers and the body's first
// bytes together: from there on the body's deliveries no longer start on a unit.
class OneSendServer {
 public:
  explicit OneSendServer(const std::vector<uint8_t>& body) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&a), len) != 0 || listen(listener_, 1) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
      return;
    port_ = ntohs(a.sin_port);
    std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    reply.append(body.begin(), body.end());
    thread_ = std::thread([this, reply] {
      int c = accept(listener_, nullptr, nullptr);
      if (c < 0) return;
      std::string request;
      char buf[4096];
      ssize_t n;
      while (request.find("\r\n\r\n") == std::string::npos && (n = recv(c, buf, sizeof buf, 0)) > 0) request.append(buf, n);
      for (size_t sent = 0; sent < reply.size() && (n = send(c, reply.data() + sent, reply.size() - sent, 0)) > 0;)
        sent += static_cast<size_t>(n);
      while (recv(c, buf, sizeof buf, 0) > 0) {
      }
      close(c);
    });
  }
  ~OneSendServer() {
    if (listener_ >= 0) shutdown(listener_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) close(listener_);
  }
  uint16_t port() const { return port_; }

 private:
  int listener_ = -1;
  uint16_t port_ = 0;
  std::thread thread_;
};

class HttpCurl : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.Start(0));
    session = platform::HttpOpenSession(u"zarn-test");
    ASSERT_TRUE(session);
  }
  void TearDown() override {
    Close();
    platform::HttpClose(session);
    server.Stop();
  }

  std::vector<uint8_t> Serve(size_t size) {
    std::vector<uint8_t> data(size);
    std::mt19937 rng(static_cast<uint32_t>(size));
    for (auto& b : data) b = static_cast<uint8_t>(rng());
    WriteBytes(root.path() / "p.bin", data);
    return data;
  }

  // Sends GET pathAndQuery; false when the request cannot be made or sent.
  bool Get(const std::u16string& pathAndQuery, uint16_t port = 0) {
    if (!port) port = static_cast<uint16_t>(server.port());
    connection = platform::HttpConnect(session, u"127.0.0.1", port, u"", u"", false);
    if (!connection) return false;
    request = platform::HttpOpenRequest(connection, u"GET", pathAndQuery, u"HTTP/1.1", nullptr, 0);
    return request && platform::HttpSendRequest(request);
  }

  // Reads the body the engine's way, 4096 bytes at most per read, and records every
  // "available" answer. afterRead runs after each read.
  std::vector<uint8_t> ReadBody(std::vector<uint32_t>* answers, const std::function<void(size_t)>& afterRead = {}) {
    std::vector<uint8_t> body;
    uint8_t unit[4096];
    for (;;) {
      uint32_t available = 0, got = 0;
      if (!platform::HttpQueryDataAvailable(request, &available)) {
        ADD_FAILURE() << "available failed after " << body.size() << " bytes";
        break;
      }
      answers->push_back(available);
      if (available == 0) break;
      if (!platform::HttpReadData(request, unit, std::min<uint32_t>(available, sizeof unit), &got)) {
        ADD_FAILURE() << "read failed after " << body.size() << " bytes";
        break;
      }
      body.insert(body.end(), unit, unit + got);
      if (afterRead) afterRead(body.size());
    }
    return body;
  }

  void Close() {
    platform::HttpClose(request);
    platform::HttpClose(connection);
    request = connection = nullptr;
  }

  TempDir root;
  testserver::TestServer server{root.path().string()};
  platform::HttpHandle session = nullptr, connection = nullptr, request = nullptr;
};

TEST_F(HttpCurl, ABodyThatHasArrivedIsOfferedInFullUnitsUntilItsTail) {
  // Small enough to sit whole in the socket buffers once sent, so every answer but
  // the tail's can be a full unit, wherever the headers ended.
  for (size_t size : {size_t{24 * 4096 + 100}, size_t{3 * 4096}, size_t{4095}}) {
    SCOPED_TRACE(size);
    auto data = Serve(size);
    OneSendServer oneSend(data);
    ASSERT_TRUE(oneSend.port());
    ASSERT_TRUE(Get(u"/p.bin", oneSend.port()));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::vector<uint32_t> answers;
    EXPECT_EQ(ReadBody(&answers), data);
    ASSERT_GE(answers.size(), 2u);
    EXPECT_EQ(answers.back(), 0u);
    for (size_t i = 0; i + 2 < answers.size(); ++i) EXPECT_GE(answers[i], 4096u) << "answer " << i;
    EXPECT_GT(answers[answers.size() - 2], 0u);
    Close();
  }
}

TEST_F(HttpCurl, ATrickleIsOfferedAsItComesWithoutWaitingForAFullUnit) {
  auto data = Serve(20000);
  ASSERT_TRUE(Get(u"/p.bin?chunk=1000&delay_ms=30"));
  std::vector<uint32_t> answers;
  EXPECT_EQ(ReadBody(&answers), data);
  size_t shortBeforeTheEnd = 0;
  for (size_t i = 0; i + 1 < answers.size(); ++i) shortBeforeTheEnd += answers[i] < 4096;
  EXPECT_GE(shortBeforeTheEnd, 5u) << "the reader should get each 1000-byte piece as it arrives";
}

TEST_F(HttpCurl, ASlowReaderIsNotBufferedAheadWithoutLimit) {
  // The whole body is on its way at loopback speed while the reader dawdles; what
  // the adapter holds ahead of the reader must stay small.
  auto data = Serve(8u << 20);
  ASSERT_TRUE(Get(u"/p.bin"));
  std::vector<uint32_t> answers;
  auto body = ReadBody(&answers, [](size_t n) {
    if (n % (256 * 1024) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  });
  EXPECT_TRUE(body == data);
  EXPECT_LE(*std::max_element(answers.begin(), answers.end()), 1u << 20);
}

TEST_F(HttpCurl, APacedBodyArrivesWholeAndNeverAheadOfItsRate) {
  const double rate = 2e6;  // bytes per second
  auto data = Serve(1000000);
  auto t0 = Clock::now();
  ASSERT_TRUE(Get(u"/p.bin?pace=2000000"));
  std::vector<uint32_t> answers;
  size_t worstLead = 0;
  auto body = ReadBody(&answers, [&](size_t n) {
    double allowed = rate * std::chrono::duration<double>(Clock::now() - t0).count();
    if (n > allowed) worstLead = std::max(worstLead, static_cast<size_t>(n - allowed));
  });
  double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  EXPECT_TRUE(body == data);
  EXPECT_GE(seconds, 0.49);  // 1 MB at 2 MB/s, less the chunk that goes at once
  // Smooth: never more than a few chunks ahead of the rate, not a second's burst.
  EXPECT_LE(worstLead, 32u * 1024);
}

}  // namespace
