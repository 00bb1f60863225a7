#include "ui/window_layout.h"

#include <cstdint>

namespace ui {

WindowLayout ComputeLayout(int W, int H, int th, int sw, int sh) {
  const int T = H / 2 - 30;
  WindowLayout l;
  l.titleRect = {48, 9, 348, 32};
  l.nameRect = {W - 505, T - 3 * th, W - 205, T - 2 * th};
  l.bandRect = {W - 505, T, W - 60, T + th};
  l.statusRect = {W - 60 - sw, T + th + 10, W - 60, T + th + 10 + sh};
  l.closeRect = {W - 29, 7, W - 6, 30};
  l.minRect = {W - 58, 7, W - 35, 30};
  return l;
}

Rect BandImageRect(const WindowLayout& l) {
  const int left = l.bandRect.left - 1;
  return {left, l.bandRect.top, left + kBandImageWidth, l.bandRect.bottom + 1};
}

Rect BandInvalidRect(const WindowLayout& l, int W) {
  return {l.bandRect.left - 2, l.bandRect.top - 2, W - 9, l.bandRect.bottom + 2};
}

Rect DragStrip(int clientWidth) { return {0, 0, clientWidth - 50, 32}; }

uint64_t ProgressPercent(uint64_t bytesDone, uint64_t bytesTotal) {
  if (bytesTotal == 0) return 0;
  // bytesDone * 100 / bytesTotal without the product overflowing: whole multiples
  // first, then the remainder, which is below bytesTotal.
  constexpr uint64_t kMax = UINT64_MAX;
  const uint64_t whole = bytesDone / bytesTotal, rest = bytesDone % bytesTotal;
  if (whole > kMax / 100) return kMax;
  const uint64_t part = rest <= kMax / 100 ? rest * 100 / bytesTotal : rest / (bytesTotal / 100 + 1);
  return whole * 100 + part;
}

bool ProgressComplete(uint64_t bytesDone, uint64_t bytesTotal) {
  // Nothing done of nothing announced is not a finished download.
  return bytesDone == bytesTotal && bytesTotal != 0;
}

int BarWidth(uint64_t bytesDone, uint64_t bytesTotal) {
  if (ProgressComplete(bytesDone, bytesTotal)) return kBandWidth;
  const uint64_t pct = ProgressPercent(bytesDone, bytesTotal);
  // The bar image sits one column into the band image, which cuts it.
  constexpr uint64_t maxWidth = kBandImageWidth - 1;
  if (pct > maxWidth * 100 / kBandWidth + 1) return static_cast<int>(maxWidth);
  const uint64_t cx = kBandWidth * pct / 100;
  return static_cast<int>(cx < maxWidth ? cx : maxWidth);
}

std::u16string PercentText(uint64_t bytesDone, uint64_t bytesTotal) {
  if (ProgressComplete(bytesDone, bytesTotal)) return {};
  uint64_t pct = ProgressPercent(bytesDone, bytesTotal);
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + pct % 10));
    pct /= 10;
  } while (pct);
  return digits + u"%";
}

PaintRequest TakePaintRequest(bool& progressDirty, bool& statusDirty) {
  if (progressDirty) {
    progressDirty = false;
    return PaintRequest::Progress;
  }
  if (statusDirty) {
    statusDirty = false;
    return PaintRequest::Status;
  }
  return PaintRequest::Default;
}

ButtonPlacement PlaceButtons(int W, int H, int w, int h, int lw, int lh) {
  ButtonPlacement p;
  p.cancel = {W - w - 20, H - h - 30, W - 20, H - 30};
  const int helpLeft = W - 38 - w - lw, helpTop = H - 24 - lh;
  p.helpLink = {helpLeft, helpTop, helpLeft + lw, helpTop + lh};
  return p;
}

}  // namespace ui
