#include <gtest/gtest.h>

#include <atomic>
#include <set>

#include "core/platform/clocks.h"
#include "core/platform/random.h"

using namespace fw;

namespace {

std::atomic<uint64_t> gFakeNow{0};
uint64_t FakeClock() {
  return gFakeNow.load();
}

TEST(ClocksTest, TimeBasesAgreeWithTheNanosecondClock) {
  gFakeNow = 3'600'000'000'123ull;  // one hour and a bit
  SetMonotonicClockForTesting(&FakeClock);
  EXPECT_EQ(GetSecondsLong(), 3600u);
  EXPECT_EQ(GetTicks60(), 216000u);
  EXPECT_EQ(GetTicks600(), 2160000u);
  gFakeNow += 1'000'000'000ull / 600 + 1;
  EXPECT_EQ(GetTicks600(), 2160001u);
  SetMonotonicClockForTesting(nullptr);
  EXPECT_GT(MonotonicNanoseconds(), 0u);
}

TEST(ClocksTest, GetSecondsCountsFromItsFirstCall) {
  const uint32_t start = GetSeconds();
  gFakeNow = MonotonicNanoseconds() + 51'000'000'000ull;
  SetMonotonicClockForTesting(&FakeClock);
  EXPECT_GE(GetSeconds(), start + 51);
  SetMonotonicClockForTesting(nullptr);
}

TEST(RandomTest, BothFormsStayInTheirRanges) {
  std::set<int32_t> hd, classic;
  for (int i = 0; i < 20000; ++i) {
    hd.insert(MyPositiveRandomNumber(20, ProgramFlavor::kHD));
    classic.insert(MyPositiveRandomNumber(19, ProgramFlavor::kClassic));
  }
  EXPECT_EQ(*hd.begin(), 0);
  EXPECT_EQ(*hd.rbegin(), 19);
  EXPECT_EQ(hd.size(), 20u);
  EXPECT_EQ(*classic.begin(), 0);
  EXPECT_EQ(*classic.rbegin(), 19);  // the classic form reaches n itself
  EXPECT_EQ(classic.size(), 20u);
}

}  // namespace
