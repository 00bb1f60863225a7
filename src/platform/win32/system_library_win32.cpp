#include "platform/win32/system_library.h"

#include "platform/system.h"

namespace platform {

HMODULE LoadSystemLibrary(const wchar_t* fileName) {
  wchar_t path[MAX_PATH];
  const UINT folder = ::GetSystemDirectoryW(path, MAX_PATH);
  if (folder == 0 || folder >= MAX_PATH) return nullptr;
  UINT n = folder;
  if (path[n - 1] != L'\\') path[n++] = L'\\';
  for (const wchar_t* c = fileName; *c; ++c) {
    if (n + 1 >= MAX_PATH) return nullptr;
    path[n++] = *c;
  }
  path[n] = 0;
  // With an altered search path the DLL's own imports are looked for in its folder
  // first, not in the program's.
  return ::LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

namespace {

// Where the DLL search cannot be limited to the system folder, the DLLs this
// program was seen to load by name after it started (an http and an https
// download and the hand-off, under Wine's loader) are loaded first by full path:
// a later request by name then finds the module already loaded and never searches
// the program's folder. None of them is a KnownDLL on every Windows the program
// starts on; one that a Windows lacks simply fails to load.
//   version            file version queries of the shell and the common controls
//   uxtheme            visual styles, loaded by the window manager for every window
//   propsys            property system, loaded by the shell for the hand-off
//   windowscodecs      image decoding behind GDI+ on later Windows
//   secur32 schannel kerberos msv1_0
//                      the security packages WinINet loads for https (and for
//                      authentication challenges)
//   crypt32 rsaenh bcrypt
//                      certificate checks and the crypto provider of TLS
//   dnsapi nsi iphlpapi netapi32 mpr
//                      name resolution, network state and the network provider
//                      router WinINet consults
//   ws2_32             sockets: a KnownDLL from Windows 7 on, not on XP
constexpr const wchar_t* kPreloaded[] = {
    L"version.dll",  L"uxtheme.dll",  L"propsys.dll", L"windowscodecs.dll", L"secur32.dll",
    L"schannel.dll", L"kerberos.dll", L"msv1_0.dll",  L"crypt32.dll",       L"rsaenh.dll",
    L"bcrypt.dll",   L"dnsapi.dll",   L"nsi.dll",     L"iphlpapi.dll",      L"netapi32.dll",
    L"mpr.dll",      L"ws2_32.dll",
};

bool IsVista() {
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof info;
  return ::GetVersionExW(&info) && info.dwMajorVersion == 6 && info.dwMinorVersion == 0;
}

}  // namespace

bool HardenLibrarySearch() {
  // The current folder leaves every search order, the one a DLL loaded by full
  // path uses for its own imports included. (A program started from Explorer has
  // its own folder as the current one.)
  ::SetDllDirectoryW(L"");
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  // Windows 8 and later, and 7 with the update that added it. Vista with that
  // update is left out: shell calls behind the hand-off are known to fail there
  // once the search is limited, and Vista is served as XP is.
  BOOL(WINAPI * setDefault)(DWORD) = nullptr;
  if (BindProc(kernel, "SetDefaultDllDirectories", &setDefault) && !IsVista() &&
      setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    return true;
  }
  // The program's own folder stays first in the search by name: what is loaded
  // by name later is loaded now, from the system folder.
  for (const wchar_t* name : kPreloaded) LoadSystemLibrary(name);
  return false;
}

}  // namespace platform
