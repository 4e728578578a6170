// Monotonic clocks on clock_gettime(CLOCK_MONOTONIC).
#include "core/platform/clocks.h"

#include <time.h>

#include <atomic>

using namespace fw;

namespace {

std::atomic<MonotonicClockFn> gTestClock{nullptr};
std::atomic<WallClockFn> gTestWallClock{nullptr};

uint64_t RealMonotonicNanoseconds() {
  struct timespec ts {};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

}  // namespace

uint64_t fw::MonotonicNanoseconds() {
  MonotonicClockFn clock = gTestClock.load(std::memory_order_acquire);
  return clock != nullptr ? clock() : RealMonotonicNanoseconds();
}

uint32_t GetSeconds() {
  // The start is fixed by the first call, as the seconds clock of the writer's
  // wait limit expects; only differences of its values matter.
  static const uint64_t startNs = MonotonicNanoseconds();
  const uint64_t nowNs = MonotonicNanoseconds();
  return nowNs > startNs ? static_cast<uint32_t>((nowNs - startNs) / 1000000000ull) : 0;
}

uint64_t GetSecondsLong() {
  return MonotonicNanoseconds() / 1000000000ull;
}

uint64_t fw::GetTicks60() {
  return MonotonicNanoseconds() / (1000000000ull / 60);
}

uint64_t fw::GetTicks600() {
  // 10^9 / 600 is not whole; scale in two steps to stay exact without overflow.
  const uint64_t ns = MonotonicNanoseconds();
  return (ns / 1000000000ull) * 600 + (ns % 1000000000ull) * 600 / 1000000000ull;
}

void fw::SetMonotonicClockForTesting(MonotonicClockFn clock) {
  gTestClock.store(clock, std::memory_order_release);
}

int64_t fw::WallClockSeconds() {
  WallClockFn clock = gTestWallClock.load(std::memory_order_acquire);
  return clock != nullptr ? clock() : static_cast<int64_t>(::time(nullptr));
}

void fw::SetWallClockForTesting(WallClockFn clock) {
  gTestWallClock.store(clock, std::memory_order_release);
}

LocalDateTime fw::LocalDateTimeOf(int64_t unixSeconds) {
  // glibc reads the time zone on first use and keeps it, which is the rule
  // capture names follow: a change of zone shows from the next launch.
  const time_t seconds = static_cast<time_t>(unixSeconds);
  struct tm local {};
  localtime_r(&seconds, &local);
  LocalDateTime t;
  t.year = local.tm_year + 1900;
  t.month = static_cast<uint8_t>(local.tm_mon + 1);
  t.day = static_cast<uint8_t>(local.tm_mday);
  t.hour = static_cast<uint8_t>(local.tm_hour);
  t.minute = static_cast<uint8_t>(local.tm_min);
  t.second = local.tm_sec;
  return t;
}
