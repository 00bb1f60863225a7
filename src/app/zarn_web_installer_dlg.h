// The installer window: one borderless skinned dialog that starts the download,
// shows its progress, confirms a cancel and hands the package to the shell. Its
// decisions are the ProgressMonitor's; the window draws and forwards.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "app/command_line.h"
#include "app/instance_lock_win.h"
#include "app/package_hand_off.h"
#include "app/progress_monitor.h"
#include "app/run_start.h"
#include "app/support_log.h"
#include "config/download_plan.h"
#include "config/kit_files.h"
#include "framework/dialog.h"
#include "ui/skin_images.h"
#include "ui/skin_scale.h"
#include "ui/window_layout.h"
#include "ui/window_paint.h"
#include "ui/zarn_button.h"

namespace app {

class CZarnWebInstallerDlg : public framework::CDialog {
 public:
  explicit CZarnWebInstallerDlg(framework::CWnd* parent = nullptr);
  ~CZarnWebInstallerDlg() override;

  // The executable's path; empty when it does not fit MAX_PATH.
  static std::u16string ModulePath();

  // Set before DoModal: a passive run asks nothing; the log hears the run.
  RunMode mode = RunMode::kNormal;
  CSupportLog* log = nullptr;
  // How the run ended, once the window has; the package's process when it was
  // handed on (the caller waits for it, and closes it).
  RunResult Result() const;
  PackageProcess package;

  HICON appIcon = nullptr;
  std::u16string moduleFolder;
  // The program's own path, and where its configuration, texts and skin come
  // from: the files beside it, or what it carries inside itself.
  std::u16string modulePath;
  KitFiles kit;
  // What this machine downloads: product name, links with their digests after the
  // patch rule and the repair, retries.
  DownloadPlan plan;
  std::u16string targetPath;
  std::u16string statusText;
  // Mode, shown progress, last shown state and the confirmed cancel.
  ProgressMonitor monitor;
  // The skin and the band's tiles, drawn at the window's DPI.
  ui::ScaledSkin skin;
  // painting state
  bool progressDirty = false;
  bool statusDirty = false;
  BOOL closeHot = FALSE;
  BOOL minHot = FALSE;
  BOOL dragging = FALSE;
  ui::WindowLayout layout;
  ui::SkinSet skinSet;
  int windowWidth = 0;
  ui::CZarnButton cancelButton;
  ui::CZarnButton helpLinkButton;

  // The window at its DPI: every length is written for 96 DPI and scaled.
  int dpi = ui::kBaseDpi;
  ui::Size logicalSize;  // the window in 96-DPI pixels: its background's size
  int Px(int value) const { return ui::Scale(value, dpi); }

  // What assistive technology reads: windows that carry the status text and the
  // percentage over the places they are painted, and paint nothing themselves.
  class CSilentChild : public framework::CWnd {
   protected:
    bool OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;
  };
  CSilentChild statusReader;
  CSilentChild progressReader;
  std::u16string progressReaderText;
  bool keyboardUsed = false;
  CInstanceLock instanceLock;

  void ShowStatus(int32_t code);
  void ShowProgress();
  void ConfirmCancel();

 protected:
  bool OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;
  void DoDataExchange(framework::CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  BOOL PreTranslateMessage(MSG* msg) override;

 private:
  void SizeWindowAndButtons();
  void ComputeLayout();
  void SetUpButtons();
  void StartEngine();
  void StartupError(const wchar_t* message);
  void OnTimer();
  void Apply(const TickResult& result);
  void OnPaint();
  void OnMouseMove(POINT pt);
  bool OnLButtonDown(POINT pt);
  void ReleaseEngineObjects();
  void OnCloseRequest(INT_PTR result);
  void LaunchPackage();
  // The run as prepared at initialisation: what the engine is started with.
  RunStart run;
  RunEnd startupEnd = RunEnd::kNone;

  // installer_window_scale_win.cpp
  int InitialDpi() const;
  // The window's size at its DPI (at the suggested place), its skin and its
  // buttons; oldDpi is the one the buttons' present sizes are at.
  void FitToDpi(int oldDpi, const RECT* suggested);
  // A new DPI: the above, then layout, readers and the buttons' faces and fonts.
  void ApplyDpi(int newDpi, const RECT* suggested);
  void SetCancelFaces();
  void SetButtonFonts();
  void FitCancelCaption();
  void KeepOwnLayout();
  bool OnDpiMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);

  // installer_window_access_win.cpp
  void CreateReaders();
  void PlaceReaders();
  void ReadStatus();
  void ReadProgress();
  void NoteKeyboardUse();
};

}  // namespace app
