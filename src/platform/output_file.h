// The package file: created for exclusive writing, written at explicit offsets,
// flushed to disk. Every failure is reported; a short write is a failure.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the file (truncating one that exists), shared with nobody.
  bool Create(const std::u16string& path);
  bool IsOpen() const;
  // Writes all of size bytes at offset, or fails.
  bool WriteAt(uint64_t offset, const void* data, size_t size);
  bool Flush();
  void Close();

 private:
#ifdef _WIN32
  void* handle_ = reinterpret_cast<void*>(static_cast<intptr_t>(-1));
#else
  int fd_ = -1;
#endif
};

// Removes a file by path; false when it could not be removed (or did not exist).
bool DeleteFileByPath(const std::u16string& path);
// True when a file (or folder) exists at path.
bool PathExists(const std::u16string& path);
// True when both paths name one existing file, however each is spelt (case, short
// names, links): what a name comparison cannot tell.
bool SameFile(const std::u16string& a, const std::u16string& b);

}  // namespace platform
