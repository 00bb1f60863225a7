// The decisions of the installer window's progress timer, cancellation and hand-off,
// kept apart from the window so that whole flows can be driven without one. Each
// tick takes a copy of the engine's status and answers with what the window must do,
// in order, and when the timer fires next; the window only applies the answer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/exit_codes.h"
#include "download/download_status.h"

namespace app {

constexpr uint32_t kProgressTimerId = 0x8001;
constexpr uint32_t kTickMs = 250;
// Between "Download cancelled." and the engine's last word.
constexpr uint32_t kCancelledTickMs = 1000;
// How long "Download failed." stays when the engine could not even start.
constexpr uint32_t kFailedStartHoldMs = 2000;

// Set by the first tick that sees the package ready, cleared by the tick that starts
// it. One per process.
extern bool launchArmed;

struct MonitorAction {
  enum Kind {
    ShowStatus,       // value: the status code whose text to show
    ShowProgress,     // value: bytes done, painted at once
    EndDialog,        // close the window (IDCANCEL)
    LaunchInstaller,  // start the package with the shell's "open"
    DeletePackage,    // remove the downloaded package
  };
  Kind kind;
  uint64_t value;
  bool operator==(const MonitorAction& o) const { return kind == o.kind && value == o.value; }
};

struct TickResult {
  std::vector<MonitorAction> actions;
  uint32_t nextTimerMs = 0;  // 0: the timer is not set again
};

class ProgressMonitor {
 public:
  // The engine could not prepare the download: show the failure for a moment, then
  // close. Nothing of the engine is polled from here on.
  TickResult StartFailed();

  // One timer tick with a consistent copy of the engine's status.
  TickResult Tick(const DownloadStatus& status);

  // The cancel confirmation. BeginConfirm is false when there is nothing to confirm
  // (already cancelled, or no engine running); otherwise the window holds the
  // transfers, asks, and reports the answer with EndConfirm.
  bool BeginConfirm();
  void EndConfirm(bool yes);

  // A key or the system asks the window to close (Enter, Escape, Alt+F4). While the
  // engine runs nothing ends without the question: the user is asked, as by Cancel,
  // unless the question is open or a cancel is under way, when nothing happens.
  // Without a running engine the window may end at once.
  enum class CloseOutcome { Ask, Ignore, End };
  CloseOutcome CloseRequested() const;

  // Whether the engine is running under the window, so that closing the window must
  // go through the confirmation instead.
  bool EngineRunning() const { return engineStarted && !startFailed; }
  void EngineStarted() { engineStarted = true; }

  // Progress as shown: the band never moves back.
  uint64_t bytesDone = 0;
  uint64_t bytesTotal = 0;
  int32_t lastShownState = 0;
  bool cancelRequested = false;
  bool confirming = false;
  bool engineStarted = false;
  bool startFailed = false;
  // How the run ended, once a tick ended it (or handed the package on).
  RunEnd end = RunEnd::kNone;

 private:
  TickResult CancellingTick(int32_t state);
};

}  // namespace app
