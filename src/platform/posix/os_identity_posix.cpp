// Linux is no Windows version: the stand-in knows only what a test tells it.
#include "platform/os_identity.h"

#include <mutex>

namespace platform {

namespace {
std::mutex identityLock;
bool versionSet = false;
OsVersion testVersion;
uint16_t architecture = sizeof(void*) == 8 ? 9 : 0;
}  // namespace

bool QueryOsVersion(OsVersion& version) {
  std::lock_guard<std::mutex> guard(identityLock);
  if (!versionSet) return false;
  version = testVersion;
  return true;
}

uint16_t NativeProcessorArchitecture() {
  std::lock_guard<std::mutex> guard(identityLock);
  return architecture;
}

void SetOsVersionForTest(const OsVersion& version) {
  std::lock_guard<std::mutex> guard(identityLock);
  testVersion = version;
  versionSet = true;
}

void ClearOsVersionForTest() {
  std::lock_guard<std::mutex> guard(identityLock);
  versionSet = false;
}

void SetProcessorArchitectureForTest(uint16_t value) {
  std::lock_guard<std::mutex> guard(identityLock);
  architecture = value;
}

}  // namespace platform
