#include <windows.h>

#include "kit_text_measure.h"
#include "platform/text.h"
#include "ui/window_paint.h"
#include "ui/zarn_button.h"

namespace kit {

int MeasureText(int height, int width, bool bold, const std::u16string& text) {
  HDC screen = ::GetDC(nullptr);
  HDC dc = ::CreateCompatibleDC(screen);
  // The window's own fonts: its status text's (weight 10) and its Cancel caption's.
  auto make = [&](int w) {
    return bold ? ui::CreateButtonFont(L"Arial", height, w, FALSE) : ui::CreateTextFont(height, w, 10);
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
