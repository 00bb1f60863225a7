// The loader's pieces on their own: encoding names, UTF-8 decoding, sniffing, UTF-32.
#include <gtest/gtest.h>

#include <string>

#include "platform/text.h"
#include "xml/xml_load_internal.h"

namespace {

using xml::CodePageFromName;

struct Row {
  int32_t codePage;
  const char16_t* name;
};
const Row kRows[] = {
#include "xml_load/charset_rows.inc"
};

uint32_t UnitSum(const std::u16string& s) {
  uint32_t sum = 0;
  for (char16_t c : s) sum += c;
  return sum;
}

TEST(CharsetTable, EveryNameMapsToItsCodePageInAnyCase) {
  EXPECT_EQ(sizeof kRows / sizeof kRows[0], 364u);
  for (const Row& r : kRows) {
    std::u16string name(r.name);
    EXPECT_EQ(CodePageFromName(name), r.codePage) << platform::WideToUtf8(name);
    std::u16string upper(name);
    for (char16_t& c : upper)
      if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    if (upper.compare(0, 6, u"UTF-32") != 0) {
      EXPECT_EQ(CodePageFromName(upper), r.codePage) << platform::WideToUtf8(upper);
    }
  }
  EXPECT_EQ(CodePageFromName(u"Windows-1252"), 1252);
}

TEST(CharsetTable, BucketsHoldEachNameUnderItsUnitSum) {
  size_t names = 0;
  for (int b = 0; b < xml::kCharsetBucketCount; ++b) {
    std::u16string bucket(xml::kCharsetBuckets[b]);
    size_t at = 0;
    while (at < bucket.size()) {
      ASSERT_LE(at + 7, bucket.size());
      size_t len = static_cast<size_t>((bucket[at] - u'0') * 10 + (bucket[at + 1] - u'0'));
      std::u16string name = bucket.substr(at + 7, len);
      ASSERT_EQ(name.size(), len);
      EXPECT_EQ(UnitSum(name) % 155, static_cast<uint32_t>(b)) << platform::WideToUtf8(name);
      at += 7 + len;
      ++names;
    }
  }
  EXPECT_EQ(names, 364u);
}

TEST(CharsetTable, SpecialNames) {
  EXPECT_EQ(CodePageFromName(u""), 0);
  EXPECT_EQ(CodePageFromName(u"no-such-charset"), -1);
  // Only the capital spelling, with anything after it, is the library's own UTF-32.
  EXPECT_EQ(CodePageFromName(u"UTF-32"), xml::kCodePageUtf32);
  EXPECT_EQ(CodePageFromName(u"UTF-32BE"), xml::kCodePageUtf32);
  EXPECT_EQ(CodePageFromName(u"utf-32"), 12000);
  EXPECT_EQ(CodePageFromName(u"Utf-32"), 12000);
  std::u16string longName(99, u'a');
  EXPECT_EQ(CodePageFromName(longName), -1);
  EXPECT_EQ(CodePageFromName(longName + u"a"), -1);
  // A name whose lowered sum lands in a bucket but that is only a prefix of an entry.
  EXPECT_EQ(CodePageFromName(u"utf"), -1);
  EXPECT_EQ(CodePageFromName(u"utf-8x"), -1);
}

int32_t Decode(const std::string& bytes, size_t* taken = nullptr) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes.data());
  const uint8_t* begin = p;
  int32_t v = xml::DecodeUtf8Char(p, begin + bytes.size());
  if (taken) *taken = static_cast<size_t>(p - begin);
  return v;
}

TEST(DecodeUtf8Char, SequencesAndFaults) {
  size_t taken = 0;
  EXPECT_EQ(Decode("A", &taken), 0x41);
  EXPECT_EQ(taken, 1u);
  EXPECT_EQ(Decode("\xC3\xA9", &taken), 0xE9);
  EXPECT_EQ(taken, 2u);
  EXPECT_EQ(Decode("\xE2\x82\xAC", &taken), 0x20AC);
  EXPECT_EQ(taken, 3u);
  EXPECT_EQ(Decode("\xF0\x9D\x84\x9E", &taken), 0x1D11E);
  EXPECT_EQ(taken, 4u);
  // Overlong forms and surrogates pass; a stray continuation reads as a two-byte lead.
  EXPECT_EQ(Decode("\xC0\x80"), 0);
  EXPECT_EQ(Decode("\xED\xA0\x80"), 0xD800);
  EXPECT_EQ(Decode("\x80\x80"), 0);
  EXPECT_EQ(Decode("\xF8\x80\x80\x80\x80"), -1);
  // Cut off by the end, or by a byte without the high bit, which is not taken.
  EXPECT_EQ(Decode("\xE2\x82", &taken), -1);
  EXPECT_EQ(Decode("\xE2\x41\x41", &taken), -1);
  EXPECT_EQ(taken, 1u);
}

std::u16string Sniff(const std::u16string& s) { return xml::SniffCharset(s.c_str()); }

TEST(SniffCharset, DeclarationsAndMetaTags) {
  EXPECT_EQ(Sniff(u"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a/>"), u"ISO-8859-1");
  EXPECT_EQ(Sniff(u"<?XML encoding='koi8-r'?>"), u"koi8-r");
  EXPECT_EQ(Sniff(u"<?xml version=\"1.0\"?><a/>"), u"");
  EXPECT_EQ(Sniff(u"\n<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a/>"), u"");
  EXPECT_EQ(Sniff(u"<?xml-stylesheet encoding=\"x\"?>"), u"");
  EXPECT_EQ(Sniff(u"<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">"),
            u"windows-1252");
  EXPECT_EQ(Sniff(u"<!-- x --><HTML><HEAD><TITLE>t</TITLE>"
                  u"<META HTTP-EQUIV=CONTENT-TYPE CONTENT=text/html;CHARSET=Shift_JIS></HEAD>"),
            u"Shift_JIS");
  EXPECT_EQ(Sniff(u"<html><meta http-equiv=\"Content-Type\" content=\"text/html; charset = big5 \">"), u"big5");
  // Stops: a meta without content, a Content-Type without charset, the end of head,
  // a document that is not HTML.
  EXPECT_EQ(Sniff(u"<html><meta http-equiv=\"Content-Type\"><meta charset=\"x\">"), u"");
  EXPECT_EQ(Sniff(u"<html><meta http-equiv=\"Content-Type\" content=\"text/html\">"), u"");
  EXPECT_EQ(Sniff(u"<html><head></head><meta http-equiv=\"Content-Type\" content=\"charset=x\">"), u"");
  EXPECT_EQ(Sniff(u"<root><html><meta http-equiv=\"Content-Type\" content=\"charset=x\">"), u"");
  EXPECT_EQ(Sniff(u""), u"");
  EXPECT_EQ(Sniff(u"<"), u"");
}

TEST(ConvertToWide, Utf32AndUnconvertibleCodePages) {
  const uint8_t utf32[] = {0x41, 0, 0, 0, 0x1E, 0xD1, 0x01, 0, 0xAC, 0x20, 0, 0, 0x42, 0};
  EXPECT_EQ(xml::ConvertToWide(u"UTF-32", utf32, sizeof utf32, nullptr, 0), 4);
  char16_t out[8] = {};
  ASSERT_EQ(xml::ConvertToWide(u"UTF-32", utf32, sizeof utf32, out, 8), 4);
  EXPECT_EQ(std::u16string(out, 4), u"A\U0001D11E\u20AC");
  // A capacity too small stops before a pair is split.
  EXPECT_EQ(xml::ConvertToWide(u"UTF-32", utf32, sizeof utf32, out, 2), 1);
  // UTF-16 is never converted; UTF-32 by its table name cannot be.
  EXPECT_EQ(xml::ConvertToWide(u"UTF-16", "a\0b\0", 4, nullptr, 0), 0);
  EXPECT_EQ(xml::ConvertToWide(u"utf-32", utf32, sizeof utf32, nullptr, 0), 0);
  EXPECT_EQ(xml::ConvertToWide(u"utf-16be", "\0a", 2, nullptr, 0), 0);
  EXPECT_EQ(xml::ConvertToWide(u"UTF-8", "", 0, nullptr, 0), 0);
  // Unknown names go by the ANSI code page: ASCII survives it everywhere.
  ASSERT_EQ(xml::ConvertToWide(u"no-such-charset", "abc", 3, out, 8), 3);
  EXPECT_EQ(std::u16string(out, 3), u"abc");
}

}  // namespace
