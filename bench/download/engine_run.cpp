// bench_engine_run LINK TARGET [SEGMENTS]
// The engine in a process of its own, so that the benchmark can take its CPU time and
// peak memory apart from everything else. Prints "done <state>" the moment the
// transfer has its outcome (the engine's fixed pause before state 8 is not part of
// the transfer), then finishes as the installer does. Exit 0 exactly at state 8.
#include <cstdio>
#include <cstdlib>

#include "download/download_manager.h"
#include "download/engine_poll.h"
#include "platform/system.h"
#include "platform/text.h"

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: bench_engine_run LINK TARGET [SEGMENTS]\n");
    return 2;
  }
  EngineSettings settings;
  settings.download.url = platform::Utf8ToWide(argv[1]);
  settings.targetPath = platform::Utf8ToWide(argv[2]);
  if (argc == 4) settings.segments = std::atoi(argv[3]);
  if (!StartDownloadEngine(settings)) {
    ReleaseDownloadObjects();
    return 1;
  }
  int32_t state;
  // A 1 ms poll: the outcome is seen within a millisecond of the last flush.
  while ((state = ReadDownloadStatus().state) == STATUS_INIT || state == STATUS_DOWNLOADING) platform::SleepMs(1);
  std::printf("done %d\n", state);
  std::fflush(stdout);
  state = WaitForDownloadEnd(10).state;
  ReleaseDownloadObjects();
  return state == STATUS_PREPARE_INSTALL ? 0 : 1;
}
