// Helpers shared by the test programs of every area.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

// A fresh folder under the system's temporary folder, removed with everything in it
// when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::u16string Wide(const std::string& name = {}) const;

 private:
  std::filesystem::path path_;
};

std::vector<uint8_t> ReadBytes(const std::filesystem::path& p);
void WriteBytes(const std::filesystem::path& p, const std::vector<uint8_t>& bytes);
void WriteText(const std::filesystem::path& p, const std::string& text);

// A file system of a few KiB for full-disk tests. Linux only, and only as root:
// available() is false elsewhere, with the reason in why().
class SmallFileSystem {
 public:
  explicit SmallFileSystem(size_t bytes);
  ~SmallFileSystem();
  bool available() const { return mounted_; }
  const std::string& why() const { return why_; }
  const std::filesystem::path& path() const { return dir_.path(); }

 private:
  TempDir dir_;
  bool mounted_ = false;
  std::string why_;
};

// Path of the source tree (for test data), from ZARN_SOURCE_DIR.
std::filesystem::path SourceDir();

#ifdef _WIN32
// Runs a command line (no window), waits up to a minute and returns its exit code,
// -1 when it cannot start; its standard output and error go to *out when given.
int RunProgram(std::wstring cmd, std::string* out = nullptr);

// Whether the machine the test runs on is 64-bit Windows, whatever the test
// program's own bitness: a 32-bit program there runs under WOW64.
bool MachineIs64Bit();
#endif

}  // namespace testing_support
