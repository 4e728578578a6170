// The frame schedule: incoming-frame numbers at which frames are to be
// written, in the order they are due. A trigger stores the delay plus the
// current incoming-frame number in the first empty slot; a frame is written
// exactly when slot 0 holds its number; after a write the table moves down
// one slot. Numbering starts at 1, so an empty table (slot 0 is 0) matches
// no frame.
//
// The two programs differ in small ways, chosen by flavour:
//   HD:      16 slots, a number equal to the one before is dropped (triggers
//            within one incoming frame schedule one frame).
//   classic: 10 slots, equal numbers stored.
// Both read the delay as an unsigned byte, so a delay one program saved in
// the shared preferences means the same frames to the other.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/platform/program_flavor.h"

namespace fw {

class FrameSchedule {
 public:
  static constexpr int kMaxSlots = 16;

  explicit FrameSchedule(ProgramFlavor flavor) : flavor_(flavor) {}

  ProgramFlavor flavor() const { return flavor_; }
  int slotCount() const { return flavor_ == ProgramFlavor::kHD ? 16 : 10; }

  void Clear() { slots_.fill(0); }

  // Stores a trigger given while `incomingFrameNumber` arrives. Returns false
  // when it was dropped (table full, or equal to the entry before in HD).
  bool Schedule(uint32_t incomingFrameNumber, uint8_t ignoreFrameCount);

  // Whether the frame now arriving is the one slot 0 waits for.
  bool IsDue(uint32_t incomingFrameNumber) const { return slots_[0] == incomingFrameNumber; }

  // Moves every slot down by one after slot 0 was served.
  void ConsumeFirst();

  uint32_t slot(int index) const { return slots_[static_cast<std::size_t>(index)]; }
  int pendingCount() const;

 private:
  ProgramFlavor flavor_;
  std::array<uint32_t, kMaxSlots> slots_{};
};

}  // namespace fw

// Framewright HD's schedule (main thread only).
extern fw::FrameSchedule gFrameCaptureScheduleTable;
