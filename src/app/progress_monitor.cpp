#include "app/progress_monitor.h"

namespace app {

bool launchArmed = false;

TickResult ProgressMonitor::StartFailed() {
  startFailed = true;
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
    r.actions.push_back({MonitorAction::EndDialog, 0});
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

std::u16string PackageFileName(const std::u16string& productName) {
  std::u16string name = productName;
  for (char16_t& c : name) {
    if (c < 0x20 || c == u'\\' || c == u'/' || c == u':' || c == u'*' || c == u'?' || c == u'"' || c == u'<' ||
        c == u'>' || c == u'|')
      c = u'_';
  }
  // Device names stay devices whatever the extension ("NUL.exe" writes nowhere), so
  // they get a prefix.
  std::u16string stem = name.substr(0, name.find(u'.'));
  while (!stem.empty() && stem.back() == u' ') stem.pop_back();
  for (char16_t& c : stem)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  static const char16_t* const kDevices[] = {u"CON", u"PRN", u"AUX", u"NUL"};
  bool device = false;
  for (const char16_t* d : kDevices) device = device || stem == d;
  if (stem.size() == 4 && (stem.compare(0, 3, u"COM") == 0 || stem.compare(0, 3, u"LPT") == 0) &&
      stem[3] >= u'1' && stem[3] <= u'9')
    device = true;
  if (device) name.insert(name.begin(), u'_');
  return name + u".exe";
}

}  // namespace app
