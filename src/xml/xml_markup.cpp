// Token cursor, node scanner, result text and escaping. All scanning stops at the
// text's zero terminator, so no input makes it read past the end.
#include "xml/xml_markup.h"

#include <atomic>

#include "xml/xml_entities.h"

namespace xml {
namespace {

#ifdef ZARN_XML_FULL_SCANNER
std::atomic<bool> fullScannerOnly{true};
#else
std::atomic<bool> fullScannerOnly{false};
#endif

inline bool IsWs(char16_t ch) { return ch == u' ' || ch == u'\t' || ch == u'\n' || ch == u'\r'; }

inline bool IsTokenDelimiter(char16_t ch) {
  switch (ch) {
    case u'<': case u'>': case u'=': case u'\\': case u'/': case u'?':
    case u'!': case u'"': case u'\'': case u';':
      return true;
    default:
      return IsWs(ch);
  }
}

inline char16_t LowerAscii(char16_t ch) { return (ch >= u'A' && ch <= u'Z') ? char16_t(ch + 32) : ch; }

std::u16string Decimal(int32_t v) {
  std::u16string s;
  int64_t x = v;
  bool neg = x < 0;
  if (neg) x = -x;
  do {
    s.insert(s.begin(), char16_t(u'0' + x % 10));
    x /= 10;
  } while (x);
  if (neg) s.insert(s.begin(), u'-');
  return s;
}

// Where a start tag's characters stand relative to its attribute values, fed one
// character at a time: after an "=" a quote opens a value that runs to the same
// quote, whatever it holds; any other character starts an unquoted value.
class ValueQuotes {
 public:
  enum StepResult { kOutside, kInside, kUnquotedValue };
  void ValueFollows() { valueStart_ = true; }
  StepResult Step(char16_t ch) {
    if (quote_) {
      if (ch == quote_) quote_ = 0;
      return kInside;
    }
    if (!valueStart_) return kOutside;
    if (IsWs(ch)) return kInside;
    valueStart_ = false;
    if (ch == u'"' || ch == u'\'') {
      quote_ = ch;
      return kInside;
    }
    return kUnquotedValue;
  }

 private:
  char16_t quote_ = 0;
  bool valueStart_ = false;
};

// Ends the node after a fault: quotes tracked as in a start tag, ending after the
// next ">" or before the next "<". Returns false at the end of the text.
bool SkipMalformed(const char16_t* t, int32_t& p) {
  ValueQuotes quotes;
  for (;; ++p) {
    char16_t ch = t[p];
    if (ch == 0) return false;
    if (quotes.Step(ch) == ValueQuotes::kInside) continue;
    if (ch == u'>') {
      ++p;
      return true;
    }
    if (ch == u'<') return true;
    if (ch == u'=' && !(p > 0 && t[p - 1] == u'=')) quotes.ValueFollows();
  }
}

// Runs to a terminator of several characters ending in ">"; only a ">" further into
// the node than the terminator's length counts.
bool SkipTo(const char16_t* t, int32_t& p, int32_t nodeOffset, const char16_t* rest, int32_t restLen) {
  for (;; ++p) {
    char16_t ch = t[p];
    if (ch == 0) return false;
    if (ch != u'>' || p - nodeOffset <= restLen) continue;
    bool match = true;
    for (int32_t i = 0; i < restLen; ++i)
      if (t[p - restLen + i] != rest[i]) match = false;
    if (match) {
      ++p;
      return true;
    }
  }
}

bool SkipToChar(const char16_t* t, int32_t& p, char16_t target) {
  while (t[p] && t[p] != target) ++p;
  if (!t[p]) return false;
  ++p;
  return true;
}

}  // namespace

void SetFullScannerOnly(bool on) { fullScannerOnly.store(on, std::memory_order_relaxed); }
bool FullScannerOnly() { return fullScannerOnly.load(std::memory_order_relaxed); }

bool SkipWhitespace(TokenCursor& c) {
  while (IsWs(c.text[c.next])) ++c.next;
  c.start = c.next;
  c.end = c.next - 1;
  return c.text[c.next] != 0;
}

bool ReadToken(TokenCursor& c) {
  if (!SkipWhitespace(c)) return false;
  while (c.text[c.next] && !IsTokenDelimiter(c.text[c.next])) ++c.next;
  if (c.next == c.start) ++c.next;
  c.end = c.next - 1;
  return true;
}

static bool MatchNameLen(const TokenCursor& c, const char16_t* name, size_t nameLen) {
  int32_t len = c.end - c.start + 1;
  if (len < 0) len = 0;
  bool caseless = c.ignoreCase;
  for (int32_t i = 0; i < len; ++i) {
    if (static_cast<size_t>(i) >= nameLen) return false;
    char16_t ch = c.text[c.start + i];
    char16_t n = name[i];
    if (ch == n) {
      if (ch > 0x7F) caseless = false;
      continue;
    }
    if (caseless && ch < 0x80 && n < 0x80 && LowerAscii(ch) == LowerAscii(n)) continue;
    return false;
  }
  if (static_cast<size_t>(len) >= nameLen) return true;
  char16_t n = name[len];
  return n == u' ' || n == u'=' || n == u'/' || n == u'[' || n == u']';
}

bool MatchName(const TokenCursor& c, const char16_t* name) {
  size_t n = 0;
  while (name[n]) ++n;
  return MatchNameLen(c, name, n);
}

bool MatchName(const TokenCursor& c, const char16_t* name, size_t nameLen) { return MatchNameLen(c, name, nameLen); }

bool FindAttribute(TokenCursor& c, const char16_t* name) {
  const char16_t* t = c.text;
  bool first = true;
  bool afterEq = false;
  bool remembered = false;
  bool rememberedEq = false;
  int32_t remStart = 0, remEnd = -1;
  auto answerName = [&]() {
    c.start = remStart;
    c.end = remEnd;
    c.next = remEnd + 1;
    c.quoted = false;
    c.noValue = true;
    return true;
  };
  for (;;) {
    int32_t wsStart = c.next;
    while (IsWs(t[c.next])) ++c.next;
    char16_t ch = t[c.next];
    if (ch == 0) {
      c.start = c.next;
      c.end = c.next - 1;
      if (remembered) return answerName();
      return false;
    }
    if (ch == u'"' || ch == u'\'') {
      ++c.next;
      c.start = c.next;
      while (t[c.next] && t[c.next] != ch) ++c.next;
      c.end = c.next - 1;
      if (t[c.next] == ch) ++c.next;
      if (afterEq) {
        afterEq = false;
        if (remembered && rememberedEq) {
          c.quoted = true;
          c.noValue = false;
          return true;
        }
      }
      first = false;
      continue;
    }
    c.start = c.next;
    if (afterEq) {
      while (t[c.next] && !IsWs(t[c.next]) && t[c.next] != u'>') ++c.next;
    } else {
      while (t[c.next] && !IsWs(t[c.next]) && t[c.next] != u'=' && t[c.next] != u'>' && t[c.next] != u'/' &&
             t[c.next] != u'?')
        ++c.next;
    }
    if (c.next == c.start) ++c.next;
    c.end = c.next - 1;
    char16_t tc = t[c.start];
    if (first) {
      first = false;
      continue;
    }
    if (afterEq && tc != u'>') {
      afterEq = false;
      if (remembered && rememberedEq) {
        c.quoted = false;
        c.noValue = false;
        return true;
      }
      continue;
    }
    afterEq = false;
    if (tc == u'=' && c.end == c.start) {
      afterEq = true;
      if (remembered) rememberedEq = true;
      continue;
    }
    if (tc == u'>' || tc == u'/' || tc == u'?') {
      c.next = wsStart;
      if (remembered) {
        answerName();
        c.next = wsStart;
        return true;
      }
      c.start = wsStart;
      c.end = wsStart - 1;
      return false;
    }
    if (remembered) return answerName();
    if (!name) {
      c.quoted = false;
      c.noValue = false;
      return true;
    }
    if (MatchName(c, name)) {
      remembered = true;
      remStart = c.start;
      remEnd = c.end;
    }
  }
}

int32_t ScanNode(TokenCursor& c, XmlNode& node) {
  const char16_t* t = c.text;
  int32_t p = c.next;
  node.offset = p;
  node.empty = false;
  node.length = 0;
  auto finish = [&](int32_t type) {
    c.next = p;
    node.length = p - node.offset;
    node.type = type;
    return type;
  };
  auto fault = [&](const char16_t* entry) {
    AddResult(node.results, entry, nullptr, std::u16string(), u"offset", node.offset);
  };
  auto unterminated = [&](const char16_t* type) {
    AddResult(node.results, u"unterminated_tag_syntax", u"type", type, u"offset", node.offset);
    return finish(kNodeMalformed);
  };
  auto malformed = [&](const char16_t* entry) {
    fault(entry);
    if (!SkipMalformed(t, p)) return unterminated(u"tag");
    return finish(kNodeMalformed);
  };

  char16_t ch = t[p];
  if (ch == 0) return finish(kNodeEnd);
  if (ch != u'<') {
    bool ws = true;
    bool seenNonWs = false;
    while (t[p] && t[p] != u'<') {
      ch = t[p++];
      if (IsWs(ch)) continue;
      ws = false;
      if (ch == u'>' && seenNonWs) break;
      seenNonWs = true;
    }
    return finish(ws ? kNodeWhitespace : kNodeText);
  }
  ++p;
  ch = t[p];
  if (ch == 0) return unterminated(u"tag");
  if (ch > 0x60 || (ch >= u'A' && ch <= u'Z') || ch == u'_' || ch == u':') {
    int32_t nameStart = p;
    while (t[p] && !IsWs(t[p]) && t[p] != u'/' && t[p] != u'>') ++p;
    int32_t nameEnd = p - 1;
    c.start = nameStart;
    c.end = nameEnd;
    ValueQuotes quotes;
    bool unquoted = false;
    for (;; ++p) {
      ch = t[p];
      if (ch == 0) return unterminated(u"start_tag");
      const ValueQuotes::StepResult where = quotes.Step(ch);
      if (where == ValueQuotes::kInside) continue;
      if (where == ValueQuotes::kUnquotedValue && ch != u'>') unquoted = true;
      if (unquoted) {
        if (IsWs(ch)) unquoted = false;
        else if (ch != u'>') continue;
      }
      if (ch == u'>') {
        if (p - 1 > nameEnd && t[p - 1] == u'/') {
          char16_t b = t[p - 2];
          node.empty = (p - 2 == nameEnd) || IsWs(b) || b == u'"' || b == u'\'';
        }
        ++p;
        return finish(kNodeStartTag);
      }
      if (ch == u'=' && t[p - 1] != u'=') quotes.ValueFollows();
    }
  }
  if (ch == u'/') {
    ++p;
    int32_t nameStart = p;
    while (t[p] && !IsWs(t[p]) && t[p] != u'/' && t[p] != u'>') ++p;
    c.start = nameStart;
    c.end = p - 1;
    if (!SkipToChar(t, p, u'>')) return unterminated(u"end_tag");
    return finish(kNodeEndTag);
  }
  if (ch == u'?') {
    ++p;
    int32_t nameStart = p;
    while (t[p] && !IsWs(t[p]) && t[p] != u'/' && t[p] != u'>') ++p;
    c.start = nameStart;
    c.end = p - 1;
    if (!SkipTo(t, p, node.offset, u"?", 1)) return unterminated(u"processing_instruction");
    return finish(kNodeProcessing);
  }
  if (ch != u'!') return malformed(u"first_tag_syntax");
  ++p;
  ch = t[p];
  if (ch == u'-') {
    ++p;
    if (t[p] != u'-') return malformed(u"comment_tag_syntax");
    ++p;
    if (!SkipTo(t, p, node.offset, u"--", 2)) return unterminated(u"comment");
    return finish(kNodeComment);
  }
  if (ch == u'[') {
    ++p;
    if (t[p] != u'C') return malformed(u"cdata_section_syntax");
    ++p;
    if (!SkipTo(t, p, node.offset, u"]]", 2)) return unterminated(u"cdata_section");
    return finish(kNodeCData);
  }
  if (ch != u'D') return malformed(u"exclamation_tag_syntax");
  // Document type declaration: its own text is not quote-tracked, markup inside it
  // is passed over.
  for (;;) {
    ch = t[p];
    if (ch == 0) return unterminated(u"document_type");
    if (ch == u'>') {
      ++p;
      return finish(kNodeDocType);
    }
    if (ch != u'<') {
      ++p;
      continue;
    }
    int32_t inner = p;
    ++p;
    if (t[p] == u'!') {
      ++p;
      char16_t k = t[p];
      if (k == u'-') {
        if (!SkipTo(t, p, inner, u"--", 2)) return unterminated(u"document_type");
      } else if (k == u'E' || k == u'A' || k == u'N') {
        char16_t quote = 0;
        for (;; ++p) {
          char16_t d = t[p];
          if (d == 0) return unterminated(u"document_type");
          if (quote) {
            if (d == quote) quote = 0;
          } else if (d == u'"' || d == u'\'') {
            quote = d;
          } else if (d == u'>') {
            ++p;
            break;
          }
        }
      } else {
        fault(u"doctype_tag_syntax");
        if (!SkipToChar(t, p, u'>')) return unterminated(u"document_type");
      }
    } else if (t[p] == u'?') {
      if (!SkipTo(t, p, inner, u"?", 1)) return unterminated(u"document_type");
    } else {
      if (!SkipToChar(t, p, u'>')) return unterminated(u"document_type");
    }
  }
}

// Sets one attribute of the entry that starts at `at` ("<name ... />").
static void SetEntryAttribute(std::u16string& results, size_t at, const char16_t* attr, const std::u16string& value) {
  std::u16string escaped = EscapeText(value, true);
  size_t attrLen = 0;
  while (attr[attrLen]) ++attrLen;
  size_t p = at + 1;
  while (p < results.size() && results[p] != u' ' && results[p] != u'/') ++p;
  while (p < results.size() && results[p] == u' ') {
    size_t nameStart = p + 1;
    size_t eq = results.find(u'=', nameStart);
    if (eq == std::u16string::npos || eq + 1 >= results.size() || results[eq + 1] != u'"') break;
    size_t close = results.find(u'"', eq + 2);
    if (close == std::u16string::npos) break;
    if (eq - nameStart == attrLen && results.compare(nameStart, attrLen, attr) == 0) {
      results.replace(eq + 1, close - eq, u"\"" + escaped + u"\"");
      return;
    }
    p = close + 1;
  }
  results.insert(p, u" " + std::u16string(attr) + u"=\"" + escaped + u"\"");
}

void AddResult(std::u16string& results, const char16_t* name, const char16_t* valueAttr, const std::u16string& value,
               const char16_t* numberAttr, int32_t number, int32_t offset2, bool update) {
  if (results.size() >= 1000) return;
  std::u16string entryName(name);
  size_t at;
  if (!update) {
    at = results.size();
    results += u"<" + entryName + u"/>";
  } else {
    at = std::u16string::npos;
    for (size_t p = results.find(u'<'); p != std::u16string::npos; p = results.find(u'<', p + 1)) {
      size_t q = p + 1;
      while (q < results.size() && results[q] != u' ' && results[q] != u'/') ++q;
      if (q - p - 1 == entryName.size() && results.compare(p + 1, entryName.size(), entryName) == 0) {
        at = p;
        break;
      }
    }
    if (at == std::u16string::npos) return;
  }
  if (valueAttr) SetEntryAttribute(results, at, valueAttr, value);
  if (numberAttr) {
    bool isOffset = std::u16string(numberAttr) == u"offset";
    if (!isOffset || number != -1) SetEntryAttribute(results, at, numberAttr, Decimal(number));
  }
  if (offset2 != -1) SetEntryAttribute(results, at, u"offset2", Decimal(offset2));
}

std::u16string EscapeText(const std::u16string& text, bool quotes) {
  std::u16string out;
  out.reserve(text.size() + text.size() / 10 + 7);
  for (char16_t ch : text) {
    switch (ch) {
      case u'<': out += u"&lt;"; break;
      case u'&': out += u"&amp;"; break;
      case u'>': out += u"&gt;"; break;
      case u'\'': if (quotes) out += u"&apos;"; else out += ch; break;
      case u'"': if (quotes) out += u"&quot;"; else out += ch; break;
      default: out += ch;
    }
  }
  return out;
}

// Code point of a named reference, or 0. An exact spelling wins; any other casing
// takes the capitalised twin, which the table lists first.
static int32_t LookupEntity(const char16_t* name, int32_t len) {
  unsigned sum = 0;
  for (int32_t i = 0; i < len; ++i) sum += LowerAscii(name[i]);
  const char16_t* e = kEntityBuckets[sum % kEntityBucketCount];
  int32_t caseless = 0;
  while (*e) {
    int32_t n = e[0] - u'0';
    int32_t cp = (e[1] - u'0') * 1000 + (e[2] - u'0') * 100 + (e[3] - u'0') * 10 + (e[4] - u'0');
    const char16_t* en = e + 5;
    if (n == len) {
      bool exact = true, folded = true;
      for (int32_t i = 0; i < len; ++i) {
        if (en[i] != name[i]) exact = false;
        if (LowerAscii(en[i]) != LowerAscii(name[i])) folded = false;
      }
      if (exact) return cp;
      if (folded && !caseless) caseless = cp;
    }
    e = en + n;
  }
  return caseless;
}

std::u16string UnescapeText(const char16_t* text, int32_t length) {
  size_t n = 0;
  if (length < 0) {
    while (text[n]) ++n;
  } else {
    n = static_cast<size_t>(length);
  }
  std::u16string out;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    char16_t ch = text[i];
    if (ch != u'&') {
      out += ch;
      continue;
    }
    size_t j = i + 1;
    while (j < n && j - i - 1 < 9 && text[j] < 0x80 && text[j] != u';' && text[j] != 0) ++j;
    if (j >= n || text[j] != u';') {
      out += ch;
      continue;
    }
    const char16_t* name = text + i + 1;
    int32_t len = static_cast<int32_t>(j - i - 1);
    int64_t value = 0;
    if (len > 0 && name[0] == u'#') {
      if (len > 1 && (name[1] == u'x' || name[1] == u'X')) {
        for (int32_t k = 2; k < len; ++k) {
          char16_t d = name[k];
          int v = (d >= u'0' && d <= u'9') ? d - u'0' : (d >= u'a' && d <= u'f') ? d - u'a' + 10
                : (d >= u'A' && d <= u'F') ? d - u'A' + 10 : -1;
          if (v < 0) break;
          value = value * 16 + v;
        }
      } else {
        for (int32_t k = 1; k < len && name[k] >= u'0' && name[k] <= u'9'; ++k) value = value * 10 + (name[k] - u'0');
      }
    } else if (len > 0) {
      value = LookupEntity(name, len);
    }
    // Beyond Unicode, and lone surrogates, are no character: keep the text as written.
    if (value <= 0 || value >= 0x110000 || (value >= 0xD800 && value <= 0xDFFF)) {
      out += ch;
      continue;
    }
    if (value < 0x10000) {
      out += char16_t(value);
    } else {
      out += char16_t(0xD800 | (((value - 0x10000) >> 10) & 0x3FF));
      out += char16_t(0xDC00 | (value & 0x3FF));
    }
    i = j;
  }
  return out;
}

}  // namespace xml
