// zarn-fetch [--sha256 HEX] [--retries N] LINK TARGET [FALLBACK]
// Runs the download engine once, as the installer window would, and prints every
// change of state with the byte counts. The options may stand anywhere on the line:
// --sha256 names the digest the package must have (from either link), --retries how
// often a broken transfer is tried again (0..10, default 3). Exit code 0 exactly
// when the package arrived (final state 8); 1 otherwise; 2 for a bad command line.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/link_repair.h"
#include "config/installer_config.h"
#include "download/download_manager.h"
#include "platform/system.h"
#include "platform/text.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: zarn-fetch [--sha256 HEX] [--retries N] LINK TARGET [FALLBACK]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::u16string> positional;
  std::u16string sha256;
  int retries = InstallerConfig::kDefaultRetries;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--sha256" || a == "--retries") {
      if (i + 1 >= argc) return Usage();
      const std::u16string value = platform::Utf8ToWide(argv[++i]);
      if (a == "--sha256" ? !ParseSha256Text(value, &sha256) : !ParseRetriesText(value, &retries)) {
        std::fprintf(stderr, "zarn-fetch: %s wants %s, not \"%s\"\n", a.c_str(),
                     a == "--sha256" ? "64 hex digits" : "a count", argv[i]);
        return 2;
      }
    } else if (a.compare(0, 2, "--") == 0) {
      return Usage();
    } else {
      positional.push_back(platform::Utf8ToWide(a));
    }
  }
  if (positional.size() < 2 || positional.size() > 3) return Usage();
  std::u16string link = positional[0];
  std::u16string target = positional[1];
  std::u16string fallback = positional.size() == 3 ? positional[2] : std::u16string();
  // The same repair the installer window makes before it starts the engine.
  app::RepairLinks(&link, &fallback);
  CDownloadManager* manager = CDownloadManager::Instance();
  manager->downloadSha256 = manager->fallbackSha256 = sha256;
  manager->retries = retries;
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
