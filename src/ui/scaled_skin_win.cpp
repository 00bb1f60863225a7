#include "framework/gdi.h"
#include "platform/text.h"
#include "ui/skin_images.h"
#include "ui/window_layout.h"

namespace ui {

namespace {

Size SizeOf(HBITMAP bitmap) {
  Size s;
  if (!BitmapSize(bitmap, &s.width, &s.height)) return {};
  return s;
}

// The image to draw at `need`: the source itself when it has that size, else a
// resampled copy (the source again if resampling fails).
HBITMAP FitImage(HBITMAP source, const Size& need) {
  if (!source || SizeOf(source) == need) return source;
  HBITMAP copy = ResampledCopy(source, need.width, need.height);
  return copy ? copy : source;
}

void Delete(HBITMAP& bitmap) {
  if (bitmap) ::DeleteObject(bitmap);
  bitmap = nullptr;
}

}  // namespace

bool BitmapSize(HBITMAP bitmap, int* width, int* height) {
  BITMAP info{};
  if (!bitmap || !::GetObjectW(bitmap, sizeof(info), &info)) return false;
  *width = info.bmWidth;
  *height = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
  return true;
}

HBITMAP ResampledCopy(HBITMAP source, int width, int height) {
  int w = 0, h = 0;
  if (!BitmapSize(source, &w, &h) || width <= 0 || height <= 0) return nullptr;
  framework::CClientDC screen(nullptr);
  HBITMAP out = ::CreateCompatibleBitmap(screen, width, height);
  if (!out) return nullptr;
  framework::CMemDC from(screen), to(screen);
  framework::CSelect fromSel(from, source);
  framework::CSelect toSel(to, out);
  // GDI's own filtered resampling: every output pixel averages the source pixels
  // under it, so edges stay smooth in both directions, unlike the default mode's
  // dropped or repeated pixels.
  ::SetStretchBltMode(to, HALFTONE);
  ::SetBrushOrgEx(to, 0, 0, nullptr);
  ::StretchBlt(to, 0, 0, width, height, from, 0, 0, w, h, SRCCOPY);
  return out;
}

ScaledSkin::~ScaledSkin() {
  ReleaseDrawn();
  for (HBITMAP& image : doubled) Delete(image);
  for (HBITMAP& image : images) Delete(image);
  for (HBITMAP& tile : tiles) Delete(tile);
}

void ScaledSkin::ReleaseDrawn() {
  for (int i = 0; i < SkinImageCount; ++i) {
    if (drawn[i] != images[i] && drawn[i] != doubled[i]) Delete(drawn[i]);
    drawn[i] = nullptr;
  }
  for (int i = 0; i < kProgressTileCount; ++i) {
    if (drawnTiles[i] != tiles[i]) Delete(drawnTiles[i]);
    drawnTiles[i] = nullptr;
  }
}

void ScaledSkin::Rescale(int dpi, const Size& windowSize) {
  ReleaseDrawn();
  if (!doubledRead && !folder.empty() && (dpi != kBaseDpi || !images[SkinMainBackground])) {
    doubledRead = true;
    for (int i = 0; i < SkinImageCount; ++i) {
      const std::u16string file = DoubleSizeVariantName(platform::FromW(SkinFileName(i)));
      doubled[i] = LoadSkinBitmap(platform::W(folder + u"\\" + file));
    }
  }
  for (int i = 0; i < SkinImageCount; ++i) {
    const Size base = SizeOf(images[i]), twice = SizeOf(doubled[i]);
    const Size logical = LogicalSkinSize(base, twice);
    const Size need =
        i == SkinMainBackground ? windowSize : Size{Scale(logical.width, dpi), Scale(logical.height, dpi)};
    switch (ChooseSkinSource(need.width, base.width, twice.width)) {
      case SkinSource::None:
        break;
      case SkinSource::Base:
        drawn[i] = FitImage(images[i], need);
        break;
      case SkinSource::Double:
        drawn[i] = FitImage(doubled[i], need);
        break;
    }
  }
  const Size tile = SizeOf(tiles[0]);
  for (int i = 0; i < kProgressTileCount; ++i)
    drawnTiles[i] = FitImage(tiles[i], Size{Scale(tile.width, dpi), Scale(tile.height, dpi)});
}

}  // namespace ui
