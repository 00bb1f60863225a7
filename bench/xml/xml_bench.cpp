// Parse throughput of CXmlDocument::SetDocument (UTF-16 text, its copy included)
// against pugixml, RapidXML and tinyxml2 parsing the same document from UTF-8 in
// memory (each copies the text as it needs), warm and cold.
//   xml_bench [rounds]
#include <pugixml.hpp>
#include <rapidxml/rapidxml.hpp>
#include <tinyxml2.h>

#include <cstdlib>

#include "platform/text.h"
#include "xml/xml_bench_rounds.h"
#include "xml/xml_document.h"

namespace {

using xml_bench::Contender;

// RapidXML parses in place: the copy of the text is its document's memory.
struct RapidDoc {
  std::vector<char> buffer;
  rapidxml::xml_document<> doc;
};

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 15;
  xml_bench::KeepFreedMemory();
  xml_bench::PrintHeader(rounds);
  for (const xml_bench::Document& d : xml_bench::Documents()) {
    const std::string& utf8 = d.utf8;
    const std::u16string wide = platform::Utf8ToWide(utf8);
    std::vector<Contender> cs = {
        xml_bench::MakeContender<CXmlDocument>("ours SetDocument", [&wide](CXmlDocument& doc) {
          doc.SetDocument(wide);
          return doc.GetRecordCount() > 1;
        }),
        xml_bench::MakeContender<pugi::xml_document>("pugixml load_buffer", [&utf8](pugi::xml_document& doc) {
          return static_cast<bool>(doc.load_buffer(utf8.data(), utf8.size()));
        }),
        xml_bench::MakeContender<RapidDoc>("RapidXML parse", [&utf8](RapidDoc& r) {
          r.doc.clear();
          r.buffer.assign(utf8.begin(), utf8.end());
          r.buffer.push_back(0);
          r.doc.parse<0>(r.buffer.data());
          return r.doc.first_node() != nullptr;
        }),
        xml_bench::MakeContender<tinyxml2::XMLDocument>("tinyxml2 Parse", [&utf8](tinyxml2::XMLDocument& doc) {
          return doc.Parse(utf8.data(), utf8.size()) == tinyxml2::XML_SUCCESS;
        }),
    };
    for (xml_bench::Regime regime : {xml_bench::Regime::kWarm, xml_bench::Regime::kCold})
      xml_bench::RunRounds(d.label, utf8.size(), regime, rounds, cs);
  }
  return 0;
}
