#include "core/capture/frame_schedule.h"

#include <gtest/gtest.h>

#include <vector>

using namespace fw;

namespace {

// Feeds incoming frames start..end and returns those the schedule writes,
// consuming slot 0 after each write as the capture does.
std::vector<uint32_t> FramesWritten(FrameSchedule& schedule, uint32_t start, uint32_t end) {
  std::vector<uint32_t> written;
  for (uint32_t frame = start; frame <= end; ++frame) {
    if (schedule.IsDue(frame)) {
      written.push_back(frame);
      schedule.ConsumeFirst();
    }
  }
  return written;
}

TEST(FrameScheduleTest, EmptyTableWritesNothing) {
  FrameSchedule schedule(ProgramFlavor::kHD);
  EXPECT_TRUE(FramesWritten(schedule, 1, 500).empty());
}

TEST(FrameScheduleTest, DelaysAndDuplicateTriggers) {
  FrameSchedule schedule(ProgramFlavor::kHD);
  EXPECT_TRUE(schedule.Schedule(3, 0));
  EXPECT_FALSE(schedule.Schedule(3, 0)) << "two triggers before one frame write one";
  EXPECT_EQ(FramesWritten(schedule, 3, 10), std::vector<uint32_t>{3});

  EXPECT_TRUE(schedule.Schedule(10, 5));
  EXPECT_EQ(FramesWritten(schedule, 10, 30), std::vector<uint32_t>{15});

  EXPECT_TRUE(schedule.Schedule(40, 255)) << "the delay is an unsigned byte";
  EXPECT_EQ(schedule.slot(0), 295u);
}

TEST(FrameScheduleTest, SeventeenthPendingTriggerIsDropped) {
  FrameSchedule schedule(ProgramFlavor::kHD);
  for (uint32_t i = 0; i < 16; ++i) EXPECT_TRUE(schedule.Schedule(100 + i, 0));
  EXPECT_FALSE(schedule.Schedule(200, 0));
  EXPECT_EQ(schedule.pendingCount(), 16);
  std::vector<uint32_t> expected;
  for (uint32_t i = 0; i < 16; ++i) expected.push_back(100 + i);
  EXPECT_EQ(FramesWritten(schedule, 1, 300), expected);
  EXPECT_EQ(schedule.pendingCount(), 0);
}

TEST(FrameScheduleTest, ClassicStoresEqualNumbersTakesTenAndReadsTheDelayUnsigned) {
  FrameSchedule schedule(ProgramFlavor::kClassic);
  EXPECT_EQ(schedule.slotCount(), 10);
  EXPECT_TRUE(schedule.Schedule(5, 0));
  EXPECT_TRUE(schedule.Schedule(5, 0)) << "the classic table keeps equal numbers";
  for (int i = 0; i < 8; ++i) EXPECT_TRUE(schedule.Schedule(6, 0));
  EXPECT_FALSE(schedule.Schedule(7, 0)) << "the 11th is dropped";
  schedule.Clear();
  EXPECT_TRUE(schedule.Schedule(10, 0xFE));
  EXPECT_EQ(schedule.slot(0), 264u) << "0xFE is 254, as Framewright HD reads it";
  EXPECT_EQ(FramesWritten(schedule, 10, 300), std::vector<uint32_t>{264})
      << "the frame is reached and written";
}

}  // namespace
