// The hand-off of the downloaded package: started through the shell, and the
// engine's hold on it released only once its process exists.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "app/support_log.h"

namespace app {

struct PackageProcess {
  // The package's process (the caller closes it, or waits on it first); null when
  // the shell started nothing, with its error code in error.
  HANDLE process = nullptr;
  uint32_t error = 0;
};

// The shell's "open" on path with arguments (empty: none) and SW_SHOWDEFAULT, owned
// by owner; no error box of the shell's. Then the hold on the package is released,
// whatever the outcome. The log, when there is one, hears what was started and the
// shell's answer.
PackageProcess HandOffPackage(HWND owner, const std::u16string& path, const std::u16string& arguments,
                              CSupportLog* log);

// Waits for the package's process to end; false when its exit code cannot be read.
bool WaitForPackage(HANDLE process, uint32_t* exitCode);

}  // namespace app
