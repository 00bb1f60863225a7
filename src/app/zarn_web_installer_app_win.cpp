#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include "app/zarn_web_installer_app.h"

#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/exit_codes.h"
#include "app/instance_lock_win.h"
#include "app/package_hand_off.h"
#include "app/run_start.h"
#include "app/support_log.h"
#include "app/unattended_run.h"
#include "app/zarn_web_installer_dlg.h"
#include "app/embedded_kit.h"
#include "platform/text.h"
#include "zarn_version_info.h"
#include "platform/system.h"
#include "platform/win32/system_library.h"

namespace app {

CZarnWebInstallerApp theApp;

namespace {

// The arguments after the program's name, split by the system's rules.
std::vector<std::u16string> Arguments() {
  std::vector<std::u16string> args;
  int count = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!argv) return args;
  for (int i = 1; i < count; ++i) args.push_back(platform::FromW(argv[i]));
  ::LocalFree(argv);
  return args;
}

void WriteHeader(CSupportLog* log) {
  log->Write(u"ZarnWebInstaller " + platform::Utf8ToWide(ZARN_VI_VERSION));
  log->Write(u"command line: " + platform::FromW(::GetCommandLineW()));
}

// The package's process, once handed on: an unattended run waits for it and takes
// its exit code; a normal run lets it go, as it always has.
void EndWithThePackage(PackageProcess* package, bool wait, RunResult* result, CSupportLog* log) {
  if (!package->process) return;
  if (wait) {
    uint32_t code = 0;
    result->waited = WaitForPackage(package->process, &code);
    result->packageExit = code;
    if (log) {
      log->Write(result->waited ? u"package ended with exit code " + platform::Decimal(code)
                                : u"package: its exit code could not be read");
    }
  }
  ::CloseHandle(package->process);
  package->process = nullptr;
}

}  // namespace

BOOL CZarnWebInstallerApp::InitInstance() {
  // The image button's tooltip is a common control.
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES};
  BOOL(WINAPI * initCommonControls)(const INITCOMMONCONTROLSEX*) = nullptr;
  if (platform::BindProc(platform::LoadSystemLibrary(L"comctl32.dll"), "InitCommonControlsEx", &initCommonControls))
    initCommonControls(&icc);
  // The window's thread is a COM apartment, as the shell's hand-off and the screen
  // readers' annotation of the status text expect.
  const bool com = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  SetRegistryKey(L"Local AppWizard-Generated Applications");

  const CommandLine line = ParseCommandLine(Arguments());
  std::unique_ptr<CSupportLog> log;
  if (line.log) {
    log.reset(new CSupportLog(line.logFile));
    WriteHeader(log.get());
  }
  RunResult result;
  if (line.Bad() || line.help) {
    // Nothing is downloaded; only a normal run has someone to tell.
    if (log) log->Write(line.Bad() ? u"bad command line: unknown argument " + line.unknown : u"help asked for");
    const bool show = line.Bad() ? line.mode == RunMode::kNormal : line.mode != RunMode::kQuiet;
    if (show) {
      const std::u16string help = CommandLineHelp(platform::FromW(AppName()), line.unknown);
      ::MessageBoxW(nullptr, platform::W(help), AppName(), MB_OK | (line.Bad() ? MB_ICONERROR : MB_ICONINFORMATION));
    }
    exitCode = line.Bad() ? kExitBadCommandLine : kExitSuccess;
  } else if (line.mode == RunMode::kQuiet) {
    PackageProcess package;
    KitFiles kit;
    LoadEmbeddedKit(&kit);
    const RunStart run = PrepareRun(CZarnWebInstallerDlg::ModulePath(), kit, log.get());
    // One installer per package, as the window keeps it; a quiet run has no window
    // to bring forward and just says so.
    CInstanceLock lock;
    if (run.verdict == RunStart::kReady && !lock.Take(run.targetPath)) {
      if (log) log->Write(u"another installer is at work on this package: this one ends");
      result.end = RunEnd::kAlreadyRunning;
    } else {
      result = RunUnattended(
        run, log.get(),
        [&](const std::u16string& path, const std::u16string& args) {
          package = HandOffPackage(nullptr, path, args, log.get());
          return package.process != nullptr;
        },
        [](uint32_t ms) { ::Sleep(ms); });
    }
    EndWithThePackage(&package, true, &result, log.get());
    exitCode = ExitCodeFor(result, log && log->Failed());
  } else {
    CZarnWebInstallerDlg dlg;
    dlg.mode = line.mode;
    dlg.log = log.get();
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    result = dlg.Result();
    EndWithThePackage(&dlg.package, line.mode == RunMode::kPassive, &result, log.get());
    exitCode = ExitCodeFor(result, log && log->Failed());
  }
  if (log) {
    log->Settle(u"ZarnWebInstaller");
    log->Write(u"exit code " + platform::Decimal(exitCode));
    // The last line may be the one that could not be written.
    if (exitCode == kExitSuccess && log->Failed()) exitCode = kExitLogFailed;
  }
  if (com) ::CoUninitialize();
  // No message loop follows: the application ends with its run.
  return FALSE;
}

}  // namespace app

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Before anything can load a DLL by name: the program is started from folders
  // where anyone may have left a DLL of a system name.
  platform::HardenLibrarySearch();
  return app::theApp.Start();
}
