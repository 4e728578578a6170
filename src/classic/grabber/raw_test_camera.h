// The built-in raw test camera: a digitizer that only grabs asynchronously
// (no compression), so the channel's raw path and 32-bit 'raw ' movies are
// exercised on every machine. It grabs 640 × 480 pictures in 32-bit ARGB
// into the two buffers its caller owns, one per frame period (30 frames a
// second) on a thread of its own, each stamped with its frame number.
#pragma once

#include <cstdint>

#include "classic/grabber/component_registry.h"

namespace fw {

constexpr char kRawTestCameraName[] = "Raw Test Camera";
constexpr int32_t kRawTestCameraWidthPixels = 640;
constexpr int32_t kRawTestCameraHeightPixels = 480;
constexpr int32_t kRawTestCameraFramesPerSecond = 30;

// Type 'vdig', subtype 'rawt', manufacturer 'FWrt'.
Component RegisterRawTestCamera();

// For tests: cameras started from now on run this many times faster than
// real time (1 restores the real rate).
void SetRawTestCameraSpeedForTesting(double multiple);

}  // namespace fw
