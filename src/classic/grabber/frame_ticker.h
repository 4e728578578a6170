// The timing of the built-in cameras: a thread of the camera's own that
// calls it once per frame period, on a steady schedule (a late frame does
// not shift the ones after it), until stopped.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace fw {

class FrameTicker {
 public:
  FrameTicker() = default;
  ~FrameTicker() { Stop(); }
  FrameTicker(const FrameTicker&) = delete;
  FrameTicker& operator=(const FrameTicker&) = delete;

  // tick(n) for n = 0, 1, 2 … at n periods after the start. Does nothing
  // when already running.
  void Start(uint64_t periodNanoseconds, std::function<void(uint64_t tick)> tick);
  // Once it returns, tick is not running and is not called again.
  void Stop();
  bool Running() const { return thread_.joinable(); }

 private:
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
};

}  // namespace fw
