// DLLs that are not KnownDLLs on every Windows the program starts on (WinINet,
// GDI+, the common controls, WinTrust, CryptoAPI's certificate functions): they are
// loaded at run time from the system folder by their full path, so that a file of
// the same name lying beside the program (a Downloads folder) is never taken
// instead, and their functions are taken by name. Windows backends only.
#pragma once

#include <windows.h>

namespace platform {

// fileName ("wininet.dll") from the system folder; its own imports are resolved
// from there too. Null when it cannot be loaded. The module stays loaded for the
// life of the process.
HMODULE LoadSystemLibrary(const wchar_t* fileName);

// The entry point name of module as a function of type F; false (fn null) when the
// module is null or lacks it.
template <typename F>
bool BindProc(HMODULE module, const char* name, F** fn) {
  *fn = module ? reinterpret_cast<F*>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
  return *fn != nullptr;
}

}  // namespace platform
