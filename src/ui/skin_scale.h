// The skin at the window's DPI: which image to draw each skin picture from, and how
// large the window may be. Portable; the Win32 side loads and resamples.
#pragma once

#include <string>

namespace ui {

struct Size {
  int width = 0;
  int height = 0;
  bool operator==(const Size& o) const { return width == o.width && height == o.height; }
};

// The double-size variant beside a skin image: "MainWndBkg.jpg" -> "MainWndBkg@2x.jpg".
std::u16string DoubleSizeVariantName(const std::u16string& file);

// A skin picture's size in 96-DPI pixels: its base image's, or half its variant's
// when only the variant is there; zero when neither is.
Size LogicalSkinSize(const Size& base, const Size& doubled);

// Which image to draw a picture from when it must be `needed` pixels wide: the base
// image or its variant, whichever is nearer by ratio (the larger on a tie, as
// shrinking loses less than enlarging); a missing one (width 0) is never chosen.
enum class SkinSource { None, Base, Double };
SkinSource ChooseSkinSource(int needed, int baseWidth, int doubledWidth);

// The window's size for a background of `logical` 96-DPI pixels at dpi. It is never
// larger than the work area of its monitor: a background that would not fit is
// shrunk as a whole, keeping its proportions, so that everything placed from the
// right and bottom edges (status text, Cancel) stays on the screen.
Size FitWindow(const Size& logical, int dpi, const Size& workArea);

}  // namespace ui
