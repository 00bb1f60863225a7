#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "platform/sync.h"
#include "platform/system.h"

using platform::Event;
using platform::kInfinite;
using platform::Thread;

namespace {

struct Waiter {
  Event* event;
  std::atomic<int>* woken;
};

uint32_t WaitOnce(void* p) {
  auto* w = static_cast<Waiter*>(p);
  if (w->event->Wait(2000)) ++*w->woken;
  return 0;
}

TEST(Event, AutomaticResetReleasesExactlyOneWaiterAndResets) {
  Event e(false, false);
  std::atomic<int> woken{0};
  Waiter w{&e, &woken};
  auto a = Thread::CreateSuspended(WaitOnce, &w);
  auto b = Thread::CreateSuspended(WaitOnce, &w);
  ASSERT_TRUE(a && b);
  a->Resume();
  b->Resume();
  platform::SleepMs(100);  // both are waiting now
  e.Set();
  platform::SleepMs(300);
  EXPECT_EQ(woken.load(), 1);
  EXPECT_FALSE(e.Wait(0)) << "the released waiter must have reset the event";
  e.Set();
  EXPECT_TRUE(a->Join(3000));
  EXPECT_TRUE(b->Join(3000));
  EXPECT_EQ(woken.load(), 2);
}

TEST(Event, ManualResetStaysSetUntilReset) {
  Event e(true, false);
  EXPECT_FALSE(e.Wait(0));
  e.Set();
  EXPECT_TRUE(e.Wait(0));
  EXPECT_TRUE(e.Wait(10));
  EXPECT_TRUE(e.Wait(kInfinite));
  e.Reset();
  EXPECT_FALSE(e.Wait(0));
  Event initiallySet(true, true);
  EXPECT_TRUE(initiallySet.Wait(0));
}

TEST(Event, ZeroWaitIsATestThatNeverBlocks) {
  Event e(false, false);
  uint64_t t0 = platform::TickMs();
  for (int i = 0; i < 1000; ++i) EXPECT_FALSE(e.Wait(0));
  // Generous bound: a blocking zero wait would show as a hang, not as milliseconds.
  EXPECT_LT(platform::TickMs() - t0, 5000u);
  e.Set();
  EXPECT_TRUE(e.Wait(0));
  EXPECT_FALSE(e.Wait(0)) << "a successful test of an automatic event consumes it";
}

struct Contest {
  Event* event;
  std::atomic<int>* wins;
  std::atomic<bool>* stop;
};

uint32_t TestUntilStopped(void* p) {
  auto* c = static_cast<Contest*>(p);
  while (!c->stop->load())
    if (c->event->Wait(0)) ++*c->wins;
  return 0;
}

uint32_t WaitBriefly(void* p) {
  auto* c = static_cast<Contest*>(p);
  if (c->event->Wait(300)) ++*c->wins;
  return 0;
}

TEST(Event, OneSetOfAnAutomaticEventReleasesOneOfManyTestersAndWaiters) {
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    Event e(false, false);
    std::atomic<int> wins{0};
    std::atomic<bool> stop{false};
    Contest c{&e, &wins, &stop};
    std::unique_ptr<Thread> threads[] = {Thread::CreateSuspended(TestUntilStopped, &c),
                                         Thread::CreateSuspended(TestUntilStopped, &c),
                                         Thread::CreateSuspended(WaitBriefly, &c)};
    for (auto& t : threads) ASSERT_TRUE(t && t->Resume());
    platform::SleepMs(5);
    e.Set();
    platform::SleepMs(20);
    stop = true;
    for (auto& t : threads) EXPECT_TRUE(t->Join(3000));
    EXPECT_EQ(wins.load(), 1);
    EXPECT_FALSE(e.Wait(0));
  }
}

TEST(Event, ManualEventChangesAreSeenByTestsOnOtherThreads) {
  Event e(true, false);
  std::atomic<int> wins{0};
  std::atomic<bool> stop{false};
  Contest c{&e, &wins, &stop};
  auto tester = Thread::CreateSuspended(TestUntilStopped, &c);
  ASSERT_TRUE(tester && tester->Resume());
  platform::SleepMs(20);
  EXPECT_EQ(wins.load(), 0);
  e.Set();
  for (int i = 0; i < 300 && wins.load() == 0; ++i) platform::SleepMs(10);
  EXPECT_GT(wins.load(), 0);
  e.Reset();
  platform::SleepMs(20);  // a test already under way may still count once
  int afterReset = wins.load();
  platform::SleepMs(50);
  EXPECT_EQ(wins.load(), afterReset) << "a reset event must test clear";
  stop = true;
  EXPECT_TRUE(tester->Join(3000));
  EXPECT_TRUE(e.Set() && e.Wait(0) && e.Wait(0)) << "a manual event is not consumed by a test";
}

TEST(Event, TimedWaitTimesOut) {
  Event e(true, false);
  uint64_t t0 = platform::TickMs();
  EXPECT_FALSE(e.Wait(100));
  EXPECT_GE(platform::TickMs() - t0, 90u);
}

uint32_t MarkRan(void* p) {
  static_cast<std::atomic<int>*>(p)->store(1);
  return 7;
}

TEST(Thread, SuspendedThreadRunsNothingBeforeResume) {
  std::atomic<int> ran{0};
  auto t = Thread::CreateSuspended(MarkRan, &ran);
  ASSERT_TRUE(t);
  platform::SleepMs(200);
  EXPECT_EQ(ran.load(), 0);
  EXPECT_FALSE(t->Join(0));
  ASSERT_TRUE(t->Resume());
  EXPECT_TRUE(t->Join(kInfinite));
  EXPECT_EQ(ran.load(), 1);
}

TEST(Thread, DestroyingTheObjectLeavesTheThreadRunning) {
  std::atomic<int> ran{0};
  {
    auto t = Thread::CreateSuspended(MarkRan, &ran);
    ASSERT_TRUE(t);
    t->Resume();
  }
  for (int i = 0; i < 200 && !ran.load(); ++i) platform::SleepMs(10);
  EXPECT_EQ(ran.load(), 1);
}

struct Counter {
  platform::Lock lock;
  long value = 0;
};

uint32_t AddMany(void* p) {
  auto* c = static_cast<Counter*>(p);
  for (int i = 0; i < 100000; ++i) {
    platform::LockGuard g(c->lock);
    ++c->value;
  }
  return 0;
}

TEST(Lock, GuardsAPlainCounterAcrossThreads) {
  Counter c;
  auto a = Thread::CreateSuspended(AddMany, &c);
  auto b = Thread::CreateSuspended(AddMany, &c);
  a->Resume();
  b->Resume();
  ASSERT_TRUE(a->Join(kInfinite));
  ASSERT_TRUE(b->Join(kInfinite));
  EXPECT_EQ(c.value, 200000);
  // The owner may enter again, as with a critical section.
  c.lock.Enter();
  c.lock.Enter();
  c.lock.Leave();
  c.lock.Leave();
}

}  // namespace
