#include "ui/skin_scale.h"

#include <cstdint>

#include "ui/window_layout.h"

namespace ui {

std::u16string DoubleSizeVariantName(const std::u16string& file) {
  const size_t dot = file.rfind(u'.');
  const size_t slash = file.find_last_of(u"\\/");
  if (dot == std::u16string::npos || (slash != std::u16string::npos && dot < slash)) return file + u"@2x";
  return file.substr(0, dot) + u"@2x" + file.substr(dot);
}

Size LogicalSkinSize(const Size& base, const Size& doubled) {
  if (base.width > 0 && base.height > 0) return base;
  if (doubled.width > 0 && doubled.height > 0) return {(doubled.width + 1) / 2, (doubled.height + 1) / 2};
  return {};
}

SkinSource ChooseSkinSource(int needed, int baseWidth, int doubledWidth) {
  if (baseWidth <= 0 && doubledWidth <= 0) return SkinSource::None;
  if (baseWidth <= 0) return SkinSource::Double;
  if (doubledWidth <= 0 || needed <= 0) return SkinSource::Base;
  // max/min of each pair compared without division: b/n against d/n as ratios >= 1.
  auto hi = [needed](int x) { return static_cast<int64_t>(x > needed ? x : needed); };
  auto lo = [needed](int x) { return static_cast<int64_t>(x < needed ? x : needed); };
  return hi(baseWidth) * lo(doubledWidth) < hi(doubledWidth) * lo(baseWidth) ? SkinSource::Base : SkinSource::Double;
}

Size FitWindow(const Size& logical, int dpi, const Size& workArea) {
  Size s{Scale(logical.width, dpi), Scale(logical.height, dpi)};
  if (workArea.width <= 0 || workArea.height <= 0 || s.width <= 0 || s.height <= 0) return s;
  if (s.width <= workArea.width && s.height <= workArea.height) return s;
  // The tighter of the two ratios, applied to both sides.
  const bool byWidth = static_cast<int64_t>(workArea.width) * s.height <= static_cast<int64_t>(workArea.height) * s.width;
  if (byWidth) return {workArea.width, static_cast<int>(static_cast<int64_t>(s.height) * workArea.width / s.width)};
  return {static_cast<int>(static_cast<int64_t>(s.width) * workArea.height / s.height), workArea.height};
}

}  // namespace ui
