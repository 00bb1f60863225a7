// Errors, debugger output, sleeping and the program's own location.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The calling thread's last system error code (GetLastError / errno).
uint32_t LastErrorCode();
// The system's text for an error code, cut before its first line break.
std::u16string ErrorMessage(uint32_t code);
// One line to the debugger (OutputDebugStringW / stderr).
void DebugOutput(const std::u16string& line);
void SleepMs(uint32_t ms);
// Full path of the running executable.
std::u16string ExecutablePath();
// Milliseconds from an arbitrary fixed point, for measuring intervals.
uint64_t TickMs();
// The folder for temporary files (GetTempPathW / $TMPDIR, else /tmp), without a
// trailing separator; empty when there is none.
std::u16string TempFolder();

struct LocalTime {
  int year, month, day, hour, minute, second;
};
// The wall-clock time in the machine's time zone.
LocalTime LocalTimeNow();

// The first call of a Windows program: later DLL loads by name search only the
// system folder, never the program's own (which may be a Downloads folder holding
// anything) nor the current one. True when the system can limit the search itself
// (SetDefaultDllDirectories); false where it cannot (XP, Vista), and then the
// current folder leaves the search and the DLLs loaded later by name are loaded
// first from the system folder. Nothing to do elsewhere (true).
bool HardenLibrarySearch();

}  // namespace platform
