// The every-frame queue of a device.
#include "hd/video/frame_queue.h"

#include <algorithm>
#include <utility>

namespace fw {

namespace {

size_t FrameBytes(const CaptureFrame& frame) {
  return static_cast<size_t>(std::max(frame.RowBytes(), 0)) *
         static_cast<size_t>(std::max(frame.Height(), 0));
}

}  // namespace

size_t FrameQueueCapacityBytes(size_t frameBytes) {
  return std::max(kFrameQueueMinBytes, kFrameQueueMinFrames * frameBytes);
}

void FrameQueue::Enable() {
  entries_.clear();
  sizeBytes_ = 0;
  framesDropped_ = 0;
  enabled_ = true;
}

uint32_t FrameQueue::Disable() {
  enabled_ = false;
  entries_.clear();
  sizeBytes_ = 0;
  return std::exchange(framesDropped_, 0);
}

bool FrameQueue::Push(CaptureFrameRef& frame, uint64_t arrivalTime) {
  if (frame == nullptr) return false;
  const size_t bytes = FrameBytes(*frame);
  if (!enabled_ || sizeBytes_ + bytes > FrameQueueCapacityBytes(bytes)) {
    if (enabled_) ++framesDropped_;
    return false;
  }
  sizeBytes_ += bytes;
  entries_.push_back(Entry{std::move(frame), arrivalTime});
  return true;
}

std::deque<FrameQueue::Entry> FrameQueue::TakeAll() {
  sizeBytes_ = 0;
  return std::exchange(entries_, {});
}

}  // namespace fw
