// Loading a document file of unknown encoding into the document's wide text.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "platform/codepage.h"
#include "platform/system.h"
#include "platform/text.h"
#include "xml/xml_document.h"
#include "xml/xml_load_internal.h"
#include "xml/xml_markup.h"

namespace xml {

namespace {

#ifdef _WIN32
constexpr uint32_t kFileTooLarge = 223;  // ERROR_FILE_TOO_LARGE
FILE* OpenForReading(const std::u16string& path) { return _wfopen(platform::W(path), L"rb"); }
int64_t FileLength(FILE* f) {
  if (_fseeki64(f, 0, SEEK_END) != 0) return -1;
  int64_t n = _ftelli64(f);
  if (_fseeki64(f, 0, SEEK_SET) != 0) return -1;
  return n;
}
#else
constexpr uint32_t kFileTooLarge = EFBIG;
FILE* OpenForReading(const std::u16string& path) { return fopen(platform::WideToUtf8(path).c_str(), "rb"); }
int64_t FileLength(FILE* f) {
  if (fseeko(f, 0, SEEK_END) != 0) return -1;
  int64_t n = ftello(f);
  if (fseeko(f, 0, SEEK_SET) != 0) return -1;
  return n;
}
#endif

struct ByteOrderMark {
  uint8_t bytes[3];
  int32_t length;
  const char16_t* name;
  int32_t unitSize;
  DocumentFile::ByteOrder order;
};

const ByteOrderMark kMarks[] = {
    {{0xEF, 0xBB, 0xBF}, 3, u"UTF-8", 1, DocumentFile::kNoOrder},
    {{0xFF, 0xFE, 0}, 2, u"UTF-16LE", 2, DocumentFile::kLittleEndian},
    {{0xFE, 0xFF, 0}, 2, u"UTF-16BE", 2, DocumentFile::kBigEndian},
};

bool DigitsAt(const std::u16string& s, size_t at, int count, int32_t& value) {
  value = 0;
  for (int i = 0; i < count; ++i) {
    char16_t c = at + i < s.size() ? s[at + i] : 0;
    if (c < u'0' || c > u'9') return false;
    value = value * 10 + (c - u'0');
  }
  return true;
}

}  // namespace

int32_t CodePageFromName(const std::u16string& name) {
  if (name.empty()) return 0;
  if (name.compare(0, 6, u"UTF-32") == 0 && name.size() >= 6) return kCodePageUtf32;
  if (name.size() >= 100) return -1;
  std::u16string lower(name);
  uint32_t sum = 0;
  for (char16_t& c : lower) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    sum += c;
  }
  const std::u16string bucket(kCharsetBuckets[sum % kCharsetBucketCount]);
  size_t at = 0;
  while (at + 7 <= bucket.size()) {
    int32_t length = 0, codePage = 0;
    if (!DigitsAt(bucket, at, 2, length) || !DigitsAt(bucket, at + 2, 5, codePage)) break;
    if (static_cast<size_t>(length) == lower.size() && bucket.compare(at + 7, length, lower) == 0) return codePage;
    at += 7 + static_cast<size_t>(length);
  }
  return -1;
}

int32_t DecodeUtf8Char(const uint8_t*& cursor, const uint8_t* end) {
  uint8_t lead = *cursor++;
  if (lead < 0x80) return lead;
  int more;
  int32_t value;
  if (!(lead & 0x20)) {
    more = 1;
    value = lead & 0x1F;
  } else if (!(lead & 0x10)) {
    more = 2;
    value = lead & 0x0F;
  } else if (!(lead & 0x08)) {
    more = 3;
    value = lead & 0x07;
  } else {
    return -1;
  }
  while (more-- > 0) {
    if (cursor >= end || !(*cursor & 0x80)) return -1;
    value = (value << 6) | (*cursor++ & 0x3F);
  }
  return value;
}

int32_t ConvertToWide(const std::u16string& encoding, const void* source, int32_t length,
                      char16_t* destination, int32_t capacity) {
  int32_t codePage = CodePageFromName(encoding);
  if (codePage < 0) codePage = 0;
  if (length <= 0) return 0;
  if (codePage == kCodePageUtf16) return 0;
  if (codePage != kCodePageUtf32)
    return platform::CodePageToWide(static_cast<uint32_t>(codePage), static_cast<const char*>(source), length,
                                    destination, capacity);
  const uint8_t* p = static_cast<const uint8_t*>(source);
  int32_t written = 0;
  for (int32_t i = 0; i + 4 <= length; i += 4) {
    uint32_t v = p[i] | (p[i + 1] << 8) | (p[i + 2] << 16) | (static_cast<uint32_t>(p[i + 3]) << 24);
    int32_t units = v < 0x10000 ? 1 : 2;
    if (destination) {
      if (written + units > capacity) break;
      if (units == 1) {
        destination[written] = static_cast<char16_t>(v);
      } else {
        destination[written] = static_cast<char16_t>(0xD800 | (((v - 0x10000) >> 10) & 0x3FF));
        destination[written + 1] = static_cast<char16_t>(0xDC00 | (v & 0x3FF));
      }
    }
    written += units;
  }
  return written;
}

std::u16string SniffCharset(const char16_t* text) {
  if (!text) return {};
  TokenCursor c(text, 0, true);
  bool html = false;
  for (;;) {
    XmlNode node;
    int32_t type = ScanNode(c, node);
    if (type == kNodeEnd || type == kNodeMalformed) return {};
    int32_t after = c.next;
    if (type == kNodeProcessing) {
      if (node.offset == 0) {
        TokenCursor t(text, 2, true);
        if (ReadToken(t) && MatchName(t, u"xml")) {
          TokenCursor a(text, 2, true);
          if (FindAttribute(a, u"encoding") && !a.noValue) return a.Token();
          return {};
        }
      }
    } else if (type == kNodeEndTag) {
      if (MatchName(c, u"head")) return {};
    } else if (type == kNodeStartTag) {
      if (!html) {
        if (!MatchName(c, u"html")) return {};
        html = true;
      } else if (MatchName(c, u"meta")) {
        TokenCursor a(text, node.offset + 1, true);
        if (FindAttribute(a, u"http-equiv") && !a.noValue && MatchName(a, u"content-type")) {
          TokenCursor v(text, node.offset + 1, true);
          if (!FindAttribute(v, u"content") || v.noValue) return {};
          std::u16string value = v.Token();
          TokenCursor t(value.c_str(), 0, true);
          while (ReadToken(t)) {
            if (!MatchName(t, u"charset")) continue;
            SkipWhitespace(t);
            if (!ReadToken(t)) break;
            if (t.Token() != u"=") continue;
            if (!ReadToken(t)) break;
            return t.Token();
          }
          return {};
        }
      }
    }
    c.next = after;
  }
}

void ReportFileError(std::u16string& results, uint32_t code) {
  std::u16string msg = platform::ErrorMessage(code);
  // The system's text goes through a buffer of 100 characters; what does not fit
  // (with its line end and terminator) is left out entirely.
  if (msg.size() + 3 > 100) msg.clear();
  AddResult(results, u"file_error", u"msg", msg, u"n", static_cast<int32_t>(code));
}

void ReportFileError(std::u16string& results) { ReportFileError(results, platform::LastErrorCode()); }

DocumentFile::~DocumentFile() {
  if (file) fclose(file);
}

bool DocumentFile::Close() {
  if (!file) return true;
  int r = fclose(file);
  file = nullptr;
  if (r != 0) {
    ReportFileError(results);
    return false;
  }
  return true;
}

bool DocumentFile::OpenFile(const std::u16string& path) {
  file = OpenForReading(path);
  if (!file) {
    ReportFileError(results);
    return false;
  }
  int64_t size = FileLength(file);
  if (size < 0) {
    ReportFileError(results);
    return false;
  }
  return ReadHead(size);
}

bool DocumentFile::OpenBytes(const void* data, size_t size) {
  memory = static_cast<const uint8_t*>(data);
  memorySize = size;
  memoryPosition = 0;
  return ReadHead(size > static_cast<size_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(size));
}

bool DocumentFile::ReadBytes(void* buffer, size_t count) {
  if (!memory) return fread(buffer, 1, count, file) == count;
  if (count > memorySize - memoryPosition) return false;
  if (count > 0) memcpy(buffer, memory + memoryPosition, count);
  memoryPosition += count;
  return true;
}

bool DocumentFile::SeekTo(int32_t offset) {
  if (!memory) return fseek(file, offset, SEEK_SET) == 0;
  if (static_cast<size_t>(offset) > memorySize) return false;
  memoryPosition = static_cast<size_t>(offset);
  return true;
}

bool DocumentFile::ReadHead(int64_t size) {
  unitSize = 1;
  byteOrder = kNoOrder;
  // Sizes and offsets are 32-bit signed all the way through.
  if (size > INT32_MAX) {
    ReportFileError(results, kFileTooLarge);
    return false;
  }
  fileSize = static_cast<int32_t>(size);
  int32_t n = fileSize < 1024 ? fileSize : 1024;
  int32_t markLength = 0;
  if (n > 0) {
    uint8_t head[1024];
    if (!ReadBytes(head, static_cast<size_t>(n))) {
      ReportFileError(results);
      return false;
    }
    for (const ByteOrderMark& m : kMarks) {
      if (m.length <= n && memcmp(head, m.bytes, static_cast<size_t>(m.length)) == 0) {
        encoding = m.name;
        unitSize = m.unitSize;
        byteOrder = m.order;
        markLength = m.length;
        break;
      }
    }
    if (markLength != n && !SeekTo(markLength)) {
      ReportFileError(results);
      return false;
    }
    if (markLength == 0) {
      std::u16string sniff(static_cast<size_t>(n), u'\0');
      int32_t got = ConvertToWide(u"UTF-8", head, n, &sniff[0], n);
      sniff.resize(static_cast<size_t>(got));
      encoding = SniffCharset(sniff.c_str());
    }
    if (encoding.empty() && head[0] == '<') encoding = u"UTF-8";
  }
  position = markLength;
  if (markLength > 0) AddResult(results, u"bom", nullptr, {}, nullptr, 0);
  return true;
}

bool DocumentFile::ReadChunk(void* buffer) {
  size_t want = static_cast<size_t>(bytesToRead);
  if (want > 0 && !ReadBytes(buffer, want)) {
    ReportFileError(results);
    return false;
  }
  unitsRead = bytesToRead / unitSize;
  position += bytesToRead;
  AddResult(results, u"read", u"encoding", encoding, u"length", unitsRead);
  int32_t kept = 0;
  if (unitSize == 2) {
    char16_t* u = static_cast<char16_t*>(buffer);
    for (int32_t i = 0; i < unitsRead; ++i) {
      char16_t v;
      memcpy(&v, reinterpret_cast<char*>(buffer) + 2 * i, 2);
      if (v != 0) memcpy(reinterpret_cast<char*>(u) + 2 * kept++, &v, 2);
    }
  } else {
    uint8_t* b = static_cast<uint8_t*>(buffer);
    const void* zero = unitsRead > 0 ? memchr(b, 0, static_cast<size_t>(unitsRead)) : nullptr;
    kept = zero ? static_cast<int32_t>(static_cast<uint8_t*>(const_cast<void*>(zero)) - b) : unitsRead;
    for (int32_t i = kept; i < unitsRead; ++i)
      if (b[i] != 0) b[kept++] = b[i];
  }
  if (kept != unitsRead) {
    AddResult(results, u"nulls_removed", nullptr, {}, u"count", unitsRead - kept);
    unitsRead = kept;
  }
  if (unitSize == 2 && byteOrder == kBigEndian) {
    uint8_t* b = static_cast<uint8_t*>(buffer);
    for (int32_t i = 0; i < unitsRead; ++i) std::swap(b[2 * i], b[2 * i + 1]);
    AddResult(results, u"endian_swap", nullptr, {}, nullptr, 0);
  }
  return true;
}

bool DocumentFile::ReadAll(std::u16string& text) {
  results.clear();
  zeroFree = false;
  if (bytesToRead == 0) {
    text.clear();
    AddResult(results, u"read", u"encoding", encoding, u"length", 0);
    return true;
  }
  if (unitSize == 2) {
    int32_t n = bytesToRead / 2;
    text.reserve(static_cast<size_t>(n) + static_cast<size_t>(n) / 100);
    // Room for every byte read, the odd last one of an odd-sized file included.
    text.resize(static_cast<size_t>(bytesToRead) / 2 + 1);
    bool ok = ReadChunk(&text[0]);
    text.resize(ok ? static_cast<size_t>(unitsRead) : 0);
    return ok;
  }
  // Not zero-filled: the read fills it, or the load fails.
  std::unique_ptr<uint8_t[]> bytes(new uint8_t[static_cast<size_t>(bytesToRead)]);
  if (!ReadChunk(bytes.get())) return false;
  const uint8_t* begin = bytes.get();
  const uint8_t* end = begin + unitsRead;
  if (encoding.empty()) {
    const uint8_t* p = begin;
    bool utf8 = true;
    while (p < end) {
      if (*p < 0x80) {
        ++p;
      } else if (DecodeUtf8Char(p, end) < 0) {
        utf8 = false;
        break;
      }
    }
    if (utf8) {
      encoding = u"UTF-8";
      AddResult(results, u"read", u"encoding", encoding, nullptr, 0, -1, true);
    }
    AddResult(results, u"utf8_detection", nullptr, {}, nullptr, 0);
  }
  // One pass: no code page gives more UTF-16 units than it has bytes, so the byte
  // count holds the text. Only a converter that still found it too small is asked
  // for the size it needs. A text of the size the last load left is not filled
  // again before it is overwritten.
  const size_t byteCount = static_cast<size_t>(unitsRead > 0 ? unitsRead : 0);
  if (text.capacity() < byteCount) text.reserve(byteCount + byteCount / 100);
  text.resize(byteCount);
  int32_t written = -1;
  // Well-formed UTF-8, nearly every file, is decoded here at memory speed, and
  // then holds no zero unit (the read removed the zero bytes); the code-page seam
  // keeps what it does with anything else.
  if (CodePageFromName(encoding) == kCodePageUtf8 && unitsRead > 0) {
    const ptrdiff_t units = platform::DecodeWellFormedUtf8(
        std::string_view(reinterpret_cast<const char*>(begin), byteCount), &text[0]);
    if (units >= 0) {
      written = static_cast<int32_t>(units);
      zeroFree = true;
    }
  }
  if (written < 0) written = unitsRead > 0 ? ConvertToWide(encoding, begin, unitsRead, &text[0], unitsRead) : 0;
  if (written == 0 && unitsRead > 0) {
    const int32_t m = ConvertToWide(encoding, begin, unitsRead, nullptr, 0);
    if (m > unitsRead) {
      text.resize(static_cast<size_t>(m));
      written = ConvertToWide(encoding, begin, unitsRead, &text[0], m);
    }
  }
  text.resize(static_cast<size_t>(written > 0 ? written : 0));
  AddResult(results, u"converted_to", u"encoding", u"UTF-16", u"length", written);
  return true;
}

}  // namespace xml

bool CXmlDocument::LoadFile(const std::u16string& path) {
  xml::DocumentFile reader;
  const bool opened = reader.OpenFile(path);
  return LoadFrom(reader, opened);
}

bool CXmlDocument::LoadBytes(const void* data, size_t size) {
  xml::DocumentFile reader;
  const bool opened = reader.OpenBytes(data, size);
  return LoadFrom(reader, opened);
}

bool CXmlDocument::LoadFrom(xml::DocumentFile& reader, bool opened) {
  results_ = reader.results;
  bool read = false;
  if (opened) {
    reader.bytesToRead = reader.fileSize - reader.position;
    read = reader.ReadAll(text_);
    reader.Close();
    results_ += reader.results;
  }
  if (opened && read) return reader.zeroFree ? IndexText() : ParseDocument();
  // A failed load leaves no index over a text it no longer describes.
  std::u16string kept;
  kept.swap(results_);
  SetDocument(nullptr);
  results_.swap(kept);
  return false;
}
