#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include "app/zarn_web_installer_app.h"

#include "app/zarn_web_installer_dlg.h"
#include "platform/system.h"
#include "platform/win32/system_library.h"

namespace app {

CZarnWebInstallerApp theApp;

BOOL CZarnWebInstallerApp::InitInstance() {
  // The image button's tooltip is a common control.
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES};
  BOOL(WINAPI * initCommonControls)(const INITCOMMONCONTROLSEX*) = nullptr;
  if (platform::BindProc(platform::LoadSystemLibrary(L"comctl32.dll"), "InitCommonControlsEx", &initCommonControls))
    initCommonControls(&icc);
  // The window's thread is a COM apartment, as the shell's hand-off and the screen
  // readers' annotation of the status text expect.
  const bool com = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  SetRegistryKey(L"Local AppWizard-Generated Applications");
  {
    CZarnWebInstallerDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
  }
  if (com) ::CoUninitialize();
  // No message loop follows: the application ends with its window.
  return FALSE;
}

}  // namespace app

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Before anything can load a DLL by name: the program is started from folders
  // where anyone may have left a DLL of a system name.
  platform::HardenLibrarySearch();
  return app::theApp.Start();
}
