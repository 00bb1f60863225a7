#include "platform/registry.h"

#include <windows.h>

#include "platform/text.h"

namespace platform {

bool LocalMachineKeyExists(const std::u16string& subKey, RegistryView view) {
  REGSAM access = KEY_READ;
  if (view == RegistryView::k64) {
    access |= KEY_WOW64_64KEY;
  } else {
#ifdef _WIN64
    // A 64-bit build (the Wine test tier) must still see what the 32-bit product
    // sees with plain KEY_READ: the redirected 32-bit view.
    access |= KEY_WOW64_32KEY;
#endif
  }
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(subKey), 0, access, &key) != ERROR_SUCCESS) return false;
  if (key != HKEY_LOCAL_MACHINE) RegCloseKey(key);
  return true;
}

}  // namespace platform
