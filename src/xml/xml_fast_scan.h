// The index builder's quick reading of the common nodes: text and start tags whose
// attribute values are all quoted. Whatever it does not recognise it
// leaves to ScanNode, which stays the one definition of what a node is: for every
// node it accepts, the fast reading must give exactly what ScanNode gives.
//
// Every search is bounded by the text's length, so no read passes the terminator;
// the block searches use SSE2 where the compiler targets it, and plain loops
// otherwise (the default i686 build).
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__SSE2__) && !defined(ZARN_XML_SCALAR)
#include <emmintrin.h>
#define ZARN_XML_SSE2 1
#endif

#include "xml/xml_markup.h"

namespace xml {
namespace fast {

// Classes of the characters below 64, one bit each.
constexpr uint64_t Bit(unsigned ch) { return uint64_t{1} << ch; }
constexpr uint64_t kWsBits = Bit(' ') | Bit('\t') | Bit('\n') | Bit('\r');
// What ends an element name: the terminator, white space, "/" and ">".
constexpr uint64_t kNameEndBits = Bit(0) | kWsBits | Bit('/') | Bit('>');
// What ends an attribute name or stands outside one in a start tag.
constexpr uint64_t kAttrEndBits = kNameEndBits | Bit('=') | Bit('"') | Bit('\'');

inline bool In(uint64_t bits, char16_t ch) { return ch < 64 && ((bits >> ch) & 1); }

#ifdef ZARN_XML_SSE2
inline unsigned CountTrailingZeros(unsigned v) { return static_cast<unsigned>(__builtin_ctz(v)); }
#endif

// The first p in [from, n) with t[p] == target, or n.
inline uint32_t Find(const char16_t* t, uint32_t from, uint32_t n, char16_t target) {
  uint32_t p = from;
#ifdef ZARN_XML_SSE2
  const __m128i want = _mm_set1_epi16(static_cast<short>(target));
  while (p + 8 <= n) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + p));
    const unsigned m = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(v, want)));
    if (m) return p + CountTrailingZeros(m) / 2;
    p += 8;
  }
#endif
  while (p < n && t[p] != target) ++p;
  return p;
}

// Copies src[0, n) to dst up to its first zero unit; returns the units copied.
inline size_t CopyToZero(char16_t* dst, const char16_t* src, size_t n) {
  size_t p = 0;
#ifdef ZARN_XML_SSE2
  const __m128i zero = _mm_setzero_si128();
  while (p + 8 <= n) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + p));
    const unsigned m = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(v, zero)));
    if (m) break;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + p), v);
    p += 8;
  }
#endif
  while (p < n && src[p]) {
    dst[p] = src[p];
    ++p;
  }
  return p;
}

// Whether t[at, at + count) equals t[name, name + count), a name of the text; stops
// at the terminator at the latest, which a name does not hold.
inline bool SameName(const char16_t* t, uint32_t n, uint32_t at, uint32_t name, uint32_t count) {
#ifdef ZARN_XML_SSE2
  // A short name, the common case, in one comparison.
  if (count < 8 && at + 8 <= n && name + 8 <= n) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + at));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + name));
    const unsigned want = (1u << (2 * count)) - 1;
    return (static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(a, b))) & want) == want;
  }
#endif
  uint32_t i = 0;
  while (i < count && t[at + i] == t[name + i]) ++i;
  return i == count;
}

inline bool IsNameStart(char16_t ch) { return ch > 0x60 || (ch >= u'A' && ch <= u'Z') || ch == u'_' || ch == u':'; }

// What the quick reading of a start tag found: its end (one past its ">"), the
// name's last unit, and whether it closes itself.
struct Tag {
  uint32_t next;
  uint32_t nameEnd;
  bool empty;
};

// A start tag at t[at] == '<' whose name starts at at + 1. True when every attribute
// value is quoted and the tag is closed; false for anything else.
inline bool StartTag(const char16_t* t, uint32_t n, uint32_t at, Tag& tag) {
  uint32_t p = at + 1;
  while (!In(kNameEndBits, t[p])) ++p;
  const uint32_t nameEnd = p - 1;
  for (;;) {
    char16_t ch = t[p];
    if (!In(kAttrEndBits, ch)) {  // an attribute name
      do ++p;
      while (!In(kAttrEndBits, t[p]));
      continue;
    }
    if (In(kWsBits, ch)) {
      ++p;
      continue;
    }
    if (ch == u'=') {
      ++p;
      while (In(kWsBits, t[p])) ++p;
      const char16_t quote = t[p];
      if (quote != u'"' && quote != u'\'') return false;
      p = Find(t, p + 1, n, quote);
      if (p >= n) return false;
      ++p;
      continue;
    }
    bool empty = false;
    if (ch == u'/') {
      if (t[p + 1] != u'>') return false;
      const char16_t b = t[p - 1];
      empty = p - 1 == nameEnd || In(kWsBits, b) || b == u'"' || b == u'\'';
      ++p;
    } else if (ch != u'>') {
      return false;  // the terminator, or a quote outside a value
    }
    tag = Tag{p + 1, nameEnd, empty};
    return true;
  }
}

}  // namespace fast
}  // namespace xml
