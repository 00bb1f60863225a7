// The profile functions over a file: read it whole, then apply the rules of the
// portable INI reader (profile_text.cpp).
#include "platform/profile.h"

#include <cstdio>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace platform {

namespace {

bool ReadWholeFile(const std::u16string& path, std::vector<unsigned char>& bytes) {
  std::FILE* f = std::fopen(WideToUtf8(path).c_str(), "rb");
  if (!f) return false;
  unsigned char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
  const bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

std::string_view View(const std::vector<unsigned char>& bytes) {
  return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

}  // namespace

std::u16string ReadProfileString(const std::u16string& section, const std::u16string& key,
                                 const std::u16string& defaultText, const std::u16string& path) {
  std::vector<unsigned char> bytes;
  if (!ReadWholeFile(path, bytes)) return ProfileDefault(defaultText);
  return ReadProfileStringFromBytes(section, key, defaultText, View(bytes));
}

std::vector<std::u16string> ReadProfileSectionNames(const std::u16string& path) {
  std::vector<unsigned char> bytes;
  if (!ReadWholeFile(path, bytes)) return {};
  return ReadProfileSectionNamesFromBytes(View(bytes));
}

std::vector<std::u16string> ReadProfileKeyNames(const std::u16string& section, const std::u16string& path) {
  std::vector<unsigned char> bytes;
  if (!ReadWholeFile(path, bytes)) return {};
  return ReadProfileKeyNamesFromBytes(section, View(bytes));
}

}  // namespace platform
