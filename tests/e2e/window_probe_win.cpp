// window_probe: the end-to-end harness's eyes on the Windows side. A console program
// run in the same Wine prefix as the installer; every answer is one JSON document on
// standard output.
//   window_probe windows            top-level windows with their child controls
//   window_probe processes          process ids with their image paths
//   window_probe kill PID           ends one process by its id
//   window_probe image FILE         an image decoded by GDI+, as the installer decodes
//                                   its skin: width, height, rows of RRGGBB
//   window_probe render FACE HEIGHT WIDTH WEIGHT TEXT...
//                                   each text drawn white on black in that font, as
//                                   rows of grey levels 0-9 (text recognition)
//   window_probe trust add|remove FILE.der
//                                   a root certificate added to or removed from the
//                                   machine's trusted roots
//   window_probe hammer FILE REPLACEMENT SECONDS
//                                   another process after FILE: tries, over and over,
//                                   to open it for writing and to replace it with
//                                   REPLACEMENT, until a process runs from a file of
//                                   FILE's name or SECONDS pass; counts what worked
//                                   and the error codes of what did not
//   window_probe accessible HWND    what an MSAA client reads: the window's name and,
//                                   for each child window, role, name and value
//   window_probe winevents SECONDS  the name-change and live-region WinEvents of all
//                                   processes for that long, as a screen reader hooks
//                                   them: one JSON line each as it comes, with the
//                                   window's text at that moment
//   window_probe run EXE ARG...     starts EXE with the arguments, waits for it and
//                                   gives its whole exit code (Wine's own exit status
//                                   keeps only the low 8 bits)
//   window_probe temp               the folder for temporary files
#include <windows.h>

#include <oleacc.h>

#include <shellapi.h>
#include <tlhelp32.h>
#include <wincrypt.h>

#include <map>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/text.h"
#include "ui/skin_images.h"

namespace {

std::string Utf8(const std::wstring& s) { return platform::WideToUtf8(platform::FromW(s.c_str(), s.size())); }

std::wstring Wide(const char* s) {
  const std::u16string w = platform::Utf8ToWide(s);
  return std::wstring(w.begin(), w.end());
}

std::string Json(const std::wstring& s) { return "\"" + platform::JsonEscape(Utf8(s)) + "\""; }

std::string Rect(const RECT& r) {
  char buf[80];
  std::snprintf(buf, sizeof buf, "[%ld,%ld,%ld,%ld]", r.left, r.top, r.right, r.bottom);
  return buf;
}

std::wstring ClassOf(HWND h) {
  wchar_t buf[256] = {};
  ::GetClassNameW(h, buf, 256);
  return buf;
}

// Through WM_GETTEXT with a timeout, so that a hung window cannot hang the probe.
std::wstring TextOf(HWND h) {
  DWORD_PTR len = 0;
  if (!::SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 1000, &len)) return std::wstring();
  std::wstring text(len + 1, L'\0');
  DWORD_PTR got = 0;
  if (!::SendMessageTimeoutW(h, WM_GETTEXT, len + 1, reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG, 1000,
                             &got))
    return std::wstring();
  text.resize(got);
  return text;
}

std::wstring ImageOf(DWORD pid) {
  std::wstring image;
  if (HANDLE p = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid)) {
    wchar_t buf[MAX_PATH * 2] = {};
    DWORD n = MAX_PATH * 2;
    if (::QueryFullProcessImageNameW(p, 0, buf, &n)) image.assign(buf, n);
    ::CloseHandle(p);
  }
  return image;
}

BOOL CALLBACK CollectChild(HWND h, LPARAM lp) {
  reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
  return TRUE;
}

BOOL CALLBACK CollectTop(HWND h, LPARAM lp) {
  reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
  return TRUE;
}

int Windows() {
  std::vector<HWND> tops;
  ::EnumWindows(CollectTop, reinterpret_cast<LPARAM>(&tops));
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  std::printf("{\"screen\":[%d,%d],\"work_area\":%s,\"foreground\":%llu,\"windows\":[", ::GetSystemMetrics(SM_CXSCREEN),
              ::GetSystemMetrics(SM_CYSCREEN), Rect(work).c_str(),
              static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(::GetForegroundWindow())));
  bool first = true;
  for (HWND h : tops) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(h, &pid);
    RECT wr{}, cr{};
    ::GetWindowRect(h, &wr);
    ::GetClientRect(h, &cr);
    POINT origin{0, 0};
    ::ClientToScreen(h, &origin);
    std::printf("%s\n{\"hwnd\":%llu,\"pid\":%lu,\"image\":%s,\"class\":%s,\"caption\":%s,\"rect\":%s,"
                "\"client_origin\":[%ld,%ld],\"client_size\":[%ld,%ld],\"visible\":%s,\"minimised\":%s,"
                "\"owner\":%llu,\"style\":%lu,\"exstyle\":%lu,\"children\":[",
                first ? "" : ",", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(h)),
                static_cast<unsigned long>(pid), Json(ImageOf(pid)).c_str(), Json(ClassOf(h)).c_str(),
                Json(TextOf(h)).c_str(), Rect(wr).c_str(), origin.x, origin.y, cr.right, cr.bottom,
                ::IsWindowVisible(h) ? "true" : "false", ::IsIconic(h) ? "true" : "false",
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(::GetWindow(h, GW_OWNER))),
                static_cast<unsigned long>(::GetWindowLongW(h, GWL_STYLE)),
                static_cast<unsigned long>(::GetWindowLongW(h, GWL_EXSTYLE)));
    first = false;
    std::vector<HWND> children;
    ::EnumChildWindows(h, CollectChild, reinterpret_cast<LPARAM>(&children));
    bool firstChild = true;
    for (HWND c : children) {
      RECT r{};
      ::GetWindowRect(c, &r);
      std::printf("%s{\"id\":%d,\"class\":%s,\"text\":%s,\"rect\":%s,\"visible\":%s,\"style\":%lu,\"exstyle\":%lu}",
                  firstChild ? "" : ",", ::GetDlgCtrlID(c), Json(ClassOf(c)).c_str(), Json(TextOf(c)).c_str(),
                  Rect(r).c_str(), ::IsWindowVisible(c) ? "true" : "false",
                  static_cast<unsigned long>(::GetWindowLongW(c, GWL_STYLE)),
                  static_cast<unsigned long>(::GetWindowLongW(c, GWL_EXSTYLE)));
      firstChild = false;
    }
    std::printf("]}");
  }
  std::printf("]}\n");
  return 0;
}

int Processes() {
  HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return 1;
  PROCESSENTRY32W e{};
  e.dwSize = sizeof e;
  std::printf("{\"processes\":[");
  bool first = true;
  for (BOOL ok = ::Process32FirstW(snap, &e); ok; ok = ::Process32NextW(snap, &e)) {
    std::printf("%s\n{\"pid\":%lu,\"name\":%s,\"image\":%s}", first ? "" : ",",
                static_cast<unsigned long>(e.th32ProcessID), Json(e.szExeFile).c_str(),
                Json(ImageOf(e.th32ProcessID)).c_str());
    first = false;
  }
  ::CloseHandle(snap);
  std::printf("]}\n");
  return 0;
}

int Kill(DWORD pid) {
  HANDLE p = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
  if (!p) {
    std::printf("{\"killed\":false}\n");
    return 1;
  }
  BOOL ok = ::TerminateProcess(p, 9);
  ::WaitForSingleObject(p, 5000);
  ::CloseHandle(p);
  std::printf("{\"killed\":%s}\n", ok ? "true" : "false");
  return ok ? 0 : 1;
}

// Rows of a 32-bit top-down DIB copy of the bitmap, as BGRX.
bool Pixels(HBITMAP bmp, int* w, int* h, std::vector<unsigned char>* px) {
  BITMAP info{};
  if (!::GetObjectW(bmp, sizeof info, &info)) return false;
  *w = info.bmWidth;
  *h = info.bmHeight;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = *w;
  bi.bmiHeader.biHeight = -*h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  px->assign(static_cast<size_t>(*w) * *h * 4, 0);
  HDC dc = ::GetDC(nullptr);
  int rows = ::GetDIBits(dc, bmp, 0, *h, px->data(), &bi, DIB_RGB_COLORS);
  ::ReleaseDC(nullptr, dc);
  return rows == *h;
}

int Image(const wchar_t* file) {
  // Decoded by the installer's own loader, so that pixels compare exactly.
  HBITMAP out = ui::LoadSkinBitmap(file);
  if (!out) {
    std::printf("{\"error\":\"cannot decode\"}\n");
    return 1;
  }
  int w = 0, h = 0;
  std::vector<unsigned char> px;
  if (!Pixels(out, &w, &h, &px)) return 1;
  std::printf("{\"width\":%d,\"height\":%d,\"rows\":[", w, h);
  for (int y = 0; y < h; ++y) {
    std::printf("%s\"", y ? "," : "");
    for (int x = 0; x < w; ++x) {
      const unsigned char* p = &px[(static_cast<size_t>(y) * w + x) * 4];
      std::printf("%02x%02x%02x", p[2], p[1], p[0]);
    }
    std::printf("\"");
  }
  std::printf("]}\n");
  return 0;
}

int Render(const wchar_t* face, int height, int width, int weight, int count, char** texts) {
  HDC screen = ::GetDC(nullptr);
  HDC dc = ::CreateCompatibleDC(screen);
  HFONT font = ::CreateFontW(height, width, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
  ::SelectObject(dc, font);
  std::printf("{\"texts\":[");
  for (int i = 0; i < count; ++i) {
    std::wstring text = Wide(texts[i]);
    SIZE size{};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    int w = size.cx + 4, h = size.cy + 4;
    HBITMAP bmp = ::CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = ::SelectObject(dc, bmp);
    RECT all{0, 0, w, h};
    ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB(255, 255, 255));
    ::TextOutW(dc, 2, 2, text.c_str(), static_cast<int>(text.size()));
    ::SelectObject(dc, old);
    int bw = 0, bh = 0;
    std::vector<unsigned char> px;
    Pixels(bmp, &bw, &bh, &px);
    ::DeleteObject(bmp);
    std::printf("%s{\"text\":%s,\"width\":%d,\"height\":%d,\"rows\":[", i ? "," : "", Json(text).c_str(), bw, bh);
    for (int y = 0; y < bh; ++y) {
      std::printf("%s\"", y ? "," : "");
      for (int x = 0; x < bw; ++x) {
        const unsigned char* p = &px[(static_cast<size_t>(y) * bw + x) * 4];
        std::printf("%d", (p[0] + p[1] + p[2]) * 9 / (3 * 255));
      }
      std::printf("\"");
    }
    std::printf("]}");
  }
  std::printf("]}\n");
  ::DeleteObject(font);
  ::DeleteDC(dc);
  ::ReleaseDC(nullptr, screen);
  return 0;
}

int Trust(const std::string& how, const wchar_t* file) {
  std::FILE* f = _wfopen(file, L"rb");
  if (!f) return 1;
  std::vector<BYTE> der(65536);
  der.resize(std::fread(der.data(), 1, der.size(), f));
  std::fclose(f);
  // The registry store itself: changes are written when it is closed.
  HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
  if (!store) return 1;
  PCCERT_CONTEXT cert = ::CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
  BOOL ok = FALSE;
  if (cert && how == "add") {
    ok = ::CertAddCertificateContextToStore(store, cert, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  } else if (cert) {
    PCCERT_CONTEXT found = ::CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, cert, nullptr);
    ok = !found || ::CertDeleteCertificateFromStore(found);  // deleting frees found
  }
  if (cert) ::CertFreeCertificateContext(cert);
  ::CertCloseStore(store, 0);
  std::printf("{\"ok\":%s}\n", ok ? "true" : "false");
  return ok ? 0 : 1;
}

bool ProcessRunsFrom(const std::wstring& file) {
  const std::wstring name = file.substr(file.find_last_of(L"\\/") + 1);
  HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return false;
  PROCESSENTRY32W e{};
  e.dwSize = sizeof(e);
  bool found = false;
  for (BOOL ok = ::Process32FirstW(snap, &e); ok && !found; ok = ::Process32NextW(snap, &e))
    found = ::lstrcmpiW(e.szExeFile, name.c_str()) == 0;
  ::CloseHandle(snap);
  return found;
}

int Hammer(const std::wstring& file, const std::wstring& replacement, int seconds) {
  int attempts = 0, opened = 0, replaced = 0;
  std::map<DWORD, int> errors;
  const DWORD end = ::GetTickCount() + static_cast<DWORD>(seconds) * 1000;
  while (static_cast<int>(end - ::GetTickCount()) > 0 && !ProcessRunsFrom(file)) {
    ++attempts;
    HANDLE h = ::CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      ++opened;
      ::CloseHandle(h);
    } else if (::GetLastError() != ERROR_FILE_NOT_FOUND) {
      ++errors[::GetLastError()];
    }
    if (::MoveFileExW(replacement.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      ++replaced;
    } else if (::GetLastError() != ERROR_FILE_NOT_FOUND) {
      ++errors[::GetLastError()];
    }
  }
  std::printf("{\"attempts\":%d,\"opened\":%d,\"replaced\":%d,\"errors\":{", attempts, opened, replaced);
  bool first = true;
  for (const auto& e : errors) {
    std::printf("%s\"%lu\":%d", first ? "" : ",", e.first, e.second);
    first = false;
  }
  std::printf("}}\n");
  return 0;
}

std::wstring Bstr(BSTR b) {
  std::wstring s = b ? std::wstring(b, ::SysStringLen(b)) : std::wstring();
  if (b) ::SysFreeString(b);
  return s;
}

// Role, name and value of the accessible object of a window, as a client asks them
// (through the window's WM_GETOBJECT, or the system's standard object for it).
std::string Accessible(HWND h, LONG objectId) {
  IAccessible* acc = nullptr;
  // IAccessible's IID spelt out: the import library's symbol is a thunk, not the data.
  static const IID kIAccessible = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
  const HRESULT hr = ::AccessibleObjectFromWindow(h, objectId, kIAccessible, reinterpret_cast<void**>(&acc));
  if (FAILED(hr) || !acc) {
    char err[48];
    std::snprintf(err, sizeof err, "{\"error\":%ld}", static_cast<long>(hr));
    return err;
  }
  VARIANT self;
  ::VariantInit(&self);
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR name = nullptr, value = nullptr;
  VARIANT role;
  ::VariantInit(&role);
  acc->get_accName(self, &name);
  acc->get_accValue(self, &value);
  acc->get_accRole(self, &role);
  acc->Release();
  char buf[64];
  std::snprintf(buf, sizeof buf, "%ld", role.vt == VT_I4 ? role.lVal : -1L);
  return std::string("{\"role\":") + buf + ",\"name\":" + Json(Bstr(name)) + ",\"value\":" + Json(Bstr(value)) + "}";
}

int AccessibleTree(HWND top) {
  ::CoInitialize(nullptr);
  std::printf("{\"window\":%s,\"client\":%s,\"children\":[", Accessible(top, OBJID_WINDOW).c_str(),
              Accessible(top, OBJID_CLIENT).c_str());
  std::vector<HWND> children;
  ::EnumChildWindows(top, CollectChild, reinterpret_cast<LPARAM>(&children));
  bool first = true;
  for (HWND c : children) {
    std::printf("%s{\"id\":%d,\"visible\":%s,\"object\":%s}", first ? "" : ",", ::GetDlgCtrlID(c),
                ::IsWindowVisible(c) ? "true" : "false", Accessible(c, OBJID_CLIENT).c_str());
    first = false;
  }
  std::printf("]}\n");
  ::CoUninitialize();
  return 0;
}

DWORD g_eventsStart = 0;

void CALLBACK OnWinEvent(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG objectId, LONG childId, DWORD, DWORD) {
  if (!hwnd) return;
  char buf[160];
  std::snprintf(buf, sizeof buf, "{\"ms\":%lu,\"event\":%lu,\"hwnd\":%llu,\"object\":%ld,\"child\":%ld,\"id\":%d,",
                static_cast<unsigned long>(::GetTickCount() - g_eventsStart), static_cast<unsigned long>(event),
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(hwnd)), objectId, childId,
                ::GetDlgCtrlID(hwnd));
  std::printf("%s\"class\":%s,\"text\":%s}\n", buf, Json(ClassOf(hwnd)).c_str(), Json(TextOf(hwnd)).c_str());
  std::fflush(stdout);
}

int WinEvents(int seconds) {
  g_eventsStart = ::GetTickCount();
  const DWORD kLiveRegionChanged = 0x8019;
  HWINEVENTHOOK names = ::SetWinEventHook(EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_NAMECHANGE, nullptr, &OnWinEvent, 0, 0,
                                          WINEVENT_OUTOFCONTEXT);
  HWINEVENTHOOK live =
      ::SetWinEventHook(kLiveRegionChanged, kLiveRegionChanged, nullptr, &OnWinEvent, 0, 0, WINEVENT_OUTOFCONTEXT);
  // Hooked: the harness starts the installer once this line is out.
  std::printf("{\"hooked\":%s}\n", names && live ? "true" : "false");
  std::fflush(stdout);
  const DWORD end = ::GetTickCount() + static_cast<DWORD>(seconds) * 1000;
  while (static_cast<LONG>(end - ::GetTickCount()) > 0) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
  }
  if (names) ::UnhookWinEvent(names);
  if (live) ::UnhookWinEvent(live);
  return 0;
}

int Run(int argc, char** argv) {
  std::wstring line;
  for (int i = 0; i < argc; ++i) {
    const std::wstring arg = Wide(argv[i]);
    if (i) line += L" ";
    line += arg.find_first_of(L" \t") == std::wstring::npos && !arg.empty() ? arg : L"\"" + arg + L"\"";
  }
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    std::printf("{\"error\":%lu}\n", ::GetLastError());
    return 1;
  }
  ::CloseHandle(pi.hThread);
  ::WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  ::GetExitCodeProcess(pi.hProcess, &code);
  ::CloseHandle(pi.hProcess);
  std::printf("{\"exit\":%lu}\n", code);
  return 0;
}

int Temp() {
  wchar_t buf[MAX_PATH + 1] = {};
  const DWORD n = ::GetTempPathW(MAX_PATH + 1, buf);
  std::printf("{\"temp\":%s}\n", Json(std::wstring(buf, n)).c_str());
  return 0;
}

}  // namespace

int main(int, char**) {
  // The arguments as UTF-8, whatever the ANSI code page: texts to render may be in
  // any script.
  int argc = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(Utf8(wide[i]));
  std::vector<char*> pointers;
  for (std::string& a : args) pointers.push_back(&a[0]);
  char** argv = pointers.data();
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "windows") return Windows();
  if (mode == "processes") return Processes();
  if (mode == "kill" && argc == 3) return Kill(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)));
  if (mode == "image" && argc == 3) return Image(Wide(argv[2]).c_str());
  if (mode == "accessible" && argc == 3)
    return AccessibleTree(std::strtoull(argv[2], nullptr, 10) ? reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoull(argv[2], nullptr, 10))) : ::GetDesktopWindow());
  if (mode == "winevents" && argc == 3) return WinEvents(std::atoi(argv[2]));
  if (mode == "run" && argc >= 3) return Run(argc - 2, argv + 2);
  if (mode == "temp") return Temp();
  if (mode == "render" && argc >= 6)
    return Render(Wide(argv[2]).c_str(), std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]), argc - 6,
                  argv + 6);
  if (mode == "trust" && argc == 4) return Trust(argv[2], Wide(argv[3]).c_str());
  if (mode == "hammer" && argc == 5) return Hammer(Wide(argv[2]), Wide(argv[3]), std::atoi(argv[4]));
  std::fprintf(stderr,
               "usage: window_probe windows | processes | kill PID | image FILE | render FACE HEIGHT WIDTH WEIGHT TEXT... |\n"
               "       accessible HWND | winevents SECONDS | trust add|remove FILE.der | hammer FILE REPLACEMENT SECONDS |\n"
               "       run EXE ARG... | temp\n");
  return 2;
}
