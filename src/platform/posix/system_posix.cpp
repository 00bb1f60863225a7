#include "platform/system.h"

#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/text.h"

namespace platform {

uint32_t LastErrorCode() { return static_cast<uint32_t>(errno); }

std::u16string ErrorMessage(uint32_t code) {
  char buf[256];
  // The GNU variant may return a static string instead of filling buf.
  const char* msg = strerror_r(static_cast<int>(code), buf, sizeof buf);
  std::string s = msg ? msg : "";
  s = s.substr(0, s.find_first_of("\r\n"));
  return Utf8ToWide(s);
}

void DebugOutput(const std::u16string& line) {
  std::string s = WideToUtf8(line);
  std::fprintf(stderr, "%s\n", s.c_str());
}

void SleepMs(uint32_t ms) {
  timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

std::u16string ExecutablePath() {
  std::string buf(4096, '\0');
  ssize_t n = readlink("/proc/self/exe", &buf[0], buf.size());
  if (n <= 0) return {};
  buf.resize(static_cast<size_t>(n));
  return Utf8ToWide(buf);
}

uint64_t TickMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

// Shared objects are found through the loader's own configuration, never in the
// program's folder: nothing to limit.
bool HardenLibrarySearch() { return true; }

std::u16string TempFolder() {
  const char* dir = std::getenv("TMPDIR");
  std::string d = dir && *dir ? dir : "/tmp";
  while (d.size() > 1 && d.back() == '/') d.pop_back();
  return Utf8ToWide(d);
}

LocalTime LocalTimeNow() {
  const time_t now = time(nullptr);
  tm t{};
  localtime_r(&now, &t);
  return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

}  // namespace platform
