// Our own reader of INI text, following the rules the Windows profile functions
// apply. The Linux build reads string files with it; on Windows it reads the string
// file a single-file installer carries inside itself, which the profile functions
// cannot reach without the text being written to disk first.
#include <string_view>
#include <vector>

#include "platform/codepage.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace platform {

namespace {

#ifndef _WIN32
// Windows-1252 for 0x80..0x9F; the rest of the upper half is Latin-1. Unassigned
// positions map to themselves, as MultiByteToWideChar does for this code page.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
#endif

// A file without a mark is in the ANSI code page, as the profile functions read it.
std::u16string DecodeAnsi(std::string_view b) {
  std::u16string text;
#ifdef _WIN32
  if (b.empty()) return text;
  const int32_t n = static_cast<int32_t>(b.size());
  text.resize(b.size());
  const int32_t written = CodePageToWide(0, b.data(), n, &text[0], n);
  text.resize(written > 0 ? static_cast<size_t>(written) : 0);
#else
  text.reserve(b.size());
  for (char ch : b) {
    const unsigned char c = static_cast<unsigned char>(ch);
    text.push_back(c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : char16_t(c));
  }
#endif
  return text;
}

std::u16string DecodeBytes(std::string_view b) {
  auto at = [&](size_t i) { return static_cast<unsigned char>(b[i]); };
  if (b.size() >= 2 && at(0) == 0xFF && at(1) == 0xFE) {
    std::u16string text;
    text.reserve(b.size() / 2);
    for (size_t i = 2; i + 1 < b.size(); i += 2) text.push_back(static_cast<char16_t>(at(i) | (at(i + 1) << 8)));
    return text;
  }
  if (b.size() >= 3 && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) return Utf8ToWide(b.substr(3));
  return DecodeAnsi(b);
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\v' || c == u'\f' || c == 0x1A; }

std::u16string Trim(std::u16string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return std::u16string(s.substr(b, e - b));
}

char16_t Fold(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
  return c;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Fold(a[i]) != Fold(b[i])) return false;
  return true;
}

std::u16string Cut(std::u16string s) {
  if (s.size() > kProfileBufferChars - 1) s.resize(kProfileBufferChars - 1);
  return s;
}

// Calls visit(section line, key, value line) for each key line of the first section
// named section (every section's header when section is null, key then empty);
// visit returns false to stop. Returns whether the section was found.
template <typename Visit>
bool WalkFile(const std::u16string& text, const std::u16string* section, Visit visit) {
  bool inSection = false;
  bool sectionSeen = false;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of(u"\r\n", pos);
    if (end == std::u16string::npos) end = text.size();
    std::u16string line = Trim(std::u16string_view(text).substr(pos, end - pos));
    pos = end + 1;
    if (line.empty()) continue;
    if (line[0] == u'[') {
      const size_t close = line.rfind(u']');
      if (close == std::u16string::npos || close == 0) continue;
      const std::u16string name = Trim(std::u16string_view(line).substr(1, close - 1));
      if (!section) {
        if (!visit(name, std::u16string(), std::u16string())) return true;
        continue;
      }
      // Only the first section of a name is ever searched.
      if (inSection) return true;
      if (!sectionSeen && SameName(name, *section)) inSection = sectionSeen = true;
      continue;
    }
    if (!inSection || line[0] == u';') continue;
    const size_t eq = line.find(u'=');
    std::u16string name = Trim(std::u16string_view(line).substr(0, eq));
    std::u16string value = eq == std::u16string::npos ? std::u16string() : Trim(std::u16string_view(line).substr(eq + 1));
    if (!visit(*section, name, value)) return true;
  }
  return sectionSeen;
}

// Finds key in the first section named section; false when either is missing.
bool Lookup(const std::u16string& text, const std::u16string& section, const std::u16string& key,
            std::u16string& value) {
  bool found = false;
  WalkFile(text, &section, [&](const std::u16string&, const std::u16string& name, const std::u16string& v) {
    if (!SameName(name, key)) return true;
    value = v;
    found = true;
    return false;
  });
  return found;
}

}  // namespace

std::u16string ProfileDefault(const std::u16string& defaultText) {
  std::u16string fallback = defaultText;
  while (!fallback.empty() && fallback.back() == u' ') fallback.pop_back();
  return Cut(fallback);
}

std::u16string ReadProfileStringFromBytes(const std::u16string& section, const std::u16string& key,
                                          const std::u16string& defaultText, std::string_view bytes) {
  std::u16string value;
  if (!Lookup(DecodeBytes(bytes), section, key, value)) return ProfileDefault(defaultText);
  if (value.size() >= 2 && (value[0] == u'"' || value[0] == u'\'') && value.back() == value[0]) {
    value = value.substr(1, value.size() - 2);
  }
  return Cut(value);
}

std::vector<std::u16string> ReadProfileSectionNamesFromBytes(std::string_view bytes) {
  std::vector<std::u16string> names;
  WalkFile(DecodeBytes(bytes), nullptr, [&](const std::u16string& name, const std::u16string&, const std::u16string&) {
    names.push_back(name);
    return true;
  });
  return names;
}

std::vector<std::u16string> ReadProfileKeyNamesFromBytes(const std::u16string& section, std::string_view bytes) {
  std::vector<std::u16string> names;
  WalkFile(DecodeBytes(bytes), &section, [&](const std::u16string&, const std::u16string& key, const std::u16string&) {
    if (!key.empty()) names.push_back(key);
    return true;
  });
  return names;
}

}  // namespace platform
