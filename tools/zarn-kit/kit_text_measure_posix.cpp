#include "kit_text_measure.h"

namespace kit {

int MeasureText(int height, int width, bool /*bold*/, const std::u16string& text) {
  // Characters times the cell's average width (a bold cell's too: the width asked
  // for is the average of the font as made); a combining mark or the second half
  // of a surrogate pair takes no room of its own. A wide (CJK) character is drawn
  // at the face's natural width, about the cell's height.
  int pixels = 0;
  for (char16_t c : text) {
    if ((c >= 0x0300 && c <= 0x036F) || (c >= 0xDC00 && c <= 0xDFFF) || (c >= 0x064B && c <= 0x065F)) continue;
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
                      (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFF60);
    pixels += wide ? height : width;
  }
  return pixels;
}

bool MeasuresExactly() { return false; }

}  // namespace kit
