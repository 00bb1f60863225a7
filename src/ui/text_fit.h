// How the window's texts fit their places: the status text in its panel, the Cancel
// caption on its button, and the reading order of a text. Portable: the widths come
// from a measuring function, which the window backs with the font it draws with.
#pragma once

#include <functional>
#include <string>

namespace ui {

// The fonts of the texts that must fit, as cells (height, width) in 96-DPI pixels,
// and the room a caption keeps from its button's sides: the window draws with them
// and the kit's checker measures with them.
constexpr int kStatusFontHeight = 16, kStatusFontWidth = 6;
constexpr int kCancelFontHeight = 23, kCancelFontWidth = 11;
constexpr int kCaptionMargin = 4;

// Width in pixels of one line of text (no line breaks in it).
using MeasureText = std::function<int(const std::u16string&)>;

// The status text as it is drawn: today's text when each of its lines fits the
// panel's width; otherwise broken at spaces into as many lines as the panel is high;
// when even that does not fit, its last line ends with "..." where the text is cut.
// The start of a text is never lost.
struct StatusFit {
  enum Kind { AsIs, Wrapped, Ellipsis };
  Kind kind = AsIs;
  std::u16string text;  // with "\r\n" between lines when wrapped
};
StatusFit FitStatusText(const std::u16string& text, int width, int height, int lineHeight,
                        const MeasureText& measure);

// The Cancel caption on its button: its font shrinks (down to three quarters of its
// size) until the caption fits inside the button's margins; a caption too long even
// then widens the button, up to maxWidth. measure(height, width, text) measures in
// the caption's font at that cell size.
struct CaptionFit {
  int fontHeight = 0;
  int fontWidth = 0;
  int buttonWidth = 0;
};
using MeasureInFont = std::function<int(int height, int width, const std::u16string&)>;
CaptionFit FitCaption(const std::u16string& caption, int fontHeight, int fontWidth, int buttonWidth,
                      int maxWidth, int margin, const MeasureInFont& measure);

// The reading order of a text: right-to-left when its first strong character
// belongs to a right-to-left script (Hebrew, Arabic, Syriac, Thaana, N'Ko and the
// like, or a right-to-left mark), as Unicode decides a paragraph's direction. Digits,
// punctuation and spaces decide nothing; a text without a strong character reads
// left to right.
bool IsRightToLeft(const std::u16string& text);

}  // namespace ui
