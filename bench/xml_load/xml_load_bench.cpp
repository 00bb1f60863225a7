// CXmlDocument::LoadFile (read, detect the encoding, convert to UTF-16, index)
// against pugixml's load_file (read, parse in place) on the same UTF-8 files, warm
// and cold; the files stay in the page cache in both regimes.
//   xml_load_bench [rounds] [folder]
#include <pugixml.hpp>

#include <cstdlib>

#include "platform/text.h"
#include "xml/xml_bench_rounds.h"
#include "xml/xml_document.h"

using xml_bench::Contender;

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 15;
  const std::string folder = argc > 2 ? argv[2] : "/tmp";
  xml_bench::KeepFreedMemory();
  xml_bench::PrintHeader(rounds);
  int n = 0;
  for (const xml_bench::Document& d : xml_bench::Documents()) {
    const std::string path = folder + "/xml_load_bench_" + std::to_string(n++) + ".xml";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(d.utf8.data(), 1, d.utf8.size(), f) != d.utf8.size()) return 1;
    std::fclose(f);
    const std::u16string widePath = platform::Utf8ToWide(path);
    std::vector<Contender> cs = {
        xml_bench::MakeContender<CXmlDocument>("ours LoadFile",
                           [&widePath](CXmlDocument& doc) { return doc.LoadFile(widePath) || doc.GetRecordCount() > 1; }),
        xml_bench::MakeContender<pugi::xml_document>("pugixml load_file",
                                 [&path](pugi::xml_document& doc) { return static_cast<bool>(doc.load_file(path.c_str())); }),
    };
    for (xml_bench::Regime regime : {xml_bench::Regime::kWarm, xml_bench::Regime::kCold})
      xml_bench::RunRounds(d.label, d.utf8.size(), regime, rounds, cs);
    std::remove(path.c_str());
  }
  return 0;
}
