#include "ui/window_layout.h"

#include <cstdint>

namespace ui {

int Scale(int value, int dpi) {
  // Rounded half away from zero, as MulDiv rounds; exact at 96.
  const long long p = static_cast<long long>(value) * dpi;
  return static_cast<int>(p >= 0 ? (p + kBaseDpi / 2) / kBaseDpi : -((-p + kBaseDpi / 2) / kBaseDpi));
}

BandMetrics BandMetricsAt(int dpi) {
  BandMetrics m;
  m.bandWidth = Scale(kBandWidth, dpi);
  m.unit = Scale(1, dpi);
  // The strip keeps one unit either side of the band, whatever the rounding.
  m.stripWidth = m.bandWidth + 2 * m.unit;
  m.imageWidth = Scale(kBandImageWidth, dpi);
  m.lineWidth = Scale(2, dpi);
  m.percentLeft = m.stripWidth;
  m.percentRight = Scale(kPercentArea.right, dpi);
  m.checkLeft = Scale(kCheckMarkLeft, dpi);
  m.checkWidth = Scale(kCheckMarkWidth, dpi);
  return m;
}

WindowLayout ComputeLayout(int W, int H, int th, int sw, int sh, int dpi) {
  auto S = [dpi](int v) { return Scale(v, dpi); };
  const int T = H / 2 - S(30);
  WindowLayout l;
  l.dpi = dpi;
  l.band = BandMetricsAt(dpi);
  // Edges follow from the left edge plus a scaled size, so that a band or glyph is
  // always exactly its scaled size (at 96 this is W - 60, W - 6, W - 35).
  const int bandLeft = W - S(505);
  l.titleRect = {S(48), S(9), S(348), S(32)};
  l.nameRect = {bandLeft, T - 3 * th, W - S(205), T - 2 * th};
  l.bandRect = {bandLeft, T, bandLeft + l.band.bandWidth, T + th};
  const int top = T + th + S(10);
  l.statusRect = {l.bandRect.right - sw, top, l.bandRect.right, top + sh};
  const int glyph = S(23);
  l.closeRect = {W - S(29), S(7), W - S(29) + glyph, S(7) + glyph};
  l.minRect = {W - S(58), S(7), W - S(58) + glyph, S(7) + glyph};
  return l;
}

Rect BandImageRect(const WindowLayout& l) {
  const int left = l.bandRect.left - l.band.unit;
  return {left, l.bandRect.top, left + l.band.imageWidth, l.bandRect.bottom + l.band.unit};
}

Rect BandInvalidRect(const WindowLayout& l, int W) {
  // The band image with a margin; its right edge W - 9 at 96 is where the image ends.
  const Rect image = BandImageRect(l);
  const int right = W - Scale(9, l.dpi) > image.right ? W - Scale(9, l.dpi) : image.right;
  return {image.left - l.band.unit, image.top - Scale(2, l.dpi), right, image.bottom + l.band.unit};
}

Rect DragStrip(int clientWidth, int dpi) { return {0, 0, clientWidth - Scale(50, dpi), Scale(32, dpi)}; }

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

int BarWidth(uint64_t bytesDone, uint64_t bytesTotal, const BandMetrics& band) {
  const uint64_t bandWidth = static_cast<uint64_t>(band.bandWidth);
  if (ProgressComplete(bytesDone, bytesTotal)) return band.bandWidth;
  const uint64_t pct = ProgressPercent(bytesDone, bytesTotal);
  // The bar image sits one unit into the band image, which cuts it.
  const uint64_t maxWidth = static_cast<uint64_t>(band.imageWidth - band.unit);
  if (bandWidth == 0 || pct > maxWidth * 100 / bandWidth + 1) return static_cast<int>(maxWidth);
  const uint64_t cx = bandWidth * pct / 100;
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

ButtonPlacement PlaceButtons(int W, int H, int w, int h, int lw, int lh, int dpi) {
  auto S = [dpi](int v) { return Scale(v, dpi); };
  ButtonPlacement p;
  p.cancel = {W - w - S(20), H - h - S(30), W - S(20), H - S(30)};
  const int helpLeft = W - S(38) - w - lw, helpTop = H - S(24) - lh;
  p.helpLink = {helpLeft, helpTop, helpLeft + lw, helpTop + lh};
  return p;
}

}  // namespace ui
