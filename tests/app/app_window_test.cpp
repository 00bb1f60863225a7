// The installer window as a real modal dialog under Wine: its template and icon,
// the start-up box, a download that fails, and Escape asking before anything ends.
// The test's folder holds no skin, so the window also shows its fallback geometry.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "app/zarn_web_installer_dlg.h"
#include "framework/app.h"
#include "platform/text.h"
#include "resource.h"

namespace app {
namespace {

std::wstring Folder() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  *std::wcsrchr(path, L'\\') = 0;
  return path;
}
std::wstring ConfigPath() { return Folder() + L"\\ZarnWebInstaller.xml"; }

// A configuration for every machine whose link is refused at once: the engine
// starts, finds no size and reports failure, then the end.
void WriteRefusedConfig() {
  FILE* f = _wfopen(ConfigPath().c_str(), L"wb");
  ASSERT_TRUE(f);
  std::fputs("<zarnwebinstaller><product><name>Window Test</name><registry>SOFTWARE\\ZarnTest\\None</registry>", f);
  for (const char* os : {"Windows XP", "Windows Vista", "Windows 7", "Windows 8"})
    for (const char* bit : {"32", "64"})
      std::fprintf(f, "<installerInfo><os>%s</os><bit>%s</bit><rlink>http://127.0.0.1:1/p.exe</rlink></installerInfo>",
                   os, bit);
  std::fputs("</product></zarnwebinstaller>", f);
  std::fclose(f);
}

std::wstring Text(HWND hwnd) {
  wchar_t buf[256] = {};
  ::GetWindowTextW(hwnd, buf, 256);
  return buf;
}

// A message box of this thread, other than the installer window itself.
struct BoxSearch {
  HWND except, found;
};
BOOL CALLBACK CheckBox(HWND h, LPARAM lp) {
  auto* s = reinterpret_cast<BoxSearch*>(lp);
  wchar_t cls[32] = {};
  ::GetClassNameW(h, cls, 32);
  if (h != s->except && std::wcscmp(cls, L"#32770") == 0 && ::IsWindowVisible(h)) {
    s->found = h;
    return FALSE;
  }
  return TRUE;
}
HWND FindBox(HWND except) {
  BoxSearch s{except, nullptr};
  ::EnumThreadWindows(::GetCurrentThreadId(), &CheckBox, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

struct Observed {
  CZarnWebInstallerDlg* dlg = nullptr;
  int ticks = 0;
  bool inspected = false;
  LONG_PTR style = 0, exStyle = 0;
  HWND owner = nullptr;
  LRESULT dragIcon = 0, bigIcon = 0, smallIcon = 0;
  bool cancelAttached = false, helpAttached = false, helpVisible = true;
  LONG_PTR cancelStyle = 0;
  std::wstring cancelText;
  RECT rect{}, screen{};
  // message boxes seen: how many distinct ones, their caption and text
  int boxes = 0;
  HWND lastBox = nullptr;
  std::wstring boxCaption, boxText;
  bool dialogVisibleWithBox = false;
  bool escapeSent = false;
  DWORD shownAt = 0;
  // after a WM_DPICHANGED to 144 DPI
  bool rescaled = false;
  RECT rectAt144{}, cancelAt144{}, cancelBefore{};
  int dpiAt144 = 0, tileHeightAt144 = 0;
} g_seen;

void Inspect(HWND hwnd) {
  g_seen.inspected = true;
  g_seen.shownAt = ::GetTickCount();
  g_seen.style = ::GetWindowLongPtrW(hwnd, GWL_STYLE);
  g_seen.exStyle = ::GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
  g_seen.owner = ::GetWindow(hwnd, GW_OWNER);
  g_seen.dragIcon = ::SendMessageW(hwnd, WM_QUERYDRAGICON, 0, 0);
  g_seen.bigIcon = ::SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0);
  g_seen.smallIcon = ::SendMessageW(hwnd, WM_GETICON, ICON_SMALL, 0);
  g_seen.cancelAttached = g_seen.dlg->cancelButton.m_hWnd == ::GetDlgItem(hwnd, IDC_CANCEL_BUTTON);
  g_seen.helpAttached = g_seen.dlg->helpLinkButton.m_hWnd == ::GetDlgItem(hwnd, IDC_HELP_LINK);
  g_seen.helpVisible = ::IsWindowVisible(::GetDlgItem(hwnd, IDC_HELP_LINK));
  g_seen.cancelStyle = ::GetWindowLongPtrW(::GetDlgItem(hwnd, IDC_CANCEL_BUTTON), GWL_STYLE);
  g_seen.cancelText = Text(::GetDlgItem(hwnd, IDC_CANCEL_BUTTON));
  ::GetWindowRect(hwnd, &g_seen.rect);
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  ::GetMonitorInfoW(::MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY), &info);
  g_seen.screen = info.rcWork;
}

// Every 100 ms: note any message box and answer it with `answer`; inspect the
// window once; press Escape once when asked to.
UINT g_answer = IDOK;
bool g_pressEscape = false;
WPARAM g_key = VK_ESCAPE;
bool g_changeDpi = false;

RECT ChildRect(HWND dlg, int id) {
  RECT rc{};
  ::GetWindowRect(::GetDlgItem(dlg, id), &rc);
  return rc;
}

// As Windows 10 does when the window reaches a monitor of 144 DPI: the new DPI and
// the rectangle it suggests, the old one grown by half.
void MoveTo144Dpi(HWND dlg) {
  g_seen.cancelBefore = ChildRect(dlg, IDC_CANCEL_BUTTON);
  RECT r = g_seen.rect;
  RECT suggested{r.left, r.top, r.left + (r.right - r.left) * 3 / 2, r.top + (r.bottom - r.top) * 3 / 2};
  ::SendMessageW(dlg, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
  g_seen.rescaled = true;
  ::GetWindowRect(dlg, &g_seen.rectAt144);
  g_seen.cancelAt144 = ChildRect(dlg, IDC_CANCEL_BUTTON);
  g_seen.dpiAt144 = g_seen.dlg->layout.dpi;
  g_seen.tileHeightAt144 = g_seen.dlg->skinSet.tileHeight;
}
void CALLBACK Watch(HWND, UINT, UINT_PTR, DWORD) {
  g_seen.ticks++;
  HWND dlg = g_seen.dlg->m_hWnd;
  if (HWND box = FindBox(dlg)) {
    if (box != g_seen.lastBox) {
      g_seen.boxes++;
      g_seen.lastBox = box;
      g_seen.boxCaption = Text(box);
      g_seen.boxText = Text(::GetDlgItem(box, 0xFFFF));
      g_seen.dialogVisibleWithBox = dlg && ::IsWindowVisible(dlg);
      ::PostMessageW(box, WM_COMMAND, g_answer, 0);
    }
    return;
  }
  if (!dlg || !::IsWindowVisible(dlg)) return;
  if (!g_seen.inspected) Inspect(dlg);
  if (g_changeDpi && !g_seen.rescaled) MoveTo144Dpi(dlg);
  if (g_pressEscape && !g_seen.escapeSent) {
    g_seen.escapeSent = true;
    HWND target = ::GetFocus() ? ::GetFocus() : dlg;
    ::PostMessageW(target, WM_KEYDOWN, g_key, 0x00010001);
  }
}

class NoLoopApp : public framework::CWinApp {
 public:
  BOOL InitInstance() override {
    initCalls++;
    return FALSE;
  }
  int initCalls = 0;
};

class InstallerWindow : public ::testing::Test {
 protected:
  INT_PTR Run(UINT answer, bool pressKey, WPARAM key = VK_ESCAPE, bool changeDpi = false) {
    return Run(dlg, answer, pressKey, key, changeDpi);
  }
  INT_PTR Run(CZarnWebInstallerDlg& window, UINT answer, bool pressKey, WPARAM key = VK_ESCAPE,
              bool changeDpi = false) {
    g_seen = Observed{};
    g_seen.dlg = &window;
    g_answer = answer;
    g_pressEscape = pressKey;
    g_key = key;
    g_changeDpi = changeDpi;
    UINT_PTR timer = ::SetTimer(nullptr, 0, 100, &Watch);
    INT_PTR result = window.DoModal();
    ::KillTimer(nullptr, timer);
    return result;
  }
  void TearDown() override { ::DeleteFileW(ConfigPath().c_str()); }
  CZarnWebInstallerDlg dlg;
};

TEST_F(InstallerWindow, OpensCentredAndBorderlessThenClosesAfterAFailedDownload) {
  WriteRefusedConfig();
  INT_PTR result = Run(IDOK, false);
  EXPECT_EQ(result, IDCANCEL) << "state 10 ends the window";
  EXPECT_GE(::GetTickCount() - g_seen.shownAt, 900u) << "the failure is held for the engine's pause";
  ASSERT_TRUE(g_seen.inspected);
  EXPECT_EQ(g_seen.boxes, 0);
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
  EXPECT_FALSE(g_seen.helpVisible);
  EXPECT_EQ(g_seen.cancelStyle & 0x1F, BS_OWNERDRAW);
  EXPECT_EQ(g_seen.cancelText, L"Cancel");
  // Without a skin the window keeps the template's size, centred on the work area.
  const int w = g_seen.rect.right - g_seen.rect.left, h = g_seen.rect.bottom - g_seen.rect.top;
  EXPECT_GT(w, 300);
  EXPECT_GT(h, 150);
  EXPECT_NEAR(g_seen.rect.left - g_seen.screen.left, g_seen.screen.right - g_seen.rect.right, 1);
  EXPECT_NEAR(g_seen.rect.top - g_seen.screen.top, g_seen.screen.bottom - g_seen.rect.bottom, 1);
  EXPECT_EQ(dlg.skinSet.statusWidth, 300);
  EXPECT_EQ(dlg.skinSet.statusHeight, 40);
  EXPECT_EQ(dlg.skinSet.tileHeight, 14) << "the built-in tiles";
  EXPECT_EQ(dlg.targetPath, platform::FromW((Folder() + L"\\Window Test.exe").c_str()));
  EXPECT_EQ(::GetFileAttributesW(L"Window Test.exe"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(::GetFileAttributesW((Folder() + L"\\Window Test.exe").c_str()), INVALID_FILE_ATTRIBUTES)
      << "the failed download leaves no file";
  EXPECT_FALSE(::IsWindow(dlg.m_hWnd)) << "DoModal destroys the window before returning";
}

TEST_F(InstallerWindow, EscapeAsksBeforeAnythingEnds) {
  WriteRefusedConfig();
  INT_PTR result = Run(IDNO, true);
  EXPECT_TRUE(g_seen.escapeSent);
  EXPECT_EQ(g_seen.boxes, 1);
  EXPECT_EQ(g_seen.boxCaption, L"Window Test") << "the product name is the caption";
  EXPECT_EQ(g_seen.boxText, L"Are you sure you want to cancel downloading?");
  EXPECT_TRUE(g_seen.dialogVisibleWithBox);
  EXPECT_FALSE(dlg.monitor.cancelRequested) << "answered No";
  EXPECT_EQ(result, IDCANCEL) << "and then the engine's end closes it";
}

// Enter as the first key used to end the window at once (the dialog's OK), dropping
// the download; it asks now, like Escape. In the same run the window is moved to a
// monitor of 144 DPI and takes its size and layout from there.
TEST_F(InstallerWindow, EnterAsksAndAPerMonitorDpiChangeRescales) {
  WriteRefusedConfig();
  INT_PTR result = Run(IDNO, true, VK_RETURN, true);
  EXPECT_EQ(g_seen.boxes, 1) << "Enter asks";
  EXPECT_EQ(g_seen.boxText, L"Are you sure you want to cancel downloading?");
  EXPECT_TRUE(g_seen.dialogVisibleWithBox);
  EXPECT_EQ(result, IDCANCEL) << "answered No, then the engine's end closes it";
  ASSERT_TRUE(g_seen.rescaled);
  const int w = g_seen.rect.right - g_seen.rect.left, h = g_seen.rect.bottom - g_seen.rect.top;
  EXPECT_NEAR(g_seen.rectAt144.right - g_seen.rectAt144.left, w * 3 / 2, 1);
  EXPECT_NEAR(g_seen.rectAt144.bottom - g_seen.rectAt144.top, h * 3 / 2, 1);
  EXPECT_EQ(g_seen.rectAt144.left, g_seen.rect.left) << "placed where Windows suggested";
  const RECT& c0 = g_seen.cancelBefore;
  const RECT& c1 = g_seen.cancelAt144;
  EXPECT_NEAR(c1.right - c1.left, (c0.right - c0.left) * 3 / 2, 1);
  EXPECT_NEAR(c1.bottom - c1.top, (c0.bottom - c0.top) * 3 / 2, 1);
  EXPECT_EQ(g_seen.rectAt144.right - c1.right, 30) << "20 pixels at 96 DPI";
  EXPECT_EQ(g_seen.dpiAt144, 144);
  EXPECT_EQ(g_seen.tileHeightAt144, 21) << "the 14-pixel tiles resampled";
}

TEST_F(InstallerWindow, EngineThatCannotStartShowsTheFailureForAMomentThenCloses) {
  WriteRefusedConfig();
  // A folder where the package would go: the engine cannot create its file.
  const std::wstring blocker = Folder() + L"\\Window Test.exe";
  ASSERT_TRUE(::CreateDirectoryW(blocker.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
  INT_PTR result = Run(IDOK, false);
  const DWORD shown = ::GetTickCount() - g_seen.shownAt;
  ::RemoveDirectoryW(blocker.c_str());
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_TRUE(g_seen.inspected) << "the window shows";
  EXPECT_EQ(dlg.statusText, u"Download failed.");
  // Shown (seen within 100 ms) for the two seconds of the failure text.
  EXPECT_GE(shown, 1800u);
  EXPECT_LT(shown, 5000u);
  EXPECT_EQ(g_seen.boxes, 0);
  EXPECT_FALSE(dlg.monitor.EngineRunning());
}

// A missing configuration, and one of 600 MB (which, read whole, used to end the
// process silently): one box each, and the window never shows.
TEST_F(InstallerWindow, MissingOrGiantConfigurationGivesOneBoxAndTheWindowNeverShows) {
  NoLoopApp app;  // the box's caption is the application's name
  app.Start();
  for (bool giant : {false, true}) {
    SCOPED_TRACE(giant);
    ::DeleteFileW(ConfigPath().c_str());
    if (giant) {
      // Sparse: it takes no room on disk.
      HANDLE f = ::CreateFileW(ConfigPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      ASSERT_NE(f, INVALID_HANDLE_VALUE);
      LARGE_INTEGER end;
      end.QuadPart = 600LL * 1024 * 1024;
      ASSERT_TRUE(::SetFilePointerEx(f, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(f));
      ::CloseHandle(f);
    }
    CZarnWebInstallerDlg window;
    INT_PTR result = Run(window, IDCANCEL, false);
    EXPECT_EQ(result, IDOK) << "either answer ends the window the same way";
    EXPECT_EQ(g_seen.boxes, 1);
    EXPECT_EQ(g_seen.boxText, L"Xml file is missing!");
    EXPECT_EQ(g_seen.boxCaption, L"app_window_test");
    EXPECT_FALSE(g_seen.dialogVisibleWithBox);
    EXPECT_FALSE(g_seen.inspected) << "the window was never shown";
  }
}

TEST(InstallerWindowSkin, ModuleFolderIsTheExecutablesAndMissingSkinLeavesImagesEmpty) {
  CZarnWebInstallerDlg dlg;
  EXPECT_EQ(dlg.moduleFolder, platform::FromW(Folder().c_str()));
  for (HBITMAP image : dlg.skin.images) EXPECT_EQ(image, nullptr);
}

TEST(InstallerWindowSkin, SkinImagesDecodeFromJpeg) {
  std::u16string file = platform::Utf8ToWide(std::getenv("ZARN_SOURCE_DIR")) + u"/kit/skin/MainWndBkg.jpg";
  HBITMAP bmp = ui::LoadSkinBitmap(platform::W(file));
  ASSERT_TRUE(bmp);
  BITMAP info{};
  ::GetObjectW(bmp, sizeof(info), &info);
  EXPECT_EQ(info.bmWidth, 600);
  EXPECT_EQ(info.bmHeight, 340);
  ::DeleteObject(bmp);
  EXPECT_EQ(ui::LoadSkinBitmap(L"Z:\\no\\such\\file.jpg"), nullptr);
  EXPECT_STREQ(ui::SkinFileName(ui::SkinCheckMark), L"CheckD.jpg");
  EXPECT_STREQ(ui::SkinFileName(99), L"");
}

std::vector<uint32_t> Pixels(HBITMAP bitmap) {
  int w = 0, h = 0;
  if (!ui::BitmapSize(bitmap, &w, &h)) return {};
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  std::vector<uint32_t> out(static_cast<size_t>(w) * h);
  HDC screen = ::GetDC(nullptr);
  ::GetDIBits(screen, bitmap, 0, h, out.data(), &bi, DIB_RGB_COLORS);
  ::ReleaseDC(nullptr, screen);
  return out;
}

// The images are drawn as they are at 96 DPI; at 192 the double-size variant beside
// them is drawn instead of an enlarged copy, and a skin without a folder (the
// single-file installer's) is enlarged.
TEST(InstallerWindowSkin, VariantsOnlyFromTheSkinsFolderAndOnlyAboveNinetySix) {
  const std::u16string folder = platform::Utf8ToWide(std::getenv("ZARN_SOURCE_DIR")) + u"/kit/skin";
  auto load = [&](const char16_t* file) { return ui::LoadSkinBitmap(platform::W(folder + u"/" + file)); };
  HBITMAP twice = load(u"Cancel_N@2x.jpg");
  const std::vector<uint32_t> variant = Pixels(twice);
  ::DeleteObject(twice);
  ASSERT_EQ(variant.size(), 192u * 64u);
  ui::ScaledSkin withFolder, alone;
  withFolder.folder = folder;
  withFolder.images[ui::SkinCancelNormal] = load(u"Cancel_N.jpg");
  alone.images[ui::SkinCancelNormal] = load(u"Cancel_N.jpg");
  withFolder.Rescale(96, ui::Size{600, 340});
  EXPECT_EQ(withFolder.Drawn(ui::SkinCancelNormal), withFolder.images[ui::SkinCancelNormal]);
  withFolder.Rescale(192, ui::Size{1200, 680});
  alone.Rescale(192, ui::Size{1200, 680});
  EXPECT_EQ(Pixels(withFolder.Drawn(ui::SkinCancelNormal)), variant);
  const std::vector<uint32_t> enlarged = Pixels(alone.Drawn(ui::SkinCancelNormal));
  EXPECT_EQ(enlarged.size(), variant.size()) << "resampled to the size it needs";
  EXPECT_NE(enlarged, variant) << "no variant read without a folder";
}

TEST(Application, NamedAfterTheExecutableAndNoLoopAfterFalse) {
  NoLoopApp app;
  ::PostQuitMessage(7);  // a loop would return this code instead of 0
  EXPECT_EQ(app.Start(), 0);
  EXPECT_EQ(app.initCalls, 1);
  EXPECT_STREQ(app.AppName(), L"app_window_test");
  MSG msg;
  ::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

}  // namespace
}  // namespace app
