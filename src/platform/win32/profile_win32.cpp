#include "platform/profile.h"

#include <windows.h>

#include "platform/text.h"

namespace platform {

std::u16string ReadProfileString(const std::u16string& section, const std::u16string& key,
                                 const std::u16string& defaultText, const std::u16string& path) {
  wchar_t buf[kProfileBufferChars];
  DWORD n = GetPrivateProfileStringW(W(section), W(key), W(defaultText), buf, kProfileBufferChars, W(path));
  if (n >= kProfileBufferChars) n = kProfileBufferChars - 1;
  return FromW(buf, n);
}

}  // namespace platform
