// Widths of the interface texts in the installer's own fonts: on Windows measured
// with GDI exactly as the window measures them, elsewhere estimated from the fonts'
// average character width (each cell width is the font's average by definition).
#pragma once

#include <string>

namespace kit {

// Width in pixels at 96 DPI of one line in Arial of cell height x width, weight as
// the window draws it (bold for the Cancel caption).
int MeasureText(int height, int width, bool bold, const std::u16string& text);
// True where MeasureText measures; false where it estimates.
bool MeasuresExactly();

}  // namespace kit
