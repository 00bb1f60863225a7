#include "platform/codepage.h"

#include <iconv.h>

#include <atomic>
#include <cerrno>
#include <vector>

namespace platform {

namespace {

std::atomic<uint32_t> defaultCodePage{1252};

struct CodePageName {
  uint32_t codePage;
  const char* iconvName;
  bool multiByte = false;
};

// Windows code page numbers and the glibc converter for each. Code pages missing
// here (UTF-16 and UTF-32 in any byte order among them) cannot be converted, as
// they cannot by MultiByteToWideChar either.
const CodePageName kCodePages[] = {
    {154, "PT154"},           {437, "IBM437"},         {500, "IBM500"},        {708, "ASMO-708"},
    {737, "CP737"},           {775, "CP775"},          {850, "IBM850"},        {852, "IBM852"},
    {855, "IBM855"},          {857, "IBM857"},         {858, "IBM858"},        {860, "IBM860"},
    {861, "IBM861"},          {862, "IBM862"},         {863, "IBM863"},        {864, "IBM864"},
    {865, "IBM865"},          {866, "IBM866"},         {869, "IBM869"},        {874, "CP874"},
    {932, "CP932", true},           {936, "CP936", true},          {949, "CP949", true},         {950, "CP950", true},
    {1125, "CP1125"},         {1133, "IBM1133"},       {1250, "CP1250"},       {1251, "CP1251"},
    {1252, "CP1252"},         {1253, "CP1253"},        {1254, "CP1254"},       {1255, "CP1255"},
    {1256, "CP1256"},         {1257, "CP1257"},        {1258, "CP1258"},       {1361, "JOHAB", true},
    {10000, "MACINTOSH"},     {10007, "MAC-CYRILLIC"}, {10017, "MAC-UK"},      {10029, "MAC-CENTRALEUROPE"},
    {10079, "MAC-IS"},        {20127, "ASCII"},        {20866, "KOI8-R"},      {20932, "EUC-JP", true},
    {21866, "KOI8-U"},        {28591, "ISO-8859-1"},   {28592, "ISO-8859-2"},  {28593, "ISO-8859-3"},
    {28594, "ISO-8859-4"},    {28595, "ISO-8859-5"},   {28596, "ISO-8859-6"},  {28597, "ISO-8859-7"},
    {28598, "ISO-8859-8"},    {28599, "ISO-8859-9"},   {28603, "ISO-8859-13"}, {28605, "ISO-8859-15"},
    {38598, "ISO-8859-8"},    {50220, "ISO-2022-JP", true},  {50221, "ISO-2022-JP", true}, {50222, "ISO-2022-JP", true},
    {50225, "ISO-2022-KR", true},   {51932, "EUC-JP-MS", true},    {51936, "EUC-CN", true},      {51949, "EUC-KR", true},
    {54936, "GB18030", true},       {65000, "UTF-7", true},        {65001, "UTF-8", true},
};

const CodePageName* Find(uint32_t codePage) {
  for (const CodePageName& e : kCodePages)
    if (e.codePage == codePage) return &e;
  return nullptr;
}

// A single-byte code page goes byte by byte through a table made from iconv one
// byte at a time: glibc's converters for 1255 and 1258 would otherwise combine a
// letter with the accent after it, which MultiByteToWideChar does not.
void SingleByteTable(iconv_t cd, char16_t table[256]) {
  for (int b = 0; b < 256; ++b) {
    char in = static_cast<char>(b);
    char* ip = &in;
    size_t inLeft = 1;
    char16_t out[4] = {};
    char* op = reinterpret_cast<char*>(out);
    size_t outLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    size_t r = iconv(cd, &ip, &inLeft, &op, &outLeft);
    if (r != static_cast<size_t>(-1)) iconv(cd, nullptr, nullptr, &op, &outLeft);
    size_t units = (sizeof out - outLeft) / 2;
    table[b] = r == static_cast<size_t>(-1) || units != 1 ? char16_t{0xFFFD} : out[0];
  }
}

}  // namespace

int32_t CodePageToWide(uint32_t codePage, const char* source, int32_t length, char16_t* destination,
                       int32_t capacity) {
  if (length <= 0 || !source) return 0;
  if (codePage == 0) codePage = defaultCodePage;
  const CodePageName* entry = Find(codePage);
  if (!entry) return 0;
  iconv_t cd = iconv_open("UTF-16LE", entry->iconvName);
  if (cd == reinterpret_cast<iconv_t>(-1)) return 0;
  if (!entry->multiByte) {
    char16_t table[256];
    SingleByteTable(cd, table);
    iconv_close(cd);
    if (!destination) return length;
    if (length > capacity) return 0;
    const unsigned char* in = reinterpret_cast<const unsigned char*>(source);
    for (int32_t i = 0; i < length; ++i) destination[i] = table[in[i]];
    return length;
  }

  // Converted in pieces through a scratch buffer, so that measuring needs no
  // destination; invalid or cut-off input becomes U+FFFD, one per byte skipped.
  std::vector<char16_t> out;
  out.reserve(static_cast<size_t>(length) + 4);
  char16_t scratch[1024];
  char* in = const_cast<char*>(source);
  size_t inLeft = static_cast<size_t>(length);
  bool flushed = false;
  while (!flushed) {
    char* o = reinterpret_cast<char*>(scratch);
    size_t oLeft = sizeof scratch;
    size_t r = inLeft > 0 ? iconv(cd, &in, &inLeft, &o, &oLeft) : iconv(cd, nullptr, nullptr, &o, &oLeft);
    int err = r == static_cast<size_t>(-1) ? errno : 0;
    out.insert(out.end(), scratch, reinterpret_cast<char16_t*>(o));
    if (r != static_cast<size_t>(-1)) {
      if (inLeft == 0) flushed = true;
      continue;
    }
    if (err == E2BIG) continue;
    if (err == EILSEQ) {
      out.push_back(0xFFFD);
      ++in;
      --inLeft;
    } else if (err == EINVAL) {
      out.push_back(0xFFFD);
      inLeft = 0;
    } else {
      break;
    }
  }
  iconv_close(cd);

  int32_t n = static_cast<int32_t>(out.size());
  if (!destination) return n;
  if (n > capacity) return 0;
  for (int32_t i = 0; i < n; ++i) destination[i] = out[static_cast<size_t>(i)];
  return n;
}

void SetDefaultCodePage(uint32_t codePage) { defaultCodePage = codePage; }
uint32_t DefaultCodePage() { return defaultCodePage; }

}  // namespace platform
