// Events, locks and threads: kernel objects on Windows, their counterparts on Linux.
// The engine and the window meet only through these.
#pragma once

#include <cstdint>
#include <memory>

namespace platform {

constexpr uint32_t kInfinite = 0xFFFFFFFFu;

class Event {
 public:
  // manualReset: stays set until Reset(); otherwise a successful Wait resets it and
  // exactly one waiter is released per Set().
  Event(bool manualReset, bool initialState);
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  bool Set();
  bool Reset();
  // True when the event was signalled within ms milliseconds. 0 only tests;
  // kInfinite waits without a limit.
  bool Wait(uint32_t ms);

  struct Impl;

 private:
  Impl* impl_;
};

class Lock {
 public:
  Lock();
  ~Lock();
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
  void Enter();
  void Leave();

  struct Impl;

 private:
  Impl* impl_;
};

class LockGuard {
 public:
  explicit LockGuard(Lock& lock) : lock_(lock) { lock_.Enter(); }
  ~LockGuard() { lock_.Leave(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  Lock& lock_;
};

// A thread that is created suspended and runs its procedure only after Resume().
// Destroying a Thread releases the handle; it never stops or waits for the thread.
class Thread {
 public:
  using Proc = uint32_t (*)(void* param);

  // Null when the system refuses to create the thread.
  static std::unique_ptr<Thread> CreateSuspended(Proc proc, void* param);
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  bool Resume();
  // True when the thread has ended within ms milliseconds (0 tests, kInfinite waits).
  bool Join(uint32_t ms);

  struct Impl;

 private:
  explicit Thread(std::shared_ptr<Impl> impl) : impl_(std::move(impl)) {}
  std::shared_ptr<Impl> impl_;
};

}  // namespace platform
