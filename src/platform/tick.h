// Widening a 32-bit millisecond counter into one that does not wrap.
#pragma once

#include <cstdint>

namespace platform {

// The 64-bit tick that follows `last` when the 32-bit counter now reads `now`.
// The counter wraps every 49.7 days; the distance from last's low half to now is
// taken modulo 2^32, so a wrap between two readings just carries into the high half.
// A distance of 2^31 or more can only be a reading older than `last` (a caller
// that was held up between reading the counter and publishing it): time does not
// go back, so `last` stands. Hence a counter must be widened at least once every
// 24.8 days to stay exact.
constexpr uint64_t WidenTick(uint64_t last, uint32_t now) {
  const uint32_t ahead = now - static_cast<uint32_t>(last);
  return ahead < 0x80000000u ? last + ahead : last;
}

}  // namespace platform
