// The machine in the words the configuration file uses: a Windows version name
// ("Windows XP", "Windows Vista", "Windows 7", "Windows 8") and a bitness ("32",
// "64"). Both are empty for a version that is not recognised.
#pragma once

#include <cstdint>
#include <string>

// The name for a version as GetVersionExW reports it; empty when not recognised
// (not the NT family, or older than 5.1).
std::u16string OsNameForVersion(uint32_t platformId, uint32_t major, uint32_t minor);

// "64" for the x64 (9) and Itanium (6) architectures, "32" for every other.
std::u16string BitnessForArchitecture(uint16_t architecture);

// The machine's bitness, not the process's: a 32-bit program on 64-bit Windows
// gets "64".
std::u16string GetBitness();

// Sets osName and bitness and returns true when the version is recognised;
// otherwise leaves both untouched and returns false.
bool ReadPlatformIdentity(std::u16string& osName, std::u16string& bitness);
