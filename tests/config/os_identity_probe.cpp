// Prints what ReadPlatformIdentity reports, for a test that starts this program
// with a Windows version chosen for it alone.
#include <cstdio>

#include "config/platform_identity.h"
#include "platform/text.h"

int main() {
  std::u16string os, bit;
  const bool ok = ReadPlatformIdentity(os, bit);
  std::printf("%d|%s|%s\n", ok ? 1 : 0, platform::WideToUtf8(os).c_str(), platform::WideToUtf8(bit).c_str());
  return 0;
}
