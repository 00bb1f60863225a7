// A package fetched in several byte ranges side by side: how it is cut, and what
// the transfers of one such download share. With one range there is no split
// object at all, and a transfer runs exactly as it always has.
//
// The first range is the anchor. When a server does not honour a range that
// starts later (it answers 200 with the whole body, or a 206 for other bytes), the
// split is dropped: every other transfer leaves, and the first one fetches the rest
// of the package as one segment from its first byte not yet written. So a server
// that one connection could download from is never a failure with several.
#pragma once

#include <cstdint>
#include <vector>

#include "download/download_status.h"
#include "platform/sync.h"

struct ByteRange {
  int64_t first;
  int64_t last;  // inclusive
};

// No range is cut smaller than this: below it one more connection costs more in
// requests than it gains.
constexpr int64_t kSmallestSegmentBytes = 1 << 20;

// Contiguous ranges that together cover 0..size-1: as many as wanted (at least
// one), but fewer when the package is too small for that many of
// kSmallestSegmentBytes. The sizes differ by one byte at most.
std::vector<ByteRange> PlanSegments(int64_t size, int wanted);

// What the transfers of one split download share, guarded by statusLock (the
// transfers already take it for every report, and their bookkeeping lives there).
class SegmentSplit {
 public:
  explicit SegmentSplit(std::vector<ByteRange> ranges);
  const std::vector<ByteRange>& ranges() const { return ranges_; }

  // A range was not honoured: the others stop and the first takes over the rest.
  void Drop();
  bool Dropped();
  // Before it leaves, each transfer tells how many bytes its reports counted, from
  // its range's first byte on.
  void SetCounted(int index, int64_t bytes);
  // For the first transfer: waits until it is the only one left; false when a
  // cancel (the user's, or another range's failure) comes first.
  bool WaitUntilAlone(ICancelRequest& cancel);
  // The bytes the other transfers counted, as ranges; final once they have left.
  std::vector<ByteRange> CountedByOthers();
  // Held by a transfer while it flushes the file, which it does after leaving
  // fileLock; whoever closes the file holds it too, after fileLock.
  platform::Lock& flushLock() { return flushLock_; }

 private:
  platform::Lock flushLock_;
  std::vector<ByteRange> ranges_;
  std::vector<int64_t> counted_;
  bool dropped_ = false;
};

// Counting for the first transfer once it has taken over: progress counts every
// byte of the package once, so what another transfer already counted, and what
// lies below the point this one had reached (a 200 answer starts again at byte 0),
// is written but not counted again.
class FreshBytes {
 public:
  FreshBytes() = default;
  FreshBytes(int64_t reached, std::vector<ByteRange> countedElsewhere);
  // Of the n bytes at offset at, how many are counted now; moves the point reached.
  int64_t Take(int64_t at, int64_t n);

 private:
  int64_t reached_ = 0;
  std::vector<ByteRange> elsewhere_;
};
