// The frame-number stamp: a 32-bit number drawn into a '2vuy' picture as a
// row of black and white cells, so that a test or a tool can tell exactly
// which incoming frame a written frame was.
//
// Layout, in pixels from the picture's top-left corner: cells of 8 × 8
// pixels in one row at y 8…15, starting at x 8. Cells 0…31 hold the bits of
// the number, least significant first: luma 235 for 1, 16 for 0. Cells 32
// and 33 are the signature, white then black. Chroma is 128 throughout, so
// the cells read the same in any colour space. The stamp needs a picture of
// at least 280 × 16 pixels; it survives any lossless path (the movie's own
// bytes, ffmpeg's raw decode) but not scaling.
#pragma once

#include <cstdint>

namespace fw {

constexpr int kFrameStampWidthPixels = 8 + 34 * 8;
constexpr int kFrameStampHeightPixels = 16;

// Draws the stamp; does nothing in a picture too small to hold it.
void StampFrameNumber(uint8_t* base, int32_t rowBytes, int width, int height, uint32_t number);

// Reads a stamp back; false when the picture holds none (no signature, or a
// cell that is neither clearly black nor clearly white).
bool ReadFrameStamp(const uint8_t* base, int32_t rowBytes, int width, int height, uint32_t* outNumber);

}  // namespace fw
