#include "app/progress_monitor.h"

namespace app {

bool launchArmed = false;

TickResult ProgressMonitor::StartFailed() {
  startFailed = true;
  end = RunEnd::kStartFailed;
  TickResult r;
  r.actions.push_back({MonitorAction::ShowStatus, STATUS_DOWNLOAD_FAILED});
  r.nextTimerMs = kFailedStartHoldMs;
  return r;
}

TickResult ProgressMonitor::CancellingTick(int32_t state) {
  TickResult r;
  switch (state) {
    case STATUS_FINISHED:
      r.actions.push_back({MonitorAction::EndDialog, 0});
      end = RunEnd::kCancelled;
      break;
    case STATUS_DOWNLOAD_CANCELLED:
      r.actions.push_back({MonitorAction::ShowStatus, STATUS_DOWNLOAD_CANCELLED});
      r.nextTimerMs = kCancelledTickMs;
      break;
    case STATUS_PREPARE_INSTALL:
      // The package was complete before the cancel was confirmed; the worker has
      // ended and will not report again. The user said no to installing, so the
      // package goes and the window with it.
      r.actions.push_back({MonitorAction::DeletePackage, 0});
      r.actions.push_back({MonitorAction::EndDialog, 0});
      end = RunEnd::kCancelled;
      break;
    default:
      r.actions.push_back({MonitorAction::ShowStatus, STATUS_DOWNLOAD_CANCELLING});
      r.nextTimerMs = kTickMs;
      break;
  }
  return r;
}

TickResult ProgressMonitor::Tick(const DownloadStatus& status) {
  if (startFailed) {
    TickResult r;
    r.actions.push_back({MonitorAction::EndDialog, 0});
    return r;
  }
  if (cancelRequested) return CancellingTick(status.state);

  TickResult r;
  bool ending = false;
  if (status.state == STATUS_DOWNLOAD_FAILED) {
    r.actions.push_back({MonitorAction::ShowStatus, STATUS_DOWNLOAD_FAILED});
  } else if (status.state == STATUS_FINISHED) {
    // Without a cancel the engine finishes only after a failure.
    r.actions.push_back({MonitorAction::EndDialog, 0});
    end = RunEnd::kFailed;
    ending = true;
  }
  bytesTotal = status.bytesTotal;
  if (status.state != lastShownState) {
    r.actions.push_back({MonitorAction::ShowStatus, static_cast<uint64_t>(status.state)});
    lastShownState = status.state;
  }
  if (status.bytesDone >= bytesDone && status.bytesDone != 0) {
    // Painted twice: each paint moves the bar's stripes on, so they keep moving
    // while the download stalls.
    bytesDone = status.bytesDone;
    r.actions.push_back({MonitorAction::ShowProgress, bytesDone});
    r.actions.push_back({MonitorAction::ShowProgress, bytesDone});
  }
  if (ending) return r;
  if (status.state == STATUS_PREPARE_INSTALL) {
    if (!launchArmed) {
      launchArmed = true;
    } else if (!confirming) {
      launchArmed = false;
      r.actions.push_back({MonitorAction::LaunchInstaller, 0});
      r.actions.push_back({MonitorAction::EndDialog, 0});
      end = RunEnd::kLaunched;
      return r;
    }
    // While the user is asked whether to cancel, the package is not started behind
    // the question; the answer decides on the next tick.
  }
  r.nextTimerMs = kTickMs;
  return r;
}

bool ProgressMonitor::BeginConfirm() {
  if (cancelRequested || confirming || !EngineRunning()) return false;
  confirming = true;
  return true;
}

void ProgressMonitor::EndConfirm(bool yes) {
  confirming = false;
  if (yes) cancelRequested = true;
}

ProgressMonitor::CloseOutcome ProgressMonitor::CloseRequested() const {
  if (!EngineRunning()) return CloseOutcome::End;
  return cancelRequested || confirming ? CloseOutcome::Ignore : CloseOutcome::Ask;
}

}  // namespace app
