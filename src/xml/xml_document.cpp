// The document, its element index and the operations over it.
#include "xml/xml_document.h"

#include <cstring>
#include <vector>

#include "xml/xml_fast_scan.h"
#include "xml/xml_markup.h"

using xml::TokenCursor;
using xml::XmlNode;

// ---- ElementIndex -------------------------------------------------------------

ElementIndex::~ElementIndex() { Free(); }

void ElementIndex::Free() {
  if (pages_) {
    uint32_t used = capacity_ ? ((capacity_ - 1) >> kPageBits) + 1 : 0;
    for (uint32_t i = 0; i < used; ++i) delete[] pages_[i];
    delete[] pages_;
  }
  pages_ = nullptr;
  capacity_ = 0;
  tableSlots_ = 0;
  lastPageRoom_ = 0;
}

void ElementIndex::Grow(uint32_t m, uint32_t /*inUse*/) {
  if (m <= capacity_) return;
  // The last page that exists now; growth never adds more than one page.
  uint32_t b = capacity_ ? (capacity_ - 1) >> kPageBits : 0;
  uint32_t d = (m - 1) >> kPageBits;
  if (d > b + 1) {
    d = b + 1;
    m = (b + 2) * kPageSize;
  }
  if (tableSlots_ <= d) {
    uint32_t slots = 2 * d + 4;
    auto table = new ElementRecord*[slots]();
    uint32_t used = capacity_ ? b + 1 : 0;
    for (uint32_t i = 0; i < used; ++i) table[i] = pages_[i];
    delete[] pages_;
    pages_ = table;
    tableSlots_ = slots;
  }
  // A partial last page is allocated in powers of two, so that growing within it
  // copies it only when the room runs out, a logarithmic number of times.
  uint32_t bHeld = capacity_ ? capacity_ - b * kPageSize : 0;
  auto moveLastPage = [&](uint32_t room) {
    auto page = new ElementRecord[room];
    if (bHeld) std::memcpy(page, pages_[b], bHeld * sizeof(ElementRecord));
    delete[] pages_[b];
    pages_[b] = page;
    lastPageRoom_ = room;
  };
  if (d > b && lastPageRoom_ < kPageSize) moveLastPage(kPageSize);
  const uint32_t needed = m - kPageSize * d;
  if (d == b && bHeld) {
    if (needed > lastPageRoom_) moveLastPage(RoomFor(needed));
  } else {
    pages_[d] = new ElementRecord[RoomFor(needed)];
    lastPageRoom_ = RoomFor(needed);
  }
  capacity_ = m;
}

uint32_t ElementIndex::RoomFor(uint32_t records) {
  uint32_t room = 64;
  while (room < records) room *= 2;
  return room;
}

void ElementIndex::Reserve(uint32_t wanted, uint32_t inUse) {
  while (capacity_ < wanted) Grow(wanted, inUse);
}

// ---- construction ---------------------------------------------------------------

CXmlDocument::CXmlDocument() { SetDocument(nullptr); }
CXmlDocument::CXmlDocument(const char16_t* text) { SetDocument(text); }
CXmlDocument::CXmlDocument(const std::u16string& text) { SetDocument(text); }
CXmlDocument::~CXmlDocument() = default;

bool CXmlDocument::SetDocument(const char16_t* text) {
  if (text) {
    text_ = text;
  } else {
    text_.clear();
    index_.Free();
  }
  results_.clear();
  return IndexText();
}

bool CXmlDocument::SetDocument(const std::u16string& text) {
  // Copied up to the first zero unit in one pass: the text ends there.
  if (text_.size() != text.size()) text_.resize(text.size());
  text_.resize(xml::fast::CopyToZero(&text_[0], text.data(), text.size()));
  results_.clear();
  return IndexText();
}

void CXmlDocument::AddResult(const char16_t* name, const char16_t* valueAttr, const std::u16string& value,
                             const char16_t* numberAttr, int32_t number, int32_t offset2, bool update) {
  xml::AddResult(results_, name, valueAttr, value, numberAttr, number, offset2, update);
}

// ---- parsing ---------------------------------------------------------------------

bool CXmlDocument::ParseDocument() {
  // The scanner stops at a zero unit; the text ends there for every reader.
  const uint32_t n = static_cast<uint32_t>(text_.size());
  const uint32_t zero = xml::fast::Find(text_.c_str(), 0, n, char16_t(0));
  if (zero != n) text_.resize(zero);
  return IndexText();
}

bool CXmlDocument::IndexText() {
  parent_ = main_ = child_ = 0;
  recordCount_ = 1;
  uint32_t length = static_cast<uint32_t>(text_.size());
  index_.Reserve(length / 64 + 8, 1);
  index_[0] = ElementRecord{};
  uint32_t first = 0;
  if (length > 0) {
    first = BuildElementIndex();
    index_[0].length = length;
    if (!first) {
      AddResult(u"no_root_element", nullptr, {}, nullptr, 0);
    } else {
      index_[0].firstChild = first;
      if (index_[first].nextSibling) AddResult(u"root_has_sibling", nullptr, {}, nullptr, 0);
    }
  }
  parent_ = main_ = child_ = 0;
  return !(index_[0].flags & ElementRecord::kNotWellFormed) && first && !index_[first].nextSibling;
}

namespace {

void LinkLastChild(ElementIndex& index, uint32_t parent, uint32_t n) {
  ElementRecord& p = index[parent];
  if (!p.firstChild) {
    p.firstChild = n;
    index[n].flags |= ElementRecord::kFirstChild;
    index[n].prevSibling = n;
  } else {
    uint32_t f = p.firstChild;
    uint32_t last = index[f].prevSibling;
    index[last].nextSibling = n;
    index[n].prevSibling = last;
    index[f].prevSibling = n;
  }
}

// Appends the scanner's entries one by one, so that the result text's limit holds.
void AppendEntries(std::u16string& results, std::u16string& entries) {
  size_t p = 0;
  while (p < entries.size() && results.size() < 1000) {
    size_t e = entries.find(u"/>", p);
    if (e == std::u16string::npos) break;
    results.append(entries, p, e + 2 - p);
    p = e + 2;
  }
  entries.clear();
}

}  // namespace

// Closing innermost first makes each element's children (the next inner open element
// among them) its following siblings; done one element at a time, deep unclosed
// nesting would move the same children again at every level. The whole run of open
// elements is therefore flattened in one pass, to the same tree.
void CXmlDocument::CloseUnended(uint32_t innermost, uint32_t count, const std::u16string* names, int32_t offset2) {
  std::vector<uint32_t> chain(count);  // outermost first
  uint32_t e = innermost;
  for (uint32_t i = 0; i < count; ++i) {
    chain[count - 1 - i] = e;
    ElementRecord& rec = index_[e];
    rec.flags |= ElementRecord::kUnended;
    rec.length = rec.StartTagLength();
    rec.SetTagLengths(rec.StartTagLength(), 0);
    AddResult(u"unended_start_tag", u"tagname", names[i], u"offset", static_cast<int32_t>(rec.offset), offset2);
    e = rec.parent;
  }
  index_[0].flags |= ElementRecord::kNotWellFormed;
  uint32_t parent = index_[chain[0]].parent;
  uint32_t oldNext = index_[chain[0]].nextSibling;
  uint32_t tail = chain[0];
  for (uint32_t el : chain) {
    ElementRecord& rec = index_[el];
    uint32_t fc = rec.firstChild;
    if (!fc) continue;
    uint32_t last = index_[fc].prevSibling;
    for (uint32_t k = fc; k; k = index_[k].nextSibling) index_[k].parent = parent;
    index_[fc].flags &= ~ElementRecord::kFirstChild;
    index_[fc].prevSibling = el;
    rec.nextSibling = fc;
    rec.firstChild = 0;
    tail = last;
  }
  index_[tail].nextSibling = oldNext;
  if (oldNext) {
    index_[oldNext].prevSibling = tail;
  } else {
    index_[index_[parent].firstChild].prevSibling = tail;
  }
}

namespace {

// One entry per open level (0: the document): the open element's name.
struct Level {
  int32_t offset, length;
};

struct BuildState {
  uint32_t count;     // records in use
  uint32_t capacity;  // of the index
  uint32_t depth;
  uint32_t current;   // the open element at depth (0: the document)
  uint32_t first;     // the first top-level element
};

// Reads nodes from `next` for as long as the quick scanner knows them and each
// needs no more than a record written or closed; stops at the first that needs
// more (a fault, growth, a mismatched end tag), leaving it to the full path. The
// state is held in locals throughout: records are words of the same type, and
// state the compiler could not keep in registers would be reloaded after every
// record written.
void QuickRun(ElementIndex& index, const char16_t* t, uint32_t length, std::vector<Level>& stack, BuildState& st,
              int32_t& next) {
  uint32_t p = static_cast<uint32_t>(next);
  uint32_t count = st.count, depth = st.depth, current = st.current, first = st.first;
  const uint32_t capacity = st.capacity;
  Level* levels = stack.data();
  const size_t levelSlots = stack.size();
  // The records in reach, by address: pages do not move while no page is added.
  // The open element's first child points back to its last one.
  uint32_t levelFirst = index[current].firstChild;
  uint32_t levelLast = levelFirst ? index[levelFirst].prevSibling : 0;
  ElementRecord* firstRec = levelFirst ? &index[levelFirst] : nullptr;
  ElementRecord* lastRec = levelLast ? &index[levelLast] : nullptr;
  ElementRecord* currentRec = &index[current];
  ElementRecord* slot = nullptr;  // where record `count` goes
  uint32_t slotsLeft = 0;         // from there to the end of its page or of the index
  xml::fast::Tag tag;
  for (;;) {
    const char16_t ch = t[p];
    if (ch != u'<') {
      if (ch == 0) break;
      // Text does not reach the index: only where the next markup starts counts.
      p = xml::fast::Find(t, p + 1, length, u'<');
      continue;
    }
    const char16_t ch1 = t[p + 1];
    if (xml::fast::IsNameStart(ch1)) {
      if (!slotsLeft) {
        if (count == capacity) break;
        slot = &index[count];
        const uint32_t inPage = ElementIndex::kPageSize - (count & (ElementIndex::kPageSize - 1));
        slotsLeft = capacity - count < inPage ? capacity - count : inPage;
      }
      if (depth >= ElementRecord::kLevelMax || depth + 1 >= levelSlots) break;
      if (!xml::fast::StartTag(t, length, p, tag)) break;
      const uint32_t size = tag.next - p;
      if (size > ElementRecord::kStartTagMax) break;
      const uint32_t n = count++;
      ElementRecord* rec = slot++;
      --slotsLeft;
      uint32_t flags = depth, prev;
      if (!firstRec) {
        currentRec->firstChild = n;
        flags |= ElementRecord::kFirstChild;
        prev = n;
        levelFirst = n;
        firstRec = rec;
      } else {
        lastRec->nextSibling = n;
        firstRec->prevSibling = n;
        prev = levelLast;
      }
      levelLast = n;
      lastRec = rec;
      *rec = ElementRecord{p, size, size, flags, current, 0, 0, prev};
      if (!first) first = n;
      if (!tag.empty) {
        ++depth;
        levels[depth] = Level{static_cast<int32_t>(p + 1), static_cast<int32_t>(tag.nameEnd - p)};
        levelFirst = levelLast = 0;
        firstRec = lastRec = nullptr;
        current = n;
        currentRec = rec;
      }
      p = tag.next;
      continue;
    }
    // An end tag is read quickly only as "</name>" for the open element's name: a
    // name holds none of the units that end one, so the full scanner reads the
    // same name there.
    if (ch1 != u'/' || depth == 0) break;
    const Level& open = levels[depth];
    const uint32_t nameLength = static_cast<uint32_t>(open.length);
    const char16_t* at = t + p + 2;
    if (!xml::fast::SameName(t, length, p + 2, static_cast<uint32_t>(open.offset), nameLength) ||
        at[nameLength] != u'>')
      break;
    const uint32_t size = nameLength + 3;
    if (size > ElementRecord::kEndTagMax) break;
    ElementRecord* rec = currentRec;
    rec->length = p + size - rec->offset;
    rec->SetTagLengths(rec->StartTagLength(), size);
    // The element just closed is the last child of its parent.
    levelLast = current;
    current = rec->parent;
    currentRec = &index[current];
    --depth;
    levelFirst = currentRec->firstChild;
    firstRec = &index[levelFirst];
    lastRec = rec;
    p += size;
  }
  st = BuildState{count, capacity, depth, current, first};
  next = static_cast<int32_t>(p);
}

}  // namespace

uint32_t CXmlDocument::BuildElementIndex() {
  const char16_t* t = text_.c_str();
  const uint32_t length = static_cast<uint32_t>(text_.size());
  const bool quick = !xml::FullScannerOnly();
  TokenCursor c(t);
  XmlNode node;
  BuildState st{recordCount_, index_.Capacity(), 0, 0, 0};
  std::vector<Level> stack(8, Level{0, 0});
  auto stackName = [&](uint32_t d) {
    return std::u16string(t + stack[d].offset, static_cast<size_t>(stack[d].length));
  };
  std::vector<std::u16string> names;
  auto closeOpen = [&](uint32_t downTo, int32_t offset2) {
    if (st.depth <= downTo) return;
    names.clear();
    uint32_t up = st.current;
    for (uint32_t k = st.depth; k > downTo; --k) {
      names.push_back(stackName(k));
      up = index_[up].parent;
    }
    CloseUnended(st.current, st.depth - downTo, names.data(), offset2);
    st.depth = downTo;
    st.current = up;
  };
  auto markBad = [&]() { index_[0].flags |= ElementRecord::kNotWellFormed; };
  for (;;) {
    if (quick) QuickRun(index_, t, length, stack, st, c.next);
    const int32_t type = xml::ScanNode(c, node);
    if (type == xml::kNodeStartTag) {
      // Fields that cannot hold the element: it is left out of the index.
      if (static_cast<uint32_t>(node.length) > ElementRecord::kStartTagMax || st.depth > ElementRecord::kLevelMax) {
        markBad();
        AddResult(u"limit_exceeded", u"type", st.depth > ElementRecord::kLevelMax ? u"nesting" : u"start_tag",
                  u"offset", node.offset);
        continue;
      }
      const uint32_t n = st.count;
      if (n == st.capacity) {
        index_.Grow(n + n / 2, n);
        st.capacity = index_.Capacity();
      }
      ++st.count;
      const uint32_t size = static_cast<uint32_t>(node.length);
      index_[n] = ElementRecord{static_cast<uint32_t>(node.offset), size, size, st.depth, st.current, 0, 0, 0};
      LinkLastChild(index_, st.current, n);
      if (!st.first) st.first = n;
      if (!node.empty) {
        ++st.depth;
        if (st.depth >= stack.size()) stack.resize(stack.size() * 2);
        stack[st.depth] = Level{c.start, c.end - c.start + 1};
        st.current = n;
      }
    } else if (type == xml::kNodeEndTag) {
      if (static_cast<uint32_t>(node.length) > ElementRecord::kEndTagMax) {
        markBad();
        AddResult(u"limit_exceeded", u"type", u"end_tag", u"offset", node.offset);
        continue;
      }
      uint32_t d = st.depth;
      uint32_t e = st.current;
      while (d >= 1 && !xml::MatchName(c, t + stack[d].offset, static_cast<size_t>(stack[d].length))) {
        e = index_[e].parent;
        --d;
      }
      if (d == 0) {
        markBad();
        AddResult(u"lone_end_tag", u"tagname", c.Token(), u"offset", node.offset);
        continue;
      }
      closeOpen(d, c.start - 1);
      ElementRecord& rec = index_[e];
      rec.length = static_cast<uint32_t>(node.offset + node.length) - rec.offset;
      rec.SetTagLengths(rec.StartTagLength(), static_cast<uint32_t>(node.length));
      st.depth = d - 1;
      st.current = rec.parent;
    } else if (type == xml::kNodeMalformed) {
      markBad();
      AppendEntries(results_, node.results);
    } else if (type == xml::kNodeEnd) {
      closeOpen(0, static_cast<int32_t>(text_.size()));
      break;
    }
  }
  recordCount_ = st.count;
  return st.first;
}

// ---- navigation and reading ------------------------------------------------------

struct CXmlDocument::ParsedPath {
  enum Kind { kAny, kRelative, kAbsolute, kAnywhere, kInvalid } kind = kAny;
  const char16_t* name = u"";  // the first name, inside the argument
};

namespace {

bool IsPathNameChar(char16_t ch) { return ch && ch != u' ' && ch != u'=' && ch != u'/' && ch != u'[' && ch != u']'; }

}  // namespace


uint32_t CXmlDocument::FindSibling(uint32_t parent, uint32_t current, const ParsedPath& path) const {
  if (path.kind != ParsedPath::kAny && path.kind != ParsedPath::kRelative) return 0;
  if (parent >= recordCount_ || current >= recordCount_) return 0;
  uint32_t cand = current ? index_[current].nextSibling : index_[parent].firstChild;
  if (path.kind == ParsedPath::kAny) return cand;
  const char16_t* name = path.name;
  for (; cand; cand = index_[cand].nextSibling) {
    TokenCursor c(text_.c_str(), static_cast<int32_t>(index_[cand].offset + 1));
    if (xml::ReadToken(c) && xml::MatchName(c, name)) return cand;
  }
  return 0;
}

// Checks the whole argument for form; only the kind and the first name are used.
CXmlDocument::ParsedPath CXmlDocument::ParsePath(const std::u16string& arg) {
  ParsedPath out;
  if (arg.empty()) return out;
  const char16_t* s = arg.c_str();
  size_t n = arg.size();
  size_t p = 0;
  if (n >= 2 && s[0] == u'/' && s[1] == u'/') {
    out.kind = ParsedPath::kAnywhere;
    p = 2;
  } else if (s[0] == u'/') {
    out.kind = ParsedPath::kAbsolute;
    p = 1;
  } else {
    out.kind = ParsedPath::kRelative;
  }
  ParsedPath::Kind kind = out.kind;
  auto invalid = [&]() {
    out.kind = ParsedPath::kInvalid;
    return out;
  };
  auto name = [&]() {
    while (p < n && IsPathNameChar(s[p])) ++p;
  };
  bool firstStep = true;
  for (;;) {
    if (firstStep) out.name = s + p;
    name();
    if (p < n && s[p] == u'[') {
      ++p;
      if (p < n && s[p] >= u'1' && s[p] <= u'9') {
        while (p < n && s[p] >= u'0' && s[p] <= u'9') ++p;
      } else if (p < n && s[p] == u'@') {
        ++p;
        name();
        if (p < n && s[p] == u'=') {
          ++p;
          if (p < n && (s[p] == u'\'' || s[p] == u'"')) {
            char16_t q = s[p++];
            while (p < n && s[p] != q) ++p;
            if (p >= n) return invalid();
            ++p;
          } else {
            while (p < n && s[p] != u']') ++p;
          }
        }
      } else {
        name();
      }
      if (p >= n || s[p] != u']') return invalid();
      ++p;
    }
    firstStep = false;
    if (p >= n) {
      out.kind = kind;
      return out;
    }
    if (s[p] != u'/') return invalid();
    ++p;
    if (p >= n) return invalid();
    if (s[p] == u'@') {
      ++p;
      name();
      if (p != n) return invalid();
      return out;
    }
    if (kind == ParsedPath::kAnywhere) return invalid();
  }
}

bool CXmlDocument::FindElement(const std::u16string& path) {
  uint32_t r = FindSibling(parent_, main_, ParsePath(path));
  if (!r) return false;
  main_ = r;
  child_ = 0;
  return true;
}

bool CXmlDocument::FindChildElement(const std::u16string& path) {
  if (!main_ && !FindElement()) return false;
  uint32_t r = FindSibling(main_, child_, ParsePath(path));
  if (!r) return false;
  child_ = r;
  return true;
}

bool CXmlDocument::EnterElement() {
  if (!main_) return false;
  parent_ = main_;
  main_ = child_;
  child_ = 0;
  return true;
}

bool CXmlDocument::LeaveElement() {
  if (!parent_) return false;
  child_ = main_;
  main_ = parent_;
  parent_ = index_[parent_].parent;
  return true;
}

std::u16string CXmlDocument::GetData(uint32_t r) const {
  if (r == 0 || r >= recordCount_) return {};
  const ElementRecord& rec = index_[r];
  if (rec.StartTagLength() == rec.length || rec.firstChild) return {};
  uint32_t cs = rec.offset + rec.StartTagLength();
  uint32_t ce = rec.offset + rec.length - rec.EndTagLength();
  if (ce > text_.size() || cs > ce) return {};
  const char16_t* t = text_.c_str();
  size_t lt = text_.find(u'<', cs);
  if (lt == std::u16string::npos || lt >= ce) return xml::UnescapeText(t + cs, static_cast<int32_t>(ce - cs));
  std::u16string out;
  TokenCursor c(t, static_cast<int32_t>(cs));
  XmlNode node;
  while (static_cast<uint32_t>(c.next) < ce) {
    int32_t type = xml::ScanNode(c, node);
    if (type == xml::kNodeEnd) break;
    uint32_t end = static_cast<uint32_t>(node.offset + node.length);
    if (end > ce) end = ce;
    uint32_t len = end - static_cast<uint32_t>(node.offset);
    if (type == xml::kNodeText) {
      out += xml::UnescapeText(t + node.offset, static_cast<int32_t>(len));
    } else if (type == xml::kNodeCData && len >= 12) {
      out.append(t + node.offset + 9, len - 12);
    }
  }
  return out;
}

std::u16string CXmlDocument::GetAttribute(uint32_t r, const std::u16string& name) const {
  if (r == 0 || r >= recordCount_ || name.empty()) return {};
  const ElementRecord& rec = index_[r];
  TokenCursor c(text_.c_str(), static_cast<int32_t>(rec.offset + 1));
  if (!xml::FindAttribute(c, name.c_str())) return {};
  // A stray quote can carry a token past the tag; what lies there is no attribute.
  if (static_cast<uint32_t>(c.end + 1) >= rec.offset + rec.StartTagLength()) return {};
  return xml::UnescapeText(text_.c_str() + c.start, c.end - c.start + 1);
}

// ---- modification --------------------------------------------------------------------

void CXmlDocument::ReplaceText(uint32_t offset, uint32_t length, const std::u16string& replacement) {
  size_t newLength = text_.size() - length + replacement.size();
  if (newLength > text_.capacity()) text_.reserve(newLength + newLength / 2 + 128);
  text_.replace(offset, length, replacement);
}

void CXmlDocument::AdjustOffsets(uint32_t record, int32_t change, bool skipChildren) {
  uint32_t delta = static_cast<uint32_t>(change);
  uint32_t cur = record;
  int depth = 0;  // levels below the starting record
  bool descend = !skipChildren;
  for (;;) {
    if (descend && index_[cur].firstChild) {
      cur = index_[cur].firstChild;
      ++depth;
      index_[cur].offset += delta;
      continue;
    }
    descend = true;
    while (!index_[cur].nextSibling) {
      uint32_t up = index_[cur].parent;
      if (depth > 0) {
        --depth;
        cur = up;
        continue;
      }
      index_[up].length += delta;  // an enclosing element, or the document
      if (up == 0) return;
      cur = up;
    }
    cur = index_[cur].nextSibling;
    index_[cur].offset += delta;
  }
}

// True when the text ends inside unterminated markup, which would swallow anything
// appended at the end.
bool CXmlDocument::TailIsOpen() const {
  uint32_t from = 0;
  if (uint32_t f = index_[0].firstChild) {
    uint32_t last = index_[f].prevSibling;
    from = index_[last].offset + index_[last].length;
  }
  TokenCursor c(text_.c_str(), static_cast<int32_t>(from));
  XmlNode node;
  for (;;) {
    node.results.clear();
    int32_t type = xml::ScanNode(c, node);
    if (type == xml::kNodeEnd) return false;
    if (type == xml::kNodeMalformed && node.results.find(u"unterminated_tag_syntax") != std::u16string::npos)
      return true;
  }
}

namespace {

// A name that reads back as exactly this element and is found again by name.
bool IsElementName(const std::u16string& name) {
  if (name.empty() || name.size() + 3 > ElementRecord::kStartTagMax) return false;
  for (char16_t ch : name)
    if (ch == 0 || ch == u'&' || ch == u'[' || ch == u']') return false;
  TokenCursor t(name.c_str());
  if (!xml::ReadToken(t) || t.start != 0 || t.end + 1 != static_cast<int32_t>(name.size())) return false;
  std::u16string tag = u"<" + name + u"/>";
  TokenCursor c(tag.c_str());
  XmlNode node;
  return xml::ScanNode(c, node) == xml::kNodeStartTag && node.empty &&
         node.length == static_cast<int32_t>(tag.size()) && c.Token() == name;
}

}  // namespace

bool CXmlDocument::AddElement(const std::u16string& name) {
  if (!IsElementName(name)) return false;
  uint32_t parent = main_ ? index_[main_].parent : parent_;
  const ElementRecord& p = index_[parent];
  uint32_t level = parent ? p.Level() + 1 : 0;
  if (level > ElementRecord::kLevelMax) return false;
  uint32_t at;
  if (main_) {
    at = index_[main_].offset + index_[main_].length;
  } else if (parent == 0) {
    if (TailIsOpen()) return false;
    at = static_cast<uint32_t>(text_.size());
  } else {
    // A parent without an end tag has nowhere inside it to put a child.
    if (!p.EndTagLength()) return false;
    at = p.offset + p.length - p.EndTagLength();
  }
  std::u16string tag = u"<" + name + u"/>";
  uint32_t n = recordCount_;
  if (n == index_.Capacity()) index_.Grow(n + n / 2 > n ? n + n / 2 : n + 1, n);
  ++recordCount_;
  ReplaceText(at, 0, tag);
  ElementRecord& rec = index_[n];
  rec = ElementRecord{};
  rec.offset = at;
  rec.length = static_cast<uint32_t>(tag.size());
  rec.SetTagLengths(rec.length, 0);
  rec.flags = level;
  rec.parent = parent;
  if (main_) {
    ElementRecord& m = index_[main_];
    rec.prevSibling = main_;
    rec.nextSibling = m.nextSibling;
    if (m.nextSibling) {
      index_[m.nextSibling].prevSibling = n;
    } else {
      index_[index_[parent].firstChild].prevSibling = n;
    }
    m.nextSibling = n;
  } else {
    LinkLastChild(index_, parent, n);
  }
  AdjustOffsets(n, static_cast<int32_t>(tag.size()), false);
  main_ = n;
  child_ = 0;
  return true;
}

bool CXmlDocument::SetAttribute(uint32_t r, const std::u16string& name, const std::u16string& value) {
  if (r == 0 || r >= recordCount_ || name.empty()) return false;
  for (char16_t ch : name)
    if (ch == 0 || ch == u'&' || ch == u'[' || ch == u']') return false;
  if (value.find(char16_t(0)) != std::u16string::npos) return false;
  TokenCursor check(name.c_str());
  if (!xml::ReadToken(check) || check.start != 0 || check.end + 1 != static_cast<int32_t>(name.size())) return false;

  ElementRecord& rec = index_[r];
  uint32_t tagStart = rec.offset;
  uint32_t tagEnd = rec.offset + rec.StartTagLength();  // one past its ">"
  bool wasEmpty = rec.length == rec.StartTagLength() && !(rec.flags & ElementRecord::kUnended);
  std::u16string escaped = xml::EscapeText(value, true);
  std::u16string quotedValue = u"\"" + escaped + u"\"";

  TokenCursor c(text_.c_str(), static_cast<int32_t>(tagStart + 1));
  uint32_t at, replaced;
  std::u16string replacement;
  if (xml::FindAttribute(c, name.c_str())) {
    if (c.noValue) {
      at = static_cast<uint32_t>(c.start);
      replaced = static_cast<uint32_t>(c.end - c.start + 1);
      replacement = name + u"=" + quotedValue;
    } else {
      at = static_cast<uint32_t>(c.start - (c.quoted ? 1 : 0));
      replaced = static_cast<uint32_t>(c.end + 1 + (c.quoted ? 1 : 0)) - at;
      replacement = quotedValue;
    }
  } else {
    at = static_cast<uint32_t>(c.next);
    replaced = 0;
    replacement = u" " + name + u"=" + quotedValue;
  }
  if (at <= tagStart || at + replaced >= tagEnd) return false;
  int32_t change = static_cast<int32_t>(replacement.size()) - static_cast<int32_t>(replaced);
  uint64_t newTag = uint64_t(rec.StartTagLength()) + int64_t(change);
  if (newTag > ElementRecord::kStartTagMax) return false;

  // Apply, then make sure the tag still reads as the same element with this value.
  std::u16string old = text_.substr(at, replaced);
  ReplaceText(at, replaced, replacement);
  TokenCursor s(text_.c_str(), static_cast<int32_t>(tagStart));
  XmlNode node;
  bool same = xml::ScanNode(s, node) == xml::kNodeStartTag && node.empty == wasEmpty &&
              static_cast<uint64_t>(node.length) == newTag;
  if (same) {
    TokenCursor v(text_.c_str(), static_cast<int32_t>(tagStart + 1));
    same = xml::FindAttribute(v, name.c_str()) && v.quoted && !v.noValue && v.Token() == escaped;
  }
  if (!same) {
    ReplaceText(at, static_cast<uint32_t>(replacement.size()), old);
    return false;
  }
  ElementRecord& r2 = index_[r];
  r2.SetTagLengths(static_cast<uint32_t>(newTag), r2.EndTagLength());
  r2.length += static_cast<uint32_t>(change);
  AdjustOffsets(r, change, false);
  return true;
}
