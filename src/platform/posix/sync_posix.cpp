#include "platform/sync.h"

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace platform {

// The state is an atomic so that a zero-time test reads it without the mutex or the
// condition variable: the engine tests its events once per 4096-byte read, and a
// timed wait whose deadline has already passed still costs a trip into the kernel's
// timer code (tens of microseconds each). Changes that can release a waiter stay
// under the mutex, so no waiter misses a Set.
struct Event::Impl {
  std::mutex m;
  std::condition_variable cv;
  const bool manual;
  std::atomic<bool> set;

  // True when the event is signalled; an automatic event is consumed by the same
  // atomic step, so one Set releases exactly one of any number of testers and waiters.
  bool TakeOrTest() { return manual ? set.load() : set.exchange(false); }
};

Event::Event(bool manualReset, bool initialState) : impl_(new Impl{{}, {}, manualReset, {initialState}}) {}
Event::~Event() { delete impl_; }

bool Event::Set() {
  std::lock_guard<std::mutex> g(impl_->m);
  impl_->set = true;
  if (impl_->manual) impl_->cv.notify_all(); else impl_->cv.notify_one();
  return true;
}

bool Event::Reset() {
  impl_->set = false;
  return true;
}

bool Event::Wait(uint32_t ms) {
  if (ms == 0) return impl_->TakeOrTest();
  std::unique_lock<std::mutex> g(impl_->m);
  auto ready = [this] { return impl_->TakeOrTest(); };
  if (ms == kInfinite) {
    impl_->cv.wait(g, ready);
    return true;
  }
  return impl_->cv.wait_for(g, std::chrono::milliseconds(ms), ready);
}

struct Lock::Impl {
  std::recursive_mutex m;  // critical sections may be re-entered by their owner
};

Lock::Lock() : impl_(new Impl) {}
Lock::~Lock() { delete impl_; }
void Lock::Enter() { impl_->m.lock(); }
void Lock::Leave() { impl_->m.unlock(); }

struct Thread::Impl {
  Proc proc;
  void* param;
  pthread_t tid{};
  std::mutex m;
  std::condition_variable cv;
  bool resumed = false;
  bool finished = false;
  bool joined = false;
};

namespace {
void* Trampoline(void* p) {
  // The Impl outlives the thread body: it is shared between the thread and its
  // owner and freed by whichever lets go last.
  auto* impl = static_cast<std::shared_ptr<Thread::Impl>*>(p);
  std::shared_ptr<Thread::Impl> self = *impl;
  delete impl;
  {
    std::unique_lock<std::mutex> g(self->m);
    self->cv.wait(g, [&] { return self->resumed; });
  }
  self->proc(self->param);
  {
    std::lock_guard<std::mutex> g(self->m);
    self->finished = true;
  }
  self->cv.notify_all();
  return nullptr;
}

}  // namespace

std::unique_ptr<Thread> Thread::CreateSuspended(Proc proc, void* param) {
  auto shared = std::make_shared<Impl>();
  shared->proc = proc;
  shared->param = param;
  auto* arg = new std::shared_ptr<Impl>(shared);
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  int rc = pthread_create(&shared->tid, &attr, Trampoline, arg);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    delete arg;
    return nullptr;
  }
  return std::unique_ptr<Thread>(new Thread(std::move(shared)));
}

Thread::~Thread() = default;

bool Thread::Resume() {
  auto& self = impl_;
  {
    std::lock_guard<std::mutex> g(self->m);
    self->resumed = true;
  }
  self->cv.notify_all();
  return true;
}

bool Thread::Join(uint32_t ms) {
  auto& self = impl_;
  std::unique_lock<std::mutex> g(self->m);
  auto done = [&] { return self->finished; };
  if (ms == kInfinite) {
    self->cv.wait(g, done);
    return true;
  }
  return self->cv.wait_for(g, std::chrono::milliseconds(ms), done);
}

}  // namespace platform
