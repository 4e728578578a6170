// The frame schedule.
#include "core/capture/frame_schedule.h"

using namespace fw;

FrameSchedule gFrameCaptureScheduleTable(ProgramFlavor::kHD);

bool fw::FrameSchedule::Schedule(uint32_t incomingFrameNumber, uint8_t ignoreFrameCount) {
  // Both programs read the delay as an unsigned byte: a delay of 128 to 255
  // saved by one must not turn into a frame number the other never reaches.
  const uint32_t due = incomingFrameNumber + ignoreFrameCount;
  const int count = slotCount();
  int slot = 0;
  while (slot < count && slots_[static_cast<std::size_t>(slot)] != 0) ++slot;
  if (slot == count) return false;
  if (slot > 0 && flavor_ == ProgramFlavor::kHD && slots_[static_cast<std::size_t>(slot - 1)] == due)
    return false;
  slots_[static_cast<std::size_t>(slot)] = due;
  return true;
}

void fw::FrameSchedule::ConsumeFirst() {
  const auto count = static_cast<std::size_t>(slotCount());
  for (std::size_t i = 1; i < count; ++i) slots_[i - 1] = slots_[i];
  slots_[count - 1] = 0;
}

int fw::FrameSchedule::pendingCount() const {
  int count = 0;
  while (count < slotCount() && slots_[static_cast<std::size_t>(count)] != 0) ++count;
  return count;
}
