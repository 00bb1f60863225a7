// Existence of keys under HKEY_LOCAL_MACHINE, in the 32-bit or the 64-bit view.
#pragma once

#include <string>

namespace platform {

enum class RegistryView {
  k32,  // the view a 32-bit program sees by default
  k64,  // the native view of 64-bit Windows
};

// True when subKey (empty: HKEY_LOCAL_MACHINE itself) can be opened for reading
// in the given view. Nothing is read from it.
bool LocalMachineKeyExists(const std::u16string& subKey, RegistryView view);

#ifndef _WIN32
// The Linux stand-in answers from a set that tests fill; names match without
// regard to case, as registry names do. HKEY_LOCAL_MACHINE itself always exists.
void AddLocalMachineKeyForTest(const std::u16string& subKey, RegistryView view);
void ClearLocalMachineKeysForTest();
#endif

}  // namespace platform
