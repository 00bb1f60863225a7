// What the system reports about its version and processor.
#pragma once

#include <cstdint>

namespace platform {

struct OsVersion {
  uint32_t platformId = 0;  // 2 for the NT family
  uint32_t major = 0;
  uint32_t minor = 0;
};

// The version as GetVersionExW reports it; false when the query fails.
bool QueryOsVersion(OsVersion& version);

// The processor architecture code of the machine (not of the process when the
// system can tell them apart): 0 x86, 6 Itanium, 9 x64, 12 ARM64, ...
uint16_t NativeProcessorArchitecture();

#ifndef _WIN32
// The Linux stand-in reports no version until a test sets one; the architecture
// is that of the build until a test sets another.
void SetOsVersionForTest(const OsVersion& version);
void ClearOsVersionForTest();
void SetProcessorArchitectureForTest(uint16_t architecture);
#endif

}  // namespace platform
