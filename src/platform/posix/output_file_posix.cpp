#include "platform/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/text.h"

namespace platform {

FileHandle::~FileHandle() { Close(); }

bool FileHandle::IsOpen() const { return fd_ >= 0; }

void FileHandle::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

intptr_t FileHandle::NativeHandle() const { return fd_; }

bool OutputFile::Create(const std::u16string& path) {
  Close();
  fd_ = ::open(WideToUtf8(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  return fd_ >= 0;
}

bool OutputFile::CreateReadable(const std::u16string& path, bool mustBeNew) {
  Close();
  fd_ = ::open(WideToUtf8(path).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (mustBeNew ? O_EXCL : O_TRUNC), 0644);
  return fd_ >= 0;
}

bool OutputFile::WriteAt(uint64_t offset, const void* data, size_t size) {
  if (fd_ < 0) {
    errno = EBADF;
    return false;
  }
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::pwrite(fd_, p, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    p += n;
    offset += static_cast<uint64_t>(n);
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool OutputFile::Flush() { return fd_ >= 0 && ::fdatasync(fd_) == 0; }

bool HeldFile::Open(const std::u16string& path) {
  Close();
  fd_ = ::open(WideToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
  return fd_ >= 0;
}

bool HeldFile::ReadAt(uint64_t offset, void* data, size_t size, size_t* got) {
  *got = 0;
  if (fd_ < 0) {
    errno = EBADF;
    return false;
  }
  for (;;) {
    const ssize_t n = ::pread(fd_, data, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    *got = static_cast<size_t>(n);
    return true;
  }
}

bool DeleteFileByPath(const std::u16string& path) { return ::unlink(WideToUtf8(path).c_str()) == 0; }

bool PathExists(const std::u16string& path) {
  struct stat st;
  return ::stat(WideToUtf8(path).c_str(), &st) == 0;
}

bool SameFile(const std::u16string& a, const std::u16string& b) {
  struct stat x, y;
  return ::stat(WideToUtf8(a).c_str(), &x) == 0 && ::stat(WideToUtf8(b).c_str(), &y) == 0 && x.st_dev == y.st_dev &&
         x.st_ino == y.st_ino;
}

bool FileSizeOf(const std::u16string& path, uint64_t* size) {
  struct stat st;
  if (::stat(WideToUtf8(path).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  *size = static_cast<uint64_t>(st.st_size);
  return true;
}

}  // namespace platform
