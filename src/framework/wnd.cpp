#include "framework/wnd.h"

namespace framework {

namespace {
const wchar_t kObjectProp[] = L"ZarnFrameworkObject";
}

LRESULT CALLBACK FrameworkWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  CWnd* wnd = CWnd::FromHandlePermanent(hwnd);
  if (!wnd) return ::DefWindowProcW(hwnd, msg, wp, lp);
  if (msg == WM_NCDESTROY) {
    WNDPROC super = wnd->m_superProc;
    wnd->UnsubclassWindow();
    return super ? ::CallWindowProcW(super, hwnd, msg, wp, lp) : ::DefWindowProcW(hwnd, msg, wp, lp);
  }
  return wnd->WindowProc(msg, wp, lp);
}

CWnd::~CWnd() {
  if (m_hWnd && m_superProc) UnsubclassWindow();
  if (m_hWnd) Detach();
}

CWnd* CWnd::FromHandlePermanent(HWND hwnd) {
  return hwnd ? static_cast<CWnd*>(::GetPropW(hwnd, kObjectProp)) : nullptr;
}

void CWnd::Attach(HWND hwnd) {
  m_hWnd = hwnd;
  ::SetPropW(hwnd, kObjectProp, this);
}

void CWnd::Detach() {
  if (m_hWnd) ::RemovePropW(m_hWnd, kObjectProp);
  m_hWnd = nullptr;
}

bool CWnd::SubclassWindow(HWND hwnd) {
  if (!hwnd || m_hWnd || FromHandlePermanent(hwnd)) return false;
  Attach(hwnd);
  PreSubclassWindow();
  m_superProc = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FrameworkWndProc)));
  return true;
}

bool CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
  return parent && SubclassWindow(::GetDlgItem(parent->m_hWnd, id));
}

HWND CWnd::UnsubclassWindow() {
  HWND hwnd = m_hWnd;
  if (hwnd && m_superProc) {
    ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_superProc));
  }
  m_superProc = nullptr;
  Detach();
  return hwnd;
}

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT swpFlags) {
  LONG_PTR style = GetStyle();
  LONG_PTR next = (style & ~static_cast<LONG_PTR>(remove)) | add;
  if (next == style && !swpFlags) return FALSE;
  ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, next);
  if (swpFlags) {
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                   SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | swpFlags);
  }
  return TRUE;
}

LRESULT CWnd::Default(UINT msg, WPARAM wp, LPARAM lp) {
  if (m_superProc) return ::CallWindowProcW(m_superProc, m_hWnd, msg, wp, lp);
  return ::DefWindowProcW(m_hWnd, msg, wp, lp);
}

LRESULT CWnd::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT result = 0;
  if (ReflectToChild(msg, wp, lp, &result)) return result;
  if (OnWndMsg(msg, wp, lp, &result)) return result;
  return Default(msg, wp, lp);
}

bool ReflectToChild(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  HWND child = nullptr;
  if (msg == WM_COMMAND || IsCtlColorMessage(msg)) {
    child = reinterpret_cast<HWND>(lp);
  } else if (msg == WM_DRAWITEM) {
    if (wp) child = reinterpret_cast<const DRAWITEMSTRUCT*>(lp)->hwndItem;
  } else {
    return false;
  }
  CWnd* wnd = CWnd::FromHandlePermanent(child);
  return wnd && wnd->OnChildNotify(msg, wp, lp, result);
}

BOOL WalkPreTranslateTree(HWND top, MSG* msg) {
  for (HWND h = msg->hwnd; h; h = ::GetParent(h)) {
    CWnd* wnd = CWnd::FromHandlePermanent(h);
    if (wnd && wnd->PreTranslateMessage(msg)) return TRUE;
    if (h == top) break;
  }
  return FALSE;
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
  if (!control.m_hWnd) control.SubclassDlgItem(id, dx->dialog);
}

}  // namespace framework
