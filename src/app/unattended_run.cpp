#include "app/unattended_run.h"

#include "app/progress_monitor.h"
#include "download/download_manager.h"

namespace app {

RunResult RunUnattended(const RunStart& run, CSupportLog* log, const PackageStartFn& startPackage,
                        const SleepFn& sleep) {
  RunResult result;
  if (run.verdict != RunStart::kReady) {
    result.end = RunEnd::kNoConfiguration;
    return result;
  }
  ProgressMonitor monitor;
  TickResult tick;
  if (StartRunEngine(run, log)) {
    monitor.EngineStarted();
    tick.nextTimerMs = kTickMs;
  } else {
    tick = monitor.StartFailed();
  }
  for (;;) {
    for (const MonitorAction& action : tick.actions) {
      switch (action.kind) {
        case MonitorAction::LaunchInstaller:
          result.packageStarted = startPackage(run.targetPath, DownloadedLink().quietArgs);
          break;
        case MonitorAction::DeletePackage:
          DiscardPackage(run.targetPath);
          break;
        case MonitorAction::ShowStatus:
        case MonitorAction::ShowProgress:
        case MonitorAction::EndDialog:
          break;  // nothing to show, and the loop ends with the ticks
      }
    }
    if (!tick.nextTimerMs) break;
    sleep(tick.nextTimerMs);
    tick = monitor.Tick(monitor.EngineRunning() ? ReadDownloadStatus() : DownloadStatus{});
  }
  ReleaseDownloadObjects();
  result.end = monitor.end;
  return result;
}

}  // namespace app
