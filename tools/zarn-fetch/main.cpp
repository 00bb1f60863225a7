// zarn-fetch LINK TARGET [FALLBACK]
// Runs the download engine once, as the installer window would, and prints every
// change of state with the byte counts. Exit code 0 exactly when the package
// arrived (final state 8); 1 otherwise; 2 for a bad command line.
#include <cstdio>
#include <cstring>

#include "download/download_manager.h"
#include "platform/system.h"
#include "platform/text.h"

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4 || std::strcmp(argv[1], "--help") == 0) {
    std::fprintf(stderr, "usage: zarn-fetch LINK TARGET [FALLBACK]\n");
    return 2;
  }
  std::u16string link = platform::Utf8ToWide(argv[1]);
  std::u16string target = platform::Utf8ToWide(argv[2]);
  std::u16string fallback = argc == 4 ? platform::Utf8ToWide(argv[3]) : std::u16string();
  CDownloadManager* manager = CDownloadManager::Instance();
  if (!manager->Start(link, fallback, target)) {
    std::fprintf(stderr, "zarn-fetch: the download could not be started\n");
    ReleaseDownloadObjects();
    return 1;
  }
  g_downloadStatus.state = STATUS_INIT;
  g_downloadStatus.bytesDone = 0;
  manager->ResumeWorker();
  const uint64_t t0 = platform::TickMs();
  int32_t shown = 0;
  DownloadStatus s{};
  for (;;) {
    s = ReadDownloadStatus();
    if (s.state != shown) {
      std::printf("%8llu ms  state %2d  %llu / %llu bytes\n", static_cast<unsigned long long>(platform::TickMs() - t0),
                  s.state, static_cast<unsigned long long>(s.bytesDone), static_cast<unsigned long long>(s.bytesTotal));
      std::fflush(stdout);
      shown = s.state;
    }
    if (s.state == STATUS_PREPARE_INSTALL || s.state == STATUS_FINISHED) break;
    platform::SleepMs(50);
  }
  ReleaseDownloadObjects();
  return s.state == STATUS_PREPARE_INSTALL ? 0 : 1;
}
