// What the engine can tell a listener, and the clock it pauses by. Both are given
// with the engine's settings (EngineSettings::events, ::clock); without them the
// engine tells nobody and pauses by the system's clock, as it always did. The
// listener hears every change of state from the one place states change, and the
// few events a support desk needs besides: each size probe, each transfer attempt,
// each pause before a retry and the digest check. Nothing is told from inside the
// transfer's read loop.
#pragma once

#include <cstdint>
#include <string>

#include "download/download_status.h"
#include "download/failure_reason.h"

struct ProbeEvent {
  std::u16string link;
  uint32_t status = 0;           // 0: no answer
  std::u16string contentLength;  // as the answer gave it; empty when absent
  int64_t size = 0;              // the size taken from it (0: none)
  uint64_t ms = 0;               // how long the probe took
  EngineFailure failure;         // why it gave no size (kNone when it gave one)
};

struct AttemptEvent {
  std::u16string url;
  int64_t first = 0;  // the range asked for, last inclusive
  int64_t last = 0;
  uint32_t status = 0;           // 0: no answer
  std::u16string contentRange;   // empty when absent
  int64_t bytes = 0;             // bytes this attempt wrote
  bool complete = false;         // the range arrived whole
  bool partial = false;          // a whole answer that covered only part of the range
  EngineFailure failure;         // why it ended early (kNone when it did not)
};

class IEngineEvents {
 public:
  virtual ~IEngineEvents() = default;
  // After every change of state, outside statusLock; failure is the download's
  // (kNone until something failed). Called from the engine's threads and from the
  // thread that starts it.
  virtual void OnStateChange(const DownloadStatus& status, const EngineFailure& failure) {}
  virtual void OnProbe(const ProbeEvent& probe) {}
  virtual void OnAttempt(const AttemptEvent& attempt) {}
  // Before further attempt number `retry` (1 for the first) of `retries`.
  virtual void OnRetryPause(uint32_t ms, int retry, int retries) {}
  // expected and computed as lower-case hex; computed is empty when the file could
  // not be read.
  virtual void OnDigest(const std::u16string& expected, const std::u16string& computed) {}
};

// The engine's sense of time: its fixed holds (500, 1000 and 2000 ms around the
// last states), the transfer's pause before it reports a cancel, and the pauses
// before retries. Tests replace it so that these take no time and can be counted;
// waiting for the user (a held transfer) always runs on the system's clock.
class EngineClock {
 public:
  virtual ~EngineClock() = default;
  virtual uint64_t NowMs();
  virtual void SleepMs(uint32_t ms);
};

// Installed by CDownloadManager::Start from its settings, cleared by
// ReleaseDownloadObjects. Null listener: nobody is told; null clock: the system's.
extern IEngineEvents* engineEvents;
extern EngineClock* engineClock;

// The current clock (the system's when none is installed).
EngineClock& CurrentEngineClock();
