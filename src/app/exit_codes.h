// The installer's exit codes. Administrators script against these numbers (the
// README lists them): a code, once given, is never renumbered or reused.
#pragma once

#include <cstdint>

namespace app {

enum ExitCode : uint32_t {
  kExitSuccess = 0,              // the package was started (normal run), or ran and returned 0
  kExitCancelled = 1602,         // the user cancelled
  kExitFailed = 1603,            // the download failed, or the package could not be started
  kExitAlreadyRunning = 1618,    // another installer is at work on the same package
  kExitNoConfiguration = 1619,   // configuration missing or unreadable, or no usable link
  kExitLogFailed = 1622,         // the support log could not be written; nothing else failed
  kExitBadCommandLine = 1639,    // an argument the program does not know; nothing was downloaded
};

// How a run ended, as far as the exit code cares.
enum class RunEnd {
  kNone,             // not ended yet
  kNoConfiguration,  // "Xml file is missing!" or "Unrecognized URL"
  kAlreadyRunning,   // another installer holds the package
  kStartFailed,      // the engine could not start
  kFailed,           // the download failed
  kCancelled,
  kLaunched,         // the package was handed to the shell
};

struct RunResult {
  RunEnd end = RunEnd::kNone;
  bool packageStarted = false;  // with kLaunched: the shell started it
  bool waited = false;          // its process was waited for: packageExit is its code
  uint32_t packageExit = 0;
};

// The exit code of a run: the package's own when it was waited for; a log that
// could not be written shows only when nothing else went wrong.
uint32_t ExitCodeFor(const RunResult& run, bool logFailed);

}  // namespace app
