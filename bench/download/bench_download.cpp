// bench_download [--mib N] [--rounds R] [--pace BYTES_PER_S] [--segments LIST] [--dir DIR]
//                [--baseline RUNNER]
// One file from the loopback test server, every way below, in interleaved rounds:
//   engine-N  the download engine with N segments (LIST, default 1,2,4,8), each in a
//             process of its own (bench_engine_run)
//   ceiling   curl piped into a writer of 40960-byte chunks flushed each
//             (bench_flush_writer): the cost the engine's flush rule sets
//   curl      curl to a file, one connection, no flushes
//   aria2-N   aria2c -x N -s N, for each N of LIST, when aria2c is installed (Debian's
//             aria2 package); the benchmark says so when it is not
//   baseline  with --baseline, another build's bench_engine_run (an engine before a
//             change), one segment
// With --pace the server holds each connection (each response) to that rate: the
// line of a mirror that caps every connection, where several connections pay.
// Every contender is a child process started the same way; its time runs from the
// start to its outcome, its CPU time and peak memory come from its own rusage. The
// order rotates each round, and one round is run first and left out (it checks the
// files byte for byte). The source file sits in the page cache for every round
// (warm); each output file is new, is deleted after its run, and the disks are
// synced before the next one starts, so no contender pays for another's writeback.
//
// aria2c gets -k 1M, the engine's own smallest range (its default of 20 MiB would
// keep it from opening N connections on a small file), and no preallocation, as
// neither the engine nor curl preallocate; otherwise its defaults.
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
#include <sstream>
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

Sample RunEngine(const std::string& url, const fs::path& out, const std::string& runner, int segments) {
  int p[2];
  if (pipe2(p, O_CLOEXEC) != 0) return {};
  std::vector<std::string> args = {runner, url, out.string()};
  if (segments > 0) args.push_back(std::to_string(segments));
  auto t0 = Clock::now();
  Child e;
  e.pid = Spawn(args, -1, p[1], {});
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

Sample RunAria2(const std::string& url, const fs::path& out, int connections) {
  const std::string n = std::to_string(connections);
  auto t0 = Clock::now();
  Child c;
  c.pid = Spawn({"aria2c", "-q", "--no-conf", "-x", n, "-s", n, "-k", "1M", "--file-allocation=none",
                 "--allow-overwrite=true", "--auto-file-renaming=false", "-d", out.parent_path().string(), "-o",
                 out.filename().string(), url},
                -1, -1, {});
  Reap(&c);
  return Finish(Since(t0), {c});
}

bool Aria2Installed() {
  Child c;
  const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  c.pid = Spawn({"aria2c", "--version"}, -1, null, {});
  Reap(&c);
  if (null >= 0) ::close(null);
  return Exited0(c);
}

std::vector<int> ParseList(const std::string& text) {
  std::vector<int> out;
  std::stringstream in(text);
  for (std::string item; std::getline(in, item, ',');) {
    const int n = std::atoi(item.c_str());
    if (n < 1 || n > 8) return {};
    out.push_back(n);
  }
  return out;
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
  std::vector<int> segments = {1, 2, 4, 8};
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
    if (a == "--mib" && v) mib = std::strtoull(argv[++i], nullptr, 10);
    else if (a == "--rounds" && v) rounds = std::atoi(argv[++i]);
    else if (a == "--pace" && v) pace = std::strtoull(argv[++i], nullptr, 10);
    else if (a == "--segments" && v) segments = ParseList(argv[++i]);
    else if (a == "--dir" && v) base = argv[++i];
    else if (a == "--baseline" && v) baseline = argv[++i];
    else {
      std::fprintf(stderr,
                   "usage: %s [--mib N] [--rounds R] [--pace BYTES_PER_S] [--segments 1,2,4,8] [--dir DIR] "
                   "[--baseline RUNNER]\n",
                   argv[0]);
      return 2;
    }
  }
  if (mib == 0 || rounds < 1 || segments.empty()) return 2;
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
  const bool aria2 = Aria2Installed();

  struct Contender {
    std::string name;
    std::function<Sample()> run;
    std::vector<Sample> samples;
  };
  std::vector<Contender> all;
  for (int n : segments)
    all.push_back({"engine-" + std::to_string(n), [&, n] { return RunEngine(url, out, runner, n); }, {}});
  all.push_back({"ceiling", [&] { return RunCeiling(url, out, writer); }, {}});
  all.push_back({"curl", [&] { return RunCurl(url, out); }, {}});
  if (aria2) {
    for (int n : segments) all.push_back({"aria2-" + std::to_string(n), [&, n] { return RunAria2(url, out, n); }, {}});
  }
  if (!baseline.empty()) all.push_back({"baseline", [&] { return RunEngine(url, out, baseline, 0); }, {}});
  auto find = [&](const std::string& name) -> Contender* {
    for (auto& c : all)
      if (c.name == name) return &c;
    return nullptr;
  };
  const std::string aria2Note =
      aria2 ? "" : "aria2c NOT FOUND: the aria2 contenders are left out (install Debian's aria2 package)";

  std::printf("%llu MiB, %s, %d rounds (+1 left out), load average %s\n", static_cast<unsigned long long>(mib),
              pace ? ("each connection paced at " + std::to_string(pace) + " B/s").c_str() : "loopback, unpaced",
              rounds, Load().c_str());
  if (!aria2) std::printf("%s\n", aria2Note.c_str());
  bool allOk = true;
  auto runOne = [&](Contender& c) {
    Sample s = c.run();
    s.ok &= fs::exists(out) && fs::file_size(out) == bytes;
    return s;
  };
  auto clear = [&] {
    fs::remove(out);
    ::sync();
  };
  clear();
  for (auto& c : all) {
    Sample s = runOne(c);
    bool same = s.ok && SameFiles(source, out);
    std::printf("warm-up %-9s %7.3f s %s\n", c.name.c_str(), s.seconds, same ? "file identical" : "FAILED");
    allOk &= same;
    clear();
  }
  // Per round, each ratio of two contenders' times in that round: how much faster
  // the first is (or, for CPU, how much more it spent).
  std::vector<std::pair<std::string, std::vector<double>>> ratios;
  auto ratio = [&](const std::string& label, double value) {
    for (auto& r : ratios) {
      if (r.first == label) {
        r.second.push_back(value);
        return;
      }
    }
    ratios.push_back({label, {value}});
  };
  for (int r = 0; r < rounds; ++r) {
    for (size_t k = 0; k < all.size(); ++k) {
      Contender& c = all[(r + k) % all.size()];
      Sample s = runOne(c);
      allOk &= s.ok;
      c.samples.push_back(s);
      clear();
    }
    std::printf("round %d:", r + 1);
    bool roundOk = true;
    for (auto& c : all) {
      std::printf(" %s %.3f s", c.name.c_str(), c.samples.back().seconds);
      roundOk &= c.samples.back().ok;
    }
    std::printf("%s\n", roundOk ? "" : "  (a run FAILED)");
    const Sample& ceiling = find("ceiling")->samples.back();
    for (int n : segments) {
      const std::string e = "engine-" + std::to_string(n);
      const Sample& es = find(e)->samples.back();
      ratio(e + "/ceiling speed", ceiling.seconds / es.seconds);
      ratio(e + "/ceiling CPU", es.cpuSeconds / ceiling.cpuSeconds);
      if (n > 1 && find("engine-1")) ratio(e + "/engine-1 speed", find("engine-1")->samples.back().seconds / es.seconds);
      if (aria2) {
        ratio(e + "/aria2-" + std::to_string(n) + " speed",
              find("aria2-" + std::to_string(n))->samples.back().seconds / es.seconds);
      }
      if (n == 1) ratio(e + "/curl speed", find("curl")->samples.back().seconds / es.seconds);
    }
    if (find("baseline") && find("engine-1"))
      ratio("engine-1/baseline speed", find("baseline")->samples.back().seconds / find("engine-1")->samples.back().seconds);
  }
  const double gib = static_cast<double>(bytes) / (1ull << 30);
  std::printf("\n%-9s %9s %8s %12s %13s\n", "", "median s", "MB/s", "CPU s/GiB", "peak RSS KiB");
  for (auto& c : all) {
    std::vector<double> t, cpu;
    long rss = 0;
    for (auto& s : c.samples) {
      t.push_back(s.seconds);
      cpu.push_back(s.cpuSeconds / gib);
      rss = std::max(rss, s.peakRssKiB);
    }
    std::printf("%-9s %9.3f %8.1f %12.3f %13ld\n", c.name.c_str(), Median(t), static_cast<double>(bytes) / 1e6 / Median(t),
                Median(cpu), rss);
  }
  std::printf("\nmedians of the per-round ratios (speed: how many times faster; CPU: how many times more):\n");
  for (auto& r : ratios) std::printf("  %-28s %6.3fx\n", r.first.c_str(), Median(r.second));
  if (!aria2) std::printf("%s\n", aria2Note.c_str());
  std::printf("load average at the end %s%s\n", Load().c_str(), allOk ? "" : "\nSOME RUNS FAILED");
  server.Stop();
  fs::remove_all(dir);
  return allOk ? 0 : 1;
}
