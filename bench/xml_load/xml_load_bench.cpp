// LoadFile (read, detect, convert to UTF-16, index) against pugixml's load_file
// (read and parse in place) on the same 20 MB UTF-8 file; median of several rounds,
// in MB of file per second.
#include <pugixml.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/text.h"
#include "xml/xml_document.h"

namespace {

double MedianSeconds(int rounds, bool (*run)(const std::string&), const std::string& path) {
  std::vector<double> t;
  for (int i = 0; i < rounds; ++i) {
    auto a = std::chrono::steady_clock::now();
    if (!run(path)) std::fprintf(stderr, "load failed\n");
    t.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count());
  }
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}

bool Ours(const std::string& path) {
  CXmlDocument doc;
  return doc.LoadFile(platform::Utf8ToWide(path));
}

bool Theirs(const std::string& path) {
  pugi::xml_document doc;
  return static_cast<bool>(doc.load_file(path.c_str()));
}

}  // namespace

int main(int argc, char** argv) {
  std::string path = argc > 1 ? argv[1] : "/tmp/xml_load_bench.xml";
  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<config>\n";
  for (int i = 0; s.size() < 20u * 1000 * 1000; ++i)
    s += "  <product id=\"" + std::to_string(i) + "\" name=\"Caf\xC3\xA9 &amp; Co \xE2\x82\xAC\">\n"
         "    <link os=\"win7\">http://example.com/pkg/" + std::to_string(i) + ".exe</link>\n  </product>\n";
  s += "</config>\n";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(s.data(), 1, s.size(), f) != s.size()) return 1;
  std::fclose(f);
  double mb = static_cast<double>(s.size()) / 1e6;
  double ours = MedianSeconds(7, Ours, path);
  double theirs = MedianSeconds(7, Theirs, path);
  std::printf("file %.1f MB UTF-8\nLoadFile        %7.1f ms  %7.1f MB/s\npugixml load_file %5.1f ms  %7.1f MB/s\n", mb,
              ours * 1e3, mb / ours, theirs * 1e3, mb / theirs);
  std::remove(path.c_str());
  return 0;
}
