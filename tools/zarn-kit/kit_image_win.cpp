#include <windows.h>

#include "kit_image.h"
#include "platform/text.h"
#include "ui/skin_images.h"

namespace kit {

ImageRead ReadImageSize(const std::u16string& path, ImageSize* size) {
  if (::GetFileAttributesW(platform::W(path)) == INVALID_FILE_ATTRIBUTES) return ImageRead::kMissing;
  HBITMAP bitmap = ui::LoadSkinBitmap(platform::W(path));
  if (!bitmap) return ImageRead::kUndecodable;
  BITMAP info{};
  const bool ok = ::GetObjectW(bitmap, sizeof info, &info) != 0;
  ::DeleteObject(bitmap);
  if (!ok) return ImageRead::kUndecodable;
  size->width = info.bmWidth;
  size->height = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
  return ImageRead::kDecoded;
}

}  // namespace kit
