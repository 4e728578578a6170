// Camera frame timing.
#include "classic/grabber/frame_ticker.h"

#include <chrono>

namespace fw {

void FrameTicker::Start(uint64_t periodNanoseconds, std::function<void(uint64_t)> tick) {
  if (thread_.joinable()) return;
  stopping_ = false;
  thread_ = std::thread([this, periodNanoseconds, tick = std::move(tick)] {
    const auto start = std::chrono::steady_clock::now();
    for (uint64_t n = 0;; ++n) {
      {
        std::unique_lock lock(mutex_);
        const auto due = start + std::chrono::nanoseconds(n * periodNanoseconds);
        if (wake_.wait_until(lock, due, [this] { return stopping_; })) return;
      }
      tick(n);
    }
  });
}

void FrameTicker::Stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

}  // namespace fw
