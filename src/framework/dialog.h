// A modal dialog from a template, with a message loop of its own so that every
// message passes PreTranslateMessage before the dialog manager sees it.
#pragma once

#include "framework/wnd.h"

namespace framework {

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT templateId) : m_templateId(templateId) {}
  ~CDialog() override;

  // Creates the dialog, runs it until EndDialog and destroys it; the result given
  // to EndDialog, or -1 when the dialog could not be created.
  virtual INT_PTR DoModal();
  void EndDialog(INT_PTR result);
  BOOL PreTranslateMessage(MSG* msg) override;

 protected:
  virtual BOOL OnInitDialog();
  virtual void DoDataExchange(CDataExchange* dx) {}
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // After initialisation: centre the dialog unless something placed it.
  void CenterIfUnplaced(const RECT& before);
  // A dialog's default handling is the dialog manager's: answer "not handled".
  LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

  UINT m_templateId;
  bool m_ended = false;
  INT_PTR m_result = -1;
  bool m_handled = false;
};

}  // namespace framework
