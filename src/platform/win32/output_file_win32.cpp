#include "platform/output_file.h"

#include <windows.h>

#include "platform/text.h"

namespace platform {

FileHandle::~FileHandle() { Close(); }

bool FileHandle::IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

void FileHandle::Close() {
  if (IsOpen()) {
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }
}

intptr_t FileHandle::NativeHandle() const { return reinterpret_cast<intptr_t>(handle_); }

bool OutputFile::Create(const std::u16string& path) {
  Close();
  handle_ = CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return IsOpen();
}

bool OutputFile::CreateReadable(const std::u16string& path, bool mustBeNew) {
  Close();
  handle_ = CreateFileW(W(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr, mustBeNew ? CREATE_NEW : CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
  return IsOpen();
}

bool OutputFile::WriteAt(uint64_t offset, const void* data, size_t size) {
  if (!IsOpen()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  LARGE_INTEGER pos;
  pos.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(handle_, pos, nullptr, FILE_BEGIN)) return false;
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(handle_, p, chunk, &written, nullptr)) return false;
    if (written == 0) {
      SetLastError(ERROR_DISK_FULL);
      return false;
    }
    p += written;
    size -= written;
  }
  return true;
}

bool OutputFile::Flush() { return IsOpen() && FlushFileBuffers(handle_) != 0; }

bool HeldFile::Open(const std::u16string& path) {
  Close();
  handle_ = CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return IsOpen();
}

bool HeldFile::ReadAt(uint64_t offset, void* data, size_t size, size_t* got) {
  *got = 0;
  if (!IsOpen()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD n = 0;
  const DWORD want = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
  if (!ReadFile(handle_, data, want, &n, &at)) return GetLastError() == ERROR_HANDLE_EOF;
  *got = n;
  return true;
}

bool DeleteFileByPath(const std::u16string& path) { return DeleteFileW(W(path)) != 0; }

bool PathExists(const std::u16string& path) { return GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES; }

namespace {
bool FileIdentity(const std::u16string& path, BY_HANDLE_FILE_INFORMATION* info) {
  // No access asked: only the file's identity is read, even of a running program.
  HANDLE h = CreateFileW(W(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = GetFileInformationByHandle(h, info) != 0;
  CloseHandle(h);
  return ok;
}
}  // namespace

bool SameFile(const std::u16string& a, const std::u16string& b) {
  BY_HANDLE_FILE_INFORMATION x{}, y{};
  return FileIdentity(a, &x) && FileIdentity(b, &y) && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
         x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

bool FileSizeOf(const std::u16string& path, uint64_t* size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(W(path), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return false;
  *size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return true;
}

}  // namespace platform
