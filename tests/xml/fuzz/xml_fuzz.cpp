// Parse, navigate, read and modify arbitrary text; after every change the index must
// equal what a fresh parse of the output builds. Every text is parsed both with the
// quick reading and with every node through the full scanner, and the two documents
// must stay the same through every operation. The input's bytes also go through the
// well-formed UTF-8 decoder, which must agree with the code-page seam.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/text.h"
#include "xml/xml_document.h"
#include "xml/xml_markup.h"
#include "xml_index_check.h"

namespace {

void CheckAgainstFreshParse(const CXmlDocument& doc) {
  if (!IndexDifference(doc, true).empty()) abort();
  for (uint32_t i = 0; i < doc.GetRecordCount(); ++i) {
    const ElementRecord& r = doc.GetRecord(i);
    if (r.offset + r.length > doc.GetDocumentText().size()) abort();
  }
}

// What the decoder takes must be what the seam makes of it; what it refuses must be
// input the seam finds faults in.
void CheckUtf8(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::u16string decoded(size + 1, u'\0');
  const ptrdiff_t n = platform::DecodeWellFormedUtf8(bytes, &decoded[0]);
  std::u16string seam(size + 1, u'\0');
  const int32_t m = platform::CodePageToWide(65001, bytes.data(), static_cast<int32_t>(size), &seam[0],
                                             static_cast<int32_t>(seam.size()));
  seam.resize(static_cast<size_t>(m > 0 ? m : 0));
  if (n >= 0) {
    decoded.resize(static_cast<size_t>(n));
    if (decoded != seam || platform::Utf8ToWide(bytes) != seam) abort();
  } else if (seam.find(u'\xFFFD') == std::u16string::npos) {
    abort();
  }
}

void CheckSame(const CXmlDocument& quick, const CXmlDocument& full) {
  if (!DocumentDifference(quick, full).empty()) abort();
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
  CheckUtf8(data, size);
  CXmlDocument doc, full;
  if (!ScannerDifference(text, doc, full).empty()) abort();
  CheckAgainstFreshParse(doc);
  for (size_t i = 0; i < ops; ++i) {
    uint8_t op = data[i];
    const char16_t* name = kNames[(op >> 4) & 7];
    // Every operation on both documents, with the results compared.
    auto both = [&](auto&& f) {
      if (f(doc) != f(full)) abort();
    };
    switch (op & 15) {
      case 0: both([&](CXmlDocument& d) { return d.FindElement(name); }); break;
      case 1: both([&](CXmlDocument& d) { return d.FindChildElement(name); }); break;
      case 2: both([&](CXmlDocument& d) { return d.EnterElement(); }); break;
      case 3: both([&](CXmlDocument& d) { return d.LeaveElement(); }); break;
      case 4: both([&](CXmlDocument& d) { return d.GetData(); }); break;
      case 5: both([&](CXmlDocument& d) { return d.GetAttribute(name); }); break;
      case 6:
        both([&](CXmlDocument& d) { return d.AddElement(name); });
        CheckAgainstFreshParse(doc);
        break;
      case 7:
        both([&](CXmlDocument& d) { return d.SetAttribute(name, u"<&'\">"); });
        CheckAgainstFreshParse(doc);
        break;
      case 8:
        both([&](CXmlDocument& d) { return d.SetAttribute(name, u""); });
        CheckAgainstFreshParse(doc);
        break;
      default:
        for (uint32_t r = 0; r < doc.GetRecordCount(); ++r) {
          if (doc.GetData(r) != full.GetData(r)) abort();
          if (doc.GetAttribute(r, name) != full.GetAttribute(r, name)) abort();
        }
    }
    CheckSame(doc, full);
  }
  return 0;
}
