// Parse, navigate, read and modify arbitrary text; after every change the index must
// equal what a fresh parse of the output builds.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "xml/xml_document.h"
#include "xml_index_check.h"

namespace {

void CheckAgainstFreshParse(const CXmlDocument& doc) {
  if (!IndexDifference(doc, true).empty()) abort();
  for (uint32_t i = 0; i < doc.GetRecordCount(); ++i) {
    const ElementRecord& r = doc.GetRecord(i);
    if (r.offset + r.length > doc.GetDocumentText().size()) abort();
  }
}

const char16_t* const kNames[] = {u"", u"a", u"b", u"item[2]", u"/a", u"a b", u"x:y", u"v"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The first bytes drive the operations, the rest is the text (bytes above 0xF0
  // stand for characters beyond Latin-1, so that surrogates and the like appear).
  size_t ops = size < 16 ? size / 2 : 8;
  std::u16string text;
  for (size_t i = ops; i < size; ++i) {
    uint8_t b = data[i];
    text += b >= 0xF0 ? char16_t(0xD7F0 + (b - 0xF0) * 0x11) : char16_t(b);
  }
  CXmlDocument doc(text);
  CheckAgainstFreshParse(doc);
  for (size_t i = 0; i < ops; ++i) {
    uint8_t op = data[i];
    const char16_t* name = kNames[(op >> 4) & 7];
    switch (op & 15) {
      case 0: doc.FindElement(name); break;
      case 1: doc.FindChildElement(name); break;
      case 2: doc.EnterElement(); break;
      case 3: doc.LeaveElement(); break;
      case 4: (void)doc.GetData(); break;
      case 5: (void)doc.GetAttribute(name); break;
      case 6: if (doc.AddElement(name)) CheckAgainstFreshParse(doc); break;
      case 7: if (doc.SetAttribute(name, u"<&'\">")) CheckAgainstFreshParse(doc); break;
      case 8: if (doc.SetAttribute(name, u"")) CheckAgainstFreshParse(doc); break;
      default:
        for (uint32_t r = 0; r < doc.GetRecordCount(); ++r) {
          (void)doc.GetData(r);
          (void)doc.GetAttribute(r, name);
        }
    }
  }
  return 0;
}
