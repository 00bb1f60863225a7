#include <windows.h>

#include "kit_text_measure.h"
#include "platform/text.h"
#include "ui/window_paint.h"

namespace kit {

int MeasureText(int height, int width, bool bold, const std::u16string& text) {
  HDC screen = ::GetDC(nullptr);
  HDC dc = ::CreateCompatibleDC(screen);
  // The fonts as the window makes them: the status and percentage fonts from a
  // LOGFONT with weight 10, the Cancel caption bold with the button's settings.
  auto make = [&](int w) {
    return bold ? ::CreateFontW(height, w, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, 0, 3, 2, 1, 0x22, L"Arial")
                : ::CreateFontW(height, w, 0, 0, 10, FALSE, FALSE, FALSE, 0, 0, 0, 0, 0, L"Arial");
  };
  HFONT font = make(width);
  if (width != 0 && !ui::FaceCovers(dc, font, text)) {
    ::DeleteObject(font);
    font = make(0);
  }
  HGDIOBJ old = ::SelectObject(dc, font);
  SIZE size{};
  ::GetTextExtentPoint32W(dc, platform::W(text), static_cast<int>(text.size()), &size);
  ::SelectObject(dc, old);
  ::DeleteObject(font);
  ::DeleteDC(dc);
  ::ReleaseDC(nullptr, screen);
  return static_cast<int>(size.cx);
}

bool MeasuresExactly() { return true; }

}  // namespace kit
