// The built-in test-pattern camera: always listed (after every real camera),
// so Framewright HD runs and captures on a machine without video hardware.
// It makes '2vuy' colour bars with a box that moves one step per frame, on
// its own thread at a steady 30 frames a second, and stamps every frame with
// its sequence number (util/frame_stamp.h), counting from 1 at each start.
// Its input sources are the picture sizes it can make.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hd/video/capture_backend.h"

namespace fw {

constexpr char kTestPatternUniqueID[] = "framewright-test-pattern";
constexpr char kTestPatternName[] = "Test Pattern Camera";
constexpr double kTestPatternFramesPerSecond = 30.0;
// For tests of the whole program, not offered to users: frames per second
// of cameras started while this environment variable holds a number.
constexpr char kTestPatternRateVariable[] = "FRAMEWRIGHT_TEST_CAMERA_FPS";

struct TestPatternSize {
  int32_t widthPixels;
  int32_t heightPixels;
};

// The input sources, in list order; the first is the default.
const std::vector<TestPatternSize>& TestPatternSizes();

class TestPatternBackend final : public CaptureBackend {
 public:
  void ListDevices(std::vector<CaptureDeviceDescription>& devices) override;
  std::unique_ptr<CaptureDevice> FindDevice(const std::string& uniqueID) override;
};

// Draws one frame of the pattern: the bars, the box at the position of
// frameNumber, and the stamp of frameNumber. widthPixels is even ('2vuy'
// comes in pixel pairs).
void DrawTestPattern(uint8_t* base, int32_t rowBytes, int32_t widthPixels, int32_t heightPixels,
                     uint32_t frameNumber);

// Hooks for tests, not offered to users. They act on every running camera.

// Frames per second of cameras started from now on (before the environment
// variable); 0 restores 30.
void SetTestPatternFrameRateForTesting(double framesPerSecond);

enum class TestPatternFlow { kRunning, kStalled };
// A stalled camera keeps its thread but makes and delivers nothing.
void SetTestPatternFlowForTesting(TestPatternFlow flow);

// The next frame time of one running camera reports this runtime error
// instead of a frame, and the camera then sends nothing more.
void InjectTestPatternRuntimeErrorForTesting(OSErr code);

// The next `count` frames are made and numbered but not delivered, as a
// camera that drops frames would; the stamps show the gap.
void SkipTestPatternFramesForTesting(uint32_t count);

}  // namespace fw
