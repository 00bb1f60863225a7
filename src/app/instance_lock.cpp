#include "app/instance_lock.h"

#include <cstdint>

namespace app {

std::u16string InstanceLockName(const std::u16string& packagePath) {
  // FNV-1a over the UTF-16 units: no cryptographic need, only distinct names.
  uint64_t hash = 0xcbf29ce484222325ull;
  for (char16_t unit : packagePath) {
    hash ^= static_cast<uint64_t>(unit);
    hash *= 0x100000001b3ull;
  }
  std::u16string name = u"ZarnWebInstaller.Package.";
  for (int shift = 60; shift >= 0; shift -= 4) name.push_back(u"0123456789abcdef"[(hash >> shift) & 0xF]);
  return name;
}

}  // namespace app
