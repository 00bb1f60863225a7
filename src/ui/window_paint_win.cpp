#include <windows.h>

#include "framework/gdi.h"
#include "platform/text.h"
#include "ui/window_paint.h"

namespace ui {

int progressPhase = 0;

namespace {

using framework::CBitmap;
using framework::CBrush;
using framework::CClientDC;
using framework::CFont;
using framework::CMemDC;
using framework::CPaintDC;
using framework::CPen;
using framework::CSelect;

RECT ToRect(const Rect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

// A font made for one draw and deleted after it; the stock GUI font when the face
// cannot be created.
class DrawFont {
 public:
  DrawFont(int height, int width, int weight) {
    LOGFONTW lf{};
    lf.lfHeight = height;
    lf.lfWidth = width;
    lf.lfWeight = weight;
    lstrcpynW(lf.lfFaceName, L"Arial", LF_FACESIZE);
    m_font.Attach(::CreateFontIndirectW(&lf));
  }
  HGDIOBJ Get() const { return m_font ? static_cast<HGDIOBJ>(m_font.Get()) : ::GetStockObject(DEFAULT_GUI_FONT); }

 private:
  CFont m_font;
};

void FillSolid(HDC dc, const RECT& rc, COLORREF colour) {
  CBrush brush(::CreateSolidBrush(colour));
  ::FillRect(dc, &rc, brush);
}

// Copies the top-left w x h of a bitmap to (x, y) of dc; a missing bitmap becomes a
// plain fill, so nothing is ever copied from an image that was never loaded.
void CopyBitmap(HDC dc, HDC compatible, HBITMAP bitmap, int x, int y, int w, int h, COLORREF fallback) {
  if (!bitmap) {
    FillSolid(dc, RECT{x, y, x + w, y + h}, fallback);
    return;
  }
  CMemDC src(compatible);
  CSelect sel(src, bitmap);
  ::BitBlt(dc, x, y, w, h, src, 0, 0, SRCCOPY);
}

void DrawLabel(HDC dc, const std::u16string& text, const Rect& rect, const DrawFont& font, UINT flags) {
  CSelect sel(dc, font.Get());
  ::SetTextColor(dc, kTextColour);
  ::SetBkMode(dc, TRANSPARENT);
  RECT rc = ToRect(rect);
  ::DrawTextW(dc, platform::W(text), static_cast<int>(text.size()), &rc, flags);
}

// The band strip: the dark fill with its bottom line, th + 1 high.
void DrawBandStrip(HDC dc, int th) {
  FillSolid(dc, RECT{0, 0, kBandStripWidth, th + 1}, kBandFill);
  CPen pen(::CreatePen(PS_SOLID, 2, kBandLine));
  CSelect sel(dc, pen);
  ::MoveToEx(dc, 0, th + 1, nullptr);
  ::LineTo(dc, kBandStripWidth, th + 1);
}

// The direct paints (band, glyph) draw through a client DC and validate only what
// they drew: a BeginPaint would validate the whole update region, and with it a
// status panel still waiting for its own paint, which would then keep an old text.
void ValidateDrawn(HWND hwnd, const Rect& drawn) {
  RECT rc = ToRect(drawn);
  ::ValidateRect(hwnd, &rc);
}

// A compatible image of w x h, cleared to the DC's background colour.
HBITMAP ClearedImage(HDC dc, int w, int h) {
  HBITMAP bitmap = ::CreateCompatibleBitmap(dc, w > 0 ? w : 1, h > 0 ? h : 1);
  if (bitmap) {
    CMemDC mem(dc);
    CSelect sel(mem, bitmap);
    FillSolid(mem, RECT{0, 0, w, h}, ::GetBkColor(dc));
  }
  return bitmap;
}

}  // namespace

bool BitmapSize(HBITMAP bitmap, int* width, int* height) {
  BITMAP info{};
  if (!bitmap || !::GetObjectW(bitmap, sizeof(info), &info)) return false;
  *width = info.bmWidth;
  *height = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
  return true;
}

void PaintBackground(HWND hwnd, HDC dc, const WindowLayout& layout, const SkinSet& skin,
                     const std::u16string& productName) {
  RECT wr{};
  ::GetWindowRect(hwnd, &wr);
  const int W = wr.right - wr.left, H = wr.bottom - wr.top;
  CMemDC comp(dc);
  CBitmap compImage(ClearedImage(dc, W, H));
  CSelect compSel(comp, compImage);
  if (skin.mainBackground) {
    CopyBitmap(comp, dc, skin.mainBackground, 0, 0, W, H, kBandFill);
  } else {
    FillSolid(comp, RECT{0, 0, W, H}, kBandFill);
  }
  DrawLabel(comp, productName, layout.titleRect, DrawFont(17, 7, 10), 0);
  DrawLabel(comp, productName, layout.nameRect, DrawFont(17, 7, 10), 0);
  const Rect& c = layout.closeRect;
  const Rect& m = layout.minRect;
  CopyBitmap(comp, dc, skin.closeNormal, c.left, c.top, c.Width(), c.Height(), kBandFill);
  CopyBitmap(comp, dc, skin.minNormal, m.left, m.top, m.Width(), m.Height(), kBandFill);
  {
    const int th = skin.tileHeight;
    CMemDC strip(dc);
    CBitmap stripImage(::CreateCompatibleBitmap(dc, kBandStripWidth, th + 1));
    CSelect stripSel(strip, stripImage);
    DrawBandStrip(strip, th);
    ::BitBlt(comp, layout.bandRect.left - 1, layout.bandRect.top, kBandStripWidth, th + 1, strip, 0, 0, SRCCOPY);
  }
  ::BitBlt(dc, 0, 0, W, H, comp, 0, 0, SRCCOPY);
}

void PaintProgress(HWND hwnd, const WindowLayout& layout, const SkinSet& skin, uint64_t bytesDone,
                   uint64_t bytesTotal, int& phase) {
  const int tw = skin.tileWidth, th = skin.tileHeight;
  CClientDC paint(hwnd);
  const Rect band = BandImageRect(layout);
  CMemDC comp(paint);
  CBitmap compImage(::CreateCompatibleBitmap(paint, kBandImageWidth, th + 1));
  CSelect compSel(comp, compImage);
  FillSolid(comp, RECT{0, 0, kBandImageWidth, th + 1}, kPercentBackdrop);
  DrawBandStrip(comp, th);

  const int cx = BarWidth(bytesDone, bytesTotal);
  int p = phase;
  phase = NextTilePhase(phase);
  if (cx > 0 && tw > 0) {
    CMemDC bar(paint);
    CBitmap barImage(::CreateCompatibleBitmap(paint, cx, th));
    CSelect barSel(bar, barImage);
    CMemDC tile(paint);
    for (int x = 0; x < cx; x += tw) {
      if (skin.tiles[p]) {
        CSelect tileSel(tile, skin.tiles[p]);
        ::BitBlt(bar, x, 0, tw, th, tile, 0, 0, SRCCOPY);
      }
      p = NextTilePhase(p);
    }
    ::BitBlt(comp, 1, 0, cx, th, bar, 0, 0, SRCCOPY);
  }

  if (ProgressComplete(bytesDone, bytesTotal)) {
    CopyBitmap(comp, paint, skin.checkMark, kCheckMarkLeft, 0, kCheckMarkWidth, th, kPercentBackdrop);
  } else {
    Rect area = kPercentArea;
    area.bottom = th + 1;
    DrawLabel(comp, PercentText(bytesDone, bytesTotal), area, DrawFont(16, 8, 7), DT_CENTER);
  }
  ::BitBlt(paint, band.left, band.top, kBandImageWidth, th + 1, comp, 0, 0, SRCCOPY);
  ValidateDrawn(hwnd, band);
}

void PaintStatus(HWND hwnd, const WindowLayout& layout, const SkinSet& skin, const std::u16string& text) {
  const int sw = skin.statusWidth, sh = skin.statusHeight;
  CPaintDC paint(hwnd);
  CMemDC comp(paint);
  CBitmap compImage(ClearedImage(paint, sw, sh));
  CSelect compSel(comp, compImage);
  CopyBitmap(comp, paint, skin.statusBackdrop, 0, 0, sw, sh, kPercentBackdrop);
  // Without DT_SINGLELINE the text stands at the top, right-aligned, breaking only
  // at its own line breaks.
  DrawLabel(comp, text, Rect{0, 0, sw, sh}, DrawFont(16, 6, 10), DT_RIGHT | DT_VCENTER);
  ::BitBlt(paint, layout.statusRect.left, layout.statusRect.top, sw, sh, comp, 0, 0, SRCCOPY);
}

void DrawGlyph(HWND hwnd, const Rect& rect, HBITMAP bitmap) {
  CClientDC dc(hwnd);
  CopyBitmap(dc, dc, bitmap, rect.left, rect.top, rect.Width(), rect.Height(), kBandFill);
  ValidateDrawn(hwnd, rect);
}

}  // namespace ui
