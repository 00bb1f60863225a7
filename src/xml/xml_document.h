// A small XML document: one UTF-16 text, indexed without copying it.
//
// Position model. A document keeps three record numbers, 0 meaning "none":
//   parent  the element whose children form the current level (0: the document
//           itself, whose children are the top-level elements);
//   main    the current element at that level (0: none selected yet);
//   child   the current child of main (0: none selected).
// FindElement moves main along the current level, FindChildElement moves child
// among main's children, EnterElement descends (parent = main, main = child) and
// LeaveElement climbs back. GetData and GetAttribute read at main. Every parse puts
// all three back to 0. A typical read:
//   doc.FindElement(u"config"); doc.FindChildElement(u"links"); doc.EnterElement();
//   while (doc.FindElement(u"link")) use(doc.GetAttribute(u"href"), doc.GetData());
//
// Names and paths. FindElement/FindChildElement take a name ("item"), nothing (any
// element), or a path-like argument of which only the first name counts
// ("item[2]" finds the next "item"). Arguments starting with "/" or "//", and
// arguments that are not well-formed paths (a blank inside a name, say), find
// nothing.
//
// Result text. Parsing (and loading) never fails loudly. What went wrong is noted
// in the result text, a string of empty XML elements, one per note, e.g.
//   <lone_end_tag tagname="b" offset="12"/><root_has_sibling/>
// GetResultText() returns it; it stops growing at 1000 characters.
//
// Modification. AddElement and SetAttribute edit the text in place and keep the
// index in step with it; GetDocumentText() is then the complete output.
//
// For code inside the library (the file loader is a member, LoadFile, in its own
// source file): the document text is `text_`, the result text `results_`;
// AddResult() appends or updates a result entry of `results_`, and ParseDocument()
// rebuilds the index from `text_` (it appends its own entries and resets the
// positions). The tokenizer (ScanNode, ReadToken, FindAttribute, MatchName with its
// ignore-case option), the free AddResult over any result string, EscapeText and
// UnescapeText are declared in "xml/xml_markup.h".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace xml {
class DocumentFile;
}

// One element of the index: eight 32-bit words; offsets and lengths count UTF-16
// units of the document text.
struct ElementRecord {
  uint32_t offset;       // the "<" of the start tag
  uint32_t length;       // through the end tag; the start tag's length when there is none
  uint32_t tagLengths;   // bits 0-21 start tag length, bits 22-31 end tag length
  uint32_t flags;        // bits 0-15 level; kFirstChild, kUnended, kNotWellFormed
  uint32_t parent;       // 0 for a top-level element
  uint32_t firstChild;   // 0 when none
  uint32_t nextSibling;  // 0 for the last child
  uint32_t prevSibling;  // for a first child: the last child of the same parent

  static constexpr uint32_t kStartTagMax = 0x3FFFFF;
  static constexpr uint32_t kEndTagMax = 0x3FF;
  static constexpr uint32_t kLevelMax = 0xFFFF;
  static constexpr uint32_t kLevelMask = 0xFFFF;
  static constexpr uint32_t kFirstChild = 1u << 19;
  static constexpr uint32_t kUnended = 1u << 20;
  static constexpr uint32_t kNotWellFormed = 1u << 23;  // record 0 only

  uint32_t StartTagLength() const { return tagLengths & kStartTagMax; }
  uint32_t EndTagLength() const { return tagLengths >> 22; }
  void SetTagLengths(uint32_t start, uint32_t end) { tagLengths = (start & kStartTagMax) | (end << 22); }
  uint32_t Level() const { return flags & kLevelMask; }
};
static_assert(sizeof(ElementRecord) == 32, "an element record is eight words");

// Records in pages of 65536, so that growing past a page never moves full pages.
class ElementIndex {
 public:
  static constexpr uint32_t kPageBits = 16;
  static constexpr uint32_t kPageSize = 1u << kPageBits;

  ElementIndex() = default;
  ~ElementIndex();
  ElementIndex(const ElementIndex&) = delete;
  ElementIndex& operator=(const ElementIndex&) = delete;

  ElementRecord& operator[](uint32_t n) { return pages_[n >> kPageBits][n & (kPageSize - 1)]; }
  const ElementRecord& operator[](uint32_t n) const { return pages_[n >> kPageBits][n & (kPageSize - 1)]; }
  uint32_t Capacity() const { return capacity_; }
  uint32_t PageTableSlots() const { return tableSlots_; }
  // Grows to newCapacity (at most one new page per call); inUse is the number of
  // records in use, whose contents are kept.
  void Grow(uint32_t newCapacity, uint32_t inUse);
  // Makes sure at least `wanted` records exist, growing step by step.
  void Reserve(uint32_t wanted, uint32_t inUse);
  void Free();

 private:
  static uint32_t RoomFor(uint32_t records);

  ElementRecord** pages_ = nullptr;
  uint32_t capacity_ = 0;
  uint32_t tableSlots_ = 0;
  uint32_t lastPageRoom_ = 0;  // records allocated for the last page
};

class CXmlDocument {
 public:
  CXmlDocument();
  explicit CXmlDocument(const char16_t* text);
  explicit CXmlDocument(const std::u16string& text);
  ~CXmlDocument();
  CXmlDocument(const CXmlDocument&) = delete;
  CXmlDocument& operator=(const CXmlDocument&) = delete;

  // Replaces the text (nullptr: empty document, index freed), empties the result
  // text and parses. The text ends at its first zero unit, if it has one.
  bool SetDocument(const char16_t* text = nullptr);
  bool SetDocument(const std::u16string& text);
  // Rebuilds the index from the current text; true when it is well-formed (one
  // root element, no faults).
  bool ParseDocument();
  // Reads a file in any supported encoding and parses it.
  bool LoadFile(const std::u16string& path);
  // The same for a file's bytes already in memory (a document carried as a
  // resource): the same encoding detection and result text as LoadFile.
  bool LoadBytes(const void* data, size_t size);

  bool FindElement(const std::u16string& path = std::u16string());
  bool FindChildElement(const std::u16string& path = std::u16string());
  bool EnterElement();
  bool LeaveElement();
  std::u16string GetData() const { return GetData(main_); }
  std::u16string GetAttribute(const std::u16string& name) const { return GetAttribute(main_, name); }
  std::u16string GetData(uint32_t record) const;
  std::u16string GetAttribute(uint32_t record, const std::u16string& name) const;

  // Inserts the empty element <name/> after main (or at the end of the current
  // level) and makes it main. False, with nothing changed, for a name that would
  // not read back as that element, or when the place has no end tag to insert
  // before, or the result would not read back as the same tree.
  bool AddElement(const std::u16string& name);
  // Sets (replaces or adds) an attribute of main. False when main is 0 or the
  // change would not read back as the same element.
  bool SetAttribute(const std::u16string& name, const std::u16string& value) {
    return main_ != 0 && SetAttribute(main_, name, value);
  }
  bool SetAttribute(uint32_t record, const std::u16string& name, const std::u16string& value);

  const std::u16string& GetDocumentText() const { return text_; }
  const std::u16string& GetResultText() const { return results_; }

  // The index, for tools and tests.
  uint32_t GetRecordCount() const { return recordCount_; }
  const ElementRecord& GetRecord(uint32_t n) const { return index_[n]; }
  const ElementIndex& GetIndex() const { return index_; }
  uint32_t GetParentPosition() const { return parent_; }
  uint32_t GetMainPosition() const { return main_; }
  uint32_t GetChildPosition() const { return child_; }

 private:
  struct ParsedPath;
  bool LoadFrom(xml::DocumentFile& reader, bool opened);
  static ParsedPath ParsePath(const std::u16string& arg);

  // Adds (or with update, updates the first entry named `name` of) the result
  // text. valueAttr/numberAttr may be nullptr for none; offset2 -1 for none.
  void AddResult(const char16_t* name, const char16_t* valueAttr, const std::u16string& value,
                 const char16_t* numberAttr, int32_t number, int32_t offset2 = -1, bool update = false);

  // ParseDocument for a text known to hold no zero unit.
  bool IndexText();
  uint32_t BuildElementIndex();
  // Closes `count` open elements without their end tags, innermost first.
  void CloseUnended(uint32_t innermost, uint32_t count, const std::u16string* names, int32_t offset2);
  uint32_t FindSibling(uint32_t parent, uint32_t current, const ParsedPath& path) const;
  void ReplaceText(uint32_t offset, uint32_t length, const std::u16string& replacement);
  void AdjustOffsets(uint32_t record, int32_t change, bool skipChildren);
  bool TailIsOpen() const;

  std::u16string text_;
  std::u16string results_;
  uint32_t parent_ = 0;
  uint32_t main_ = 0;
  uint32_t child_ = 0;
  uint32_t recordCount_ = 0;
  ElementIndex index_;
};
