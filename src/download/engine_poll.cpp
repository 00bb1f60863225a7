#include "download/engine_poll.h"

#include "platform/system.h"

DownloadStatus WaitForDownloadEnd(uint32_t pollMs, const EnginePollFn& onPoll, uint64_t limitMs) {
  const uint64_t t0 = platform::TickMs();
  for (;;) {
    const DownloadStatus s = ReadDownloadStatus();
    const uint64_t elapsed = platform::TickMs() - t0;
    if (onPoll) onPoll(s, elapsed);
    if (s.state == STATUS_PREPARE_INSTALL || s.state == STATUS_FINISHED || elapsed > limitMs) return s;
    platform::SleepMs(pollMs);
  }
}
