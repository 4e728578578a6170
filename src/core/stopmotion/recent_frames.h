// The last frames written to a capture, kept in memory as they were written
// (never read back from the disk): the onion skin shows the newest, the
// review loop plays them back, and taking a frame back drops the newest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "core/platform/os_errors.h"

namespace fw {

struct KeptFrame {
  std::vector<uint8_t> bytes;  // rows of `rowBytes`, as written
  int32_t rowBytes = 0;
  int32_t width = 0;         // pixels
  int32_t height = 0;        // rows
  uint32_t frameNumber = 0;  // the capture's count when it was written, from 1
};

class RecentFrames {
 public:
  static constexpr size_t kMaxFrames = 12;
  static constexpr size_t kDefaultMaxBytes = size_t{256} << 20;

  explicit RecentFrames(size_t maxBytes = kDefaultMaxBytes) : maxBytes_(maxBytes) {}

  // Copies a frame just written. The oldest go once kMaxFrames are kept or
  // the copies would exceed the byte limit; the newest is always kept, so
  // the onion skin works for any frame size. The memory of a frame that goes
  // is reused for the next one (no allocation in steady state).
  // paramErr for a frame without rows; memFullErr when no copy can be made
  // (older frames may have gone to make room for it).
  [[nodiscard]] OSErr Keep(const uint8_t* firstRow, int32_t rowBytes, int32_t width, int32_t height,
                           uint32_t frameNumber);
  // The newest frame was taken back: forget it; the one before is newest.
  void DropNewest();
  void Clear();

  size_t Count() const { return frames_.size(); }
  bool Empty() const { return frames_.empty(); }
  // 0 is the oldest kept, Count() - 1 the newest.
  const KeptFrame& At(size_t index) const { return frames_[index]; }
  const KeptFrame* Newest() const { return frames_.empty() ? nullptr : &frames_.back(); }
  size_t SizeBytes() const;

 private:
  size_t maxBytes_;
  std::deque<KeptFrame> frames_;
  std::vector<uint8_t> spare_;  // the memory of the last frame that went
};

}  // namespace fw
