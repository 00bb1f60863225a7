#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include "app/zarn_web_installer_app.h"

#include "app/zarn_web_installer_dlg.h"

namespace app {

CZarnWebInstallerApp theApp;

BOOL CZarnWebInstallerApp::InitInstance() {
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&icc);
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

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return app::theApp.Start(); }
