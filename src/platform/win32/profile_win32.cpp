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

namespace {

// The profile functions answer a list of names as zero-terminated strings one after
// the other; a buffer that was too small is answered with its size less two.
template <typename Query>
std::vector<std::u16string> NameList(Query query) {
  std::vector<wchar_t> buf(4096);
  DWORD n;
  while ((n = query(buf.data(), static_cast<DWORD>(buf.size()))) + 2 >= buf.size() && buf.size() < (1u << 24))
    buf.resize(buf.size() * 4);
  std::vector<std::u16string> names;
  for (DWORD i = 0; i < n;) {
    std::u16string name = FromW(buf.data() + i);
    i += static_cast<DWORD>(name.size()) + 1;
    if (!name.empty()) names.push_back(name);
  }
  return names;
}

}  // namespace

std::vector<std::u16string> ReadProfileSectionNames(const std::u16string& path) {
  return NameList([&](wchar_t* b, DWORD size) { return GetPrivateProfileSectionNamesW(b, size, W(path)); });
}

std::vector<std::u16string> ReadProfileKeyNames(const std::u16string& section, const std::u16string& path) {
  return NameList(
      [&](wchar_t* b, DWORD size) { return GetPrivateProfileStringW(W(section), nullptr, L"", b, size, W(path)); });
}

}  // namespace platform
