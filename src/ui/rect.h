// A rectangle as the window's geometry counts it: (left, top, right, bottom), right
// and bottom exclusive.
#pragma once

namespace ui {

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool operator==(const Rect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
};

}  // namespace ui
