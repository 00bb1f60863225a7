// Linux has no registry: tests say which keys exist.
#include "platform/registry.h"

#include <mutex>
#include <set>
#include <utility>

namespace platform {

namespace {

std::mutex& KeysLock() {
  static std::mutex m;
  return m;
}

std::set<std::pair<int, std::u16string>>& Keys() {
  static std::set<std::pair<int, std::u16string>> keys;
  return keys;
}

// Registry names ignore case; trailing backslashes name the same key.
std::u16string Normalise(const std::u16string& path) {
  std::u16string s = path;
  while (!s.empty() && s.back() == u'\\') s.pop_back();
  for (char16_t& c : s)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  return s;
}

}  // namespace

bool LocalMachineKeyExists(const std::u16string& subKey, RegistryView view) {
  const std::u16string name = Normalise(subKey);
  if (name.empty()) return true;
  std::lock_guard<std::mutex> guard(KeysLock());
  return Keys().count({static_cast<int>(view), name}) != 0;
}

void AddLocalMachineKeyForTest(const std::u16string& subKey, RegistryView view) {
  std::lock_guard<std::mutex> guard(KeysLock());
  Keys().insert({static_cast<int>(view), Normalise(subKey)});
}

void ClearLocalMachineKeysForTest() {
  std::lock_guard<std::mutex> guard(KeysLock());
  Keys().clear();
}

}  // namespace platform
