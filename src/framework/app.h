// The application object: one per process, run from the program's entry point.
#pragma once

#include <windows.h>

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
  void SetRegistryKey(const wchar_t* key);

  const wchar_t* AppName() const { return m_appName; }
  const wchar_t* RegistryKey() const { return m_registryKey; }
  HINSTANCE Instance() const { return m_instance; }

  CWnd* m_pMainWnd = nullptr;

  // Called by the entry point: names the application, runs InitInstance and, if it
  // succeeds, the loop. The process exit code.
  int Start(HINSTANCE instance);

 private:
  wchar_t m_appName[MAX_PATH] = {};
  wchar_t m_registryKey[MAX_PATH] = {};
  HINSTANCE m_instance = nullptr;
};

CWinApp* AfxGetApp();

}  // namespace framework
