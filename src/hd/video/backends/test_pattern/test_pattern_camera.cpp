// The built-in test-pattern camera.
#include "hd/video/backends/test_pattern/test_pattern_camera.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "core/util/frame_stamp.h"

namespace fw {

namespace {

using Clock = std::chrono::steady_clock;

// Larger requests are cut to this; the fields are 16-bit, and a 32767-pixel
// square would ask for 2 GB a frame.
constexpr int32_t kMaxSideLengthPixels = 8192;

std::atomic<double> gFrameRateForTesting{0.0};
std::atomic<TestPatternFlow> gFlowForTesting{TestPatternFlow::kRunning};
std::atomic<OSErr> gInjectedError{0};
std::atomic<uint32_t> gFramesToSkip{0};

// Input source the camera opens on when asked for none: the one last chosen
// in this process, as a real device keeps its last input.
std::atomic<int> gCurrentSizeIndex{0};

// Tests of the whole program run the camera faster than a real one without
// a second entry in the device list: kTestPatternRateVariable, read at each
// start. Anything but a rate between 1 and 240 is ignored.
double FrameRateFromEnvironment() {
  const char* text = std::getenv(kTestPatternRateVariable);
  if (text == nullptr || *text == '\0') return 0;
  char* end = nullptr;
  const double rate = std::strtod(text, &end);
  if (*end != '\0' || !(rate >= 1.0 && rate <= 240.0)) return 0;
  return rate;
}

struct YCbCr {
  uint8_t y, cb, cr;
};

// 75% colour bars, white to blue, in video range. HD sizes use BT.709, the
// 486-line size BT.601, as each kind of monitor expects.
constexpr YCbCr kBars709[7] = {{180, 128, 128}, {168, 44, 136}, {145, 147, 44}, {133, 63, 52},
                               {63, 193, 204},  {51, 109, 212}, {28, 212, 120}};
constexpr YCbCr kBars601[7] = {{180, 128, 128}, {162, 44, 142}, {131, 156, 44}, {112, 72, 58},
                               {84, 184, 198},  {65, 100, 212}, {35, 212, 114}};
constexpr YCbCr kBlack = {16, 128, 128};
constexpr YCbCr kWhite = {235, 128, 128};

void FillPairs(uint8_t* row, int32_t fromPixel, int32_t toPixel, YCbCr colour) {
  // Widths are even, so a pair started below toPixel ends inside the row.
  for (int32_t x = fromPixel & ~1; x < toPixel; x += 2) {
    uint8_t* pair = row + x * 2;
    pair[0] = colour.cb;
    pair[1] = colour.y;
    pair[2] = colour.cr;
    pair[3] = colour.y;
  }
}

int32_t BarsHeight(int32_t heightPixels) {
  return heightPixels * 2 / 3;
}

void DrawBars(uint8_t* base, int32_t rowBytes, int32_t widthPixels, int32_t heightPixels) {
  const YCbCr* bars = heightPixels < 720 ? kBars601 : kBars709;
  const int32_t barsHeight = BarsHeight(heightPixels);
  for (int32_t y = 0; y < heightPixels; ++y) {
    uint8_t* row = base + static_cast<ptrdiff_t>(y) * rowBytes;
    if (y >= barsHeight) {
      FillPairs(row, 0, widthPixels, kBlack);
      continue;
    }
    for (int bar = 0; bar < 7; ++bar)
      FillPairs(row, widthPixels * bar / 7, widthPixels * (bar + 1) / 7, bars[bar]);
  }
}

// A white square in the black band under the bars, a few pixels further
// right in every frame, so that a frozen picture shows at a glance.
void DrawMovingBox(uint8_t* base, int32_t rowBytes, int32_t widthPixels, int32_t heightPixels,
                   uint32_t frameNumber) {
  const int32_t band = heightPixels - BarsHeight(heightPixels);
  const int32_t side = std::min(band / 2, widthPixels / 4) & ~1;
  const int32_t travel = widthPixels - side;
  if (side <= 0 || travel <= 0) return;
  const int32_t step = std::max<int32_t>(2, widthPixels / 120) & ~1;
  const int32_t left = static_cast<int32_t>((static_cast<uint64_t>(frameNumber) * step) % travel) & ~1;
  const int32_t top = BarsHeight(heightPixels) + (band - side) / 2;
  for (int32_t y = top; y < top + side; ++y)
    FillPairs(base + static_cast<ptrdiff_t>(y) * rowBytes, left, left + side, kWhite);
}

class TestPatternDevice final : public CaptureDevice {
 public:
  TestPatternDevice() {
    description_.name = kTestPatternName;
    description_.uniqueID = kTestPatternUniqueID;
    for (const TestPatternSize& size : TestPatternSizes())
      description_.inputSources.push_back(std::to_string(size.widthPixels) + " x " +
                                          std::to_string(size.heightPixels));
  }

  ~TestPatternDevice() override { Stop(); }

  const CaptureDeviceDescription& Description() const override { return description_; }

  OSErr Start(const CaptureStreamRequest& request, FrameSink& sink) override {
    if (thread_.joinable()) return badCallOrderErr;
    const auto& sizes = TestPatternSizes();
    if (request.inputSource >= 0 && request.inputSource < static_cast<int>(sizes.size()))
      gCurrentSizeIndex.store(request.inputSource);
    TestPatternSize size = sizes[static_cast<size_t>(gCurrentSizeIndex.load())];
    if (request.widthPixels > 0 && request.heightPixels > 0) {
      size.widthPixels = std::min(request.widthPixels, kMaxSideLengthPixels);
      size.heightPixels = std::min(request.heightPixels, kMaxSideLengthPixels);
    }
    size.widthPixels += size.widthPixels & 1;  // '2vuy' comes in pixel pairs
    double rate = gFrameRateForTesting.load();
    if (rate <= 0) rate = FrameRateFromEnvironment();
    if (rate <= 0) rate = kTestPatternFramesPerSecond;
    if (request.framesPerSecond > 0) rate = std::min(rate, static_cast<double>(request.framesPerSecond));

    if (request.video == VideoConnection::kDisabled) return noErr;  // open, but no picture
    size_ = size;
    background_.assign(static_cast<size_t>(size.widthPixels) * 2 * static_cast<size_t>(size.heightPixels), 0);
    DrawBars(background_.data(), size.widthPixels * 2, size.widthPixels, size.heightPixels);
    sink_ = &sink;
    stopping_ = false;
    thread_ = std::thread([this, rate] { Run(rate); });
    return noErr;
  }

  void Stop() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

 private:
  void Run(double framesPerSecond) {
    const auto period =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / framesPerSecond));
    auto due = Clock::now() + period;
    uint32_t frameNumber = 0;
    for (;;) {
      {
        std::unique_lock<std::mutex> lock(mutex_);
        if (wake_.wait_until(lock, due, [this] { return stopping_; })) return;
      }
      // A steady rate: the next frame is due one period after this one was,
      // unless the thread fell behind (a loaded machine), when the schedule
      // starts again from now rather than catching up in a burst.
      due += period;
      const auto now = Clock::now();
      if (due < now) due = now + period;

      if (gFlowForTesting.load() == TestPatternFlow::kStalled) continue;
      if (const OSErr err = gInjectedError.exchange(0); err != noErr) {
        sink_->RuntimeErrorOccurred(err);
        return;
      }
      ++frameNumber;
      uint32_t skip = gFramesToSkip.load();
      while (skip > 0 && !gFramesToSkip.compare_exchange_weak(skip, skip - 1)) {
      }
      if (skip > 0) continue;

      CaptureFrameRef frame = pool_.Acquire(size_.widthPixels, size_.heightPixels);
      if (frame == nullptr) {
        sink_->RuntimeErrorOccurred(memFullErr);
        return;
      }
      std::memcpy(frame->BaseAddress(), background_.data(), background_.size());
      DrawMovingBox(frame->BaseAddress(), frame->RowBytes(), size_.widthPixels, size_.heightPixels,
                    frameNumber);
      StampFrameNumber(frame->BaseAddress(), frame->RowBytes(), size_.widthPixels, size_.heightPixels,
                       frameNumber);
      sink_->FrameArrived(std::move(frame));
    }
  }

  CaptureDeviceDescription description_;
  FramePool pool_;
  TestPatternSize size_{};
  std::vector<uint8_t> background_;
  FrameSink* sink_ = nullptr;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;  // guarded by mutex_
};

}  // namespace

const std::vector<TestPatternSize>& TestPatternSizes() {
  static const std::vector<TestPatternSize> sizes = {{1280, 720}, {1920, 1080}, {3840, 2160}, {720, 486}};
  return sizes;
}

void TestPatternBackend::ListDevices(std::vector<CaptureDeviceDescription>& devices) {
  devices.push_back(TestPatternDevice().Description());
}

std::unique_ptr<CaptureDevice> TestPatternBackend::FindDevice(const std::string& uniqueID) {
  if (uniqueID != kTestPatternUniqueID) return nullptr;
  return std::make_unique<TestPatternDevice>();
}

void DrawTestPattern(uint8_t* base, int32_t rowBytes, int32_t widthPixels, int32_t heightPixels,
                     uint32_t frameNumber) {
  DrawBars(base, rowBytes, widthPixels, heightPixels);
  DrawMovingBox(base, rowBytes, widthPixels, heightPixels, frameNumber);
  StampFrameNumber(base, rowBytes, widthPixels, heightPixels, frameNumber);
}

void SetTestPatternFrameRateForTesting(double framesPerSecond) {
  gFrameRateForTesting.store(framesPerSecond);
}

void SetTestPatternFlowForTesting(TestPatternFlow flow) {
  gFlowForTesting.store(flow);
}

void InjectTestPatternRuntimeErrorForTesting(OSErr code) {
  gInjectedError.store(code);
}

void SkipTestPatternFramesForTesting(uint32_t count) {
  gFramesToSkip.store(count);
}

}  // namespace fw
