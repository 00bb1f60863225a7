// zarn-testserver --root DIR [--port N] [--log FILE] [--port-file FILE] [--progress FILE]
// Serves DIR on 127.0.0.1 until killed; prints the port it took on the first line.
// --progress rewrites FILE every 100 ms with every request so far, answered or still
// sending, as JSON lines: the end-to-end tests watch a transfer's bytes while it runs.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "testserver/test_server.h"

namespace {
volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }
}  // namespace

int main(int argc, char** argv) {
  std::string root = ".", log, portFile, progress;
  int port = 0;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : std::string(); };
    if (a == "--root") root = next();
    else if (a == "--port") port = std::atoi(next().c_str());
    else if (a == "--log") log = next();
    else if (a == "--port-file") portFile = next();
    else if (a == "--progress") progress = next();
    else {
      std::fprintf(stderr, "usage: %s --root DIR [--port N] [--log FILE] [--port-file FILE] [--progress FILE]\n",
                   argv[0]);
      return 2;
    }
  }
  testserver::TestServer server(root, log);
  if (!server.Start(port)) {
    std::fprintf(stderr, "cannot listen on port %d\n", port);
    return 1;
  }
  std::printf("%d\n", server.port());
  std::fflush(stdout);
  if (!portFile.empty()) {
    std::string tmp = portFile + ".tmp";
    if (FILE* f = std::fopen(tmp.c_str(), "w")) {
      std::fprintf(f, "%d\n", server.port());
      std::fclose(f);
      std::rename(tmp.c_str(), portFile.c_str());
    }
  }
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGINT, OnSignal);
  while (!g_stop) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (!progress.empty()) {
      // Written beside and renamed, so that a reader never sees half a file.
      const std::string tmp = progress + ".tmp";
      {
        std::ofstream out(tmp, std::ios::trunc);
        for (const auto& r : server.Requests()) out << testserver::ToJsonLine(r) << "\n";
      }
      std::rename(tmp.c_str(), progress.c_str());
    }
  }
  server.Stop();
  return 0;
}
