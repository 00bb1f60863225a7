// zarn-fetch [--sha256 HEX] [--retries N] [--segments N] LINK TARGET [FALLBACK]
// Runs the download engine once, as the installer window would, and prints every
// change of state with the byte counts. The options may stand anywhere on the line:
// --sha256 names the digest the package must have (from either link), --retries how
// often a broken transfer is tried again (0..10, default 3), --segments over how
// many connections at once the package is fetched (1..8, default 1; counts out of
// range are read as the nearest one allowed, as in the configuration). On failure
// the last line says why, in words, with the engine's reason number. Exit code 0
// exactly when the package arrived (final state 8); 1 otherwise; 2 for a bad
// command line.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "config/installer_config.h"
#include "config/package_link.h"
#include "download/download_manager.h"
#include "download/engine_poll.h"
#include "platform/text.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: zarn-fetch [--sha256 HEX] [--retries N] [--segments N] LINK TARGET [FALLBACK]\n");
  return 2;
}

std::string Why(const EngineFailure& failure) {
  return platform::WideToUtf8(DescribeFailure(failure)) + " [reason " +
         std::to_string(static_cast<uint32_t>(failure.reason)) + " " + FailureReasonName(failure.reason) + "]";
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::u16string> positional;
  EngineSettings settings;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--sha256" || a == "--retries" || a == "--segments") {
      if (i + 1 >= argc) return Usage();
      const std::u16string value = platform::Utf8ToWide(argv[++i]);
      const bool ok = a == "--sha256"    ? ParseSha256Text(value, &settings.download.sha256)
                      : a == "--retries" ? ParseCountText(value, 0, InstallerConfig::kMaxRetries, &settings.retries)
                                         : ParseCountText(value, 1, InstallerConfig::kMaxSegments, &settings.segments);
      if (!ok) {
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
  settings.download.url = positional[0];
  settings.targetPath = positional[1];
  if (positional.size() == 3) settings.fallback.url = positional[2];
  settings.fallback.sha256 = settings.download.sha256;
  // The same repair the installer window makes before it starts the engine.
  RepairLinks(&settings.download.url, &settings.fallback.url);
  if (!StartDownloadEngine(settings)) {
    std::fprintf(stderr, "zarn-fetch: the download could not be started: %s\n", Why(ReadDownloadFailure()).c_str());
    ReleaseDownloadObjects();
    return 1;
  }
  int32_t shown = 0;
  const DownloadStatus last = WaitForDownloadEnd(50, [&](const DownloadStatus& s, uint64_t ms) {
    if (s.state == shown) return;
    std::printf("%8llu ms  state %2d  %llu / %llu bytes\n", static_cast<unsigned long long>(ms), s.state,
                static_cast<unsigned long long>(s.bytesDone), static_cast<unsigned long long>(s.bytesTotal));
    std::fflush(stdout);
    shown = s.state;
  });
  const EngineFailure failure = ReadDownloadFailure();
  ReleaseDownloadObjects();
  if (last.state == STATUS_PREPARE_INSTALL) return 0;
  std::printf("failed: %s\n", Why(failure).c_str());
  return 1;
}
