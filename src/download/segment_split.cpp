#include "download/segment_split.h"

#include <algorithm>

#include "platform/system.h"

std::vector<ByteRange> PlanSegments(int64_t size, int wanted) {
  int64_t count = wanted < 1 ? 1 : wanted;
  if (count > size / kSmallestSegmentBytes) count = size / kSmallestSegmentBytes;
  if (count < 1) count = 1;
  // The first size % count ranges are one byte longer; no product can overflow.
  const int64_t base = size / count, longer = size % count;
  std::vector<ByteRange> ranges;
  for (int64_t i = 0, first = 0; i < count; ++i) {
    const int64_t length = base + (i < longer ? 1 : 0);
    ranges.push_back({first, first + length - 1});
    first += length;
  }
  return ranges;
}

SegmentSplit::SegmentSplit(std::vector<ByteRange> ranges)
    : ranges_(std::move(ranges)), counted_(ranges_.size(), 0) {}

void SegmentSplit::Drop() {
  platform::LockGuard guard(*statusLock);
  dropped_ = true;
}

bool SegmentSplit::Dropped() {
  platform::LockGuard guard(*statusLock);
  return dropped_;
}

void SegmentSplit::SetCounted(int index, int64_t bytes) {
  platform::LockGuard guard(*statusLock);
  counted_[static_cast<size_t>(index)] = bytes;
}

bool SegmentSplit::WaitUntilAlone(ICancelRequest& cancel) {
  for (;;) {
    if (cancel.IsCancelled()) return false;
    {
      platform::LockGuard guard(*statusLock);
      if (runningSegments <= 1) return true;
    }
    platform::SleepMs(10);
  }
}

std::vector<ByteRange> SegmentSplit::CountedByOthers() {
  platform::LockGuard guard(*statusLock);
  std::vector<ByteRange> out;
  for (size_t i = 1; i < ranges_.size(); ++i) {
    if (counted_[i] > 0) out.push_back({ranges_[i].first, ranges_[i].first + counted_[i] - 1});
  }
  return out;
}

FreshBytes::FreshBytes(int64_t reached, std::vector<ByteRange> countedElsewhere)
    : reached_(reached), elsewhere_(std::move(countedElsewhere)) {}

int64_t FreshBytes::Take(int64_t at, int64_t n) {
  const int64_t from = std::max(at, reached_), to = at + n;  // [from, to)
  int64_t fresh = to > from ? to - from : 0;
  for (const ByteRange& r : elsewhere_) {
    const int64_t a = std::max(from, r.first), b = std::min(to, r.last + 1);
    if (b > a) fresh -= b - a;
  }
  reached_ = std::max(reached_, to);
  return fresh;
}
