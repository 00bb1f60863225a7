// The package file: created for exclusive writing, written at explicit offsets,
// flushed to disk, and once finished held for reading until it is handed on. Every
// failure is reported; a short write is a failure.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// An open file of the system's (a HANDLE on Windows, a descriptor elsewhere),
// owned: closed with its owner.
class FileHandle {
 public:
  FileHandle() = default;
  ~FileHandle();
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  bool IsOpen() const;
  void Close();
  // The system's handle, for checks that read the file through it.
  intptr_t NativeHandle() const;

 protected:
#ifdef _WIN32
  void* handle_ = reinterpret_cast<void*>(static_cast<intptr_t>(-1));
#else
  int fd_ = -1;
#endif
};

class OutputFile : public FileHandle {
 public:
  // Creates the file (truncating one that exists), shared with nobody.
  bool Create(const std::u16string& path);
  // For a file others may read while it is written (a log): mustBeNew fails when
  // the file exists instead of truncating it.
  bool CreateReadable(const std::u16string& path, bool mustBeNew);
  // Writes all of size bytes at offset, or fails.
  bool WriteAt(uint64_t offset, const void* data, size_t size);
  bool Flush();
};

// A finished file held open for reading, shared with others for reading only: while
// it is held on Windows nobody can open it for writing, replace, rename or delete
// it, so what was read through it is what stays at its path. (POSIX has no such
// sharing rule: there it is only an open descriptor.)
class HeldFile : public FileHandle {
 public:
  // False when the file is gone or someone else holds it open for writing.
  bool Open(const std::u16string& path);
  // Reads up to size bytes from offset; *got 0 at the end.
  bool ReadAt(uint64_t offset, void* data, size_t size, size_t* got);
};

// Removes a file by path; false when it could not be removed (or did not exist).
bool DeleteFileByPath(const std::u16string& path);
// True when a file (or folder) exists at path.
bool PathExists(const std::u16string& path);
// True when both paths name one existing file, however each is spelt (case, short
// names, links): what a name comparison cannot tell.
bool SameFile(const std::u16string& a, const std::u16string& b);
// The size in bytes of the file at path, without opening it; false when there is
// no such file.
bool FileSizeOf(const std::u16string& path, uint64_t* size);

}  // namespace platform
