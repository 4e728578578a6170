// The pictures of the built-in cameras: colour bars with a box that moves
// one step per frame, stamped with the frame's number (core/util/frame_stamp.h)
// so that a test or a tool can tell exactly which frame it is looking at.
#pragma once

#include <cstdint>

namespace fw {

// A '2vuy' picture; widthPixels even.
void DrawCameraTestPicture(uint8_t* base, int32_t rowBytes, int32_t widthPixels, int32_t heightPixels,
                           uint32_t frameNumber);

// '2vuy' to 32-bit ARGB (bytes A R G B), BT.601.
void Convert2vuyToARGB32(const uint8_t* src, int32_t srcRowBytes, uint8_t* dst, int32_t dstRowBytes,
                         int32_t widthPixels, int32_t heightPixels);

}  // namespace fw
