#include "app/zarn_web_installer_dlg.h"

#include "download/download_manager.h"
#include "platform/text.h"
#include "resource.h"

namespace app {

CZarnWebInstallerDlg::CZarnWebInstallerDlg(framework::CWnd*) : CDialog(IDD_ZARNWEBINSTALLER_DIALOG, nullptr) {
  appIcon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
  moduleFolder.clear();
  wchar_t path[MAX_PATH] = {};
  DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n > 0 && n < MAX_PATH) {
    std::u16string full = platform::FromW(path, n);
    size_t slash = full.rfind(u'\\');
    if (slash != std::u16string::npos) moduleFolder = full.substr(0, slash);
  }
  for (int i = 0; i < SkinImageCount; ++i) {
    std::u16string file = moduleFolder + u"\\" + platform::FromW(SkinFileName(i));
    skin[i] = LoadSkinBitmap(platform::W(file));
  }
}

CZarnWebInstallerDlg::~CZarnWebInstallerDlg() {
  for (auto& image : skin) {
    if (image) ::DeleteObject(image);
    image = nullptr;
  }
  for (auto& tile : progressTiles) {
    if (tile) ::DeleteObject(tile);
    tile = nullptr;
  }
  ReleaseEngineObjects();
  // The members go next in reverse order of declaration: the help link, then the
  // Cancel button, then the strings, then the base dialog.
}

void CZarnWebInstallerDlg::ReleaseEngineObjects() {
  // The engine's shared objects (status lock, session, file lock, the three events,
  // the manager) are released only here. After an Escape the engine may still be
  // running, so the teardown cancels it and waits for its threads first; if they do
  // not end in time it leaves the objects alive rather than pull them from under a
  // running thread, as the process is ending anyway.
  ReleaseDownloadObjects();
}

void CZarnWebInstallerDlg::DoDataExchange(framework::CDataExchange* dx) {
  framework::DDX_Control(dx, IDC_CANCEL_BUTTON, cancelButton);
  framework::DDX_Control(dx, IDC_HELP_LINK, helpLinkButton);
}

BOOL CZarnWebInstallerDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(appIcon));
  ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(appIcon));
  // Until the full initialisation is in place the window takes its background's
  // size when there is one.
  if (HBITMAP bk = skin[SkinMainBackground]) {
    BITMAP info{};
    if (::GetObjectW(bk, sizeof(info), &info)) {
      ::SetWindowPos(m_hWnd, nullptr, 0, 0, info.bmWidth, info.bmHeight, SWP_NOMOVE | SWP_NOZORDER);
    }
  }
  return TRUE;
}

bool CZarnWebInstallerDlg::OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  switch (msg) {
    case WM_SYSCOMMAND:
      return false;  // the default handling for every command
    case WM_PAINT:
      return false;
    case WM_QUERYDRAGICON:
      *result = reinterpret_cast<LRESULT>(appIcon);
      return true;
    case WM_ERASEBKGND:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_TIMER:
    case WM_COMMAND:
    default:
      return false;
  }
}

}  // namespace app
