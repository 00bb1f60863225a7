// The well-formed UTF-8 decoder against the code-page seam it stands in for: the
// same units for everything it takes, and nothing taken that is not well-formed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/text.h"

namespace {

constexpr uint32_t kUtf8 = 65001;

std::u16string Seam(const std::string& bytes) {
  std::u16string out(bytes.size() + 1, u'\0');
  const int32_t n = platform::CodePageToWide(kUtf8, bytes.data(), static_cast<int32_t>(bytes.size()), &out[0],
                                             static_cast<int32_t>(out.size()));
  out.resize(static_cast<size_t>(n > 0 ? n : 0));
  return out;
}

// -1 when refused, else the decoded text in `out`.
ptrdiff_t Decode(const std::string& bytes, std::u16string& out) {
  out.assign(bytes.size() + 1, u'\0');
  const ptrdiff_t n = platform::DecodeWellFormedUtf8(bytes, &out[0]);
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return n;
}

// Written out here rather than through the library, so that a fault in its encoder
// cannot hide one in the decoder.
void AppendUtf8(std::string& s, char32_t cp) {
  if (cp < 0x80) {
    s += static_cast<char>(cp);
  } else if (cp < 0x800) {
    s += static_cast<char>(0xC0 | (cp >> 6));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    s += static_cast<char>(0xE0 | (cp >> 12));
    s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | (cp >> 18));
    s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void AppendUtf16(std::u16string& s, char32_t cp) {
  if (cp < 0x10000) {
    s += static_cast<char16_t>(cp);
  } else {
    s += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
    s += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
  }
}

TEST(Utf8Decode, EveryScalarValueAsTheSeamDecodesIt) {
  // In runs of 4096 values, each run one call, so that sequences of every length
  // meet the block edges at every offset.
  for (char32_t from = 0; from < 0x110000; from += 0x1000) {
    std::string bytes;
    std::u16string expected;
    for (char32_t cp = from; cp < from + 0x1000; ++cp) {
      if (cp >= 0xD800 && cp <= 0xDFFF) continue;
      AppendUtf8(bytes, cp);
      AppendUtf16(expected, cp);
      if (cp % 7 == 0) {  // ASCII between them, for the block path to start and stop
        bytes += "abcdefghijklmnopq";
        expected += u"abcdefghijklmnopq";
      }
    }
    if (bytes.empty()) continue;
    std::u16string decoded;
    ASSERT_EQ(Decode(bytes, decoded), static_cast<ptrdiff_t>(expected.size())) << std::hex << from;
    ASSERT_EQ(decoded, expected) << std::hex << from;
    ASSERT_EQ(Seam(bytes), expected) << std::hex << from;
    ASSERT_EQ(platform::Utf8ToWide(bytes), expected) << std::hex << from;
  }
}

TEST(Utf8Decode, RefusesEveryIllFormedPairAndTriple) {
  // All lead/second-byte pairs, and triples and quadruples over the boundary bytes
  // of every range: what it takes equals the seam, what it refuses the seam marks.
  const unsigned char edges[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xFF};
  auto check = [](const std::string& bytes) {
    std::u16string decoded;
    const std::u16string seam = Seam(bytes);
    if (Decode(bytes, decoded) >= 0) {
      EXPECT_EQ(decoded, seam);
    } else {
      EXPECT_NE(seam.find(u'\xFFFD'), std::u16string::npos) << std::hex << int(uint8_t(bytes[0]));
    }
  };
  for (int a = 0x80; a < 0x100; ++a)
    for (int b = 0; b < 0x100; ++b) check(std::string{char(a), char(b)});
  for (int a = 0xE0; a < 0x100; ++a)
    for (unsigned char b : edges)
      for (unsigned char c : edges) {
        check(std::string{char(a), char(b), char(c)});
        for (unsigned char d : edges) check(std::string{char(a), char(b), char(c), char(d)});
      }
}

TEST(Utf8Decode, CutAndInvalidSequencesAtEveryBlockEdge) {
  const std::string faults[] = {
      "\x80", "\xBF", "\xC0\x80", "\xC1\xBF", "\xC2", "\xE0\x80\x80", "\xE0\x9F\xBF", "\xE0\xA0", "\xED\xA0\x80",
      "\xED\xBF\xBF", "\xF0\x8F\xBF\xBF", "\xF0\x90\x80", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xFE", "\xFF",
      "\xC3\x28", "\xE2\x82\x28", "\xF0\x9F\x98\x28",
  };
  for (const std::string& fault : faults) {
    for (size_t at = 0; at < 36; ++at) {
      // Inside a run of ASCII, and as the very end of the input.
      const std::string inside = std::string(at, 'a') + fault + std::string(20, 'b');
      const std::string atEnd = std::string(at, 'a') + fault;
      for (const std::string& bytes : {inside, atEnd}) {
        std::u16string decoded;
        EXPECT_EQ(Decode(bytes, decoded), -1) << at;
        // Refused input still converts, with its faults replaced, both ways.
        EXPECT_NE(platform::Utf8ToWide(bytes).find(u'\xFFFD'), std::u16string::npos);
        EXPECT_NE(Seam(bytes).find(u'\xFFFD'), std::u16string::npos);
      }
    }
  }
  // Each well-formed length, its last byte exactly at the end of every block.
  for (const char* good : {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xEF\xBB\xBF"}) {
    for (size_t at = 0; at < 36; ++at) {
      const std::string bytes = std::string(at, 'a') + good;
      std::u16string decoded;
      ASSERT_GE(Decode(bytes, decoded), 0) << at;
      EXPECT_EQ(decoded, Seam(bytes));
      EXPECT_EQ(decoded.substr(0, at), std::u16string(at, u'a'));
    }
  }
  // A view that ends inside a sequence whose rest lies beyond it: the bytes past
  // the end are never read.
  const std::string whole = std::string(16, 'a') + "\xF0\x9F\x98\x80" + "\xE2\x82\xAC" + "\xC3\xA9";
  for (size_t end : {17, 18, 19, 21, 22, 24}) {
    std::u16string out(whole.size(), u'\0');
    EXPECT_EQ(platform::DecodeWellFormedUtf8(std::string_view(whole.data(), end), &out[0]), -1) << end;
  }
  std::u16string none;
  EXPECT_EQ(Decode("", none), 0);
}

}  // namespace
