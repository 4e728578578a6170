// Pictures of the built-in cameras.
#include "classic/grabber/test_pictures.h"

#include <cstddef>

#include "core/imaging/ycbcr.h"
#include "core/util/frame_stamp.h"

namespace fw {

namespace {

// 75 % colour bars in video-range Y'CbCr (BT.601): white, yellow, cyan,
// green, magenta, red, blue, black.
struct Bar {
  uint8_t y, cb, cr;
};
constexpr Bar kBars[8] = {{180, 128, 128}, {162, 44, 142}, {131, 156, 44}, {112, 72, 58},
                          {84, 184, 198},  {65, 100, 212}, {35, 212, 114}, {16, 128, 128}};

}  // namespace

void DrawCameraTestPicture(uint8_t* base, int32_t rowBytes, int32_t widthPixels, int32_t heightPixels,
                           uint32_t frameNumber) {
  const int32_t box = heightPixels / 6 & ~1;
  const int32_t travel = widthPixels - box > 0 ? widthPixels - box : 1;
  const int32_t boxLeft = static_cast<int32_t>(frameNumber * 8 % static_cast<uint32_t>(travel)) & ~1;
  const int32_t boxTop = heightPixels / 2 - box / 2;
  for (int32_t y = 0; y < heightPixels; ++y) {
    uint8_t* row = base + static_cast<ptrdiff_t>(y) * rowBytes;
    const bool boxRow = y >= boxTop && y < boxTop + box;
    for (int32_t x = 0; x < widthPixels; x += 2) {
      Bar bar = kBars[static_cast<size_t>(x) * 8 / static_cast<size_t>(widthPixels)];
      if (boxRow && x >= boxLeft && x < boxLeft + box) bar = {235, 128, 128};
      uint8_t* pair = row + static_cast<ptrdiff_t>(x) * 2;
      pair[0] = bar.cb;
      pair[1] = bar.y;
      pair[2] = bar.cr;
      pair[3] = bar.y;
    }
  }
  StampFrameNumber(base, rowBytes, widthPixels, heightPixels, frameNumber);
}

void Convert2vuyToARGB32(const uint8_t* src, int32_t srcRowBytes, uint8_t* dst, int32_t dstRowBytes,
                         int32_t widthPixels, int32_t heightPixels) {
  static const YCbCrTables tables(YCbCrMatrix::kBT601);
  for (int32_t y = 0; y < heightPixels; ++y) {
    const uint8_t* in = src + static_cast<ptrdiff_t>(y) * srcRowBytes;
    uint8_t* out = dst + static_cast<ptrdiff_t>(y) * dstRowBytes;
    for (int32_t x = 0; x + 1 < widthPixels; x += 2, in += 4, out += 8) {
      for (int i = 0; i < 2; ++i) {
        const uint32_t argb = tables.ToRGB32(in[1 + 2 * i], in[0], in[2]);
        out[4 * i] = static_cast<uint8_t>(argb >> 24);
        out[4 * i + 1] = static_cast<uint8_t>(argb >> 16);
        out[4 * i + 2] = static_cast<uint8_t>(argb >> 8);
        out[4 * i + 3] = static_cast<uint8_t>(argb);
      }
    }
  }
}

}  // namespace fw
