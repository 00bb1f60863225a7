// The skin images decoded into bitmaps, as the window and the kit's checker on
// Windows read them, and the skin as the window draws it at its DPI.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "ui/skin_files.h"
#include "ui/skin_scale.h"

namespace ui {

// File name of each image, in loading order.
const wchar_t* SkinFileName(int image);

// Decodes a JPEG (or any image GDI+ reads) into a bitmap the caller owns; null
// when the file is missing or unreadable.
HBITMAP LoadSkinBitmap(const wchar_t* path);
// The same from bytes in memory (an image a single-file installer carries); null
// when they are no image GDI+ reads.
HBITMAP LoadSkinBitmapFromBytes(std::string_view bytes);

// The size of a bitmap, or false when there is none.
bool BitmapSize(HBITMAP bitmap, int* width, int* height);

// A new bitmap of width x height resampled from source with GDI's filtered
// stretching (HALFTONE), not by dropping or repeating pixels; null on failure.
HBITMAP ResampledCopy(HBITMAP source, int width, int height);

constexpr int kProgressTileCount = 3;

// The skin at the window's DPI. Each picture is drawn from its image, from its
// double-size variant or from a copy of the nearer of the two resampled once per
// DPI. Owns every bitmap it holds.
class ScaledSkin {
 public:
  ScaledSkin() = default;
  ~ScaledSkin();
  ScaledSkin(const ScaledSkin&) = delete;
  ScaledSkin& operator=(const ScaledSkin&) = delete;

  // The images as loaded, in SkinImage order (null: missing or unreadable), and the
  // band's tiles.
  HBITMAP images[SkinImageCount] = {};
  HBITMAP tiles[kProgressTileCount] = {};
  // Where the double-size variants are read ("MainWndBkg@2x.jpg" beside
  // "MainWndBkg.jpg"); empty: there are none to read.
  std::u16string folder;

  // Draws every picture for dpi: the background at windowSize, the others and the
  // tiles at their 96-DPI size scaled. The variants are read the first time a DPI
  // other than 96 (or a missing background) may want them: at 96 the images are
  // drawn as they are. What an earlier DPI drew is released, so whoever borrowed it
  // lets go first.
  void Rescale(int dpi, const Size& windowSize);
  HBITMAP Drawn(int image) const { return drawn[image]; }
  HBITMAP DrawnTile(int phase) const { return drawnTiles[phase]; }

 private:
  void ReleaseDrawn();

  HBITMAP doubled[SkinImageCount] = {};
  bool doubledRead = false;
  HBITMAP drawn[SkinImageCount] = {};
  HBITMAP drawnTiles[kProgressTileCount] = {};
};

}  // namespace ui
