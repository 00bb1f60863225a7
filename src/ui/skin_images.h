// The skin images decoded into bitmaps, as the window and the kit's checker on
// Windows read them.
#pragma once

#include <windows.h>

#include "ui/skin_files.h"

namespace ui {

// File name of each image, in loading order.
const wchar_t* SkinFileName(int image);

// Decodes a JPEG (or any image GDI+ reads) into a bitmap the caller owns; null
// when the file is missing or unreadable.
HBITMAP LoadSkinBitmap(const wchar_t* path);

}  // namespace ui
