// The installer window at its DPI: the system's DPI on Windows XP to 8.1, the
// monitor's on Windows 10 and later, where it follows WM_DPICHANGED when the window
// moves to another monitor. The decisions (scaled numbers, which image, the window's
// size, the caption's fit) are ui's portable functions; this only applies them.
#include <windows.h>

#include "app/zarn_web_installer_dlg.h"
#include "framework/gdi.h"
#include "platform/text.h"
#include "platform/win32/system_library.h"
#include "ui/text_fit.h"

namespace app {

namespace {

// Windows 10's DPI functions, found by name so that the program still starts on XP.
template <typename F>
F User32Function(const char* name) {
  F fn = nullptr;
  platform::BindProc(::GetModuleHandleW(L"user32.dll"), name, &fn);
  return fn;
}
constexpr UINT kWmDpiChanged = 0x02E0;
constexpr UINT kWmGetDpiScaledSize = 0x02E4;
// SetDialogDpiChangeBehavior and SetDialogControlDpiChangeBehavior: the dialog
// manager's own rescaling is off, as the window lays itself out.
constexpr int kDialogKeepsLayout = 0x1 | 0x2 | 0x4;
constexpr int kControlKeepsLayout = 0x1 | 0x2;

// The help link's font, in 96-DPI cells (the Cancel caption's is in ui/text_fit.h).
constexpr int kHelpFontHeight = 15, kHelpFontWidth = 8;

ui::Size WorkArea(HMONITOR monitor) {
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  if (!monitor || !::GetMonitorInfoW(monitor, &info)) return {};
  return {info.rcWork.right - info.rcWork.left, info.rcWork.bottom - info.rcWork.top};
}

}  // namespace

int CZarnWebInstallerDlg::InitialDpi() const {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  if (auto getDpiForWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow"))
    if (const UINT d = getDpiForWindow(m_hWnd)) return static_cast<int>(d);
  framework::CClientDC screen(nullptr);
  const int d = ::GetDeviceCaps(screen, LOGPIXELSX);
  return d > 0 ? d : ui::kBaseDpi;
}

void CZarnWebInstallerDlg::SetCancelFaces() {
  if (monitor.cancelRequested) {
    cancelButton.SetStateBitmaps(skin.Drawn(ui::SkinCancelDone), skin.Drawn(ui::SkinCancelDone));
  } else {
    cancelButton.SetStateBitmaps(skin.Drawn(ui::SkinCancelHot), skin.Drawn(ui::SkinCancelNormal));
  }
}

void CZarnWebInstallerDlg::SetButtonFonts() {
  cancelButton.SetFaceFont(L"Arial", Px(ui::kCancelFontHeight), Px(ui::kCancelFontWidth), 0, FALSE);
  helpLinkButton.SetFaceFont(L"Arial", Px(kHelpFontHeight), Px(kHelpFontWidth), 0, TRUE);
}

void CZarnWebInstallerDlg::FitCancelCaption() {
  wchar_t buffer[512] = {};
  ::GetWindowTextW(cancelButton, buffer, 512);
  const std::u16string caption = platform::FromW(buffer);
  RECT rc{};
  ::GetWindowRect(cancelButton, &rc);
  ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
  const int width = rc.right - rc.left;
  framework::CClientDC screen(nullptr);
  framework::CMemDC dc(screen);
  auto makeFont = [](int h, int w) { return ui::CreateButtonFont(L"Arial", h, w, FALSE); };
  int fontWidth = Px(ui::kCancelFontWidth);
  {
    framework::CFont full(makeFont(Px(ui::kCancelFontHeight), fontWidth));
    if (!ui::FaceCovers(dc, full.Get(), caption)) fontWidth = 0;
  }
  const ui::CaptionFit fit = ui::FitCaption(
      caption, Px(ui::kCancelFontHeight), fontWidth, width, width * 3 / 2, Px(ui::kCaptionMargin),
      [&](int h, int w, const std::u16string& text) {
        framework::CFont font(makeFont(h, w));
        framework::CSelect sel(dc, font.Get());
        SIZE size{};
        ::GetTextExtentPoint32W(dc, platform::W(text), static_cast<int>(text.size()), &size);
        return static_cast<int>(size.cx);
      });
  if (fit.fontHeight != Px(ui::kCancelFontHeight) || fit.fontWidth != Px(ui::kCancelFontWidth))
    cancelButton.SetFaceFont(L"Arial", fit.fontHeight, fit.fontWidth, 0, FALSE);
  if (fit.buttonWidth != width) {
    // Wider to the left: the right edge keeps its distance to the window's.
    cancelButton.MoveWindow(rc.right - fit.buttonWidth, rc.top, fit.buttonWidth, rc.bottom - rc.top, TRUE);
    SetCancelFaces();  // the faces' masks are made at the button's size
    cancelButton.SetTransparent(TRUE, TRUE);
  }
}

void CZarnWebInstallerDlg::FitToDpi(int oldDpi, const RECT* suggested) {
  // What has no image keeps its pixels at the first DPI and scales from there.
  auto rescaled = [&](int pixels) { return static_cast<int>((static_cast<long long>(pixels) * dpi + oldDpi / 2) / oldDpi); };
  const HMONITOR monitor = suggested ? ::MonitorFromRect(suggested, MONITOR_DEFAULTTONEAREST)
                                     : ::MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTOPRIMARY);
  const ui::Size size = ui::FitWindow(logicalSize, dpi, WorkArea(monitor));
  skin.Rescale(dpi, size);
  if (suggested) {
    ::SetWindowPos(m_hWnd, nullptr, suggested->left, suggested->top, size.width, size.height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
  } else {
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, size.width, size.height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  RECT helpRect{};
  ::GetWindowRect(helpLinkButton, &helpRect);
  RECT cancelRect{};
  ::GetWindowRect(cancelButton, &cancelRect);
  ui::Size face;
  if (!ui::BitmapSize(skin.Drawn(ui::SkinCancelNormal), &face.width, &face.height))
    face = {rescaled(cancelRect.right - cancelRect.left), rescaled(cancelRect.bottom - cancelRect.top)};
  const ui::ButtonPlacement place = ui::PlaceButtons(size.width, size.height, face.width, face.height,
                                                     rescaled(helpRect.right - helpRect.left),
                                                     rescaled(helpRect.bottom - helpRect.top), dpi);
  cancelButton.MoveWindow(place.cancel.left, place.cancel.top, place.cancel.Width(), place.cancel.Height(), TRUE);
  helpLinkButton.MoveWindow(place.helpLink.left, place.helpLink.top, place.helpLink.Width(),
                            place.helpLink.Height(), TRUE);
}

void CZarnWebInstallerDlg::ApplyDpi(int newDpi, const RECT* suggested) {
  const int oldDpi = dpi;
  dpi = newDpi > 0 ? newDpi : ui::kBaseDpi;
  const bool buttonsSetUp = cancelButton.faceFont != nullptr;
  // The button lends the faces it draws: it lets go of them before they are replaced.
  if (buttonsSetUp) cancelButton.SetStateBitmaps(nullptr, nullptr);
  FitToDpi(oldDpi, suggested);
  ComputeLayout();
  PlaceReaders();
  if (buttonsSetUp) {
    SetButtonFonts();
    SetCancelFaces();
    FitCancelCaption();
    cancelButton.SetTransparent(TRUE, TRUE);
    helpLinkButton.SetTransparent(TRUE, TRUE);
  }
}

bool CZarnWebInstallerDlg::OnDpiMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  if (msg == kWmGetDpiScaledSize) {
    // Windows asks the size at the new DPI, so that the rectangle it suggests with
    // WM_DPICHANGED is exactly the window's.
    const ui::Size size = ui::FitWindow(logicalSize, static_cast<int>(wp),
                                        WorkArea(::MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST)));
    auto* out = reinterpret_cast<SIZE*>(lp);
    out->cx = size.width;
    out->cy = size.height;
    *result = TRUE;
    return true;
  }
  if (msg != kWmDpiChanged) return false;
  ApplyDpi(LOWORD(wp), reinterpret_cast<const RECT*>(lp));
  // Everything is drawn anew: the background now, then the band and the status
  // panel with what they showed.
  ::InvalidateRect(m_hWnd, nullptr, TRUE);
  ::UpdateWindow(m_hWnd);
  if (monitor.bytesDone != 0) {
    ShowProgress();
  } else {
    statusDirty = true;
    RECT rc{layout.statusRect.left, layout.statusRect.top, layout.statusRect.right, layout.statusRect.bottom};
    ::InvalidateRect(m_hWnd, &rc, FALSE);
    ::PostMessageW(m_hWnd, WM_PAINT, 0, 0);
  }
  *result = 0;
  return true;
}

void CZarnWebInstallerDlg::KeepOwnLayout() {
  using DialogBehaviourFn = BOOL(WINAPI*)(HWND, int, int);
  if (auto dialog = User32Function<DialogBehaviourFn>("SetDialogDpiChangeBehavior"))
    dialog(m_hWnd, kDialogKeepsLayout, kDialogKeepsLayout);
  if (auto control = User32Function<DialogBehaviourFn>("SetDialogControlDpiChangeBehavior")) {
    control(cancelButton, kControlKeepsLayout, kControlKeepsLayout);
    control(helpLinkButton, kControlKeepsLayout, kControlKeepsLayout);
  }
}

}  // namespace app
