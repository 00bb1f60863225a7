// Parse, navigate, read and modify arbitrary text; after every change the index must
// equal what a fresh parse of the output builds.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "xml/xml_document.h"

namespace {

std::vector<uint32_t> DocumentOrder(const CXmlDocument& doc) {
  std::vector<uint32_t> order{0};
  uint32_t cur = 0;
  for (;;) {
    const ElementRecord& r = doc.GetRecord(cur);
    if (r.firstChild) {
      cur = r.firstChild;
    } else {
      while (cur && !doc.GetRecord(cur).nextSibling) cur = doc.GetRecord(cur).parent;
      if (!cur) break;
      cur = doc.GetRecord(cur).nextSibling;
    }
    order.push_back(cur);
    if (order.size() > doc.GetRecordCount()) abort();  // a cycle
  }
  return order;
}

void CheckAgainstFreshParse(const CXmlDocument& doc) {
  CXmlDocument fresh(doc.GetDocumentText());
  std::vector<uint32_t> a = DocumentOrder(doc), b = DocumentOrder(fresh);
  if (a.size() != doc.GetRecordCount() || a.size() != b.size()) abort();
  std::vector<uint32_t> posA(a.size()), posB(b.size());
  for (uint32_t i = 0; i < a.size(); ++i) posA[a[i]] = i, posB[b[i]] = i;
  auto pos = [](const std::vector<uint32_t>& p, uint32_t r) { return r ? p[r] : 0u; };
  for (uint32_t i = 0; i < a.size(); ++i) {
    const ElementRecord& x = doc.GetRecord(a[i]);
    const ElementRecord& y = fresh.GetRecord(b[i]);
    uint32_t mask = ~ElementRecord::kLevelMask;
    if (x.offset != y.offset || x.length != y.length || x.tagLengths != y.tagLengths ||
        (x.flags & mask) != (y.flags & mask) || pos(posA, x.parent) != pos(posB, y.parent) ||
        pos(posA, x.firstChild) != pos(posB, y.firstChild) || pos(posA, x.nextSibling) != pos(posB, y.nextSibling) ||
        pos(posA, x.prevSibling) != pos(posB, y.prevSibling))
      abort();
    if (x.offset + x.length > doc.GetDocumentText().size()) abort();
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
