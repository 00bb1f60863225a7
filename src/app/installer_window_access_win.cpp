// What the installer window gives the keyboard and assistive technology: a focus
// cue once the keyboard is used, and its painted status text and percentage as
// windows that screen readers and UI Automation read through the system's own
// accessible objects (name and value) and hear about through WinEvents.
#include <windows.h>

#include <commctrl.h>
#include <oleacc.h>

#include "app/zarn_web_installer_dlg.h"
#include "platform/text.h"
#include "resource.h"
#include "ui/window_layout.h"

namespace app {

namespace {
// Windows 8's event for a live region, asking screen readers to read the object
// again; to earlier systems an unknown event, which their hooks simply pass on.
constexpr DWORD kEventLiveRegionChanged = 0x8019;

// The system's accessibility annotation service and the UI Automation property that
// makes a region live, spelt out here: the import libraries' symbols for them are
// thunks, not the data.
const CLSID kAccPropServices = {0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
const IID kIAccPropServices = {0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
const GUID kLiveSettingProperty = {0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
constexpr LONG kLivePolite = 1;

// Windows 10 (1709) and later announce a live region's changes to UI Automation
// clients such as Narrator once the region says it is live; earlier systems know no
// such property (or no service), and nothing changes there.
void MarkLive(HWND hwnd) {
  IAccPropServices* services = nullptr;
  if (FAILED(::CoCreateInstance(kAccPropServices, nullptr, CLSCTX_INPROC_SERVER, kIAccPropServices,
                                reinterpret_cast<void**>(&services))) ||
      !services)
    return;
  VARIANT polite{};
  polite.vt = VT_I4;
  polite.lVal = kLivePolite;
  services->SetHwndProp(hwnd, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, kLiveSettingProperty, polite);
  services->Release();
}

std::u16string TextOf(HWND hwnd) {
  wchar_t buffer[512] = {};
  const int n = ::GetWindowTextW(hwnd, buffer, 512);
  return platform::FromW(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}
}  // namespace

bool CZarnWebInstallerDlg::CSilentChild::OnWndMsg(UINT msg, WPARAM, LPARAM, LRESULT* result) {
  // The window paints these places itself (off screen, one blit); the readers only
  // hold the texts, so they draw nothing and let the mouse through.
  switch (msg) {
    case WM_PAINT:
      ::ValidateRect(m_hWnd, nullptr);
      *result = 0;
      return true;
    case WM_ERASEBKGND:
      *result = 1;
      return true;
    case WM_NCHITTEST:
      *result = HTTRANSPARENT;
      return true;
    case WM_PRINT:
    case WM_PRINTCLIENT:
      *result = 0;
      return true;
    default:
      return false;
  }
}

void CZarnWebInstallerDlg::CreateReaders() {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  HWND status = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0, 0, 0, 0, m_hWnd,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_STATUS_READER)), instance, nullptr);
  // A progress bar: its accessible value is the percentage, and it names itself by
  // the text before it, the status.
  HWND progress = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, m_hWnd,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_PROGRESS_READER)), instance,
                                    nullptr);
  if (status) {
    statusReader.SubclassWindow(status);
    MarkLive(status);
  }
  if (progress) {
    progressReader.SubclassWindow(progress);
    ::SendMessageW(progress, PBM_SETRANGE32, 0, 100);
  }
  PlaceReaders();
}

void CZarnWebInstallerDlg::PlaceReaders() {
  if (statusReader.m_hWnd) {
    const ui::Rect& r = layout.statusRect;
    statusReader.MoveWindow(r.left, r.top, r.Width(), r.Height(), FALSE);
  }
  if (progressReader.m_hWnd) {
    const ui::Rect r = ui::BandImageRect(layout);
    progressReader.MoveWindow(r.left, r.top, r.Width(), r.Height(), FALSE);
  }
}

void CZarnWebInstallerDlg::ReadStatus() {
  // Told once per new text: the failure text is shown again on every tick.
  if (!statusReader.m_hWnd || TextOf(statusReader) == statusText) return;
  ::SetWindowTextW(statusReader, platform::W(statusText));
  ::NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, statusReader, OBJID_CLIENT, CHILDID_SELF);
  ::NotifyWinEvent(kEventLiveRegionChanged, statusReader, OBJID_CLIENT, CHILDID_SELF);
}

void CZarnWebInstallerDlg::ReadProgress() {
  if (!progressReader.m_hWnd) return;
  // The band shows a check mark when complete; a reader hears "100%".
  const bool complete = ui::ProgressComplete(monitor.bytesDone, monitor.bytesTotal);
  const std::u16string text = complete ? u"100%" : ui::PercentText(monitor.bytesDone, monitor.bytesTotal);
  if (text == progressReaderText) return;
  progressReaderText = text;
  ::SetWindowTextW(progressReader, platform::W(text));
  const uint64_t pct = complete ? 100 : ui::ProgressPercent(monitor.bytesDone, monitor.bytesTotal);
  ::SendMessageW(progressReader, PBM_SETPOS, static_cast<WPARAM>(pct > 100 ? 100 : pct), 0);
}

BOOL CZarnWebInstallerDlg::PreTranslateMessage(MSG* msg) {
  if (msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN) NoteKeyboardUse();
  return CDialog::PreTranslateMessage(msg);
}

void CZarnWebInstallerDlg::NoteKeyboardUse() {
  // The system's rule: focus cues are hidden until the keyboard is used in the
  // window. The window's state changes, and the button hears it directly too, as
  // not every system passes the change on to the children (Wine does not).
  if (keyboardUsed) return;
  keyboardUsed = true;
  const WPARAM showFocus = MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS);
  ::SendMessageW(m_hWnd, WM_CHANGEUISTATE, showFocus, 0);
  ::SendMessageW(cancelButton, WM_UPDATEUISTATE, showFocus, 0);
}

}  // namespace app
