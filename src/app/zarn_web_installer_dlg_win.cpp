#include "app/zarn_web_installer_dlg.h"

#include "app/embedded_kit.h"
#include "app/package_hand_off.h"
#include "config/ui_strings.h"
#include "download/download_manager.h"
#include "framework/app.h"
#include "framework/gdi.h"
#include "platform/text.h"
#include "resource.h"
#include "ui/text_fit.h"

namespace app {

namespace {
RECT ToRect(const ui::Rect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }
bool Contains(const ui::Rect& r, POINT pt) {
  return pt.x >= r.left && pt.x < r.right && pt.y >= r.top && pt.y < r.bottom;
}
}  // namespace

std::u16string CZarnWebInstallerDlg::ModulePath() {
  wchar_t path[MAX_PATH] = {};
  DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return n > 0 && n < MAX_PATH ? platform::FromW(path, n) : std::u16string();
}

CZarnWebInstallerDlg::CZarnWebInstallerDlg(framework::CWnd*) : CDialog(IDD_ZARNWEBINSTALLER_DIALOG) {
  appIcon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
  modulePath = ModulePath();
  moduleFolder = FolderOf(modulePath);
  // A single-file installer takes its images from itself, and only from there.
  LoadEmbeddedKit(&kit);
  // Nor does it read double-size variants beside itself: it carries none.
  skin.folder = kit.embedded ? std::u16string() : moduleFolder;
  for (int i = 0; i < ui::SkinImageCount; ++i) {
    if (kit.embedded) {
      skin.images[i] = kit.skin[i] ? ui::LoadSkinBitmapFromBytes(*kit.skin[i]) : nullptr;
      continue;
    }
    std::u16string file = moduleFolder + u"\\" + platform::FromW(ui::SkinFileName(i));
    skin.images[i] = ui::LoadSkinBitmap(platform::W(file));
  }
}

CZarnWebInstallerDlg::~CZarnWebInstallerDlg() {
  ReleaseEngineObjects();
  // The members go next in reverse order of declaration: the help link, then the
  // Cancel button, then the strings, then the base dialog.
}

void CZarnWebInstallerDlg::ReleaseEngineObjects() {
  // The engine's shared objects (status lock, session, file lock, the three events,
  // the manager) are released only here. Should the engine still run, the teardown
  // cancels it and waits for its threads first; if they do not end in time it
  // leaves the objects alive rather than pull them from under a running thread, as
  // the process is ending anyway.
  ReleaseDownloadObjects();
}

void CZarnWebInstallerDlg::DoDataExchange(framework::CDataExchange* dx) {
  framework::DDX_Control(dx, IDC_CANCEL_BUTTON, cancelButton);
  framework::DDX_Control(dx, IDC_HELP_LINK, helpLinkButton);
}

void CZarnWebInstallerDlg::StartupError(const wchar_t* message) {
  startupEnd = RunEnd::kNoConfiguration;
  // A passive run asks nothing: the exit code says it instead.
  if (mode == RunMode::kNormal) {
    ::MessageBoxW(m_hWnd, message, framework::AfxGetApp() ? framework::AfxGetApp()->AppName() : L"", MB_OKCANCEL);
  }
  OnOK();
}

RunResult CZarnWebInstallerDlg::Result() const {
  RunResult result;
  result.end = startupEnd != RunEnd::kNone ? startupEnd : monitor.end;
  result.packageStarted = package.process != nullptr;
  return result;
}

BOOL CZarnWebInstallerDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(appIcon));
  ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(appIcon));

  // Without a folder nothing is read, and with no link the window ends at the link
  // check below.
  run = PrepareRun(modulePath, kit, log);
  kit = run.kit;
  plan = run.plan;
  targetPath = run.targetPath;
  if (run.verdict == RunStart::kXmlMissing) {
    StartupError(L"Xml file is missing!");
    return TRUE;
  }
  if (!moduleFolder.empty()) {
    // The window's text is what the taskbar, Alt+Tab and screen readers call it.
    ::SetWindowTextW(m_hWnd, platform::W(plan.productName));
    // One installer per package: a second start shows the first and goes, before
    // it could touch the file or say anything.
    if (!instanceLock.Take(targetPath)) {
      startupEnd = RunEnd::kAlreadyRunning;
      if (log) log->Write(u"another installer is at work on this package: this one ends");
      instanceLock.ActivateHolder();
      EndDialog(IDCANCEL);
      return TRUE;
    }
    instanceLock.MarkWindow(m_hWnd);
  }

  SizeWindowAndButtons();
  ComputeLayout();
  CreateReaders();
  SetUpButtons();

  if (run.verdict == RunStart::kUnrecognizedUrl) {
    StartupError(L"Unrecognized URL");
    return TRUE;
  }
  StartEngine();
  return TRUE;
}

void CZarnWebInstallerDlg::SizeWindowAndButtons() {
  static const int kTileIds[ui::kProgressTileCount] = {IDB_PROGRESS_TILE0, IDB_PROGRESS_TILE1, IDB_PROGRESS_TILE2};
  for (int i = 0; i < ui::kProgressTileCount; ++i) {
    skin.tiles[i] = static_cast<HBITMAP>(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kTileIds[i]), IMAGE_BITMAP, 0, 0, 0));
  }

  // The window takes its background's size at its DPI; without one it keeps the
  // template's. The buttons follow from that size.
  RECT wr{};
  ::GetWindowRect(m_hWnd, &wr);
  dpi = InitialDpi();
  ui::Size background;
  ui::BitmapSize(skin.images[ui::SkinMainBackground], &background.width, &background.height);
  logicalSize = background.width ? background
                                 : ui::Size{(wr.right - wr.left) * ui::kBaseDpi / dpi,
                                            (wr.bottom - wr.top) * ui::kBaseDpi / dpi};
  KeepOwnLayout();
  FitToDpi(dpi, nullptr);
}

void CZarnWebInstallerDlg::StartEngine() {
  if (StartRunEngine(run, log)) {
    monitor.EngineStarted();
    ::SetTimer(m_hWnd, kProgressTimerId, kTickMs, nullptr);
  } else {
    // Nothing of the engine exists to resume or poll: say so, then close.
    Apply(monitor.StartFailed());
  }
}

void CZarnWebInstallerDlg::LaunchPackage() {
  // A normal run starts the package as it always has, without arguments, and does
  // not wait; an unattended one gives the vendor's quiet arguments and is waited for.
  const std::u16string args = mode == RunMode::kNormal ? u"" : DownloadedLink().quietArgs;
  package = HandOffPackage(m_hWnd, targetPath, args, log);
}

void CZarnWebInstallerDlg::ComputeLayout() {
  skinSet.mainBackground = skin.Drawn(ui::SkinMainBackground);
  skinSet.statusBackdrop = skin.Drawn(ui::SkinStatusBackdrop);
  skinSet.closeNormal = skin.Drawn(ui::SkinCloseNormal);
  skinSet.minNormal = skin.Drawn(ui::SkinMinNormal);
  skinSet.checkMark = skin.Drawn(ui::SkinCheckMark);
  for (int i = 0; i < ui::kProgressTileCount; ++i) skinSet.tiles[i] = skin.DrawnTile(i);
  ui::BitmapSize(skin.DrawnTile(0), &skinSet.tileWidth, &skinSet.tileHeight);
  if (!ui::BitmapSize(skin.Drawn(ui::SkinStatusBackdrop), &skinSet.statusWidth, &skinSet.statusHeight)) {
    skinSet.statusWidth = Px(ui::kFallbackStatusWidth);
    skinSet.statusHeight = Px(ui::kFallbackStatusHeight);
  }
  RECT wr{};
  ::GetWindowRect(m_hWnd, &wr);
  windowWidth = wr.right - wr.left;
  layout = ui::ComputeLayout(windowWidth, wr.bottom - wr.top, skinSet.tileHeight, skinSet.statusWidth,
                             skinSet.statusHeight, dpi);
}

void CZarnWebInstallerDlg::SetUpButtons() {
  cancelButton.SetWindowText(platform::W(GetUiString(IDS_TEXT_CANCEL, kit)));
  cancelButton.SetImageAlignment(ui::ImageUnderText, TRUE);
  SetButtonFonts();
  cancelButton.SetStateColor(ui::CZarnButton::HotText, 0xFFFFFF, TRUE);
  cancelButton.SetStateColor(ui::CZarnButton::IdleText, 0xFFFFFF, TRUE);
  cancelButton.SetStateColor(ui::CZarnButton::FocusText, 0xFFFFFF, TRUE);
  cancelButton.SetPressedOffset(1, 1);
  SetCancelFaces();
  cancelButton.SetDrawBorder(FALSE, TRUE);
  cancelButton.SetTransparent(TRUE, TRUE);
  FitCancelCaption();

  const std::u16string caption = GetUiString(IDS_DOWNLOAD_PROBLEM, kit);
  const std::u16string address = GetUiString(IDS_DOWNLOAD_PROBLEM_RLINK, kit);
  helpLinkButton.SetStateColor(ui::CZarnButton::HotText, 0xFFFFFF, TRUE);
  helpLinkButton.SetStateColor(ui::CZarnButton::IdleText, 0xA5A5A5, TRUE);
  helpLinkButton.SetStateColor(ui::CZarnButton::FocusText, 0xA5A5A5, TRUE);
  helpLinkButton.SetWindowText(platform::W(caption));
  helpLinkButton.SetLinkUrl(platform::W(address));
  helpLinkButton.SetDrawBorder(FALSE, TRUE);
  helpLinkButton.SetTransparent(TRUE, TRUE);
  helpLinkButton.ShowWindow(SW_HIDE);
}

void CZarnWebInstallerDlg::ShowStatus(int32_t code) {
  GetStatusUiString(code, kit, statusText);
  ReadStatus();
  statusDirty = true;
  RECT rc = ToRect(layout.statusRect);
  ::InvalidateRect(m_hWnd, &rc, FALSE);
  ::PostMessageW(m_hWnd, WM_PAINT, 0, 0);
}

void CZarnWebInstallerDlg::ShowProgress() {
  // The monitor holds the bytes to show; the band paints them.
  ReadProgress();
  progressDirty = true;
  statusDirty = true;
  RECT rc = ToRect(ui::BandInvalidRect(layout, windowWidth));
  ::InvalidateRect(m_hWnd, &rc, FALSE);
  ::SendMessageW(m_hWnd, WM_PAINT, 0, 0);
}

void CZarnWebInstallerDlg::Apply(const TickResult& result) {
  for (const MonitorAction& action : result.actions) {
    switch (action.kind) {
      case MonitorAction::ShowStatus:
        ShowStatus(static_cast<int32_t>(action.value));
        break;
      case MonitorAction::ShowProgress:
        ShowProgress();
        break;
      case MonitorAction::EndDialog:
        EndDialog(IDCANCEL);
        break;
      case MonitorAction::LaunchInstaller:
        LaunchPackage();
        break;
      case MonitorAction::DeletePackage:
        DiscardPackage(targetPath);
        break;
    }
  }
  if (result.nextTimerMs) ::SetTimer(m_hWnd, kProgressTimerId, result.nextTimerMs, nullptr);
}

void CZarnWebInstallerDlg::OnTimer() {
  ::KillTimer(m_hWnd, kProgressTimerId);
  const DownloadStatus status = monitor.EngineRunning() ? ReadDownloadStatus() : DownloadStatus{};
  Apply(monitor.Tick(status));
}

void CZarnWebInstallerDlg::ConfirmCancel() {
  if (!monitor.BeginConfirm()) return;
  runEvent->Reset();
  int answer = IDYES;
  if (mode == RunMode::kNormal) {
    const std::u16string notice = GetUiString(IDS_MESSAGE_CANCELNOTICE, kit);
    if (log) log->Write(u"cancel asked: \"" + notice + u"\"");
    // A question in a right-to-left script is asked right to left, right-aligned.
    const UINT reading = ui::IsRightToLeft(notice) ? MB_RTLREADING | MB_RIGHT : 0;
    answer = ::MessageBoxW(m_hWnd, platform::W(notice), platform::W(plan.productName),
                           MB_YESNO | MB_ICONEXCLAMATION | reading);
  }
  if (log) log->Write(mode == RunMode::kNormal ? (answer == IDYES ? u"cancel answered: yes" : u"cancel answered: no")
                                               : u"cancel: at once, nothing is asked in a passive run");
  monitor.EndConfirm(answer == IDYES);
  if (answer == IDYES) {
    cancelEvent->Set();
    runEvent->Set();
    cancelButton.SetStateColor(ui::CZarnButton::HotText, 0x858585, TRUE);
    cancelButton.SetStateColor(ui::CZarnButton::IdleText, 0x858585, TRUE);
    cancelButton.SetStateColor(ui::CZarnButton::FocusText, 0x858585, TRUE);
    cancelButton.SetPressedOffset(0, 0);
    SetCancelFaces();
  } else {
    runEvent->Set();
  }
}

// Enter (the dialog's OK), Escape and Alt+F4 (its cancel) while the engine runs ask
// first, like the Cancel button, so the window never goes away behind the engine's
// back nor drops a download without the question.
void CZarnWebInstallerDlg::OnOK() { OnCloseRequest(IDOK); }
void CZarnWebInstallerDlg::OnCancel() { OnCloseRequest(IDCANCEL); }

void CZarnWebInstallerDlg::OnCloseRequest(INT_PTR result) {
  switch (monitor.CloseRequested()) {
    case ProgressMonitor::CloseOutcome::Ask:
      ConfirmCancel();
      break;
    case ProgressMonitor::CloseOutcome::Ignore:
      break;
    case ProgressMonitor::CloseOutcome::End:
      EndDialog(result);
      break;
  }
}

void CZarnWebInstallerDlg::OnPaint() {
  if (::IsIconic(m_hWnd)) {
    framework::CPaintDC paint(m_hWnd);
    ::SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(static_cast<HDC>(paint)), 0);
    RECT rc{};
    ::GetClientRect(m_hWnd, &rc);
    ::DrawIcon(paint, (rc.right - ::GetSystemMetrics(SM_CXICON) + 1) / 2,
               (rc.bottom - ::GetSystemMetrics(SM_CYICON) + 1) / 2, appIcon);
  }
}

void CZarnWebInstallerDlg::OnMouseMove(POINT pt) {
  dragging = FALSE;
  const bool onClose = Contains(layout.closeRect, pt), onMin = !onClose && Contains(layout.minRect, pt);
  ::SetCursor(::LoadCursorW(nullptr, onClose || onMin ? IDC_HAND : IDC_ARROW));
  if (onClose) {
    if (!closeHot) ui::DrawGlyph(m_hWnd, layout.closeRect, skin.Drawn(ui::SkinCloseHot));
    closeHot = TRUE;
  } else if (onMin) {
    if (!minHot) ui::DrawGlyph(m_hWnd, layout.minRect, skin.Drawn(ui::SkinMinHot));
    minHot = TRUE;
  } else if (closeHot) {
    // One glyph per move: when both were hot, the minimise glyph follows next move.
    closeHot = FALSE;
    ui::DrawGlyph(m_hWnd, layout.closeRect, skin.Drawn(ui::SkinCloseNormal));
  } else if (minHot) {
    minHot = FALSE;
    ui::DrawGlyph(m_hWnd, layout.minRect, skin.Drawn(ui::SkinMinNormal));
  }
}

bool CZarnWebInstallerDlg::OnLButtonDown(POINT pt) {
  if (closeHot) {
    ConfirmCancel();
    return true;
  }
  if (minHot) ::ShowWindow(m_hWnd, SW_MINIMIZE);
  RECT client{};
  ::GetClientRect(m_hWnd, &client);
  if (Contains(ui::DragStrip(client.right - client.left, dpi), pt)) {
    dragging = TRUE;
    ::PostMessageW(m_hWnd, WM_NCLBUTTONDOWN, HTCAPTION,
                   static_cast<LPARAM>((static_cast<DWORD>(pt.y) << 16) | (static_cast<DWORD>(pt.x) & 0xFFFF)));
  } else {
    dragging = FALSE;
  }
  return false;
}

bool CZarnWebInstallerDlg::OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  if (OnDpiMessage(msg, wp, lp, result)) return true;
  const POINT pt{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
  switch (msg) {
    case WM_SYSCOMMAND:
      return false;  // the default handling for every command
    case WM_PAINT: {
      OnPaint();
      switch (ui::TakePaintRequest(progressDirty, statusDirty)) {
        case ui::PaintRequest::Progress:
          ui::PaintProgress(m_hWnd, layout, skinSet, monitor.bytesDone, monitor.bytesTotal, ui::progressPhase);
          *result = 0;
          return true;
        case ui::PaintRequest::Status:
          ui::PaintStatus(m_hWnd, layout, skinSet, statusText);
          *result = 0;
          return true;
        case ui::PaintRequest::Default:
          return false;  // the dialog's own painting, which erases through us
      }
      return false;
    }
    case WM_QUERYDRAGICON:
      *result = reinterpret_cast<LRESULT>(appIcon);
      return true;
    case WM_ERASEBKGND:
      if (!dragging) ui::PaintBackground(m_hWnd, reinterpret_cast<HDC>(wp), layout, skinSet, plan.productName);
      *result = 0;
      return true;
    case WM_MOUSEMOVE:
      OnMouseMove(pt);
      return false;
    case WM_LBUTTONDOWN:
      if (OnLButtonDown(pt)) {
        *result = 0;
        return true;
      }
      return false;
    case WM_LBUTTONUP:
      dragging = FALSE;
      return false;
    case WM_TIMER:
      if (wp != kProgressTimerId) return false;
      OnTimer();
      *result = 0;
      return true;
    case WM_COMMAND:
      if (LOWORD(wp) == IDC_CANCEL_BUTTON && HIWORD(wp) == BN_CLICKED) {
        ConfirmCancel();
        *result = 0;
        return true;
      }
      return false;
    default:
      return false;
  }
}

}  // namespace app
