// What the XML benchmarks share: the three generated documents, and rounds in which
// every contender parses once, in an order that rotates from round to round, with
// each contender's time divided by ours of the same round.
//
// Two regimes, applied to every contender alike:
//   warm  each contender keeps one document object and parses into it again; freed
//         memory stays in the process (no trimming, no mmap for blocks under 32 MB),
//         and one untimed round runs first, so no parse pays first-touch faults;
//   cold  each timed parse builds a fresh document and frees it, and the heap is
//         handed back to the system before every parse, so every parse touches new
//         pages.
#pragma once

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace xml_bench {

inline std::string ConfigLike(size_t target) {
  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<config>\n";
  for (int i = 0; s.size() < target; ++i)
    s += "  <product id=\"" + std::to_string(i) + "\" name=\"Product &amp; Co\">\n    <link os=\"win7\" bits=\"64\">"
         "http://example.com/pkg/" + std::to_string(i) + ".exe</link>\n    <key>SOFTWARE\\Vendor\\P" +
         std::to_string(i) + "</key>\n  </product>\n";
  return s + "</config>\n";
}

inline std::string TextHeavy(size_t target) {
  std::string s = "<doc>\n";
  std::string para(2000, 'x');
  for (size_t i = 0; i < para.size(); i += 7) para[i] = ' ';
  while (s.size() < target) s += "<p>" + para + " &lt;tag&gt; and more</p>\n";
  return s + "</doc>\n";
}

inline std::string ManyEmpty(size_t count) {
  std::string s = "<r>";
  for (size_t i = 0; i < count; ++i) s += "<e/>";
  return s + "</r>";
}

struct Document {
  const char* label;
  std::string utf8;
};

inline std::vector<Document> Documents() {
  return {{"config-like 20 MB", ConfigLike(20u << 20)},
          {"text-heavy 20 MB", TextHeavy(20u << 20)},
          {"1,000,000 empty elements", ManyEmpty(1000000)}};
}

enum class Regime { kWarm, kCold };

inline const char* RegimeName(Regime r) { return r == Regime::kWarm ? "warm" : "cold"; }

// Sets the allocator up for the warm regime: nothing freed goes back to the system.
inline void KeepFreedMemory() {
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  mallopt(M_TOP_PAD, 64 << 20);
}

// A contender parses the document once; `fresh` asks it to build (and free) a new
// document object inside the call instead of reusing the one it keeps.
struct Contender {
  const char* name;
  std::function<bool(bool fresh)> parse;
};

// A contender of document type Doc: one kept for reuse, or a fresh one per call.
template <typename Doc, typename Parse>
Contender MakeContender(const char* name, Parse parse) {
  auto kept = std::make_shared<Doc>();
  return {name, [kept, parse](bool fresh) {
            if (!fresh) return parse(*kept);
            auto doc = std::make_unique<Doc>();
            return parse(*doc);
          }};
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Runs `rounds` rounds; contender 0 is ours. Prints one table row per contender:
// median time, MB/s of `bytes`, and the median of the per-round ratios peer/ours
// (above 1: ours is faster).
inline void RunRounds(const char* label, size_t bytes, Regime regime, int rounds, std::vector<Contender>& cs) {
  const size_t n = cs.size();
  std::vector<std::vector<double>> times(n);
  const bool fresh = regime == Regime::kCold;
  if (!fresh)
    for (Contender& c : cs) c.parse(false);
  bool failed = false;
  for (int r = 0; r < rounds; ++r) {
    for (size_t k = 0; k < n; ++k) {
      size_t i = (k + static_cast<size_t>(r)) % n;
      if (fresh) malloc_trim(0);
      auto a = std::chrono::steady_clock::now();
      failed |= !cs[i].parse(fresh);
      times[i].push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count());
    }
  }
  const double mb = static_cast<double>(bytes) / 1e6;
  for (size_t i = 0; i < n; ++i) {
    std::vector<double> ratio;
    for (int r = 0; r < rounds; ++r) ratio.push_back(times[i][r] / times[0][r]);
    std::vector<double> sorted = ratio;
    std::sort(sorted.begin(), sorted.end());
    const double t = Median(times[i]);
    std::printf("| %-24s | %s | %-18s | %8.2f | %8.1f | %6.2fx | %5.2f-%5.2f |\n", label, RegimeName(regime), cs[i].name,
                t * 1e3, mb / t, Median(ratio), sorted.front(), sorted.back());
  }
  if (failed) std::printf("(a parse above reported failure)\n");
}

inline void PrintHeader(int rounds) {
  std::printf("%d interleaved rounds per row group; x = median over rounds of (peer time / our time) in the\n"
              "same round, above 1 means ours is faster; the range is the lowest and highest round ratio.\n\n",
              rounds);
  std::printf("| document                 | mode | contender          | ms (med) | MB/s     | x ours  | round range |\n");
  std::printf("|---|---|---|---|---|---|---|\n");
}

}  // namespace xml_bench
