// demo-package: the package a test or the demo hands to the installer. When started
// it appends its command line to "<its own file name>.started.txt" beside itself (a
// downloaded copy named after the product records beside the installer), shows for
// about a second and a half that the product was installed, and exits 0. Like a
// vendor's package it knows two arguments of unattended runs: /S shows nothing, and
// /exitcode=N ends with N (3010, say: installed, restart needed).
#include <windows.h>

#include <shellapi.h>

#include <cwchar>
#include <string>

#include "platform/text.h"

namespace {

constexpr UINT_PTR kCloseTimer = 1;
constexpr UINT kShowMs = 1500;

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = ::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0) return std::wstring();
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

// The product's name as the installer gave it: the file name without ".exe".
std::wstring ProductName(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
  size_t dot = name.rfind(L'.');
  if (dot != std::wstring::npos && dot > 0) name.resize(dot);
  return name;
}


// One line per start; appending through FILE_APPEND_DATA keeps concurrent starts
// from overwriting each other's lines.
bool RecordStart(const std::wstring& modulePath) {
  const std::wstring record = modulePath + L".started.txt";
  HANDLE f = ::CreateFileW(record.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  const std::string line = platform::WideToUtf8(platform::FromW(::GetCommandLineW())) + "\r\n";
  DWORD written = 0;
  BOOL ok = ::WriteFile(f, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  ::CloseHandle(f);
  return ok && written == line.size();
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_TIMER:
      if (wp == kCloseTimer) {
        ::KillTimer(hwnd, kCloseTimer);
        ::DestroyWindow(hwnd);
      }
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcW(hwnd, msg, wp, lp);
  }
}

struct Arguments {
  bool silent = false;
  DWORD exitCode = 0;
};

Arguments ReadArguments() {
  Arguments a;
  int count = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  for (int i = 1; argv && i < count; ++i) {
    if (::lstrcmpiW(argv[i], L"/S") == 0) a.silent = true;
    if (::_wcsnicmp(argv[i], L"/exitcode=", 10) == 0) {
      a.exitCode = static_cast<DWORD>(std::wcstoul(argv[i] + 10, nullptr, 10));
    }
  }
  if (argv) ::LocalFree(argv);
  return a;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  const std::wstring path = ModulePath();
  const bool recorded = !path.empty() && RecordStart(path);
  const std::wstring product = ProductName(path);
  const Arguments args = ReadArguments();
  // The record is what callers check; a package that could not write it failed.
  const int exitCode = !recorded ? 1 : static_cast<int>(args.exitCode);
  if (args.silent) return exitCode;

  WNDCLASSW wc{};
  wc.lpfnWndProc = WndProc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = L"ZarnDemoPackage";
  ::RegisterClassW(&wc);

  const int width = 360, height = 120;
  const int x = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int y = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  const std::wstring title = product + L" Setup";
  HWND hwnd = ::CreateWindowExW(0, wc.lpszClassName, title.c_str(), WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, x, y,
                                width, height, nullptr, nullptr, instance, nullptr);
  if (hwnd) {
    const std::wstring text = product + L" was installed.";
    RECT client{};
    ::GetClientRect(hwnd, &client);
    HWND label = ::CreateWindowExW(0, L"STATIC", text.c_str(), WS_CHILD | WS_VISIBLE | SS_CENTER | SS_CENTERIMAGE,
                                   0, 0, client.right, client.bottom, hwnd, nullptr, instance, nullptr);
    ::SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    ::ShowWindow(hwnd, show == SW_HIDE ? SW_SHOWNORMAL : show);
    ::UpdateWindow(hwnd);
    ::SetTimer(hwnd, kCloseTimer, kShowMs, nullptr);
    MSG m;
    while (::GetMessageW(&m, nullptr, 0, 0) > 0) {
      ::TranslateMessage(&m);
      ::DispatchMessageW(&m);
    }
  }
  return exitCode;
}
