#include "platform/codepage.h"

#include <windows.h>

#include <atomic>

namespace platform {

namespace {
std::atomic<uint32_t> defaultCodePage{1252};
}

int32_t CodePageToWide(uint32_t codePage, const char* source, int32_t length, char16_t* destination,
                       int32_t capacity) {
  if (length <= 0) return 0;
  return MultiByteToWideChar(codePage, 0, source, length, reinterpret_cast<wchar_t*>(destination),
                             destination ? capacity : 0);
}

void SetDefaultCodePage(uint32_t codePage) { defaultCodePage = codePage; }
uint32_t DefaultCodePage() { return defaultCodePage; }

}  // namespace platform
