// The skin images decoded into bitmaps, as the window and the kit's checker on
// Windows read them.
#pragma once

#include <windows.h>

#include <string_view>

#include "ui/skin_files.h"

namespace ui {

// File name of each image, in loading order.
const wchar_t* SkinFileName(int image);

// Decodes a JPEG (or any image GDI+ reads) into a bitmap the caller owns; null
// when the file is missing or unreadable.
HBITMAP LoadSkinBitmap(const wchar_t* path);
// The same from bytes in memory (an image a single-file installer carries); null
// when they are no image GDI+ reads.
HBITMAP LoadSkinBitmapFromBytes(std::string_view bytes);

}  // namespace ui
