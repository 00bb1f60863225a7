// Forced into every Windows compilation that may include gtest: GCC 12's win32
// thread model has no std::mutex, which gtest's one Notification class uses. This
// stands in for it with a manual-reset kernel event.
#pragma once
#if defined(_WIN32) && defined(__cplusplus)
struct _SECURITY_ATTRIBUTES;
extern "C" __declspec(dllimport) void* __stdcall CreateEventW(_SECURITY_ATTRIBUTES*, int, int, const wchar_t*);
extern "C" __declspec(dllimport) int __stdcall SetEvent(void*);
extern "C" __declspec(dllimport) int __stdcall CloseHandle(void*);
extern "C" __declspec(dllimport) unsigned long __stdcall WaitForSingleObject(void*, unsigned long);
#define GTEST_HAS_NOTIFICATION_ 1
namespace testing {
namespace internal {
class Notification {
 public:
  Notification() : event_(CreateEventW(nullptr, 1, 0, nullptr)) {}
  ~Notification() { CloseHandle(event_); }
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;
  void Notify() { SetEvent(event_); }
  void WaitForNotification() { WaitForSingleObject(event_, 0xFFFFFFFFul); }

 private:
  void* event_;
};
}  // namespace internal
}  // namespace testing
#endif
