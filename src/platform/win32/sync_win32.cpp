#include "platform/sync.h"

#include <windows.h>

namespace platform {

struct Event::Impl {
  HANDLE h;
};

Event::Event(bool manualReset, bool initialState)
    : impl_(new Impl{CreateEventW(nullptr, manualReset ? TRUE : FALSE, initialState ? TRUE : FALSE, nullptr)}) {}

Event::~Event() {
  if (impl_->h) CloseHandle(impl_->h);
  delete impl_;
}

bool Event::Set() { return impl_->h && SetEvent(impl_->h) != 0; }
bool Event::Reset() { return impl_->h && ResetEvent(impl_->h) != 0; }
bool Event::Wait(uint32_t ms) {
  return impl_->h && WaitForSingleObject(impl_->h, ms == kInfinite ? INFINITE : ms) == WAIT_OBJECT_0;
}

struct Lock::Impl {
  CRITICAL_SECTION cs;
};

Lock::Lock() : impl_(new Impl) { InitializeCriticalSection(&impl_->cs); }
Lock::~Lock() {
  DeleteCriticalSection(&impl_->cs);
  delete impl_;
}
void Lock::Enter() { EnterCriticalSection(&impl_->cs); }
void Lock::Leave() { LeaveCriticalSection(&impl_->cs); }

struct Thread::Impl {
  HANDLE h = nullptr;
  ~Impl() {
    if (h) CloseHandle(h);
  }
};

namespace {
// The procedure and its argument live in a block of their own that the thread
// reads once at its start, so destroying the Thread object early is harmless.
struct Start {
  Thread::Proc proc;
  void* param;
};

DWORD WINAPI ThreadEntry(LPVOID p) {
  Start s = *static_cast<Start*>(p);
  delete static_cast<Start*>(p);
  return s.proc(s.param);
}
}  // namespace

std::unique_ptr<Thread> Thread::CreateSuspended(Proc proc, void* param) {
  auto* start = new Start{proc, param};
  HANDLE h = CreateThread(nullptr, 0, ThreadEntry, start, CREATE_SUSPENDED, nullptr);
  if (!h) {
    delete start;
    return nullptr;
  }
  auto impl = std::make_shared<Impl>();
  impl->h = h;
  return std::unique_ptr<Thread>(new Thread(std::move(impl)));
}

Thread::~Thread() = default;

bool Thread::Resume() { return ResumeThread(impl_->h) != static_cast<DWORD>(-1); }

bool Thread::Join(uint32_t ms) {
  return WaitForSingleObject(impl_->h, ms == kInfinite ? INFINITE : ms) == WAIT_OBJECT_0;
}

}  // namespace platform
