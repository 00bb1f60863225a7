#include "download/engine_events.h"

#include "platform/system.h"

IEngineEvents* engineEvents = nullptr;
EngineClock* engineClock = nullptr;

uint64_t EngineClock::NowMs() { return platform::TickMs(); }

void EngineClock::SleepMs(uint32_t ms) { platform::SleepMs(ms); }

EngineClock& CurrentEngineClock() {
  static EngineClock system;
  return engineClock ? *engineClock : system;
}
