#include <gtest/gtest.h>

#include <atomic>

#include "platform/sync.h"
#include "platform/system.h"
#include "platform/tick.h"

using platform::WidenTick;

namespace {

TEST(WidenTick, FollowsTheCounterAcrossItsWrap) {
  EXPECT_EQ(WidenTick(1000, 1250), 1250u);
  EXPECT_EQ(WidenTick(1000, 1000), 1000u);
  // Low half 0xFFFFFF00, then the counter wraps to 0x100: 0x200 ms later.
  EXPECT_EQ(WidenTick(0x1FFFFFF00ull, 0x100), 0x200000100ull);
  EXPECT_EQ(WidenTick(0xFFFFFFFFull, 0), 0x100000000ull);
  // The largest step still read as forward.
  EXPECT_EQ(WidenTick(0x300000010ull, 0x8000000Fu), 0x38000000Full);
}

TEST(WidenTick, AnOlderReadingNeverMovesTimeBack) {
  EXPECT_EQ(WidenTick(5000, 4999), 5000u);
  EXPECT_EQ(WidenTick(0x200000100ull, 0xFFFFFF00u), 0x200000100ull) << "a reading from before the wrap";
  EXPECT_EQ(WidenTick(0x300000010ull, 0x80000010u), 0x300000010ull) << "2^31 ahead counts as behind";
}

TEST(WidenTick, StaysExactOverManyWraps) {
  // A counter sampled every 2^30 + 7 ms for about 32 wraps.
  const uint64_t start = 0xFFFFF000ull, step = (1ull << 30) + 7;
  uint64_t widened = start, truth = start;
  for (int i = 0; i < 128; ++i) {
    truth += step;
    widened = WidenTick(widened, static_cast<uint32_t>(truth));
    ASSERT_EQ(widened, truth) << "sample " << i;
  }
}

struct Racer {
  std::atomic<bool>* wentBack;
};

uint32_t ReadTicks(void* p) {
  auto* r = static_cast<Racer*>(p);
  uint64_t prev = platform::TickMs();
  for (int i = 0; i < 200000; ++i) {
    const uint64_t now = platform::TickMs();
    if (now < prev) r->wentBack->store(true);
    prev = now;
  }
  return 0;
}

TEST(TickMs, NeverGoesBackWhileThreadsRace) {
  std::atomic<bool> wentBack{false};
  Racer r{&wentBack};
  auto a = platform::Thread::CreateSuspended(ReadTicks, &r);
  auto b = platform::Thread::CreateSuspended(ReadTicks, &r);
  ASSERT_TRUE(a && b);
  const uint64_t t0 = platform::TickMs();
  a->Resume();
  b->Resume();
  ReadTicks(&r);
  EXPECT_TRUE(a->Join(60000));
  EXPECT_TRUE(b->Join(60000));
  EXPECT_FALSE(wentBack.load());
  // Wine's tick can lag the clock by one of its update periods at either end; a
  // 200 ms sleep leaves room for that and still tells milliseconds from other units.
  platform::SleepMs(200);
  EXPECT_GE(platform::TickMs() - t0, 150u);
  EXPECT_LT(platform::TickMs() - t0, 60000u);
}

}  // namespace
