#include "support/test_support.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>

#include "platform/text.h"

#ifdef _WIN32
#include <windows.h>
#endif
#ifndef _WIN32
#include <sys/mount.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace testing_support {

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path p = fs::temp_directory_path() /
                 ("zarn-test-" + std::to_string(rd()) + "-" + std::to_string(counter++));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      path_ = p;
      return;
    }
  }
  std::fprintf(stderr, "cannot create a temporary folder\n");
  std::abort();
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::u16string TempDir::Wide(const std::string& name) const {
  fs::path p = name.empty() ? path_ : path_ / name;
  return platform::Utf8ToWide(p.u8string());
}

std::vector<uint8_t> ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& p, const std::vector<uint8_t>& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const fs::path& p, const std::string& text) {
  WriteBytes(p, std::vector<uint8_t>(text.begin(), text.end()));
}

SmallFileSystem::SmallFileSystem(size_t bytes) {
#ifdef _WIN32
  (void)bytes;
  why_ = "no small file system can be mounted from a Windows test";
#else
  if (geteuid() != 0) {
    why_ = "mounting a small tmpfs needs root";
    return;
  }
  std::string opts = "size=" + std::to_string(bytes);
  if (mount("tmpfs", dir_.path().c_str(), "tmpfs", 0, opts.c_str()) != 0) {
    why_ = "mount of a small tmpfs was refused";
    return;
  }
  mounted_ = true;
#endif
}

SmallFileSystem::~SmallFileSystem() {
#ifndef _WIN32
  if (mounted_) umount2(dir_.path().c_str(), MNT_DETACH);
#endif
}

fs::path SourceDir() {
  const char* s = std::getenv("ZARN_SOURCE_DIR");
  return s ? fs::path(s) : fs::current_path();
}

#ifdef _WIN32
int RunProgram(std::wstring cmd, std::string* out) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return -1;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd;
  si.hStdError = writeEnd;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi{};
  const BOOL started = CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                      nullptr, &si, &pi);
  CloseHandle(writeEnd);
  if (!started) {
    CloseHandle(readEnd);
    return -1;
  }
  char buf[256];
  DWORD n = 0;
  while (ReadFile(readEnd, buf, sizeof buf, &n, nullptr) && n > 0)
    if (out) out->append(buf, n);
  CloseHandle(readEnd);
  WaitForSingleObject(pi.hProcess, 60000);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return static_cast<int>(code);
}

bool MachineIs64Bit() {
#ifdef _WIN64
  return true;
#else
  // Asked without GetNativeSystemInfo, which is what the code under test uses.
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
#endif
}
#endif

}  // namespace testing_support
