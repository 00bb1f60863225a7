#include <windows.h>

#include "kit_image.h"
#include "platform/text.h"
#include "ui/skin_images.h"

namespace kit {

ImageRead ReadImageSize(const std::u16string& path, ImageSize* size) {
  if (::GetFileAttributesW(platform::W(path)) == INVALID_FILE_ATTRIBUTES) return ImageRead::kMissing;
  HBITMAP bitmap = ui::LoadSkinBitmap(platform::W(path));
  if (!bitmap) return ImageRead::kUndecodable;
  const bool ok = ui::BitmapSize(bitmap, &size->width, &size->height);
  ::DeleteObject(bitmap);
  return ok ? ImageRead::kDecoded : ImageRead::kUndecodable;
}

}  // namespace kit
