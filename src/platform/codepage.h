// Conversion of text in a Windows code page to UTF-16.
#pragma once

#include <cstdint>

namespace platform {

// Converts `length` bytes of `source` in code page `codePage` (0: the system's ANSI
// code page on Windows, the configured default single-byte code page elsewhere) to
// UTF-16. Without a destination it returns the number of units needed; with one it
// writes at most `capacity` units and returns the number written, or 0 when they do
// not fit. A code page that cannot be converted from gives 0.
int32_t CodePageToWide(uint32_t codePage, const char* source, int32_t length, char16_t* destination,
                       int32_t capacity);

// The code page that 0 stands for where the system has no ANSI code page of its own
// (windows-1252 unless set). Windows ignores it: there 0 is the system's choice.
void SetDefaultCodePage(uint32_t codePage);
uint32_t DefaultCodePage();

}  // namespace platform
