// The built-in DV camera, "DV Video": always present, so the DV stream
// capture works on any machine. A compressing digitizer with the single
// compression type 'dvc ': NTSC DV25 frames (720 × 480, 120,000 bytes each)
// at 30000/1001 frames a second, encoded with libavcodec from a moving test
// picture that carries each frame's number. Like a camera on a bus it makes
// frames at its own pace on a thread of its own once asked for the first,
// into a queue of a few finished frames; a frame that finds the queue full
// is dropped (its number is skipped), so a slow consumer sees gaps rather
// than an ever older picture.
#pragma once

#include <cstdint>

#include "classic/grabber/component_registry.h"

namespace fw {

constexpr char kDVCameraName[] = "DV Video";
constexpr int32_t kDVCameraWidthPixels = 720;
constexpr int32_t kDVCameraHeightPixels = 480;
constexpr int32_t kDVCameraFrameRateNumerator = 30000;
constexpr int32_t kDVCameraFrameRateDenominator = 1001;
constexpr int kDVCameraQueueFrames = 4;

// Registers the camera: type 'vdig', subtype 'fire', manufacturer 'appl'.
Component RegisterDVCamera();

// For tests: cameras started from now on run this many times faster than
// real time (1 restores the real rate).
void SetDVCameraSpeedForTesting(double multiple);

}  // namespace fw
