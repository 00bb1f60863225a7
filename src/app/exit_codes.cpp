#include "app/exit_codes.h"

namespace app {

uint32_t ExitCodeFor(const RunResult& run, bool logFailed) {
  uint32_t code = kExitFailed;
  switch (run.end) {
    case RunEnd::kNoConfiguration: code = kExitNoConfiguration; break;
    case RunEnd::kCancelled: code = kExitCancelled; break;
    case RunEnd::kAlreadyRunning: code = kExitAlreadyRunning; break;
    case RunEnd::kLaunched:
      code = !run.packageStarted ? kExitFailed : run.waited ? run.packageExit : kExitSuccess;
      break;
    case RunEnd::kNone:
    case RunEnd::kStartFailed:
    case RunEnd::kFailed:
      break;
  }
  return code == kExitSuccess && logFailed ? kExitLogFailed : code;
}

}  // namespace app
