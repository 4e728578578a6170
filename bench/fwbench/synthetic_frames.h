// The frames fwbench feeds the capture core: a few distinct '2vuy' frames
// prepared in memory before the clock starts, cycled, each stamped with its
// incoming-frame number just before it is handed over, so a written movie
// shows exactly which frame went where. Their bytes are noise: a frame of
// zeros or of one colour would flatter any file system or disk that
// compresses.
#pragma once

#include <cstdint>
#include <vector>

class SyntheticFrames {
 public:
  // Distinct frames cycled: more than the caches hold at HD sizes, as a
  // device's own buffers are.
  static constexpr int kDistinctFrames = 4;

  SyntheticFrames(int32_t widthPixels, int32_t heightPixels);

  int32_t widthPixels() const { return widthPixels_; }
  int32_t heightPixels() const { return heightPixels_; }
  int32_t rowBytes() const { return 2 * widthPixels_; }
  uint64_t frameBytes() const { return uint64_t{2} * uint32_t(widthPixels_) * uint32_t(heightPixels_); }

  // The frame with incoming number `number` (1 on): its buffer, stamped.
  // Valid until the next call.
  uint8_t* Frame(uint32_t number);

 private:
  int32_t widthPixels_;
  int32_t heightPixels_;
  std::vector<std::vector<uint8_t>> frames_;
};

// Writes frames 1 to `frameCount` back to back, raw, to a descriptor: the
// very bytes a capture of the same size writes. Returns 0 or an errno value.
int WriteRawFrames(SyntheticFrames& frames, uint32_t frameCount, int fd);
