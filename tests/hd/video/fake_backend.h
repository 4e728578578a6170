// A capture backend for tests: devices described by the test, opened
// requests recorded, and frames and runtime errors sent into an open device
// from a thread of the test's own, as a real device's thread would.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hd/video/capture_backend.h"

// A frame whose first byte is its tag, so a test can tell frames apart.
class TaggedFrame final : public fw::CaptureFrame {
 public:
  TaggedFrame(uint8_t tag, int32_t width, int32_t height)
      : bytes_(static_cast<size_t>(width) * 2 * static_cast<size_t>(height), tag),
        width_(width),
        height_(height) {}
  uint8_t* BaseAddress() const override { return const_cast<uint8_t*>(bytes_.data()); }
  int32_t RowBytes() const override { return width_ * 2; }
  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }

 private:
  std::vector<uint8_t> bytes_;
  int32_t width_;
  int32_t height_;
};

// One Start() of a fake device.
struct FakeSession {
  fw::CaptureStreamRequest request;
  fw::FrameSink* sink = nullptr;
  std::atomic<bool> stopped{false};
  std::string uniqueID;
};

class FakeBackend final : public fw::CaptureBackend {
 public:
  std::vector<fw::CaptureDeviceDescription> devices;
  OSErr startError = noErr;  // what Start() of every device returns
  // When set, every started device sends frames (tags 1, 2, ...) from its
  // own thread until it is stopped.
  bool produceFrames = false;
  std::vector<std::shared_ptr<FakeSession>> sessions;  // in order of Start()

  // A device per description, named "Camera N" with ID "fake:N".
  void AddDevices(int count, fw::CaptureMediaKind kind = fw::CaptureMediaKind::kVideo) {
    for (int i = 0; i < count; ++i) {
      fw::CaptureDeviceDescription device;
      device.name = "Camera " + std::to_string(devices.size());
      device.uniqueID = "fake:" + std::to_string(devices.size());
      device.mediaKind = kind;
      devices.push_back(device);
    }
  }

  void ListDevices(std::vector<fw::CaptureDeviceDescription>& out) override {
    out.insert(out.end(), devices.begin(), devices.end());
  }

  std::unique_ptr<fw::CaptureDevice> FindDevice(const std::string& uniqueID) override;
};

class FakeDevice final : public fw::CaptureDevice {
 public:
  FakeDevice(FakeBackend& backend, fw::CaptureDeviceDescription description)
      : backend_(backend), description_(std::move(description)) {}
  ~FakeDevice() override { Stop(); }

  const fw::CaptureDeviceDescription& Description() const override { return description_; }

  OSErr Start(const fw::CaptureStreamRequest& request, fw::FrameSink& sink) override {
    session_ = std::make_shared<FakeSession>();
    session_->request = request;
    session_->sink = &sink;
    session_->uniqueID = description_.uniqueID;
    backend_.sessions.push_back(session_);
    if (backend_.startError != noErr) return backend_.startError;
    if (backend_.produceFrames) {
      producer_ = std::thread([this, &sink] {
        for (uint8_t tag = 1; !stopping_.load(); tag = static_cast<uint8_t>(tag % 255 + 1)) {
          sink.FrameArrived(std::make_shared<TaggedFrame>(tag, 4, 2));
          std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
      });
    }
    return noErr;
  }

  void Stop() override {
    stopping_ = true;
    if (producer_.joinable()) producer_.join();
    if (session_ != nullptr) session_->stopped = true;
  }

 private:
  FakeBackend& backend_;
  fw::CaptureDeviceDescription description_;
  std::shared_ptr<FakeSession> session_;
  std::thread producer_;
  std::atomic<bool> stopping_{false};
};

inline std::unique_ptr<fw::CaptureDevice> FakeBackend::FindDevice(const std::string& uniqueID) {
  for (const fw::CaptureDeviceDescription& device : devices)
    if (device.uniqueID == uniqueID) return std::make_unique<FakeDevice>(*this, device);
  return nullptr;
}

// Runs fn on a thread of its own and waits for it: a device thread's call.
template <typename Fn>
void OnDeviceThread(Fn fn) {
  std::thread(fn).join();
}
