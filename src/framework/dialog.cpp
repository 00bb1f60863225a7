#include "framework/dialog.h"

namespace framework {

CDialog::~CDialog() {
  if (m_hWnd) {
    HWND hwnd = m_hWnd;
    Detach();
    ::DestroyWindow(hwnd);
  }
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_INITDIALOG) {
    auto* dlg = reinterpret_cast<CDialog*>(lp);
    dlg->Attach(hwnd);
    RECT before{};
    ::GetWindowRect(hwnd, &before);
    BOOL focus = dlg->OnInitDialog();
    if (dlg->m_ended) {
      // Ended before it was ever shown (a start-up error): the dialog manager would
      // show a template marked visible on return, so the window goes now.
      ::DestroyWindow(hwnd);
      return FALSE;
    }
    dlg->CenterIfUnplaced(before);
    return focus;
  }
  auto* dlg = static_cast<CDialog*>(CWnd::FromHandlePermanent(hwnd));
  if (!dlg) return FALSE;
  if (msg == WM_NCDESTROY) {
    dlg->Detach();
    return FALSE;
  }
  dlg->m_handled = true;
  LRESULT result = dlg->WindowProc(msg, wp, lp);
  if (!dlg->m_handled) return FALSE;
  // These answer through the return value, not through DWLP_MSGRESULT.
  if (IsCtlColorMessage(msg)) return static_cast<INT_PTR>(result);
  switch (msg) {
    case WM_QUERYDRAGICON:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
      return static_cast<INT_PTR>(result);
    default:
      ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
      return TRUE;
  }
}

LRESULT CDialog::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT result = 0;
  if (ReflectToChild(msg, wp, lp, &result)) return result;
  if (OnWndMsg(msg, wp, lp, &result)) return result;
  if (msg == WM_COMMAND && (lp == 0 || HIWORD(wp) == BN_CLICKED)) {
    if (LOWORD(wp) == IDOK) { OnOK(); return 0; }
    if (LOWORD(wp) == IDCANCEL) { OnCancel(); return 0; }
  }
  m_handled = false;
  return 0;
}

void CDialog::CenterIfUnplaced(const RECT& before) {
  // A dialog without owner that its initialisation did not move, and whose template
  // asks for no placement of its own, is centred on the work area of its monitor.
  const LONG_PTR style = ::GetWindowLongPtrW(m_hWnd, GWL_STYLE);
  if (style & WS_VISIBLE || style & (DS_ABSALIGN | DS_CENTER | DS_CENTERMOUSE)) return;
  if (::GetWindow(m_hWnd, GW_OWNER) || style & WS_CHILD) return;
  RECT now{};
  ::GetWindowRect(m_hWnd, &now);
  if (now.left != before.left || now.top != before.top) return;
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  if (!::GetMonitorInfoW(::MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTOPRIMARY), &info)) return;
  const RECT& area = info.rcWork;
  const int w = now.right - now.left, h = now.bottom - now.top;
  int x = area.left + (area.right - area.left - w) / 2;
  int y = area.top + (area.bottom - area.top - h) / 2;
  if (x < area.left) x = area.left;
  if (y < area.top) y = area.top;
  ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CDialog::OnInitDialog() {
  // The controls are attached to their objects before anything else touches them.
  CDataExchange dx(this);
  DoDataExchange(&dx);
  return TRUE;
}

void CDialog::EndDialog(INT_PTR result) {
  m_result = result;
  m_ended = true;
  // Wakes the loop even when no other message is on its way.
  if (m_hWnd) ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
}

BOOL CDialog::PreTranslateMessage(MSG* msg) {
  return m_hWnd && ::IsDialogMessageW(m_hWnd, msg);
}

INT_PTR CDialog::DoModal() {
  m_ended = false;
  m_result = -1;
  HWND hwnd = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), nullptr,
                                   &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
  if (!hwnd || !::IsWindow(hwnd)) return m_ended ? m_result : -1;
  if (!m_ended) {
    if (!(::GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_VISIBLE)) ::ShowWindow(hwnd, SW_SHOWNORMAL);
    MSG msg;
    while (!m_ended) {
      BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
      if (got == 0) {
        ::PostQuitMessage(static_cast<int>(msg.wParam));
        break;
      }
      if (got < 0) break;
      if (!WalkPreTranslateTree(hwnd, &msg)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
      }
    }
  }
  if (m_hWnd) {
    ::DestroyWindow(hwnd);
  }
  return m_result;
}

}  // namespace framework
