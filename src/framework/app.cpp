#include "framework/app.h"

namespace framework {

namespace {
CWinApp* theApp = nullptr;
}

CWinApp* AfxGetApp() { return theApp; }

namespace {
void CopyText(wchar_t* to, const wchar_t* from) {
  size_t i = 0;
  for (; from && from[i] && i + 1 < MAX_PATH; ++i) to[i] = from[i];
  to[i] = 0;
}
}  // namespace

CWinApp::CWinApp() { theApp = this; }

void CWinApp::SetRegistryKey(const wchar_t* key) { CopyText(m_registryKey, key); }

CWinApp::~CWinApp() {
  if (theApp == this) theApp = nullptr;
}

int CWinApp::Start() {
  // The executable's file name without its extension.
  wchar_t path[MAX_PATH] = {};
  DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n > 0 && n < MAX_PATH) {
    const wchar_t* file = path;
    for (const wchar_t* p = path; *p; ++p)
      if (*p == L'\\' || *p == L'/') file = p + 1;
    CopyText(m_appName, file);
    wchar_t* dot = nullptr;
    for (wchar_t* p = m_appName; *p; ++p)
      if (*p == L'.') dot = p;
    if (dot) *dot = 0;
  }
  InitInstance();
  return ExitInstance();
}

}  // namespace framework
