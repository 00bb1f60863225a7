#include <windows.h>

#include "framework/gdi.h"
#include "platform/text.h"
#include "ui/text_fit.h"
#include "ui/window_paint.h"

#include <vector>

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
// cannot be created. The cell's fixed width squeezes the glyphs of a script the face
// does not have (CJK drawn through font linking): a text with such characters gets
// the face's natural width instead.
class DrawFont {
 public:
  DrawFont(HDC dc, int height, int width, int weight, const std::u16string& text) {
    m_font.Attach(CreateTextFont(height, width, weight));
    if (m_font && width != 0 && !FaceCovers(dc, m_font.Get(), text))
      m_font.Attach(CreateTextFont(height, 0, weight));
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

// A text in a right-to-left script is laid out right to left, so that its neutral
// ends ("...", "?") stand where its readers expect them.
void DrawLabel(HDC dc, const std::u16string& text, const Rect& rect, const DrawFont& font, UINT flags) {
  CSelect sel(dc, font.Get());
  ::SetTextColor(dc, kTextColour);
  ::SetBkMode(dc, TRANSPARENT);
  RECT rc = ToRect(rect);
  if (IsRightToLeft(text)) flags |= DT_RTLREADING;
  ::DrawTextW(dc, platform::W(text), static_cast<int>(text.size()), &rc, flags);
}

// The band strip: the dark fill with its bottom line, th + 1 high (one unit, at 96
// one pixel).
void DrawBandStrip(HDC dc, int th, const BandMetrics& band) {
  FillSolid(dc, RECT{0, 0, band.stripWidth, th + band.unit}, kBandFill);
  CPen pen(::CreatePen(PS_SOLID, band.lineWidth, kBandLine));
  CSelect sel(dc, pen);
  ::MoveToEx(dc, 0, th + band.unit, nullptr);
  ::LineTo(dc, band.stripWidth, th + band.unit);
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

// The status text measured in the font it is drawn with.
StatusFit FitStatus(HDC dc, HGDIOBJ font, const std::u16string& text, int width, int height) {
  CSelect sel(dc, font);
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(dc, &metrics);
  return FitStatusText(text, width, height, metrics.tmHeight, [dc](const std::u16string& line) {
    SIZE size{};
    ::GetTextExtentPoint32W(dc, platform::W(line), static_cast<int>(line.size()), &size);
    return static_cast<int>(size.cx);
  });
}

}  // namespace

HFONT CreateTextFont(int height, int width, int weight) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWidth = width;
  lf.lfWeight = weight;
  lstrcpynW(lf.lfFaceName, L"Arial", LF_FACESIZE);
  return ::CreateFontIndirectW(&lf);
}

bool FaceCovers(HDC dc, HGDIOBJ font, const std::u16string& text) {
  if (text.empty()) return true;
  CSelect sel(dc, font);
  std::vector<WORD> glyphs(text.size());
  if (::GetGlyphIndicesW(dc, platform::W(text), static_cast<int>(text.size()), glyphs.data(),
                         GGI_MARK_NONEXISTING_GLYPHS) == GDI_ERROR)
    return true;
  for (size_t i = 0; i < text.size(); ++i)
    if (glyphs[i] == 0xFFFF && text[i] >= 0x20) return false;  // line breaks have no glyph anywhere
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
  const int dpi = layout.dpi;
  DrawLabel(comp, productName, layout.titleRect, DrawFont(comp, Scale(17, dpi), Scale(7, dpi), 10, productName), 0);
  DrawLabel(comp, productName, layout.nameRect, DrawFont(comp, Scale(17, dpi), Scale(7, dpi), 10, productName), 0);
  const Rect& c = layout.closeRect;
  const Rect& m = layout.minRect;
  CopyBitmap(comp, dc, skin.closeNormal, c.left, c.top, c.Width(), c.Height(), kBandFill);
  CopyBitmap(comp, dc, skin.minNormal, m.left, m.top, m.Width(), m.Height(), kBandFill);
  {
    const int th = skin.tileHeight;
    const BandMetrics& b = layout.band;
    CMemDC strip(dc);
    CBitmap stripImage(::CreateCompatibleBitmap(dc, b.stripWidth, th + b.unit));
    CSelect stripSel(strip, stripImage);
    DrawBandStrip(strip, th, b);
    ::BitBlt(comp, layout.bandRect.left - b.unit, layout.bandRect.top, b.stripWidth, th + b.unit, strip, 0, 0,
             SRCCOPY);
  }
  ::BitBlt(dc, 0, 0, W, H, comp, 0, 0, SRCCOPY);
}

void PaintProgress(HWND hwnd, const WindowLayout& layout, const SkinSet& skin, uint64_t bytesDone,
                   uint64_t bytesTotal, int& phase) {
  const int tw = skin.tileWidth, th = skin.tileHeight;
  const BandMetrics& b = layout.band;
  CClientDC paint(hwnd);
  const Rect band = BandImageRect(layout);
  CMemDC comp(paint);
  CBitmap compImage(::CreateCompatibleBitmap(paint, b.imageWidth, th + b.unit));
  CSelect compSel(comp, compImage);
  FillSolid(comp, RECT{0, 0, b.imageWidth, th + b.unit}, kPercentBackdrop);
  DrawBandStrip(comp, th, b);

  const int cx = BarWidth(bytesDone, bytesTotal, b);
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
    ::BitBlt(comp, b.unit, 0, cx, th, bar, 0, 0, SRCCOPY);
  }

  if (ProgressComplete(bytesDone, bytesTotal)) {
    CopyBitmap(comp, paint, skin.checkMark, b.checkLeft, 0, b.checkWidth, th, kPercentBackdrop);
  } else {
    const Rect area{b.percentLeft, 0, b.percentRight, th + b.unit};
    const std::u16string text = PercentText(bytesDone, bytesTotal);
    DrawLabel(comp, text, area, DrawFont(comp, Scale(16, layout.dpi), Scale(8, layout.dpi), 7, text), DT_CENTER);
  }
  ::BitBlt(paint, band.left, band.top, b.imageWidth, th + b.unit, comp, 0, 0, SRCCOPY);
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
  // at its own line breaks: a text too wide for the panel is broken or cut here
  // first, so that its start is never pushed out at the left.
  const DrawFont font(comp, Scale(kStatusFontHeight, layout.dpi), Scale(kStatusFontWidth, layout.dpi), 10, text);
  const StatusFit fit = FitStatus(comp, font.Get(), text, sw, sh);
  DrawLabel(comp, fit.text, Rect{0, 0, sw, sh}, font, DT_RIGHT | DT_VCENTER);
  ::BitBlt(paint, layout.statusRect.left, layout.statusRect.top, sw, sh, comp, 0, 0, SRCCOPY);
}

void DrawGlyph(HWND hwnd, const Rect& rect, HBITMAP bitmap) {
  CClientDC dc(hwnd);
  CopyBitmap(dc, dc, bitmap, rect.left, rect.top, rect.Width(), rect.Height(), kBandFill);
  ValidateDrawn(hwnd, rect);
}

}  // namespace ui
