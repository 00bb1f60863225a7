#include "framework/app.h"

namespace framework {

namespace {
CWinApp* theApp = nullptr;
}

CWinApp* AfxGetApp() { return theApp; }

CWinApp::CWinApp(const wchar_t* appName) {
  if (appName) m_appName = appName;
  theApp = this;
}

CWinApp::~CWinApp() {
  if (theApp == this) theApp = nullptr;
}

int CWinApp::Start(HINSTANCE instance) {
  m_instance = instance;
  if (m_appName.empty()) {
    wchar_t path[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
      std::wstring full(path, n);
      size_t slash = full.find_last_of(L"\\/");
      std::wstring file = slash == std::wstring::npos ? full : full.substr(slash + 1);
      size_t dot = file.find_last_of(L'.');
      m_appName = dot == std::wstring::npos ? file : file.substr(0, dot);
    }
  }
  if (!InitInstance()) return 0;
  return Run();
}

int CWinApp::Run() {
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace framework
