// The frames of one device kept in arrival order while an every-frame
// capture runs, so that none is lost between two polls of the main thread.
// Outside such a capture the queue is off and the device keeps only its
// newest frame, as before. Bounded by bytes: the larger of
// kFrameQueueMinBytes (over two seconds of 1280 x 720 at 60 frames per
// second, one of 1920 x 1080) and kFrameQueueMinFrames frames of the size
// arriving (half a second at 60 frames per second), so a main thread held up
// for a moment loses nothing and a stalled one cannot eat the machine's
// memory; a frame that finds the queue full is dropped and counted.
//
// Not locked itself: the device's slot mutex guards it (qt_capture.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

#include "hd/video/capture_backend.h"

namespace fw {

constexpr size_t kFrameQueueMinBytes = size_t{256} << 20;
constexpr size_t kFrameQueueMinFrames = 30;

class FrameQueue {
 public:
  struct Entry {
    CaptureFrameRef frame;
    uint64_t arrivalTime = 0;  // 1/600 s ticks
  };

  bool Enabled() const { return enabled_; }
  // Starts keeping every frame, with a fresh drop count.
  void Enable();
  // Back to newest-frame-wins: frames still kept are released (the caller
  // no longer wants them). Returns the frames dropped since Enable.
  uint32_t Disable();

  // Keeps the frame behind the others (taking it out of `frame`); false,
  // leaving `frame` to the caller to release outside its lock, when the
  // queue is off, or full (one more drop).
  bool Push(CaptureFrameRef& frame, uint64_t arrivalTime);
  // Hands over every kept frame, oldest first, and empties the queue.
  std::deque<Entry> TakeAll();

  size_t SizeBytes() const { return sizeBytes_; }
  uint32_t FramesDropped() const { return framesDropped_; }

 private:
  std::deque<Entry> entries_;
  size_t sizeBytes_ = 0;
  uint32_t framesDropped_ = 0;
  bool enabled_ = false;
};

// The byte budget for frames of this size.
size_t FrameQueueCapacityBytes(size_t frameBytes);

}  // namespace fw
