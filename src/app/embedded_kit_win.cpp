#include "app/embedded_kit.h"

#include <windows.h>

#include "ui/skin_files.h"

namespace app {

static_assert(KIT_SKIN_COUNT == ui::SkinImageCount, "one resource per skin image");

namespace {

// A resource of the program itself stays mapped for the life of the process, so
// views into it never dangle.
std::optional<std::string_view> OwnResource(int id) {
  HMODULE self = ::GetModuleHandleW(nullptr);
  HRSRC found = ::FindResourceW(self, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  if (!found) return std::nullopt;
  HGLOBAL loaded = ::LoadResource(self, found);
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  if (!data) return std::nullopt;
  return std::string_view(static_cast<const char*>(data), ::SizeofResource(self, found));
}

}  // namespace

bool LoadEmbeddedKit(KitFiles* kit) {
  std::optional<std::string_view> config = OwnResource(IDR_KIT_CONFIG);
  if (!config) return false;
  kit->embedded = true;
  kit->config = config;
  kit->strings = OwnResource(IDR_KIT_STRINGS);
  for (int i = 0; i < KIT_SKIN_COUNT; ++i) kit->skin[i] = OwnResource(IDR_KIT_SKIN_FIRST + i);
  return true;
}

}  // namespace app
