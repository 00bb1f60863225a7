// ParseDocument throughput against pugixml, RapidXML and tinyxml2 on the same
// generated documents (ours as UTF-16, theirs as UTF-8), in MB of source text per
// second, median of several rounds.
#include <pugixml.hpp>
#include <rapidxml/rapidxml.hpp>
#include <tinyxml2.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/text.h"
#include "xml/xml_document.h"

namespace {

std::string ConfigLike(size_t target) {
  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<config>\n";
  for (int i = 0; s.size() < target; ++i)
    s += "  <product id=\"" + std::to_string(i) + "\" name=\"Product &amp; Co\">\n    <link os=\"win7\" bits=\"64\">"
         "http://example.com/pkg/" + std::to_string(i) + ".exe</link>\n    <key>SOFTWARE\\Vendor\\P" +
         std::to_string(i) + "</key>\n  </product>\n";
  return s + "</config>\n";
}

std::string TextHeavy(size_t target) {
  std::string s = "<doc>\n";
  std::string para(2000, 'x');
  for (size_t i = 0; i < para.size(); i += 7) para[i] = ' ';
  while (s.size() < target) s += "<p>" + para + " &lt;tag&gt; and more</p>\n";
  return s + "</doc>\n";
}

std::string ManyEmpty(size_t count) {
  std::string s = "<r>";
  for (size_t i = 0; i < count; ++i) s += "<e/>";
  return s + "</r>";
}

double MedianSeconds(int rounds, const std::function<void()>& f) {
  std::vector<double> t;
  for (int i = 0; i < rounds; ++i) {
    auto a = std::chrono::steady_clock::now();
    f();
    t.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count());
  }
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}

void Run(const char* label, const std::string& utf8) {
  const int rounds = 7;
  std::u16string wide = platform::Utf8ToWide(utf8);
  double mb = utf8.size() / 1e6;
  CXmlDocument doc;
  double ours = MedianSeconds(rounds, [&] { doc.SetDocument(wide); });
  double pugi = MedianSeconds(rounds, [&] {
    pugi::xml_document d;
    d.load_buffer(utf8.data(), utf8.size());
  });
  double rapid = MedianSeconds(rounds, [&] {
    std::vector<char> buf(utf8.begin(), utf8.end());
    buf.push_back(0);
    rapidxml::xml_document<> d;
    d.parse<0>(buf.data());
  });
  double tiny = MedianSeconds(rounds, [&] {
    tinyxml2::XMLDocument d;
    d.Parse(utf8.data(), utf8.size());
  });
  std::printf("| %-22s | %7.1f | %7.1f | %7.1f | %7.1f | %5.2f | %5.2f | %5.2f |\n", label, mb / ours, mb / pugi,
              mb / rapid, mb / tiny, pugi / ours, rapid / ours, tiny / ours);
}

}  // namespace

int main() {
  std::printf("| document               | ours MB/s | pugixml | RapidXML | tinyxml2 | x pugi | x rapid | x tiny |\n");
  std::printf("|---|---|---|---|---|---|---|---|\n");
  Run("config-like 20 MB", ConfigLike(20u << 20));
  Run("text-heavy 20 MB", TextHeavy(20u << 20));
  Run("1,000,000 empty elements", ManyEmpty(1000000));
  std::printf("(ratio x = peer time / our time: above 1 means ours is faster)\n");
  return 0;
}
