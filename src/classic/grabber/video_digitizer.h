// The video digitizer: the one interface through which the sequence grabber
// channel drives a capture device. It holds exactly what the channel relies
// on: capability flags, the compressing calls (a list of compression types,
// one-frame-at-a-time requests, a query for finished frames and the release
// of their buffers), the raw calls (asynchronous grabs into one of two
// caller-owned buffers, a query whether a grab is done), an image
// description of the delivered frames, inputs and picture adjustments.
// Digitizers are components of type 'vdig'.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "classic/grabber/component_registry.h"
#include "core/movie/movie.h"
#include "core/util/image_description.h"
#include "core/util/pixmap.h"

constexpr OSType kVideoDigitizerComponentType = FourCC("vdig");

// DigitizerInfo output capability flags.
constexpr int32_t digiOutDoesAsyncGrabs = 0x02000000;
constexpr int32_t digiOutDoesCompress = 0x08000000;

// Capture-state notification flags.
constexpr uint32_t vdFlagCaptureStarting = 1;
constexpr uint32_t vdFlagCaptureStopping = 2;
constexpr uint32_t vdFlagCaptureIsForRecord = 8;
constexpr uint32_t vdFlagCaptureLowLatency = 16;

// Numbered component calls without a method of their own.
constexpr int16_t kVDCaptureStateChangingSelect = 95;
constexpr int16_t kNTZVDSetCapturePlaybackIntervalSelect = 523;

constexpr uint32_t codecNormalQuality = 0x200;

// Time: values in a scale (units per second) on a time base.
using TimeScale = int32_t;
struct TimeBaseRecord;
using TimeBase = TimeBaseRecord*;
struct TimeRecord {
  int64_t value = 0;
  TimeScale scale = 0;
  TimeBase base = nullptr;
};

struct DigitizerInfo {
  int16_t vdigType = 0;
  int32_t inputCapabilityFlags = 0;
  int32_t outputCapabilityFlags = 0;
  int32_t inputCurrentFlags = 0;
  int32_t outputCurrentFlags = 0;
  int16_t minDestHeight = 0;
  int16_t minDestWidth = 0;
  int16_t maxDestHeight = 0;
  int16_t maxDestWidth = 0;
};

struct VDCompressionList {
  OSType cType = 0;
  std::string typeName;
  std::string name;
};

// The two grab buffers of the raw path.
struct VdigBufferRec {
  PixMap* dest = nullptr;
  Point location;
};
struct VdigBufferRecList {
  int16_t count = 0;
  const MatrixRecord* matrix = nullptr;
  const void* mask = nullptr;
  VdigBufferRec list[2];
};

namespace fw {

enum class PictureAdjustment : uint8_t { kBrightness, kContrast, kSaturation, kHue };

// Every call returns an error code; the defaults answer that the digitizer
// has no such call (badComponentSelector), so a digitizer implements what
// its path needs. Calls come on the main thread.
class VideoDigitizer : public ComponentInstanceRecord {
 public:
  [[nodiscard]] virtual OSErr GetDigitizerInfo(DigitizerInfo* out) = 0;
  [[nodiscard]] virtual OSErr GetMaxSrcRect(int16_t inputStd, Rect* out) = 0;
  [[nodiscard]] virtual OSErr GetActiveSrcRect(int16_t inputStd, Rect* out) {
    return GetMaxSrcRect(inputStd, out);
  }
  [[nodiscard]] virtual OSErr SetDigitizerRect(const Rect*) { return badComponentSelector; }
  [[nodiscard]] virtual OSErr SetPlayThruOnOff(bool) { return badComponentSelector; }
  [[nodiscard]] virtual OSErr SetTimeBase(TimeBase) { return badComponentSelector; }
  // Stops every grab and compression under way and forgets the buffers;
  // once it returns the digitizer no longer touches them.
  [[nodiscard]] virtual OSErr ReleaseAsyncBuffers() { return noErr; }

  // Inputs (0-based).
  [[nodiscard]] virtual OSErr GetNumberOfInputs(int16_t* outCount) {
    *outCount = 1;
    return noErr;
  }
  [[nodiscard]] virtual OSErr GetInputName(int16_t input, std::string* outName);
  [[nodiscard]] virtual OSErr GetInput(int16_t* outInput) {
    *outInput = 0;
    return noErr;
  }
  [[nodiscard]] virtual OSErr SetInput(int16_t input) { return input == 0 ? noErr : paramErr; }

  // Values 0 to 65535.
  [[nodiscard]] virtual OSErr GetPictureAdjustment(PictureAdjustment, uint16_t*) {
    return badComponentSelector;
  }
  [[nodiscard]] virtual OSErr SetPictureAdjustment(PictureAdjustment, uint16_t) {
    return badComponentSelector;
  }

  // Compressing path.
  [[nodiscard]] virtual OSErr GetCompressionTypes(std::vector<VDCompressionList>*) {
    return badComponentSelector;
  }
  [[nodiscard]] virtual OSErr SetCompression(OSType, int16_t /*depth*/, const Rect* /*bounds*/,
                                             uint32_t /*spatialQuality*/, uint32_t /*temporalQuality*/,
                                             int32_t /*keyFrameRate*/) {
    return badComponentSelector;
  }
  [[nodiscard]] virtual OSErr SetCompressionOnOff(bool) { return badComponentSelector; }
  [[nodiscard]] virtual OSErr ResetCompressSequence() { return badComponentSelector; }
  // Asks for a frame.
  [[nodiscard]] virtual OSErr CompressOneFrameAsync() { return badComponentSelector; }
  // The number of finished frames waiting and, when there is one, the
  // oldest one's bytes (valid until released), size and time.
  [[nodiscard]] virtual OSErr CompressDone(int32_t* /*outQueuedFrames*/, const uint8_t** /*outData*/,
                                           int32_t* /*outSize*/, uint8_t* /*outSimilarity*/,
                                           TimeRecord* /*outTime*/) {
    return badComponentSelector;
  }
  [[nodiscard]] virtual OSErr ReleaseCompressBuffer(const uint8_t* /*data*/) { return badComponentSelector; }
  [[nodiscard]] virtual OSErr GetImageDescription(ImageDescription*) { return badComponentSelector; }

  // Raw path.
  [[nodiscard]] virtual OSErr SetupBuffers(const VdigBufferRecList*) { return badComponentSelector; }
  [[nodiscard]] virtual OSErr GrabOneFrameAsync(int16_t /*buffer*/) { return badComponentSelector; }
  // Whether the grab into the buffer has finished.
  virtual bool Done(int16_t /*buffer*/) { return false; }
};

// The built-in cameras: one picture size, whatever rectangle the channel
// asks for, and no play-through to set up.
class FixedSizeDigitizer : public VideoDigitizer {
 public:
  FixedSizeDigitizer(int16_t widthPixels, int16_t heightPixels, int32_t outputCapabilityFlags)
      : widthPixels_(widthPixels),
        heightPixels_(heightPixels),
        outputCapabilityFlags_(outputCapabilityFlags) {}

  OSErr GetDigitizerInfo(DigitizerInfo* out) override {
    *out = DigitizerInfo{};
    out->outputCapabilityFlags = outputCapabilityFlags_;
    out->minDestWidth = out->maxDestWidth = widthPixels_;
    out->minDestHeight = out->maxDestHeight = heightPixels_;
    return noErr;
  }
  OSErr GetMaxSrcRect(int16_t, Rect* out) override {
    *out = Rect{0, 0, heightPixels_, widthPixels_};
    return noErr;
  }
  OSErr SetDigitizerRect(const Rect*) override { return noErr; }
  OSErr SetPlayThruOnOff(bool) override { return noErr; }

 private:
  int16_t widthPixels_;
  int16_t heightPixels_;
  int32_t outputCapabilityFlags_;
};

}  // namespace fw

[[nodiscard]] OSErr VDCaptureStateChanging(fw::VideoDigitizer* digitizer, uint32_t flags);
// The 'ntz ' digitizer's vendor call; other digitizers answer it with
// badComponentSelector.
[[nodiscard]] OSErr fNTZVDSetCapturePlaybackInterval(fw::VideoDigitizer* digitizer, uint32_t interval);

// Time bases run on the monotonic clock at a rate (16.16 fixed point).
std::unique_ptr<TimeBaseRecord> NewTimeBase();
void SetTimeBaseRate(TimeBase base, Fixed rate);
// The time now. A scale of 0 gives the base's own scale, 600 units a second.
void GetTimeBaseTime(TimeBase base, TimeScale scale, TimeRecord* out);
namespace fw {

// The time the base showed at a monotonic clock reading.
void GetTimeBaseTimeAt(TimeBase base, uint64_t monotonicNanoseconds, TimeScale scale, TimeRecord* out);

}  // namespace fw

struct TimeBaseRecord {
  Fixed rate = 0;
  uint64_t startNanoseconds = 0;
};
