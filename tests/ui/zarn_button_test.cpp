// The image button under a real window manager: a parent window with one
// subclassed button, driven with real messages.
#include <windows.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "ui/zarn_button.h"

namespace ui {
namespace {

int g_clicks = 0;

LRESULT CALLBACK ParentProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT result = 0;
  if (framework::ReflectToChild(msg, wp, lp, &result)) return result;
  if (msg == WM_COMMAND && HIWORD(wp) == BN_CLICKED) ++g_clicks;
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

class ButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static bool registered = false;
    if (!registered) {
      WNDCLASSW wc{};
      wc.lpfnWndProc = ParentProc;
      wc.hInstance = ::GetModuleHandleW(nullptr);
      wc.lpszClassName = L"ZarnButtonTestParent";
      wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
      ASSERT_TRUE(::RegisterClassW(&wc));
      registered = true;
    }
    parent = ::CreateWindowExW(0, L"ZarnButtonTestParent", L"test", WS_POPUP | WS_VISIBLE, 100, 100, 300, 200,
                               nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(parent);
    g_clicks = 0;
  }
  void TearDown() override {
    if (parent) ::DestroyWindow(parent);
    Pump();
  }

  HWND MakeButton(CZarnButton& button, DWORD style = BS_PUSHBUTTON, int w = 80, int h = 30,
                  const wchar_t* caption = L"") {
    HWND hwnd = ::CreateWindowExW(0, L"BUTTON", caption, WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, 20, 20, w, h,
                                  parent, reinterpret_cast<HMENU>(1000), ::GetModuleHandleW(nullptr), nullptr);
    EXPECT_TRUE(hwnd);
    EXPECT_TRUE(button.SubclassWindow(hwnd));
    return hwnd;
  }

  // The modal loop's order: the tree's PreTranslateMessage first, then dispatch.
  void Pump() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (!framework::WalkPreTranslateTree(parent, &msg)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
      }
    }
  }

  static LPARAM Point(int x, int y) { return MAKELPARAM(x, y); }

  HWND parent = nullptr;
};

TEST_F(ButtonTest, SubclassingMakesItOwnerDrawnAndReadsTheStyle) {
  CZarnButton plain, def, check;
  HWND a = MakeButton(plain);
  EXPECT_EQ(::GetWindowLongW(a, GWL_STYLE) & 0x1F, BS_OWNERDRAW);
  EXPECT_FALSE(plain.isDefault);
  EXPECT_FALSE(plain.checkMode);
  MakeButton(def, BS_DEFPUSHBUTTON);
  EXPECT_TRUE(def.isDefault);
  MakeButton(check, BS_CHECKBOX);
  EXPECT_TRUE(check.checkMode);
}

TEST_F(ButtonTest, HoverSetsAndClearsAndRepaintsOnlyOnChange) {
  CZarnButton button;
  HWND hwnd = MakeButton(button);
  unsigned before = button.invalidations;
  ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, Point(10, 10));
  EXPECT_TRUE(button.hovered);
  EXPECT_EQ(button.invalidations, before + 1);
  ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, Point(12, 11));
  EXPECT_EQ(button.invalidations, before + 1) << "an unchanged hover state must not repaint";
  ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, Point(200, 100));  // over the parent
  EXPECT_FALSE(button.hovered);
  EXPECT_EQ(button.invalidations, before + 2);
  ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, Point(10, 10));
  ::SendMessageW(hwnd, WM_MOUSELEAVE, 0, 0);
  EXPECT_FALSE(button.hovered);
}

TEST_F(ButtonTest, ButtonDownDoesNotMakeItHotButMovingOffClearsIt) {
  CZarnButton button;
  HWND hwnd = MakeButton(button);
  ::SendMessageW(hwnd, WM_MOUSEMOVE, MK_LBUTTON, Point(10, 10));
  EXPECT_FALSE(button.hovered);
  ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, Point(10, 10));
  ASSERT_TRUE(button.hovered);
  ::SendMessageW(hwnd, WM_MOUSEMOVE, MK_LBUTTON, Point(200, 100));
  EXPECT_FALSE(button.hovered);
}

TEST_F(ButtonTest, HoverEndsOnFocusLossCancelModeAndDisable) {
  CZarnButton button, other;
  HWND hwnd = MakeButton(button);
  HWND next = ::CreateWindowExW(0, L"BUTTON", L"x", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 150, 20, 40, 20, parent,
                                nullptr, ::GetModuleHandleW(nullptr), nullptr);
  ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, Point(10, 10));
  ::SendMessageW(hwnd, WM_KILLFOCUS, 0, 0);
  EXPECT_FALSE(button.hovered);
  ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, Point(10, 10));
  ::SendMessageW(hwnd, WM_CANCELMODE, 0, 0);
  EXPECT_FALSE(button.hovered);
  ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, Point(10, 10));
  ::SetFocus(hwnd);
  ::EnableWindow(hwnd, FALSE);
  EXPECT_FALSE(button.hovered);
  EXPECT_NE(::GetFocus(), hwnd);
  (void)next;
}

TEST_F(ButtonTest, DoubleClickGivesTwoClicks) {
  CZarnButton button;
  HWND hwnd = MakeButton(button);
  ::PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, Point(10, 10));
  ::PostMessageW(hwnd, WM_LBUTTONUP, 0, Point(10, 10));
  ::PostMessageW(hwnd, WM_LBUTTONDBLCLK, MK_LBUTTON, Point(10, 10));
  ::PostMessageW(hwnd, WM_LBUTTONUP, 0, Point(10, 10));
  Pump();
  EXPECT_EQ(g_clicks, 2);
  EXPECT_TRUE(button.toolTip) << "the first message creates the tooltip";
}

TEST_F(ButtonTest, CheckModeTogglesOnClicksAndBmSetCheck) {
  CZarnButton button;
  HWND hwnd = MakeButton(button, BS_CHECKBOX);
  button.SetLinkUrl(L"");  // with an address it still must not open one
  ::SendMessageW(hwnd, BM_CLICK, 0, 0);
  Pump();
  EXPECT_TRUE(button.isChecked);
  EXPECT_EQ(::SendMessageW(hwnd, BM_GETCHECK, 0, 0), 1);
  ::SendMessageW(hwnd, BM_CLICK, 0, 0);
  Pump();
  EXPECT_FALSE(button.isChecked);
  EXPECT_EQ(g_clicks, 2) << "the parent hears every click too";
  ::SendMessageW(hwnd, BM_SETCHECK, BST_INDETERMINATE, 0);
  EXPECT_TRUE(button.isChecked);
  ::SendMessageW(hwnd, BM_SETCHECK, BST_UNCHECKED, 0);
  EXPECT_FALSE(button.isChecked);

  CZarnButton push;
  HWND p = MakeButton(push);
  ::SendMessageW(p, BM_SETCHECK, BST_CHECKED, 0);
  EXPECT_FALSE(push.isChecked) << "outside check mode BM_SETCHECK is ignored";
}

TEST_F(ButtonTest, SetStyleKeepsItOwnerDrawnAndTracksDefault) {
  CZarnButton button;
  HWND hwnd = MakeButton(button);
  ::SendMessageW(hwnd, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
  EXPECT_TRUE(button.isDefault);
  EXPECT_EQ(::GetWindowLongW(hwnd, GWL_STYLE) & 0x1F, BS_OWNERDRAW);
  EXPECT_TRUE(::SendMessageW(hwnd, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON);
  ::SendMessageW(hwnd, BM_SETSTYLE, BS_CHECKBOX, TRUE);  // other types leave the flag
  EXPECT_TRUE(button.isDefault);
  ::SendMessageW(hwnd, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
  EXPECT_FALSE(button.isDefault);
  EXPECT_EQ(::GetWindowLongW(hwnd, GWL_STYLE) & 0x1F, BS_OWNERDRAW);
  EXPECT_TRUE(::SendMessageW(hwnd, WM_GETDLGCODE, 0, 0) & DLGC_UNDEFPUSHBUTTON);
}

TEST_F(ButtonTest, SysColorChangeResetsColoursAndDropsSnapshot) {
  CZarnButton button;
  HWND hwnd = MakeButton(button);
  for (int slot = 0; slot < CZarnButton::ColorCount; ++slot) button.SetStateColor(slot, 0x123456, TRUE);
  button.SetTransparent(TRUE, TRUE);
  ::UpdateWindow(hwnd);
  ::SendMessageW(hwnd, WM_SYSCOLORCHANGE, 0, 0);
  EXPECT_EQ(button.colors[CZarnButton::HotBack], ::GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(button.colors[CZarnButton::IdleBack], ::GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(button.colors[CZarnButton::FocusBack], ::GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(button.colors[CZarnButton::HotText], ::GetSysColor(COLOR_BTNTEXT));
  EXPECT_EQ(button.colors[CZarnButton::IdleText], ::GetSysColor(COLOR_BTNTEXT));
  EXPECT_EQ(button.colors[CZarnButton::FocusText], ::GetSysColor(COLOR_BTNTEXT));
  EXPECT_FALSE(button.snapshotDc);
  EXPECT_FALSE(button.snapshotBitmap);
}

TEST_F(ButtonTest, LinkAddressIsCutAt260Characters) {
  CZarnButton button;
  std::wstring longUrl = L"http://example.invalid/" + std::wstring(400, L'a');
  button.SetLinkUrl(longUrl.c_str());
  EXPECT_EQ(std::wcslen(button.linkUrl), 260u);
  EXPECT_EQ(std::wstring(button.linkUrl), longUrl.substr(0, 260));
  button.SetLinkUrl(L"short");
  EXPECT_STREQ(button.linkUrl, L"short");
  button.SetLinkUrl(nullptr);
  EXPECT_EQ(button.linkUrl[0], 0);
}

// A solid screen-compatible bitmap.
HBITMAP Solid(int w, int h, COLORREF c) {
  HDC screen = ::GetDC(nullptr);
  HBITMAP bmp = ::CreateCompatibleBitmap(screen, w, h);
  HDC dc = ::CreateCompatibleDC(screen);
  HGDIOBJ old = ::SelectObject(dc, bmp);
  HBRUSH brush = ::CreateSolidBrush(c);
  RECT rc{0, 0, w, h};
  ::FillRect(dc, &rc, brush);
  ::DeleteObject(brush);
  ::SelectObject(dc, old);
  ::DeleteDC(dc);
  ::ReleaseDC(nullptr, screen);
  return bmp;
}

TEST_F(ButtonTest, SetStateBitmapsResults) {
  CZarnButton button;
  MakeButton(button);
  HBITMAP hot = Solid(10, 10, RGB(200, 0, 0));
  HBITMAP idle = Solid(10, 10, RGB(0, 0, 200));
  EXPECT_EQ(button.SetStateBitmaps(hot, idle), CZarnButton::FaceOk);
  EXPECT_EQ(button.faces[0].bitmap, hot);
  EXPECT_EQ(button.faces[0].key, 0x333332u);
  EXPECT_EQ(button.faces[1].bitmap, idle);
  EXPECT_EQ(button.faces[1].key, 0u);
  EXPECT_TRUE(button.faces[0].mask && button.faces[1].mask);
  EXPECT_EQ(button.faces[0].width, 10u);

  EXPECT_EQ(button.SetStateBitmaps(hot, CZarnButton::DeriveDarkerFace()), CZarnButton::FaceOk);
  EXPECT_TRUE(button.faces[1].bitmap && button.faces[1].bitmap != hot);
  EXPECT_EQ(button.faces[1].key, 0x333332u);

  EXPECT_EQ(button.SetStateBitmaps(nullptr, idle), CZarnButton::FaceOk);
  EXPECT_FALSE(button.faces[0].bitmap || button.faces[1].bitmap);

  HBITMAP bogus = reinterpret_cast<HBITMAP>(static_cast<INT_PTR>(0x7777));
  EXPECT_EQ(button.SetStateBitmaps(bogus, nullptr), CZarnButton::FaceInvalid);
  EXPECT_FALSE(button.faces[0].bitmap);
  EXPECT_EQ(button.SetStateBitmaps(hot, bogus), CZarnButton::FaceInvalid);
  EXPECT_FALSE(button.faces[0].bitmap || button.faces[1].bitmap);

  // A control without a client area cannot hold a mask.
  CZarnButton empty;
  MakeButton(empty, BS_PUSHBUTTON, 0, 0);
  EXPECT_EQ(empty.SetStateBitmaps(hot, idle), CZarnButton::FaceMaskFailed);
  EXPECT_FALSE(empty.faces[0].bitmap || empty.faces[1].bitmap);

  button.SetStateBitmaps(nullptr, nullptr);
  ::DeleteObject(hot);
  ::DeleteObject(idle);
}

// Draws the control into a 32-bit memory image and reads pixels back.
class Canvas {
 public:
  Canvas(int w, int h) : w_(w), h_(h) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    dc_ = ::CreateCompatibleDC(nullptr);
    bmp_ = ::CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
    old_ = ::SelectObject(dc_, bmp_);
  }
  ~Canvas() {
    ::SelectObject(dc_, old_);
    ::DeleteObject(bmp_);
    ::DeleteDC(dc_);
  }
  void Draw(CZarnButton& button, UINT state) {
    RECT all{0, 0, w_, h_};
    ::FillRect(dc_, &all, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    DRAWITEMSTRUCT dis{};
    dis.CtlType = ODT_BUTTON;
    dis.itemAction = ODA_DRAWENTIRE;
    dis.itemState = state;
    dis.hwndItem = button.m_hWnd;
    dis.hDC = dc_;
    dis.rcItem = all;
    button.DrawItem(&dis);
    ::GdiFlush();
  }
  COLORREF At(int x, int y) const {
    uint32_t v = bits_[y * w_ + x];
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
  }
  // Bounding box of the pixels that are not `back`.
  RECT InkBox(COLORREF back) const {
    RECT box{w_, h_, -1, -1};
    for (int y = 0; y < h_; ++y)
      for (int x = 0; x < w_; ++x)
        if (At(x, y) != back) {
          box.left = std::min<LONG>(box.left, x);
          box.top = std::min<LONG>(box.top, y);
          box.right = std::max<LONG>(box.right, x);
          box.bottom = std::max<LONG>(box.bottom, y);
        }
    return box;
  }

 private:
  int w_, h_;
  HDC dc_;
  HBITMAP bmp_;
  HGDIOBJ old_;
  uint32_t* bits_ = nullptr;
};

TEST_F(ButtonTest, DrawingStretchesTheFaceForIdleHotAndDisabled) {
  CZarnButton button;
  MakeButton(button, BS_PUSHBUTTON, 80, 30);
  button.SetImageAlignment(ImageUnderText, TRUE);
  button.SetDrawBorder(FALSE, TRUE);
  HBITMAP hot = Solid(8, 6, RGB(200, 0, 0));
  HBITMAP idle = Solid(8, 6, RGB(0, 0, 200));
  ASSERT_EQ(button.SetStateBitmaps(hot, idle), CZarnButton::FaceOk);
  Canvas canvas(80, 30);

  canvas.Draw(button, 0);
  EXPECT_EQ(canvas.At(0, 0), RGB(0, 0, 200));
  EXPECT_EQ(canvas.At(79, 29), RGB(0, 0, 200)) << "the face covers the whole control";
  EXPECT_EQ(canvas.At(40, 15), RGB(0, 0, 200));

  button.hovered = TRUE;
  canvas.Draw(button, 0);
  EXPECT_EQ(canvas.At(0, 0), RGB(200, 0, 0));
  EXPECT_EQ(canvas.At(79, 29), RGB(200, 0, 0));
  button.hovered = FALSE;

  canvas.Draw(button, ODS_SELECTED);
  EXPECT_EQ(canvas.At(40, 15), RGB(200, 0, 0)) << "pressed shows the hot face";

  canvas.Draw(button, ODS_DISABLED);
  EXPECT_NE(canvas.At(40, 15), RGB(0, 0, 200)) << "a disabled face is embossed, not stretched";
  EXPECT_FALSE(button.pressed);
  EXPECT_TRUE(button.disabled);

  button.SetStateBitmaps(nullptr, nullptr);
  ::DeleteObject(hot);
  ::DeleteObject(idle);
}

TEST_F(ButtonTest, DrawingMovesTheCaptionWhenPressedExceptInCheckMode) {
  for (DWORD style : {static_cast<DWORD>(BS_PUSHBUTTON), static_cast<DWORD>(BS_CHECKBOX)}) {
    CZarnButton button;
    MakeButton(button, style, 80, 30, L"Go");
    button.SetDrawBorder(FALSE, TRUE);
    button.SetFaceFont(L"Arial", 16, 0, 0, FALSE);
    for (int slot = 0; slot < CZarnButton::ColorCount; ++slot) button.SetStateColor(slot, RGB(0, 0, 0), FALSE);
    button.SetStateColor(CZarnButton::IdleText, RGB(255, 255, 255), FALSE);
    button.SetStateColor(CZarnButton::HotText, RGB(255, 255, 255), FALSE);
    Canvas canvas(80, 30);
    canvas.Draw(button, 0);
    RECT idle = canvas.InkBox(RGB(0, 0, 0));
    ASSERT_GE(idle.right, idle.left) << "the caption is drawn";
    canvas.Draw(button, ODS_SELECTED);
    RECT down = canvas.InkBox(RGB(0, 0, 0));
    int shift = style == BS_CHECKBOX ? 0 : 1;
    EXPECT_EQ(down.left, idle.left + shift);
    EXPECT_EQ(down.top, idle.top + shift);
  }
}

TEST_F(ButtonTest, CtlColorGivesTheNullBrush) {
  CZarnButton button;
  HWND hwnd = MakeButton(button);
  HDC dc = ::GetDC(hwnd);
  LRESULT brush = ::SendMessageW(parent, WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(hwnd));
  ::ReleaseDC(hwnd, dc);
  EXPECT_EQ(reinterpret_cast<HGDIOBJ>(brush), ::GetStockObject(NULL_BRUSH));
}

}  // namespace
}  // namespace ui
