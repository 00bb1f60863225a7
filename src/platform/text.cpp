#include "platform/text.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform {

namespace {
constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}
}  // namespace

ptrdiff_t DecodeWellFormedUtf8(std::string_view utf8, char16_t* out) {
  const unsigned char* in = reinterpret_cast<const unsigned char*>(utf8.data());
  const size_t n = utf8.size();
  char16_t* o = out;
  size_t i = 0;
  while (i < n) {
    // Runs of ASCII, the bulk of markup, a block at a time.
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    while (i + 16 <= n) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
      if (_mm_movemask_epi8(v)) break;
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_unpacklo_epi8(v, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 8), _mm_unpackhi_epi8(v, zero));
      i += 16;
      o += 16;
    }
#else
    while (i + 4 <= n) {
      uint32_t w;
      std::memcpy(&w, in + i, 4);
      if (w & 0x80808080u) break;
      o[0] = in[i];
      o[1] = in[i + 1];
      o[2] = in[i + 2];
      o[3] = in[i + 3];
      i += 4;
      o += 4;
    }
#endif
    if (i >= n) break;
    const unsigned c = in[i];
    if (c < 0x80) {
      *o++ = static_cast<char16_t>(c);
      ++i;
      continue;
    }
    // The second byte's range depends on the lead: that is where overlong forms,
    // surrogates and values past U+10FFFF are excluded.
    unsigned more, low = 0x80, high = 0xBF;
    if (c < 0xC2) {
      return -1;  // a continuation byte, or the lead of an overlong pair
    } else if (c < 0xE0) {
      more = 1;
    } else if (c < 0xF0) {
      more = 2;
      if (c == 0xE0) low = 0xA0;
      if (c == 0xED) high = 0x9F;
    } else if (c < 0xF5) {
      more = 3;
      if (c == 0xF0) low = 0x90;
      if (c == 0xF4) high = 0x8F;
    } else {
      return -1;
    }
    if (n - i <= more) return -1;
    const unsigned c1 = in[i + 1];
    if (c1 < low || c1 > high) return -1;
    char32_t cp = ((c & (0x3Fu >> more)) << 6) | (c1 & 0x3F);
    for (unsigned k = 2; k <= more; ++k) {
      const unsigned ck = in[i + k];
      if ((ck & 0xC0) != 0x80) return -1;
      cp = (cp << 6) | (ck & 0x3F);
    }
    i += more + 1;
    if (cp < 0x10000) {
      *o++ = static_cast<char16_t>(cp);
    } else {
      cp -= 0x10000;
      *o++ = static_cast<char16_t>(0xD800 + (cp >> 10));
      *o++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
  }
  return o - out;
}

std::u16string Utf8ToWide(std::string_view s) {
  {
    std::u16string out(s.size(), u'\0');
    const ptrdiff_t units = DecodeWellFormedUtf8(s, &out[0]);
    if (units >= 0) {
      out.resize(static_cast<size_t>(units));
      return out;
    }
  }
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      out.push_back(c);
      ++i;
      continue;
    }
    const int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    // A stray continuation byte, a lead byte beyond U+10FFFF or a sequence cut
    // by the end of the input is one replacement character.
    bool ok = extra > 0 && c <= 0xF4 && static_cast<size_t>(extra) < s.size() - i;
    char32_t cp = c & (0x3F >> extra);
    for (int k = 1; ok && k <= extra; ++k) {
      unsigned char cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (ok && (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    if (ok) {
      AppendUtf16(out, cp);
      i += extra + 1;
    } else {
      out.push_back(static_cast<char16_t>(kReplacement));
      ++i;
      // skip the continuation bytes of the broken sequence
      while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
    }
  }
  return out;
}

std::string WideToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

std::string JsonEscape(std::string_view utf8) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace platform
