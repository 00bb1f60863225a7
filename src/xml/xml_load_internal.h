// The pieces of CXmlDocument::LoadFile: the document file reader, byte order marks,
// charset sniffing, UTF-8 detection, encoding names and the conversion to UTF-16.
#pragma once

#include <cstdint>
#include <cstddef>
#include <cstdio>
#include <string>

namespace xml {

constexpr int kCharsetBucketCount = 155;
// Bucket i holds the names whose unit sum is i modulo 155, each as two digits of
// length, five of code page and the lowercase name.
extern const char16_t* const kCharsetBuckets[kCharsetBucketCount];

// The library's own number for little-endian UTF-32.
constexpr int32_t kCodePageUtf32 = 65005;
constexpr int32_t kCodePageUtf16 = 1200;
constexpr int32_t kCodePageUtf8 = 65001;

// 0 for an empty name, -1 for an unknown one.
int32_t CodePageFromName(const std::u16string& name);

// The encoding declared by an XML declaration at offset 0 or an HTML Content-Type
// meta tag in the zero-terminated text; empty when none.
std::u16string SniffCharset(const char16_t* text);

// One UTF-8 character from cursor (advanced past what was taken), or -1.
int32_t DecodeUtf8Char(const uint8_t*& cursor, const uint8_t* end);

// Bytes in `encoding` to UTF-16. Without a destination: the number of units needed;
// with one: the number written, at most capacity.
int32_t ConvertToWide(const std::u16string& encoding, const void* source, int32_t length,
                      char16_t* destination, int32_t capacity);

// A "file_error" entry for the system's last error (or for `code`).
void ReportFileError(std::u16string& results);
void ReportFileError(std::u16string& results, uint32_t code);

// Reads one document file: the mark and declared encoding first, then the body in
// one piece. One reader per load.
class DocumentFile {
 public:
  enum ByteOrder { kNoOrder, kLittleEndian, kBigEndian };

  DocumentFile() = default;
  ~DocumentFile();
  DocumentFile(const DocumentFile&) = delete;
  DocumentFile& operator=(const DocumentFile&) = delete;

  bool OpenFile(const std::u16string& path);
  // The same over bytes in memory (which must outlive the reader): the same mark,
  // declaration and UTF-8 detection, so that a document reads alike from either.
  bool OpenBytes(const void* data, size_t size);
  // Reads bytesToRead bytes into buffer (room for at least that many bytes).
  bool ReadChunk(void* buffer);
  bool ReadAll(std::u16string& text);
  // False, with a "file_error" entry, when closing fails.
  bool Close();

  FILE* file = nullptr;
  const uint8_t* memory = nullptr;  // set: the bytes are read from here, not from file
  size_t memorySize = 0;
  size_t memoryPosition = 0;
  ByteOrder byteOrder = kNoOrder;
  int32_t bytesToRead = 0;
  int32_t fileSize = 0;
  int32_t position = 0;
  int32_t unitSize = 1;
  int32_t unitsRead = 0;
  bool zeroFree = false;  // ReadAll's text holds no zero unit
  std::u16string results;
  std::u16string encoding;

 private:
  bool ReadHead(int64_t size);
  bool ReadBytes(void* buffer, size_t count);
  bool SeekTo(int32_t offset);
};

}  // namespace xml
