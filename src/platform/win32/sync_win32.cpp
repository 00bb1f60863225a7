#include "platform/sync.h"

#include <windows.h>

#include <atomic>

namespace platform {

// A manual-reset event keeps a copy of its state beside the kernel object, so that
// a zero-time test reads memory instead of asking the kernel: the engine tests its
// events once per 4096-byte read, and under Wine each kernel wait is a round trip to
// the wineserver. The handle never leaves this file, so every change of state passes
// through Set and Reset; the lock keeps the copy and the object in step when two
// threads change them at once. An automatic event is consumed by a successful test,
// which only the kernel can do for all its waiters at once, so it asks the kernel.
struct Event::Impl {
  HANDLE h;
  bool manual;
  std::atomic<bool> set;
  CRITICAL_SECTION change;
};

Event::Event(bool manualReset, bool initialState)
    : impl_(new Impl{CreateEventW(nullptr, manualReset ? TRUE : FALSE, initialState ? TRUE : FALSE, nullptr),
                     manualReset, {initialState}, {}}) {
  InitializeCriticalSection(&impl_->change);
}

Event::~Event() {
  if (impl_->h) CloseHandle(impl_->h);
  DeleteCriticalSection(&impl_->change);
  delete impl_;
}

namespace {
bool ChangeState(Event::Impl* e, bool set) {
  if (!e->h) return false;
  EnterCriticalSection(&e->change);
  bool ok = (set ? SetEvent(e->h) : ResetEvent(e->h)) != 0;
  if (ok) e->set = set;
  LeaveCriticalSection(&e->change);
  return ok;
}
}  // namespace

bool Event::Set() { return ChangeState(impl_, true); }
bool Event::Reset() { return ChangeState(impl_, false); }

bool Event::Wait(uint32_t ms) {
  if (!impl_->h) return false;
  if (ms == 0 && impl_->manual) return impl_->set.load();
  return WaitForSingleObject(impl_->h, ms == kInfinite ? INFINITE : ms) == WAIT_OBJECT_0;
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
