// The application object: one per process, run from the program's entry point.
#pragma once

#include <windows.h>

#include <string>

namespace framework {

class CWnd;

class CWinApp {
 public:
  // Without a name the application is named after the executable's file name.
  explicit CWinApp(const wchar_t* appName = nullptr);
  virtual ~CWinApp();

  virtual BOOL InitInstance() { return TRUE; }
  // The message loop; an application whose InitInstance returned FALSE never gets here.
  virtual int Run();
  // Recorded only: nothing is ever stored under the key.
  void SetRegistryKey(const wchar_t* key) { m_registryKey = key ? key : L""; }

  const wchar_t* AppName() const { return m_appName.c_str(); }
  const wchar_t* RegistryKey() const { return m_registryKey.c_str(); }
  HINSTANCE Instance() const { return m_instance; }

  CWnd* m_pMainWnd = nullptr;

  // Called by the entry point: names the application, runs InitInstance and, if it
  // succeeds, the loop. The process exit code.
  int Start(HINSTANCE instance);

 private:
  std::wstring m_appName;
  std::wstring m_registryKey;
  HINSTANCE m_instance = nullptr;
};

CWinApp* AfxGetApp();

}  // namespace framework
