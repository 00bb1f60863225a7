// A small window framework: just what the installer's application object, its
// dialog and its image button need from one. Windows only.
#pragma once

#include <windows.h>

namespace framework {

// Wraps one window handle. The window procedure finds its object through a window
// property, so messages reach the virtual handlers of the right C++ object.
class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  operator HWND() const { return m_hWnd; }

  // The object attached to a window, or null.
  static CWnd* FromHandlePermanent(HWND hwnd);

  // Replaces the window procedure of an existing window (a dialog control) with
  // ours; PreSubclassWindow runs first, with the handle already set.
  bool SubclassWindow(HWND hwnd);
  bool SubclassDlgItem(UINT id, CWnd* parent);
  HWND UnsubclassWindow();

  // Called for every message bound for this window (or a child of it) before it is
  // dispatched; true means the message was consumed.
  virtual BOOL PreTranslateMessage(MSG* msg) { return FALSE; }

  // Messages a parent hands back to the child that caused them (BN_CLICKED,
  // WM_DRAWITEM, WM_CTLCOLOR*): true and *result when handled fully.
  virtual bool OnChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) { return false; }

  // Thin forwarding to the platform.
  BOOL ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
  void SetWindowText(const wchar_t* text) { ::SetWindowTextW(m_hWnd, text); }
  HWND GetParent() const { return ::GetParent(m_hWnd); }
  LONG_PTR GetStyle() const { return ::GetWindowLongPtrW(m_hWnd, GWL_STYLE); }
  BOOL ModifyStyle(DWORD remove, DWORD add, UINT swpFlags = 0);
  BOOL MoveWindow(int x, int y, int w, int h, BOOL repaint = TRUE) {
    return ::MoveWindow(m_hWnd, x, y, w, h, repaint);
  }

  HWND m_hWnd = nullptr;

 protected:
  friend LRESULT CALLBACK FrameworkWndProc(HWND, UINT, WPARAM, LPARAM);
  // The message map: true when the message was handled and *result holds the answer.
  virtual bool OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) { return false; }
  virtual void PreSubclassWindow() {}
  // The handling the window had before we subclassed it.
  LRESULT Default(UINT msg, WPARAM wp, LPARAM lp);
  virtual LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp);

  void Attach(HWND hwnd);
  void Detach();

  WNDPROC m_superProc = nullptr;
};

// The WM_CTLCOLOR* messages: a child asks its parent for the brush to paint with.
inline bool IsCtlColorMessage(UINT msg) { return msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC; }

// Gives a message to the child that sent it, if the child is one of ours.
bool ReflectToChild(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);

// Walks from the target window up to `top`, giving each attached object the chance
// to translate or consume the message.
BOOL WalkPreTranslateTree(HWND top, MSG* msg);

// The data exchange context: attaching dialog controls to their objects.
class CDataExchange {
 public:
  explicit CDataExchange(CWnd* dlg) : dialog(dlg) {}
  CWnd* dialog;
};
void DDX_Control(CDataExchange* dx, int id, CWnd& control);

}  // namespace framework
