#include "core/stopmotion/recent_frames.h"

#include <cstring>
#include <new>
#include <utility>

namespace fw {

OSErr RecentFrames::Keep(const uint8_t* firstRow, int32_t rowBytes, int32_t width, int32_t height,
                         uint32_t frameNumber) {
  if (firstRow == nullptr || rowBytes <= 0 || width <= 0 || height <= 0) return paramErr;
  const size_t frameBytes = static_cast<size_t>(rowBytes) * static_cast<size_t>(height);

  // Make room first, so that the limit holds with the new copy in.
  auto over = [&] { return frames_.size() >= kMaxFrames || SizeBytes() + frameBytes > maxBytes_; };
  while (!frames_.empty() && over()) {
    spare_ = std::move(frames_.front().bytes);
    frames_.pop_front();
  }

  KeptFrame frame;
  frame.bytes = std::move(spare_);
  spare_ = {};
  try {
    frame.bytes.resize(frameBytes);
  } catch (const std::bad_alloc&) {
    return memFullErr;
  }
  std::memcpy(frame.bytes.data(), firstRow, frameBytes);
  frame.rowBytes = rowBytes;
  frame.width = width;
  frame.height = height;
  frame.frameNumber = frameNumber;
  frames_.push_back(std::move(frame));
  return noErr;
}

void RecentFrames::DropNewest() {
  if (frames_.empty()) return;
  spare_ = std::move(frames_.back().bytes);
  frames_.pop_back();
}

void RecentFrames::Clear() {
  frames_.clear();
  spare_ = {};
}

size_t RecentFrames::SizeBytes() const {
  size_t total = 0;
  for (const KeptFrame& f : frames_) total += f.bytes.size();
  return total;
}

}  // namespace fw
