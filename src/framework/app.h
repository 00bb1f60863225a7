// The application object: one per process, run from the program's entry point.
#pragma once

#include <windows.h>

namespace framework {

class CWnd;

// The application is named after the executable's file name. Its InitInstance runs
// everything and answers FALSE, so no message loop of the application's own follows.
class CWinApp {
 public:
  CWinApp();
  virtual ~CWinApp();

  virtual BOOL InitInstance() = 0;
  // Runs after InitInstance; its answer is the process's exit code.
  virtual int ExitInstance() { return 0; }
  // Recorded only: nothing is ever stored under the key.
  void SetRegistryKey(const wchar_t* key);

  const wchar_t* AppName() const { return m_appName; }

  CWnd* m_pMainWnd = nullptr;

  // Called by the entry point: names the application, runs InitInstance and
  // answers ExitInstance's exit code.
  int Start();

 private:
  wchar_t m_appName[MAX_PATH] = {};
  wchar_t m_registryKey[MAX_PATH] = {};
};

CWinApp* AfxGetApp();

}  // namespace framework
