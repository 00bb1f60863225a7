// bench_download [MiB] [rounds]
// Downloads one file from the loopback test server with the engine and with curl,
// alternating, and prints the medians; then the engine's peak memory for 1 GiB.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "download/download_manager.h"
#include "platform/system.h"
#include "platform/text.h"
#include "testserver/test_server.h"

namespace fs = std::filesystem;

namespace {

void MakeFile(const fs::path& p, uint64_t bytes) {
  std::ofstream out(p, std::ios::binary);
  std::vector<char> block(1 << 20);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 + 7);
  for (uint64_t done = 0; done < bytes; done += block.size()) out.write(block.data(), static_cast<std::streamsize>(std::min<uint64_t>(block.size(), bytes - done)));
}

// Seconds from Start to the transfer's outcome (the fixed 500 ms pause before
// state 8 is not part of the transfer).
double EngineSeconds(const std::string& url, const fs::path& target, bool* ok) {
  auto t0 = std::chrono::steady_clock::now();
  CDownloadManager* m = CDownloadManager::Instance();
  *ok = false;
  if (!m->Start(platform::Utf8ToWide(url), u"", platform::Utf8ToWide(target.string()))) return 0;
  g_downloadStatus.state = STATUS_INIT;
  m->ResumeWorker();
  int32_t state;
  while ((state = ReadDownloadStatus().state) == STATUS_INIT || state == STATUS_DOWNLOADING) platform::SleepMs(1);
  double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  while ((state = ReadDownloadStatus().state) != STATUS_PREPARE_INSTALL && state != STATUS_FINISHED) platform::SleepMs(10);
  *ok = state == STATUS_PREPARE_INSTALL;
  ReleaseDownloadObjects();
  return s;
}

double CurlSeconds(const std::string& url, const fs::path& target, bool* ok) {
  std::string cmd = "curl -s -f -o '" + target.string() + "' '" + url + "'";
  auto t0 = std::chrono::steady_clock::now();
  *ok = std::system(cmd.c_str()) == 0;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

long PeakRssKiB() {
  struct rusage ru {};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  const uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 256;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  fs::path dir = fs::temp_directory_path() / ("zarn-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir / "root");
  MakeFile(dir / "root" / "p.bin", mib << 20);
  testserver::TestServer server((dir / "root").string());
  if (!server.Start(0)) {
    std::fprintf(stderr, "cannot start the test server\n");
    return 1;
  }
  std::string url = server.Url("/p.bin");
  std::vector<double> engine, curl;
  bool allOk = true;
  for (int i = 0; i < rounds; ++i) {
    bool ok = false;
    engine.push_back(EngineSeconds(url, dir / "engine.bin", &ok));
    allOk &= ok;
    curl.push_back(CurlSeconds(url, dir / "curl.bin", &ok));
    allOk &= ok;
    std::printf("round %d: engine %.3f s, curl %.3f s\n", i + 1, engine.back(), curl.back());
  }
  double me = Median(engine), mc = Median(curl);
  double size = static_cast<double>(mib);
  std::printf("\n%-8s %10s %10s\n", "", "median s", "MB/s");
  std::printf("%-8s %10.3f %10.1f\n", "engine", me, size * 1.048576 / me);
  std::printf("%-8s %10.3f %10.1f\n", "curl", mc, size * 1.048576 / mc);
  std::printf("ratio engine/curl (time): %.2f\n", me / mc);
  fs::remove(dir / "engine.bin");
  fs::remove(dir / "curl.bin");
  fs::remove(dir / "root" / "p.bin");

  // Peak memory: a 1 GiB package through the engine (the server reads from disk).
  MakeFile(dir / "root" / "big.bin", 1024ull << 20);
  long before = PeakRssKiB();
  bool ok = false;
  double s = EngineSeconds(server.Url("/big.bin"), dir / "big-out.bin", &ok);
  long after = PeakRssKiB();
  allOk &= ok;
  std::printf("1 GiB: %.3f s, peak RSS %ld KiB (before %ld KiB)\n", s, after, before);
  server.Stop();
  fs::remove_all(dir);
  return allOk ? 0 : 1;
}
