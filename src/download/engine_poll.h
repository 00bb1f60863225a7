// Waiting for the engine's last word by polling the shared status record, for the
// callers that have no window timer to do it: zarn-fetch, the kit's online check,
// the benchmark runner and the tests.
#pragma once

#include <cstdint>
#include <functional>

#include "download/download_status.h"

// Polls g_downloadStatus every pollMs from just after StartDownloadEngine until the
// engine's last state (8 or 10), or until limitMs have passed; returns the last copy.
// onPoll, when given, sees every copy with the time since the first poll, the last
// one included.
using EnginePollFn = std::function<void(const DownloadStatus& status, uint64_t elapsedMs)>;
DownloadStatus WaitForDownloadEnd(uint32_t pollMs, const EnginePollFn& onPoll = {}, uint64_t limitMs = UINT64_MAX);
