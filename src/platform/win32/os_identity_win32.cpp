#include "platform/os_identity.h"

#include <windows.h>

namespace platform {

bool QueryOsVersion(OsVersion& version) {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
  if (!GetVersionExW(&info)) return false;
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
  version.platformId = info.dwPlatformId;
  version.major = info.dwMajorVersion;
  version.minor = info.dwMinorVersion;
  return true;
}

uint16_t NativeProcessorArchitecture() {
  using NativeInfoProc = void(WINAPI*)(LPSYSTEM_INFO);
  SYSTEM_INFO info{};
  // Absent before Windows XP; looked up so that the program still starts there.
  HMODULE kernel = GetModuleHandleW(L"kernel32");
  auto native = kernel ? reinterpret_cast<NativeInfoProc>(
                             reinterpret_cast<void*>(GetProcAddress(kernel, "GetNativeSystemInfo")))
                       : nullptr;
  if (native) {
    native(&info);
  } else {
    GetSystemInfo(&info);
  }
  return info.wProcessorArchitecture;
}

}  // namespace platform
