// bench_download [--mib N] [--rounds R] [--pace BYTES_PER_S] [--dir DIR] [--baseline RUNNER]
// One file from the loopback test server, three ways, in interleaved rounds:
//   engine   the download engine in a process of its own (bench_engine_run)
//   ceiling  curl piped into a writer of 40960-byte chunks flushed each
//            (bench_flush_writer): the cost the engine's flush rule sets
//   curl     curl to a file, no flushes
//   baseline with --baseline, another build's bench_engine_run (an engine before a change)
// Every contender is a child process started the same way; its time runs from the
// start to its outcome, its CPU time and peak memory come from its own rusage. The
// order rotates each round, and one round is run first and left out (it checks the
// files byte for byte). The source file sits in the page cache for every round
// (warm); each output file is new and is deleted after its run.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "testserver/test_server.h"

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Sample {
  double seconds = 0;
  double cpuSeconds = 0;  // user + system, all of the contender's processes
  long peakRssKiB = 0;    // the largest of its processes
  bool ok = false;
};

struct Child {
  pid_t pid = -1;
  int status = 0;
  struct rusage usage {};
};

// in/out: descriptors for the child's standard input and output, or -1.
pid_t Spawn(const std::vector<std::string>& args, int in, int out, const std::vector<int>& closeInChild) {
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  if (in >= 0) posix_spawn_file_actions_adddup2(&fa, in, 0);
  if (out >= 0) posix_spawn_file_actions_adddup2(&fa, out, 1);
  for (int fd : closeInChild) posix_spawn_file_actions_addclose(&fa, fd);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&fa);
  return pid;
}

void Reap(Child* c) {
  if (c->pid > 0) wait4(c->pid, &c->status, 0, &c->usage);
}

bool Exited0(const Child& c) { return c.pid > 0 && WIFEXITED(c.status) && WEXITSTATUS(c.status) == 0; }

double Cpu(const struct rusage& u) {
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double Since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

Sample Finish(double seconds, const std::vector<Child>& children) {
  Sample s;
  s.seconds = seconds;
  s.ok = true;
  for (auto& c : children) {
    s.cpuSeconds += Cpu(c.usage);
    s.peakRssKiB = std::max(s.peakRssKiB, c.usage.ru_maxrss);
    s.ok &= Exited0(c);
  }
  return s;
}

Sample RunCurl(const std::string& url, const fs::path& out) {
  auto t0 = Clock::now();
  Child c;
  c.pid = Spawn({"curl", "-s", "-f", "-o", out.string(), url}, -1, -1, {});
  Reap(&c);
  return Finish(Since(t0), {c});
}

Sample RunCeiling(const std::string& url, const fs::path& out, const std::string& writer) {
  int p[2];
  if (pipe2(p, O_CLOEXEC) != 0) return {};
  auto t0 = Clock::now();
  Child curl, sink;
  curl.pid = Spawn({"curl", "-s", "-f", url}, -1, p[1], {});
  sink.pid = Spawn({writer, out.string()}, p[0], -1, {});
  close(p[0]);
  close(p[1]);
  Reap(&curl);
  Reap(&sink);
  return Finish(Since(t0), {curl, sink});
}

Sample RunEngine(const std::string& url, const fs::path& out, const std::string& runner) {
  int p[2];
  if (pipe2(p, O_CLOEXEC) != 0) return {};
  auto t0 = Clock::now();
  Child e;
  e.pid = Spawn({runner, url, out.string()}, -1, p[1], {});
  close(p[1]);
  std::string text;
  double seconds = 0;
  char buf[256];
  for (ssize_t n; (n = read(p[0], buf, sizeof buf)) != 0;) {
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    text.append(buf, static_cast<size_t>(n));
    if (seconds == 0 && text.find('\n') != std::string::npos) seconds = Since(t0);
  }
  close(p[0]);
  Reap(&e);
  Sample s = Finish(seconds ? seconds : Since(t0), {e});
  s.ok &= text.rfind("done 3\n", 0) == 0;
  return s;
}

void MakeFile(const fs::path& p, uint64_t bytes) {
  std::ofstream out(p, std::ios::binary);
  std::vector<char> block(1 << 20);
  uint32_t x = 2463534242u;
  for (auto& b : block) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    b = static_cast<char>(x);
  }
  for (uint64_t done = 0; done < bytes; done += block.size()) {
    block[0] = static_cast<char>(done >> 20);  // no two blocks alike
    out.write(block.data(), static_cast<std::streamsize>(std::min<uint64_t>(block.size(), bytes - done)));
  }
}

bool SameFiles(const fs::path& a, const fs::path& b) {
  std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
  std::vector<char> bx(1 << 20), by(1 << 20);
  for (;;) {
    x.read(bx.data(), static_cast<std::streamsize>(bx.size()));
    y.read(by.data(), static_cast<std::streamsize>(by.size()));
    if (x.gcount() != y.gcount()) return false;
    if (x.gcount() == 0) return true;
    if (std::memcmp(bx.data(), by.data(), static_cast<size_t>(x.gcount())) != 0) return false;
  }
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string Load() {
  double l[3] = {0, 0, 0};
  getloadavg(l, 3);
  char s[64];
  std::snprintf(s, sizeof s, "%.2f %.2f %.2f", l[0], l[1], l[2]);
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t mib = 64, pace = 0;
  int rounds = 5;
  fs::path base = fs::temp_directory_path();
  std::string baseline;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
    if (a == "--mib" && v) mib = std::strtoull(argv[++i], nullptr, 10);
    else if (a == "--rounds" && v) rounds = std::atoi(argv[++i]);
    else if (a == "--pace" && v) pace = std::strtoull(argv[++i], nullptr, 10);
    else if (a == "--dir" && v) base = argv[++i];
    else if (a == "--baseline" && v) baseline = argv[++i];
    else {
      std::fprintf(stderr, "usage: %s [--mib N] [--rounds R] [--pace BYTES_PER_S] [--dir DIR] [--baseline RUNNER]\n", argv[0]);
      return 2;
    }
  }
  if (mib == 0 || rounds < 1) return 2;
  const fs::path bin = fs::canonical("/proc/self/exe").parent_path();
  const std::string runner = (bin / "bench_engine_run").string(), writer = (bin / "bench_flush_writer").string();
  const fs::path dir = base / ("zarn-bench-" + std::to_string(getpid()));
  fs::create_directories(dir / "root");
  const fs::path source = dir / "root" / "p.bin", out = dir / "out.bin";
  const uint64_t bytes = mib << 20;
  MakeFile(source, bytes);
  testserver::TestServer server((dir / "root").string());
  if (!server.Start(0)) {
    std::fprintf(stderr, "cannot start the test server\n");
    return 1;
  }
  const std::string url = server.Url(pace ? "/p.bin?pace=" + std::to_string(pace) : "/p.bin");

  struct Contender {
    const char* name;
    std::function<Sample()> run;
    std::vector<Sample> samples;
  };
  std::vector<Contender> all = {
      {"engine", [&] { return RunEngine(url, out, runner); }, {}},
      {"ceiling", [&] { return RunCeiling(url, out, writer); }, {}},
      {"curl", [&] { return RunCurl(url, out); }, {}},
  };
  if (!baseline.empty()) all.push_back({"baseline", [&] { return RunEngine(url, out, baseline); }, {}});
  std::printf("%llu MiB, %s, %d rounds (+1 left out), load average %s\n", static_cast<unsigned long long>(mib),
              pace ? ("paced at " + std::to_string(pace) + " B/s").c_str() : "loopback, unpaced", rounds,
              Load().c_str());
  bool allOk = true;
  for (auto& c : all) {
    fs::remove(out);
    Sample s = c.run();
    bool same = s.ok && SameFiles(source, out);
    std::printf("warm-up %-8s %7.3f s %s\n", c.name, s.seconds, same ? "file identical" : "FAILED");
    allOk &= same;
  }
  fs::remove(out);
  std::vector<double> vsCeiling, vsCurl, cpuVsCeiling, vsBaseline;
  for (int r = 0; r < rounds; ++r) {
    for (size_t k = 0; k < all.size(); ++k) {
      Contender& c = all[(r + k) % all.size()];
      Sample s = c.run();
      s.ok &= fs::exists(out) && fs::file_size(out) == bytes;
      allOk &= s.ok;
      c.samples.push_back(s);
      fs::remove(out);
    }
    const Sample &e = all[0].samples.back(), &ce = all[1].samples.back(), &cu = all[2].samples.back();
    vsCeiling.push_back(ce.seconds / e.seconds);  // speed ratio: the engine's speed over the other's
    vsCurl.push_back(cu.seconds / e.seconds);
    cpuVsCeiling.push_back(e.cpuSeconds / ce.cpuSeconds);
    std::printf("round %d: engine %.3f s, ceiling %.3f s, curl %.3f s; engine/ceiling %.2fx, engine/curl %.2fx",
                r + 1, e.seconds, ce.seconds, cu.seconds, vsCeiling.back(), vsCurl.back());
    if (all.size() > 3) {
      vsBaseline.push_back(all[3].samples.back().seconds / e.seconds);
      std::printf("; baseline %.3f s, engine/baseline %.2fx", all[3].samples.back().seconds, vsBaseline.back());
    }
    std::printf("%s\n", e.ok && ce.ok && cu.ok ? "" : "  (a run FAILED)");
  }
  const double gib = static_cast<double>(bytes) / (1ull << 30);
  std::printf("\n%-8s %9s %8s %12s %13s\n", "", "median s", "MB/s", "CPU s/GiB", "peak RSS KiB");
  for (auto& c : all) {
    std::vector<double> t, cpu;
    long rss = 0;
    for (auto& s : c.samples) {
      t.push_back(s.seconds);
      cpu.push_back(s.cpuSeconds / gib);
      rss = std::max(rss, s.peakRssKiB);
    }
    std::printf("%-8s %9.3f %8.1f %12.3f %13ld\n", c.name, Median(t), static_cast<double>(bytes) / 1e6 / Median(t),
                Median(cpu), rss);
  }
  std::printf("\nmedian of per-round ratios: engine/ceiling speed %.3fx, engine/curl speed %.3fx, "
              "engine/ceiling CPU %.3fx\n", Median(vsCeiling), Median(vsCurl), Median(cpuVsCeiling));
  if (!vsBaseline.empty()) std::printf("median of per-round ratios: engine/baseline speed %.3fx\n", Median(vsBaseline));
  std::printf("load average at the end %s%s\n", Load().c_str(), allOk ? "" : "\nSOME RUNS FAILED");
  server.Stop();
  fs::remove_all(dir);
  return allOk ? 0 : 1;
}
