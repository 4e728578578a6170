// The built-in raw test camera.
#include "classic/grabber/raw_test_camera.h"

#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

#include "classic/grabber/frame_ticker.h"
#include "classic/grabber/test_pictures.h"
#include "classic/grabber/video_digitizer.h"

namespace fw {

namespace {

std::atomic<double> gSpeedForTesting{1.0};

class RawTestCamera final : public FixedSizeDigitizer {
 public:
  RawTestCamera()
      : FixedSizeDigitizer(kRawTestCameraWidthPixels, kRawTestCameraHeightPixels, digiOutDoesAsyncGrabs),
        picture_(static_cast<size_t>(kRawTestCameraWidthPixels) * 2 * kRawTestCameraHeightPixels) {}
  ~RawTestCamera() override { ticker_.Stop(); }

  OSErr CallComponentDispatch(int16_t selector, uint32_t) override {
    return selector == kVDCaptureStateChangingSelect ? noErr : badComponentSelector;
  }

  // The buffers must be 32-bit pixel maps at least as large as the picture.
  OSErr SetupBuffers(const VdigBufferRecList* list) override {
    if (list == nullptr || list->count < 1 || list->count > 2) return paramErr;
    for (int i = 0; i < list->count; ++i) {
      const PixMap* pm = list->list[i].dest;
      if (pm == nullptr || pm->baseAddr == nullptr) return paramErr;
      if (pm->pixelSize != 32) return cDepthErr;
      if (pm->bounds.right - pm->bounds.left < kRawTestCameraWidthPixels ||
          pm->bounds.bottom - pm->bounds.top < kRawTestCameraHeightPixels ||
          pm->rowBytes < kRawTestCameraWidthPixels * 4)
        return paramErr;
    }
    ReleaseAsyncBuffers();
    std::lock_guard lock(mutex_);
    count_ = list->count;
    pending_.clear();
    for (int i = 0; i < count_; ++i) {
      buffers_[i] = {static_cast<uint8_t*>(list->list[i].dest->baseAddr), list->list[i].dest->rowBytes};
      state_[i] = Grab::kIdle;
    }
    return noErr;
  }

  OSErr ReleaseAsyncBuffers() override {
    ticker_.Stop();  // once stopped, nothing is drawn into the buffers any more
    std::lock_guard lock(mutex_);
    count_ = 0;
    pending_.clear();
    return noErr;
  }

  OSErr GrabOneFrameAsync(int16_t buffer) override {
    {
      std::lock_guard lock(mutex_);
      if (buffer < 0 || buffer >= count_) return count_ == 0 ? badCallOrderErr : paramErr;
      if (state_[buffer] != Grab::kPending) pending_.push_back(buffer);
      state_[buffer] = Grab::kPending;
    }
    if (!ticker_.Running()) {
      const double speed = gSpeedForTesting.load();
      ticker_.Start(static_cast<uint64_t>(1e9 / kRawTestCameraFramesPerSecond / (speed > 0 ? speed : 1.0)),
                    [this](uint64_t) { MakeFrame(); });
    }
    return noErr;
  }

  bool Done(int16_t buffer) override {
    std::lock_guard lock(mutex_);
    return buffer >= 0 && buffer < count_ && state_[buffer] == Grab::kDone;
  }

 private:
  enum class Grab : uint8_t { kIdle, kPending, kDone };
  struct Buffer {
    uint8_t* base = nullptr;
    int32_t rowBytes = 0;
  };

  // On the camera's thread: a picture every period; it lands in the
  // buffer that has waited longest for one, or is lost when none waits.
  void MakeFrame() {
    const uint32_t number = ++frameNumber_;
    DrawCameraTestPicture(picture_.data(), kRawTestCameraWidthPixels * 2, kRawTestCameraWidthPixels,
                          kRawTestCameraHeightPixels, number);
    std::lock_guard lock(mutex_);
    if (pending_.empty()) return;
    const int target = pending_.front();
    pending_.pop_front();
    Convert2vuyToARGB32(picture_.data(), kRawTestCameraWidthPixels * 2, buffers_[target].base,
                        buffers_[target].rowBytes, kRawTestCameraWidthPixels, kRawTestCameraHeightPixels);
    state_[target] = Grab::kDone;
  }

  FrameTicker ticker_;
  std::vector<uint8_t> picture_;  // camera thread only
  uint32_t frameNumber_ = 0;

  std::mutex mutex_;
  int count_ = 0;
  Buffer buffers_[2];
  Grab state_[2] = {Grab::kIdle, Grab::kIdle};
  std::deque<int> pending_;  // buffers waiting for a picture, longest first
};

}  // namespace

Component RegisterRawTestCamera() {
  ComponentRegistration registration;
  registration.description.componentType = kVideoDigitizerComponentType;
  registration.description.componentSubType = FourCC("rawt");
  registration.description.componentManufacturer = FourCC("FWrt");
  registration.name = kRawTestCameraName;
  registration.info = "Built-in raw camera: 32-bit test picture";
  registration.open = [](ComponentInstance* out) {
    *out = std::make_unique<RawTestCamera>();
    return noErr;
  };
  return RegisterComponent(std::move(registration));
}

void SetRawTestCameraSpeedForTesting(double multiple) {
  gSpeedForTesting.store(multiple);
}

}  // namespace fw
