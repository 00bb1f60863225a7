// The installer window as a real modal dialog under Wine: its template, its icon,
// the answers of its own handlers, and Escape ending it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cwchar>

#include "app/zarn_web_installer_dlg.h"
#include "framework/app.h"
#include "platform/text.h"
#include "resource.h"

namespace app {
namespace {

struct Observed {
  CZarnWebInstallerDlg* dlg = nullptr;
  bool ran = false;
  LONG_PTR style = 0, exStyle = 0;
  HWND owner = nullptr;
  LRESULT dragIcon = 0;
  LRESULT bigIcon = 0, smallIcon = 0;
  bool cancelAttached = false, helpAttached = false;
  LONG_PTR cancelStyle = 0;
  RECT rect{};
} g_seen;

void CALLBACK Inspect(HWND, UINT, UINT_PTR id, DWORD) {
  ::KillTimer(nullptr, id);
  HWND hwnd = g_seen.dlg->m_hWnd;
  g_seen.ran = true;
  g_seen.style = ::GetWindowLongPtrW(hwnd, GWL_STYLE);
  g_seen.exStyle = ::GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
  g_seen.owner = ::GetWindow(hwnd, GW_OWNER);
  g_seen.dragIcon = ::SendMessageW(hwnd, WM_QUERYDRAGICON, 0, 0);
  g_seen.bigIcon = ::SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0);
  g_seen.smallIcon = ::SendMessageW(hwnd, WM_GETICON, ICON_SMALL, 0);
  g_seen.cancelAttached = g_seen.dlg->cancelButton.m_hWnd == ::GetDlgItem(hwnd, IDC_CANCEL_BUTTON);
  g_seen.helpAttached = g_seen.dlg->helpLinkButton.m_hWnd == ::GetDlgItem(hwnd, IDC_HELP_LINK);
  g_seen.cancelStyle = ::GetWindowLongPtrW(::GetDlgItem(hwnd, IDC_CANCEL_BUTTON), GWL_STYLE);
  ::GetWindowRect(hwnd, &g_seen.rect);
  // Escape through the dialog's own loop, as the keyboard would deliver it.
  HWND target = ::GetFocus() ? ::GetFocus() : hwnd;
  ::PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
}

TEST(InstallerWindow, OpensBorderlessWithTaskbarButtonAndIconAndEndsOnEscape) {
  CZarnWebInstallerDlg dlg;
  g_seen = Observed{};
  g_seen.dlg = &dlg;
  ASSERT_TRUE(dlg.appIcon);
  ::SetTimer(nullptr, 0, 300, &Inspect);
  INT_PTR result = dlg.DoModal();
  ASSERT_TRUE(g_seen.ran);
  EXPECT_EQ(result, IDCANCEL);
  // The system adds WS_CLIPSIBLINGS to every top-level window.
  EXPECT_EQ(g_seen.style & ~static_cast<LONG_PTR>(WS_CLIPSIBLINGS) & 0xFFFF0000, 0x90000000)
      << "popup, visible, no caption or frame";
  EXPECT_FALSE(g_seen.style & (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU));
  EXPECT_TRUE(g_seen.exStyle & WS_EX_APPWINDOW);
  EXPECT_EQ(g_seen.owner, nullptr);
  EXPECT_EQ(g_seen.dragIcon, reinterpret_cast<LRESULT>(dlg.appIcon));
  EXPECT_EQ(g_seen.bigIcon, reinterpret_cast<LRESULT>(dlg.appIcon));
  EXPECT_EQ(g_seen.smallIcon, reinterpret_cast<LRESULT>(dlg.appIcon));
  EXPECT_TRUE(g_seen.cancelAttached);
  EXPECT_TRUE(g_seen.helpAttached);
  EXPECT_EQ(g_seen.cancelStyle & 0x1F, BS_OWNERDRAW);
  EXPECT_GT(g_seen.rect.right - g_seen.rect.left, 0);
  EXPECT_FALSE(::IsWindow(dlg.m_hWnd)) << "DoModal destroys the window before returning";
}

TEST(InstallerWindow, ModuleFolderIsTheExecutablesAndMissingSkinLeavesImagesEmpty) {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  *std::wcsrchr(path, L'\\') = 0;
  CZarnWebInstallerDlg dlg;
  EXPECT_EQ(dlg.moduleFolder, platform::FromW(path));
  // The test's folder holds no skin: every image stays empty, nothing fails.
  for (HBITMAP image : dlg.skin) EXPECT_EQ(image, nullptr);
}

TEST(InstallerWindow, SkinImagesDecodeFromJpeg) {
  std::u16string file = platform::Utf8ToWide(std::getenv("ZARN_SOURCE_DIR")) + u"/kit/skin/MainWndBkg.jpg";
  HBITMAP bmp = LoadSkinBitmap(platform::W(file));
  ASSERT_TRUE(bmp);
  BITMAP info{};
  ::GetObjectW(bmp, sizeof(info), &info);
  EXPECT_EQ(info.bmWidth, 600);
  EXPECT_EQ(info.bmHeight, 340);
  ::DeleteObject(bmp);
  EXPECT_EQ(LoadSkinBitmap(L"Z:\\no\\such\\file.jpg"), nullptr);
  EXPECT_STREQ(SkinFileName(SkinCheckMark), L"CheckD.jpg");
  EXPECT_STREQ(SkinFileName(99), L"");
}

class NoLoopApp : public framework::CWinApp {
 public:
  BOOL InitInstance() override {
    initCalls++;
    return FALSE;
  }
  int initCalls = 0;
};

TEST(Application, NamedAfterTheExecutableAndNoLoopAfterFalse) {
  NoLoopApp app;
  ::PostQuitMessage(7);  // a loop would return this code instead of 0
  EXPECT_EQ(app.Start(::GetModuleHandleW(nullptr)), 0);
  EXPECT_EQ(app.initCalls, 1);
  EXPECT_STREQ(app.AppName(), L"app_window_test");
  MSG msg;
  ::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

}  // namespace
}  // namespace app
