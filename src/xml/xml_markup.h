// The markup layer under CXmlDocument: a token cursor over zero-terminated UTF-16
// text, the node scanner, and the result-text and escaping helpers. Nothing here
// holds a document; the file loader uses the cursor for charset sniffing.
#pragma once

#include <cstdint>
#include <string>

namespace xml {

struct TokenCursor {
  int32_t start = 0;
  int32_t end = -1;   // start - 1 for an empty token
  int32_t next = 0;
  const char16_t* text = nullptr;
  bool ignoreCase = false;
  bool quoted = false;
  bool noValue = false;  // FindAttribute found an attribute written without a value

  TokenCursor() = default;
  explicit TokenCursor(const char16_t* t, int32_t at = 0, bool caseless = false)
      : next(at), text(t), ignoreCase(caseless) {}
  std::u16string Token() const {
    return end >= start ? std::u16string(text + start, static_cast<size_t>(end - start + 1)) : std::u16string();
  }
};

enum NodeType : int32_t {
  kNodeEndTag = 0,
  kNodeStartTag = 1,
  kNodeText = 2,
  kNodeWhitespace = 4,
  kNodeCData = 8,
  kNodeProcessing = 16,
  kNodeComment = 32,
  kNodeDocType = 64,
  kNodeMalformed = -1,
  kNodeEnd = -2,
};

struct XmlNode {
  int32_t type = kNodeEnd;
  int32_t offset = 0;
  int32_t length = 0;
  bool empty = false;
  std::u16string results;  // the scanner's fault entries
};

bool SkipWhitespace(TokenCursor& c);
bool ReadToken(TokenCursor& c);
bool MatchName(const TokenCursor& c, const char16_t* name);
bool MatchName(const TokenCursor& c, const char16_t* name, size_t nameLength);
bool FindAttribute(TokenCursor& c, const char16_t* name);  // name nullptr: the first attribute
int32_t ScanNode(TokenCursor& c, XmlNode& node);

// Parsing reads the common nodes with a quicker scanner and hands the rest to
// ScanNode. With this set, every node goes through ScanNode: the reference that the
// quick reading is checked against. Off unless the build defines
// ZARN_XML_FULL_SCANNER; tests and the fuzzer switch it per parse.
void SetFullScannerOnly(bool on);
bool FullScannerOnly();

// Adds an entry "<name .../>" to results, or with update edits the first entry of
// that name. valueAttr/numberAttr nullptr: none; offset2 -1: none.
void AddResult(std::u16string& results, const char16_t* name, const char16_t* valueAttr,
               const std::u16string& value, const char16_t* numberAttr, int32_t number,
               int32_t offset2 = -1, bool update = false);

std::u16string EscapeText(const std::u16string& text, bool quotes);
// length -1: up to the terminator.
std::u16string UnescapeText(const char16_t* text, int32_t length);

}  // namespace xml
