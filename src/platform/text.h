// Wide text for the whole program: UTF-16 in std::u16string, the same code units
// Windows takes, so that no conversion happens on the way to a W entry point.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// Invalid input never throws: ill-formed UTF-8 sequences and lone surrogates become
// U+FFFD, so a bad file name or link still yields a usable (if odd) string.
std::u16string Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::u16string_view wide);

// A whole number in decimal digits, for the texts and logs that show counts, sizes
// and codes.
template <typename Integer>
std::u16string Decimal(Integer value) {
  return Utf8ToWide(std::to_string(value));
}

// Decodes `utf8` into `out`, which has room for utf8.size() units (UTF-8 never takes
// fewer bytes than UTF-16 takes units), if the whole input is well-formed UTF-8: no
// overlong forms, no surrogates, nothing above U+10FFFF, no cut sequence. Returns the
// units written, or -1 for anything else, with `out` then of no use; callers take
// such input the slow way, with their own rule for the faults.
ptrdiff_t DecodeWellFormedUtf8(std::string_view utf8, char16_t* out);

// UTF-8 text for a JSON string: quotes, backslashes and control characters escaped,
// without the surrounding quotes. For the one-line records the tools write.
std::string JsonEscape(std::string_view utf8);

}  // namespace platform

#ifdef _WIN32
static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide strings are UTF-16");

namespace platform {
// Views of our strings as the wchar_t the Win32 API takes, and back.
inline const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
inline wchar_t* W(char16_t* s) { return reinterpret_cast<wchar_t*>(s); }
inline std::u16string FromW(const wchar_t* s) {
  return s ? std::u16string(reinterpret_cast<const char16_t*>(s)) : std::u16string();
}
inline std::u16string FromW(const wchar_t* s, size_t n) {
  return std::u16string(reinterpret_cast<const char16_t*>(s), n);
}
}  // namespace platform
#endif
