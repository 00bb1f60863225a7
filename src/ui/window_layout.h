// Where the installer window draws what, and the numbers its progress band shows.
// Everything here is geometry and arithmetic, so that it can be checked without a
// window; the Win32 painting in window_paint_win.cpp only applies it.
#pragma once

#include <cstdint>
#include <string>

#include "ui/rect.h"

namespace ui {

// The band itself.
constexpr int kBandWidth = 445;
// The band strip: the band plus one column on each side of it.
constexpr int kBandStripWidth = 447;
// The band image: the strip plus the percentage area to its right.
constexpr int kBandImageWidth = 497;
// The percentage area inside the band image, and where the check mark goes.
constexpr Rect kPercentArea{447, 0, 492, 0};  // bottom is th + 1
constexpr int kCheckMarkLeft = 451;
constexpr int kCheckMarkWidth = 45;

// Every length of the window is written for 96 DPI and drawn at the window's DPI:
// scaled by dpi / 96 and rounded to the nearest pixel, so that at 96 it is the
// number itself.
constexpr int kBaseDpi = 96;
int Scale(int value, int dpi);

// The band image's inner measures at a DPI (at 96: the constants above).
struct BandMetrics {
  int bandWidth = kBandWidth;
  int stripWidth = kBandStripWidth;
  int imageWidth = kBandImageWidth;
  int unit = 1;           // one 96-DPI pixel: the bar's inset and the bottom line
  int lineWidth = 2;      // the bottom line's pen
  int percentLeft = kPercentArea.left;
  int percentRight = kPercentArea.right;
  int checkLeft = kCheckMarkLeft;
  int checkWidth = kCheckMarkWidth;
};
BandMetrics BandMetricsAt(int dpi);

// The painted rectangles, fixed once the window has its size at its DPI.
struct WindowLayout {
  Rect titleRect;   // product name, first copy
  Rect nameRect;    // product name, second copy
  Rect bandRect;    // the progress band itself, always band.bandWidth wide
  Rect statusRect;  // the status panel, right edge aligned with the band
  Rect closeRect;   // close glyph
  Rect minRect;     // minimise glyph
  int dpi = kBaseDpi;
  BandMetrics band;
};

// Colours, 0xBBGGRR.
constexpr uint32_t kBandFill = 0x2D2C2B;
constexpr uint32_t kBandLine = 0x484443;
constexpr uint32_t kPercentBackdrop = 0x413D3C;
constexpr uint32_t kTextColour = 0xFFFFFF;

// Sizes used when a skin image that decides a size is missing or unreadable.
constexpr int kFallbackStatusWidth = 300;
constexpr int kFallbackStatusHeight = 40;

// W x H: the window; th: height of the first progress tile (the band height);
// sw x sh: the status backdrop; all in pixels at dpi, the skin's numbers scaled.
WindowLayout ComputeLayout(int W, int H, int th, int sw, int sh, int dpi = kBaseDpi);

// The band image's place on the window: (bandRect.left - 1, bandRect.top),
// kBandImageWidth x (th + 1), each number at the layout's DPI.
Rect BandImageRect(const WindowLayout& layout);
// What a band update invalidates: the band image with a margin, cut at W - 9.
Rect BandInvalidRect(const WindowLayout& layout, int W);
// The strip along the top that drags the window, from the client width.
Rect DragStrip(int clientWidth, int dpi = kBaseDpi);

// The band's progress in whole percent: bytesDone * 100 / bytesTotal, truncated, or 0
// when no size is known. Above 100 when more bytes arrived than announced.
uint64_t ProgressPercent(uint64_t bytesDone, uint64_t bytesTotal);
// True when the band shows the download complete: a full bar and the check mark.
bool ProgressComplete(uint64_t bytesDone, uint64_t bytesTotal);
// The bar's width in pixels: the whole band when complete, else kBandWidth * pct / 100.
// Beyond the band (more bytes than announced) the bar is cut at the band image's right
// end; never negative.
int BarWidth(uint64_t bytesDone, uint64_t bytesTotal, const BandMetrics& band = BandMetrics());
// "N%" for an incomplete band; empty when the check mark stands instead.
std::u16string PercentText(uint64_t bytesDone, uint64_t bytesTotal);

// The window's painting requests and the rule that serves one per WM_PAINT, the
// band first: a band update marks both, so the status panel follows on the next
// WM_PAINT.
enum class PaintRequest { Default, Progress, Status };
PaintRequest TakePaintRequest(bool& progressDirty, bool& statusDirty);

// Where the two buttons go: the Cancel button (w x h) 20 pixels in from the right
// edge and 30 up from the bottom; the help link (lw x lh) 18 pixels left of it and
// 6 lower.
struct ButtonPlacement {
  Rect cancel;
  Rect helpLink;
};
ButtonPlacement PlaceButtons(int W, int H, int w, int h, int lw, int lh, int dpi = kBaseDpi);

// Phase of the next progress tile after `phase` (0, 1, 2, 0, ...).
inline int NextTilePhase(int phase) { return phase >= 2 ? 0 : phase + 1; }

}  // namespace ui
