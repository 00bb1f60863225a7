// The size of a skin image as the platform's decoder sees it: on Windows the
// installer's own skin loader (GDI+), elsewhere libjpeg.
#pragma once

#include <string>

namespace kit {

struct ImageSize {
  int width = 0;
  int height = 0;
};

enum class ImageRead { kMissing, kUndecodable, kDecoded };

ImageRead ReadImageSize(const std::u16string& path, ImageSize* size);

}  // namespace kit
