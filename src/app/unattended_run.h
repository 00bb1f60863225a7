// A run without the window (/quiet): the same plan, the same engine start and the
// same ProgressMonitor decisions, ticked by a loop instead of a window timer, with
// nothing drawn and nothing asked.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/exit_codes.h"
#include "app/run_start.h"
#include "app/support_log.h"

namespace app {

// Starts the package (path, arguments) and answers whether it was started; the
// run's result takes what it reports.
using PackageStartFn = std::function<bool(const std::u16string& path, const std::u16string& args)>;
using SleepFn = std::function<void(uint32_t ms)>;

// From a prepared run to its end: the engine's run, then the hand-off with the
// downloaded link's quiet arguments. The engine's objects are released before it
// returns. log may be null.
RunResult RunUnattended(const RunStart& run, CSupportLog* log, const PackageStartFn& startPackage,
                        const SleepFn& sleep);

}  // namespace app
