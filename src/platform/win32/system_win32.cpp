#include "platform/system.h"

#include <windows.h>

#include <atomic>
#include <vector>

#include "platform/text.h"
#include "platform/tick.h"

namespace platform {

uint32_t LastErrorCode() { return GetLastError(); }

std::u16string ErrorMessage(uint32_t code) {
  wchar_t* buf = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, 0, reinterpret_cast<LPWSTR>(&buf), 0, nullptr);
  std::u16string s = n ? FromW(buf, n) : std::u16string();
  if (buf) LocalFree(buf);
  size_t cut = s.find_first_of(u"\r\n");
  if (cut != std::u16string::npos) s.resize(cut);
  return s;
}

void DebugOutput(const std::u16string& line) { OutputDebugStringW(W(line)); }

void SleepMs(uint32_t ms) { Sleep(ms); }

std::u16string ExecutablePath() {
  std::vector<wchar_t> buf(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) return FromW(buf.data(), n);
    buf.resize(buf.size() * 2);
  }
}

// GetTickCount64 would be simpler but is absent before Vista, and the program starts
// on XP. Every caller shares one widened value, advanced by compare-and-swap, so
// the result never goes back even when threads race.
uint64_t TickMs() {
  static std::atomic<uint64_t> last{GetTickCount()};
  uint64_t seen = last.load();
  for (;;) {
    const uint64_t next = WidenTick(seen, GetTickCount());
    if (next == seen || last.compare_exchange_weak(seen, next)) return next;
  }
}

std::u16string TempFolder() {
  wchar_t buf[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, buf);
  if (n == 0 || n > MAX_PATH) return {};
  std::u16string d = FromW(buf, n);
  while (d.size() > 3 && (d.back() == u'\\' || d.back() == u'/')) d.pop_back();
  return d;
}

LocalTime LocalTimeNow() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

}  // namespace platform
