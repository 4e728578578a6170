// Where the main thread's time goes during a capture: copying and handing
// frames to the writer, and drawing the preview (the draw calls inside the
// data procedure and the window's own repaints). Kept by the main thread
// only; cleared at each capture start, read at its end by whoever reports it.
#pragma once

#include <chrono>
#include <cstdint>

namespace fw {

struct CaptureTiming {
  uint32_t framesWritten = 0;
  uint64_t writeNanos = 0;         // frame copy and AFWWriteData
  uint64_t previewCallNanos = 0;   // VPStartPreview/VPDisplayFrame in the data procedure
  uint64_t previewPaintNanos = 0;  // the capture window's repaints (paint, composition, flush)
  uint32_t previewPaints = 0;
};

extern CaptureTiming gCaptureTiming;

// Adds the time from construction to destruction to one of the counters.
class ScopedNanos {
 public:
  explicit ScopedNanos(uint64_t* counter) : counter_(counter), start_(std::chrono::steady_clock::now()) {}
  ~ScopedNanos() {
    *counter_ += static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start_)
            .count());
  }
  ScopedNanos(const ScopedNanos&) = delete;
  ScopedNanos& operator=(const ScopedNanos&) = delete;

 private:
  uint64_t* counter_;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace fw
