#include "config/platform_identity.h"

#include "platform/os_identity.h"

std::u16string OsNameForVersion(uint32_t platformId, uint32_t major, uint32_t minor) {
  if (platformId < 2) return {};
  if (major < 6) {
    if (major < 5 || minor == 0) return {};
    return u"Windows XP";
  }
  // Without a compatibility manifest every later Windows reports 6.2. Should a
  // system report its true major number (10), it is still newer than anything the
  // configuration names, not a Vista.
  if (major > 6) return u"Windows 8";
  if (minor >= 2) return u"Windows 8";
  if (minor == 1) return u"Windows 7";
  return u"Windows Vista";
}

std::u16string BitnessForArchitecture(uint16_t architecture) {
  return architecture == 9 || architecture == 6 ? u"64" : u"32";
}

std::u16string GetBitness() { return BitnessForArchitecture(platform::NativeProcessorArchitecture()); }

bool ReadPlatformIdentity(std::u16string& osName, std::u16string& bitness) {
  platform::OsVersion version;
  if (!platform::QueryOsVersion(version)) return false;
  std::u16string name = OsNameForVersion(version.platformId, version.major, version.minor);
  if (name.empty()) return false;
  osName = name;
  bitness = GetBitness();
  return true;
}
