#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <new>

#include "framework/gdi.h"
#include "ui/zarn_button.h"

namespace ui {

using framework::CMemDC;
using framework::CSelect;

CZarnButton::CZarnButton() { ResetColors(); }

CZarnButton::~CZarnButton() {
  DropSnapshot();
  ReleaseFaces();
  if (cursor) ::DestroyCursor(cursor);
  if (toolTip && ::IsWindow(toolTip)) ::DestroyWindow(toolTip);
  if (faceFont) ::DeleteObject(faceFont);
  if (m_hWnd) UnsubclassWindow();
}

void CZarnButton::ResetColors() {
  colors[HotBack] = colors[IdleBack] = colors[FocusBack] = ::GetSysColor(COLOR_BTNFACE);
  colors[HotText] = colors[IdleText] = colors[FocusText] = ::GetSysColor(COLOR_BTNTEXT);
}

void CZarnButton::Repaint() {
  ++invalidations;
  if (m_hWnd) ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CZarnButton::ClearHover() {
  if (flat && hovered) {
    hovered = FALSE;
    Repaint();
  }
}

void CZarnButton::SetImageAlignment(uint8_t alignment, BOOL repaint) {
  imageAlignment = alignment;
  if (repaint) Repaint();
}

HFONT CreateButtonFont(const wchar_t* faceName, int height, int width, BOOL underline) {
  return ::CreateFontW(height, width, 0, 0, FW_BOLD, FALSE, underline, FALSE, 0, 3, 2, 1, 0x22, faceName);
}

void CZarnButton::SetFaceFont(const wchar_t* faceName, int height, int width, int, BOOL underline) {
  HFONT font;
  if (faceName && *faceName) {
    font = CreateButtonFont(faceName, height, width, underline);
  } else {
    font = CreateButtonFont(L"Microsoft Sans Serif", -14, 0, FALSE);
  }
  if (faceFont) ::DeleteObject(faceFont);
  faceFont = font;
}

void CZarnButton::SetStateColor(int slot, COLORREF color, BOOL repaint) {
  if (slot < 0 || slot >= ColorCount) return;
  colors[slot] = color;
  if (repaint) Repaint();
}

void CZarnButton::SetPressedOffset(int dx, int dy) { pressedOffset = POINT{dx, dy}; }

void CZarnButton::SetDrawBorder(BOOL on, BOOL repaint) {
  drawBorder = on;
  if (repaint) Repaint();
}

void CZarnButton::SetTransparent(BOOL on, BOOL repaint) {
  transparent = on;
  DropSnapshot();
  if (repaint) Repaint();
}

void CZarnButton::SetLinkUrl(const wchar_t* address) {
  for (auto& c : linkUrl) c = 0;
  if (!address) return;
  for (int i = 0; i < kLinkUrlLength && address[i]; ++i) linkUrl[i] = address[i];
}

void CZarnButton::DropSnapshot() {
  if (snapshotDc && snapshotPrevious) ::SelectObject(snapshotDc, snapshotPrevious);
  snapshotPrevious = nullptr;
  if (snapshotBitmap) ::DeleteObject(snapshotBitmap);
  snapshotBitmap = nullptr;
  if (snapshotDc) ::DeleteDC(snapshotDc);
  snapshotDc = nullptr;
}

void CZarnButton::ReleaseFaces() {
  for (auto& f : faces) {
    if (f.mask) ::DeleteObject(f.mask);
    f = FaceRecord{};
  }
  for (auto& i : icons) i = IconRecord{};
  if (derivedIdle) ::DeleteObject(derivedIdle);
  derivedIdle = nullptr;
}

HBITMAP CZarnButton::BuildFaceMask(HBITMAP image, COLORREF key) {
  RECT client{};
  if (m_hWnd) ::GetClientRect(m_hWnd, &client);
  BITMAP info{};
  if (!::GetObjectW(image, sizeof(info), &info)) return nullptr;
  int cw = client.right - client.left, ch = client.bottom - client.top;
  if (cw <= 0 || ch <= 0) return nullptr;
  HBITMAP mask = ::CreateBitmap(cw, ch, 1, 1, nullptr);
  if (!mask) return nullptr;
  CMemDC imageDc(nullptr), maskDc(nullptr);
  {
    CSelect selImage(imageDc, image);
    CSelect selMask(maskDc, mask);
    ::SetBkColor(imageDc, key);
    ::StretchBlt(maskDc, 0, 0, cw, ch, imageDc, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
    ::SetTextColor(imageDc, RGB(255, 255, 255));
    ::SetBkColor(imageDc, RGB(0, 0, 0));
    ::StretchBlt(imageDc, 0, 0, info.bmWidth, info.bmHeight, maskDc, 0, 0, cw, ch, SRCAND);
  }
  return mask;
}

HBITMAP CZarnButton::DeriveFace(HBITMAP hot, DeriveMode mode) {
  BITMAP info{};
  if (!::GetObjectW(hot, sizeof(info), &info) || info.bmWidth <= 0 || info.bmHeight <= 0) return nullptr;
  int w = info.bmWidth, h = info.bmHeight;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  uint32_t* pixels = static_cast<uint32_t*>(::HeapAlloc(::GetProcessHeap(), 0, size_t(w) * h * 4));
  if (!pixels) return nullptr;
  framework::CClientDC screen(nullptr);
  HBITMAP out = nullptr;
  if (::GetDIBits(screen, hot, 0, h, pixels, &bi, DIB_RGB_COLORS) == h) {
    DeriveFacePixels(pixels, w * h, mode);
    out = ::CreateCompatibleBitmap(screen, w, h);
    if (out && ::SetDIBits(screen, out, 0, h, pixels, &bi, DIB_RGB_COLORS) != h) {
      ::DeleteObject(out);
      out = nullptr;
    }
  }
  ::HeapFree(::GetProcessHeap(), 0, pixels);
  return out;
}

int CZarnButton::SetStateBitmaps(HBITMAP hot, HBITMAP idle) {
  ReleaseFaces();
  if (!hot) {
    Repaint();
    return FaceOk;
  }
  BITMAP info{};
  faces[0].bitmap = hot;
  faces[0].key = kFaceKeyColor;
  if (!::GetObjectW(hot, sizeof(info), &info)) {
    ReleaseFaces();
    return FaceInvalid;
  }
  faces[0].width = info.bmWidth;
  faces[0].height = info.bmHeight;
  bool derived = idle == DeriveGrayFace() || idle == DeriveDarkerFace();
  if (derived) {
    derivedIdle = DeriveFace(hot, idle == DeriveGrayFace() ? DeriveMode::Gray : DeriveMode::Darker);
    idle = derivedIdle;
    if (!idle) {
      ReleaseFaces();
      return FaceInvalid;
    }
  }
  faces[0].mask = BuildFaceMask(hot, kFaceKeyColor);
  if (!faces[0].mask) {
    ReleaseFaces();
    return FaceMaskFailed;
  }
  if (idle) {
    faces[1].bitmap = idle;
    faces[1].key = derived ? kFaceKeyColor : kIdleKeyColor;
    if (!::GetObjectW(idle, sizeof(info), &info)) {
      ReleaseFaces();
      return FaceInvalid;
    }
    faces[1].width = info.bmWidth;
    faces[1].height = info.bmHeight;
    faces[1].mask = BuildFaceMask(idle, faces[1].key);
    if (!faces[1].mask) {
      ReleaseFaces();
      return FaceMaskFailed;
    }
  }
  Repaint();
  return FaceOk;
}

void CZarnButton::PreSubclassWindow() {
  LONG_PTR style = GetStyle() & 0xFFFF;
  if (style & 0x2) checkMode = TRUE;
  if ((style & 0x1F) == BS_DEFPUSHBUTTON) isDefault = TRUE;
  ModifyStyle(0x1F, BS_OWNERDRAW | WS_CLIPSIBLINGS, SWP_FRAMECHANGED);
}

BOOL CZarnButton::PreTranslateMessage(MSG* msg) {
  if (!toolTip && m_hWnd) {
    toolTip = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, toolTipStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (toolTip) {
      ::SendMessageW(toolTip, TTM_ACTIVATE, FALSE, 0);
      ::SendMessageW(toolTip, TTM_SETMAXTIPWIDTH, 0, 400);
    }
  }
  if (toolTip) ::SendMessageW(toolTip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(msg));
  if (msg->message == WM_LBUTTONDBLCLK) msg->message = WM_LBUTTONDOWN;
  return CWnd::PreTranslateMessage(msg);
}

void CZarnButton::OnMouseMove(UINT flags, POINT pt) {
  if (!hoverTracking) return;
  Default(WM_MOUSEMOVE, flags, MAKELPARAM(pt.x, pt.y));
  ::ClientToScreen(m_hWnd, &pt);
  HWND under = ::WindowFromPoint(pt);
  if ((flags & MK_LBUTTON) && !hovered) return;
  if (!flat) return;
  HWND reference = trackWhenInactive ? m_hWnd : ::GetActiveWindow();
  if (under == m_hWnd && reference) {
    if (hovered) return;
    hovered = TRUE;
    Repaint();
    TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, m_hWnd, 0};
    ::TrackMouseEvent(&tme);
  } else if (hovered) {
    hovered = FALSE;
    Repaint();
  }
}

void CZarnButton::OnClicked() {
  ::SetFocus(m_hWnd);
  if (checkMode) {
    isChecked = !isChecked;
    Repaint();
    return;
  }
  if (linkUrl[0]) {
    SHELLEXECUTEINFOW sei{};
    sei.cbSize = sizeof(sei);
    sei.fMask = SEE_MASK_FLAG_NO_UI;
    sei.lpVerb = L"open";
    sei.lpFile = linkUrl;
    sei.nShow = SW_SHOWMAXIMIZED;
    ::ShellExecuteExW(&sei);
  }
}

bool CZarnButton::OnChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  switch (msg) {
    case WM_COMMAND:
      if (HIWORD(wp) == BN_CLICKED) OnClicked();
      return false;  // the parent hears the click too
    case WM_DRAWITEM:
      DrawItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
      *result = TRUE;
      return true;
    default:
      if (!framework::IsCtlColorMessage(msg)) return false;
      *result = reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
      return true;
  }
}

bool CZarnButton::OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  switch (msg) {
    case WM_SETCURSOR:
      if (!cursor) return false;
      ::SetCursor(cursor);
      *result = TRUE;
      return true;
    case WM_KILLFOCUS:
      *result = Default(msg, wp, lp);
      ClearHover();
      return true;
    case WM_MOUSEMOVE:
      OnMouseMove(static_cast<UINT>(wp), POINT{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))});
      *result = 0;
      return true;
    case WM_SYSCOLORCHANGE:
      *result = Default(msg, wp, lp);
      DropSnapshot();
      ResetColors();
      Repaint();
      return true;
    case WM_ACTIVATE:
      *result = Default(msg, wp, lp);
      if (LOWORD(wp) == WA_INACTIVE) ClearHover();
      return true;
    case WM_ENABLE:
      *result = Default(msg, wp, lp);
      if (!wp) {
        HWND parent = GetParent();
        HWND next = parent ? ::GetNextDlgTabItem(parent, m_hWnd, FALSE) : nullptr;
        if (next && next != m_hWnd) ::SetFocus(next);
        else if (parent) ::SetFocus(parent);
        ClearHover();
      }
      return true;
    case WM_CANCELMODE:
      *result = Default(msg, wp, lp);
      ClearHover();
      return true;
    case WM_GETDLGCODE:
      *result = Default(msg, wp, lp) | (isDefault ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
      return true;
    case BM_SETSTYLE: {
      UINT type = wp & 0x1F;
      if (type == BS_DEFPUSHBUTTON) isDefault = TRUE;
      else if (type == BS_PUSHBUTTON) isDefault = FALSE;
      *result = Default(msg, (wp & ~static_cast<WPARAM>(0x14)) | 0x0B, lp);
      return true;
    }
    case WM_MOUSELEAVE:
      if (hoverTracking) ClearHover();
      *result = 0;
      return true;
    case BM_SETCHECK:
      if (checkMode) {
        isChecked = wp == BST_CHECKED || wp == BST_INDETERMINATE;
        Repaint();
      }
      *result = 0;
      return true;
    case BM_GETCHECK:
      *result = isChecked;
      return true;
    case WM_UPDATEUISTATE:
      *result = Default(msg, wp, lp);
      if (HIWORD(wp) & UISF_HIDEFOCUS && (LOWORD(wp) == UIS_CLEAR || LOWORD(wp) == UIS_SET)) {
        const BOOL show = LOWORD(wp) == UIS_CLEAR;
        if (show != keyboardCues) {
          keyboardCues = show;
          Repaint();
        }
      }
      return true;
    default:
      return false;
  }
}

RECT CZarnButton::PlaceImage(BOOL hasCaption, const RECT* item, RECT* caption, BOOL isPressed, DWORD w, DWORD h) {
  FaceLayout layout;
  layout.imageAlignment = imageAlignment;
  layout.imageMargin = imageMargin;
  layout.imageTop = imageTop;
  layout.pressedDx = pressedOffset.x;
  layout.pressedDy = pressedOffset.y;
  layout.checkMode = checkMode != FALSE;
  RECT client{};
  ::GetClientRect(m_hWnd, &client);
  layout.clientRight = client.right;
  Rect cap{caption->left, caption->top, caption->right, caption->bottom};
  Rect image = PrepareImageRect(layout, hasCaption != FALSE, Rect{item->left, item->top, item->right, item->bottom},
                                &cap, isPressed != FALSE, static_cast<int>(w), static_cast<int>(h));
  *caption = RECT{cap.left, cap.top, cap.right, cap.bottom};
  return RECT{image.left, image.top, image.right, image.bottom};
}

void CZarnButton::DrawItem(const DRAWITEMSTRUCT* item) {
  HDC dc = item->hDC;
  pressed = checkMode ? ((item->itemState & ODS_SELECTED) || isChecked) : (item->itemState & ODS_SELECTED) != 0;
  focused = (item->itemState & ODS_FOCUS) != 0;
  disabled = (item->itemState & ODS_DISABLED) != 0;
  RECT work = item->rcItem;
  ::SetBkMode(dc, TRANSPARENT);
  if (transparent) CopyParentBackground(dc);
  else DrawFaceBackground(dc, &work);
  DrawFaceBorder(dc, &work);

  wchar_t title[512] = {};
  ::GetWindowTextW(m_hWnd, title, 512);
  RECT caption = item->rcItem;
  BOOL hasCaption = title[0] != 0;
  if (icons[0].icon) DrawFaceIcon(dc, hasCaption, &item->rcItem, &caption, pressed, disabled);
  if (faces[0].bitmap) {
    ::SetBkColor(dc, RGB(255, 255, 255));
    DrawFaceBitmap(dc, hasCaption, &item->rcItem, &caption, pressed, disabled);
  }
  if (hasCaption) DrawFaceText(dc, title, &item->rcItem, &caption, pressed, disabled);
  if (focused && (!flat || flatFocusRect || keyboardCues)) {
    ::InflateRect(&work, -3, -3);
    ::DrawFocusRect(dc, &work);
  }
}

void CZarnButton::CopyParentBackground(HDC dc) {
  HWND parent = GetParent();
  framework::CClientDC parentDc(parent);
  RECT client{}, window{};
  ::GetClientRect(m_hWnd, &client);
  ::GetWindowRect(m_hWnd, &window);
  ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&window), 2);
  if (!snapshotDc) {
    snapshotDc = ::CreateCompatibleDC(parentDc);
    snapshotBitmap = ::CreateCompatibleBitmap(parentDc, client.right, client.bottom);
    snapshotPrevious = static_cast<HBITMAP>(::SelectObject(snapshotDc, snapshotBitmap));
    ::BitBlt(snapshotDc, 0, 0, client.right, client.bottom, parentDc, window.left, window.top, SRCCOPY);
  }
  ::BitBlt(dc, 0, 0, client.right, client.bottom, snapshotDc, 0, 0, SRCCOPY);
}

void CZarnButton::DrawFaceBackground(HDC dc, RECT* rc) {
  if (!flat && (focused || isDefault)) {
    ::FrameRect(dc, rc, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    ::InflateRect(rc, -1, -1);
  }
  COLORREF c = (hovered || pressed) ? colors[HotBack] : focused ? colors[FocusBack] : colors[IdleBack];
  framework::CBrush brush(::CreateSolidBrush(c));
  ::FillRect(dc, rc, brush);
}

namespace {
void Draw3dRect(HDC dc, const RECT* rc, COLORREF topLeft, COLORREF bottomRight) {
  int x = rc->left, y = rc->top, cx = rc->right - rc->left, cy = rc->bottom - rc->top;
  auto fill = [dc](int l, int t, int w, int h, COLORREF c) {
    ::SetBkColor(dc, c);
    RECT r{l, t, l + w, t + h};
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
  };
  COLORREF saved = ::GetBkColor(dc);
  fill(x, y, cx - 1, 1, topLeft);
  fill(x, y, 1, cy - 1, topLeft);
  fill(x + cx, y, -1, cy, bottomRight);
  fill(x, y + cy, cx, -1, bottomRight);
  ::SetBkColor(dc, saved);
}

void Polyline3(HDC dc, int x0, int y0, int x1, int y1, int x2, int y2) {
  POINT pts[3] = {{x0, y0}, {x1, y1}, {x2, y2}};
  ::Polyline(dc, pts, 3);
}
}  // namespace

void CZarnButton::DrawFaceBorder(HDC dc, RECT* rc) {
  if (!drawBorder) return;
  if (pressed) {
    if (flat) Draw3dRect(dc, rc, ::GetSysColor(COLOR_BTNSHADOW), ::GetSysColor(COLOR_BTNHIGHLIGHT));
    else ::FrameRect(dc, rc, ::GetSysColorBrush(COLOR_BTNSHADOW));
    return;
  }
  if (flat) {
    if (hovered) Draw3dRect(dc, rc, ::GetSysColor(COLOR_BTNHIGHLIGHT), ::GetSysColor(COLOR_BTNSHADOW));
    return;
  }
  int l = rc->left, t = rc->top, r = rc->right, b = rc->bottom;
  framework::CPen hi(::CreatePen(PS_SOLID, 1, ::GetSysColor(COLOR_BTNHIGHLIGHT)));
  framework::CPen light(::CreatePen(PS_SOLID, 1, ::GetSysColor(COLOR_3DLIGHT)));
  framework::CPen dark(::CreatePen(PS_SOLID, 1, ::GetSysColor(COLOR_3DDKSHADOW)));
  framework::CPen shadow(::CreatePen(PS_SOLID, 1, ::GetSysColor(COLOR_BTNSHADOW)));
  HGDIOBJ old = ::SelectObject(dc, hi);
  Polyline3(dc, l, b - 1, l, t, r, t);
  ::SelectObject(dc, light);
  Polyline3(dc, l + 1, b - 1, l + 1, t + 1, r, t + 1);
  ::SelectObject(dc, dark);
  Polyline3(dc, l, b - 1, r - 1, b - 1, r - 1, t - 1);
  ::SelectObject(dc, shadow);
  Polyline3(dc, l + 1, b - 2, r - 2, b - 2, r - 2, t);
  ::SelectObject(dc, old);
}

// Slot 0 holds the hot image, slot 1 the idle one (slot 0 stands in when there is
// none): hot while pressed, or hovered unless the button works as a check box.
int CZarnButton::FaceSlot(BOOL isPressed, bool hasIdle) const {
  const bool hot = checkMode ? isPressed : (isPressed || hovered);
  return hot || !hasIdle ? 0 : 1;
}

void CZarnButton::DrawFaceIcon(HDC dc, BOOL hasCaption, const RECT* item, RECT* caption, BOOL isPressed,
                               BOOL isDisabled) {
  const IconRecord& rec = icons[FaceSlot(isPressed, icons[1].icon != nullptr)];
  RECT image = PlaceImage(hasCaption, item, caption, isPressed, rec.width, rec.height);
  ::DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(rec.icon), 0, image.left, image.top, image.right - image.left,
               image.bottom - image.top, DST_ICON | (isDisabled ? DSS_DISABLED : DSS_NORMAL));
}

void CZarnButton::DrawFaceBitmap(HDC dc, BOOL hasCaption, const RECT* item, RECT* caption, BOOL isPressed,
                                 BOOL isDisabled) {
  const FaceRecord& face = faces[FaceSlot(isPressed, faces[1].bitmap != nullptr)];
  RECT image = PlaceImage(hasCaption, item, caption, isPressed, face.width, face.height);
  CMemDC faceDc(dc);
  if (isDisabled && grayWhenDisabled) {
    framework::CBitmap scratch(::CreateCompatibleBitmap(dc, face.width, face.height));
    CMemDC scratchDc(dc), maskDc(dc);
    {
      CSelect s1(scratchDc, scratch);
      CSelect s2(maskDc, face.mask);
      CSelect s3(faceDc, face.bitmap);
      RECT white{0, 0, image.right + 1, image.bottom + 1};
      ::FillRect(scratchDc, &white, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
      ::SetBkColor(scratchDc, RGB(255, 255, 255));
      ::SetTextColor(scratchDc, RGB(0, 0, 0));
      ::BitBlt(scratchDc, 0, 0, face.width, face.height, maskDc, 0, 0, SRCAND);
      ::BitBlt(scratchDc, 0, 0, face.width, face.height, faceDc, 0, 0, SRCPAINT);
    }
    ::DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(scratch.Get()), 0, image.left, image.top, face.width,
                 face.height, DST_BITMAP | DSS_DISABLED);
    return;
  }
  RECT client{};
  ::GetClientRect(m_hWnd, &client);
  CSelect sel(faceDc, face.bitmap);
  ::SetStretchBltMode(dc, COLORONCOLOR);
  ::StretchBlt(dc, 0, 0, client.right, client.bottom, faceDc, 0, 0, face.width, face.height, SRCCOPY);
}

void CZarnButton::DrawFaceText(HDC dc, const wchar_t* text, const RECT*, RECT* caption, BOOL isPressed,
                               BOOL isDisabled) {
  if (isPressed && !checkMode) ::OffsetRect(caption, pressedOffset.x, pressedOffset.y);
  CSelect font(dc, faceFont);
  RECT measured = *caption;
  ::DrawTextW(dc, text, -1, &measured, DT_WORDBREAK | DT_CENTER | DT_CALCRECT);
  ::OffsetRect(&measured, ((caption->right - caption->left) - (measured.right - measured.left)) / 2,
               ((caption->bottom - caption->top) - (measured.bottom - measured.top)) / 2);
  ::SetBkMode(dc, TRANSPARENT);
  if (isDisabled) {
    RECT moved = measured;
    ::OffsetRect(&moved, 1, 1);
    ::SetTextColor(dc, ::GetSysColor(COLOR_3DHILIGHT));
    ::DrawTextW(dc, text, -1, &moved, DT_WORDBREAK | DT_CENTER);
    ::SetTextColor(dc, ::GetSysColor(COLOR_3DSHADOW));
    ::DrawTextW(dc, text, -1, &measured, DT_WORDBREAK | DT_CENTER);
    return;
  }
  int text_slot, back_slot;
  if (hovered || isPressed) { text_slot = HotText; back_slot = HotBack; }
  else if (focused) { text_slot = FocusText; back_slot = FocusBack; }
  else { text_slot = IdleText; back_slot = IdleBack; }
  ::SetTextColor(dc, colors[text_slot]);
  ::SetBkColor(dc, colors[back_slot]);
  ::DrawTextW(dc, text, -1, &measured, DT_WORDBREAK | DT_CENTER);
}

}  // namespace ui
