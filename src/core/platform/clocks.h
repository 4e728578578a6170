// Monotonic clocks: nanoseconds, whole seconds, 1/60 s ticks and the 1/600 s
// time base, all on CLOCK_MONOTONIC. Tests may swap the source clock.
#pragma once

#include <cstdint>

namespace fw {

// Nanoseconds of CLOCK_MONOTONIC (or of the test clock when one is set).
uint64_t MonotonicNanoseconds();

}  // namespace fw

// Framewright HD's seconds clock: whole seconds since its first call.
uint32_t GetSeconds();

// The classic seconds clock: whole seconds since the system started.
uint64_t GetSecondsLong();

namespace fw {

// 1/60 s ticks since the system started.
uint64_t GetTicks60();

// 1/600 s ticks since the system started (the capture time base).
uint64_t GetTicks600();

// Wall-clock time: seconds since 1970 (UTC), or the test clock's.
int64_t WallClockSeconds();
using WallClockFn = int64_t (*)();
void SetWallClockForTesting(WallClockFn clock);

// Replaces the source of MonotonicNanoseconds(); nullptr restores the real
// clock. Only for tests; a test clock should run on from the real one (the
// real time plus an offset), since GetSeconds() keeps its first reading.
using MonotonicClockFn = uint64_t (*)();
void SetMonotonicClockForTesting(MonotonicClockFn clock);

struct LocalDateTime {
  int32_t year = 0;
  uint8_t month = 0;  // 1…12
  uint8_t day = 0;    // 1…31
  uint8_t hour = 0;
  uint8_t minute = 0;
  double second = 0;
};

// The local date and time of a wall-clock second. The system time zone is
// read once, at the first call, and kept for the rest of the run.
LocalDateTime LocalDateTimeOf(int64_t unixSeconds);

}  // namespace fw
