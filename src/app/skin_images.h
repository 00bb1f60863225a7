// The ten skin images beside the executable, decoded once into bitmaps.
#pragma once

#include <windows.h>

namespace app {

enum SkinImage {
  SkinMainBackground = 0,
  SkinStatusBackdrop,
  SkinCloseNormal,
  SkinCloseHot,
  SkinMinNormal,
  SkinMinHot,
  SkinCancelNormal,
  SkinCancelHot,
  SkinCancelDone,
  SkinCheckMark,
  SkinImageCount
};

// File name of each image, in loading order.
const wchar_t* SkinFileName(int image);

// Decodes a JPEG (or any image GDI+ reads) into a bitmap the caller owns; null
// when the file is missing or unreadable.
HBITMAP LoadSkinBitmap(const wchar_t* path);

}  // namespace app
