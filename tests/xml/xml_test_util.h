#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/text.h"
#include "xml/xml_document.h"

inline std::u16string U(const char* s) { return platform::Utf8ToWide(s); }
inline std::string N(const std::u16string& s) { return platform::WideToUtf8(s); }

// Records in document order (record 0 first), so that two indexes can be compared
// whatever order their records were made in.
inline std::vector<uint32_t> DocumentOrder(const CXmlDocument& doc) {
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
    if (order.size() > doc.GetRecordCount()) break;  // a cycle: reported below
  }
  return order;
}

// The index of a changed document must be what a fresh parse of its text builds:
// the same records, the same tree. Levels are left out when ignoreLevels is set
// (they are not recomputed when an unended element gives up its children).
inline ::testing::AssertionResult IndexMatchesFreshParse(const CXmlDocument& doc, bool ignoreLevels = false) {
  CXmlDocument fresh(doc.GetDocumentText());
  std::vector<uint32_t> a = DocumentOrder(doc), b = DocumentOrder(fresh);
  if (a.size() != doc.GetRecordCount() || b.size() != fresh.GetRecordCount() || a.size() != b.size())
    return ::testing::AssertionFailure() << "element count " << a.size() << "/" << doc.GetRecordCount()
                                         << " vs fresh " << b.size() << "/" << fresh.GetRecordCount() << " for "
                                         << N(doc.GetDocumentText());
  std::vector<uint32_t> posA(a.size() + 1), posB(b.size() + 1);
  for (uint32_t i = 0; i < a.size(); ++i) posA[a[i]] = i, posB[b[i]] = i;
  uint32_t levelMask = ignoreLevels ? ~ElementRecord::kLevelMask : ~0u;
  for (uint32_t i = 0; i < a.size(); ++i) {
    const ElementRecord& x = doc.GetRecord(a[i]);
    const ElementRecord& y = fresh.GetRecord(b[i]);
    uint32_t wa[8] = {x.offset, x.length, x.tagLengths, x.flags & levelMask,
                      posA[x.parent], x.firstChild ? posA[x.firstChild] : 0,
                      x.nextSibling ? posA[x.nextSibling] : 0, x.prevSibling ? posA[x.prevSibling] : 0};
    uint32_t wb[8] = {y.offset, y.length, y.tagLengths, y.flags & levelMask,
                      posB[y.parent], y.firstChild ? posB[y.firstChild] : 0,
                      y.nextSibling ? posB[y.nextSibling] : 0, y.prevSibling ? posB[y.prevSibling] : 0};
    for (int w = 0; w < 8; ++w)
      if (wa[w] != wb[w])
        return ::testing::AssertionFailure() << "element " << i << " word " << w << ": " << wa[w] << " vs fresh "
                                             << wb[w] << " for " << N(doc.GetDocumentText());
  }
  return ::testing::AssertionSuccess();
}
