// Whether a document's element index is what a fresh parse of its text builds, for
// the tests and the fuzzer alike (no test framework here).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "xml/xml_document.h"
#include "xml/xml_markup.h"

// Records in document order (record 0 first), so that two indexes can be compared
// whatever order their records were made in. A cycle ends the walk early, which the
// comparison below reports as a count mismatch.
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
    if (order.size() > doc.GetRecordCount()) break;
  }
  return order;
}

// Empty when the index equals a fresh parse's: the same records, the same tree.
// Otherwise what differs. Levels are left out when ignoreLevels is set (they are
// not recomputed when an unended element gives up its children).
inline std::string IndexDifference(const CXmlDocument& doc, bool ignoreLevels) {
  CXmlDocument fresh(doc.GetDocumentText());
  std::vector<uint32_t> a = DocumentOrder(doc), b = DocumentOrder(fresh);
  if (a.size() != doc.GetRecordCount() || b.size() != fresh.GetRecordCount() || a.size() != b.size())
    return "element count " + std::to_string(a.size()) + "/" + std::to_string(doc.GetRecordCount()) +
           " vs fresh " + std::to_string(b.size()) + "/" + std::to_string(fresh.GetRecordCount());
  std::vector<uint32_t> posA(a.size() + 1), posB(b.size() + 1);
  for (uint32_t i = 0; i < a.size(); ++i) posA[a[i]] = i, posB[b[i]] = i;
  const uint32_t levelMask = ignoreLevels ? ~ElementRecord::kLevelMask : ~0u;
  for (uint32_t i = 0; i < a.size(); ++i) {
    const ElementRecord& x = doc.GetRecord(a[i]);
    const ElementRecord& y = fresh.GetRecord(b[i]);
    const uint32_t wa[8] = {x.offset, x.length, x.tagLengths, x.flags & levelMask,
                            posA[x.parent], x.firstChild ? posA[x.firstChild] : 0,
                            x.nextSibling ? posA[x.nextSibling] : 0, x.prevSibling ? posA[x.prevSibling] : 0};
    const uint32_t wb[8] = {y.offset, y.length, y.tagLengths, y.flags & levelMask,
                            posB[y.parent], y.firstChild ? posB[y.firstChild] : 0,
                            y.nextSibling ? posB[y.nextSibling] : 0, y.prevSibling ? posB[y.prevSibling] : 0};
    for (int w = 0; w < 8; ++w)
      if (wa[w] != wb[w])
        return "element " + std::to_string(i) + " word " + std::to_string(w) + ": " + std::to_string(wa[w]) +
               " vs fresh " + std::to_string(wb[w]);
  }
  return {};
}

// Empty when two documents hold the same text, result text, positions and records
// word for word, in the order they were made; otherwise the first difference.
inline std::string DocumentDifference(const CXmlDocument& a, const CXmlDocument& b) {
  if (a.GetDocumentText() != b.GetDocumentText()) return "document text";
  if (a.GetResultText() != b.GetResultText()) return "result text";
  if (a.GetParentPosition() != b.GetParentPosition() || a.GetMainPosition() != b.GetMainPosition() ||
      a.GetChildPosition() != b.GetChildPosition())
    return "positions";
  if (a.GetRecordCount() != b.GetRecordCount())
    return "record count " + std::to_string(a.GetRecordCount()) + " vs " + std::to_string(b.GetRecordCount());
  for (uint32_t i = 0; i < a.GetRecordCount(); ++i) {
    const ElementRecord& x = a.GetRecord(i);
    const ElementRecord& y = b.GetRecord(i);
    const uint32_t wa[8] = {x.offset, x.length, x.tagLengths, x.flags, x.parent, x.firstChild, x.nextSibling, x.prevSibling};
    const uint32_t wb[8] = {y.offset, y.length, y.tagLengths, y.flags, y.parent, y.firstChild, y.nextSibling, y.prevSibling};
    for (int w = 0; w < 8; ++w)
      if (wa[w] != wb[w])
        return "record " + std::to_string(i) + " word " + std::to_string(w) + ": " + std::to_string(wa[w]) + " vs " +
               std::to_string(wb[w]);
  }
  return {};
}

// Parses `text` once with the quick reading and once with every node through the
// full scanner; empty when both give the same document. `quick` and `full` are
// left holding the two parses.
inline std::string ScannerDifference(const std::u16string& text, CXmlDocument& quick, CXmlDocument& full) {
  const bool was = xml::FullScannerOnly();
  xml::SetFullScannerOnly(false);
  const bool okQuick = quick.SetDocument(text);
  xml::SetFullScannerOnly(true);
  const bool okFull = full.SetDocument(text);
  xml::SetFullScannerOnly(was);
  if (okQuick != okFull) return "well-formedness";
  return DocumentDifference(quick, full);
}

inline std::string ScannerDifference(const std::u16string& text) {
  CXmlDocument quick, full;
  return ScannerDifference(text, quick, full);
}
