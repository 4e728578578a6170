// Pixel maps: a description of pixels in memory (format, depth, row length,
// bounds). A pixel map "without storage" frames pixels that live elsewhere,
// such as a device's frame buffer; its owner points baseAddr at them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/platform/os_errors.h"
#include "core/util/types.h"

constexpr OSType k2vuyPixelFormat = FourCC("2vuy");
constexpr OSType k32ARGBPixelFormat = 32;
constexpr int32_t k72dpi = 0x00480000;  // 72.0 in 16.16 fixed point
constexpr int16_t kRGBDirect = 16;      // pixelType of direct-colour pixel maps

struct RGBColor {
  uint16_t red = 0;
  uint16_t green = 0;
  uint16_t blue = 0;
};

struct ColorTable {
  int32_t ctSeed = 0;
  int16_t ctFlags = 0;
  std::vector<RGBColor> entries;
};
using CTabHandle = std::unique_ptr<ColorTable>;

// The fields of a QuickDraw pixel map that the system reads.
struct PixMap {
  void* baseAddr = nullptr;
  int32_t rowBytes = 0;
  Rect bounds;
  int16_t pmVersion = 0;
  int16_t packType = 0;
  int32_t packSize = 0;
  int32_t hRes = 0;  // 16.16 fixed point
  int32_t vRes = 0;
  int16_t pixelType = 0;
  int16_t pixelSize = 0;
  int16_t cmpCount = 0;
  int16_t cmpSize = 0;
  OSType pixelFormat = 0;
  const ColorTable* pmTable = nullptr;  // not owned; indexed depths only
};
using PixMapHandle = std::unique_ptr<PixMap>;

// A cleared pixel map owning no pixels: row bytes as given, or when 0,
// bounds.right × pixel size / 8; version 4; 72 dpi; direct pixels; size and
// components by format (16-bit RGB formats, 24, 32, 40 for 8-bit grey, and
// the 4:2:2 Y'CbCr formats). An unlisted format gives paramErr.
[[nodiscard]] OSErr MyNewPixMapWithoutStorage(OSType pixelFormat, Rect bounds, int32_t rowBytes,
                                              PixMapHandle* out);

// '2vuy', 'yuvs', 'yuvu' and 'yuv2'.
bool IsYUVFormat(OSType format);

namespace fw {

// Whether a picture of this size is high definition, whose Y'CbCr follows
// BT.709; standard definition (up to 1024 × 576, the largest SD raster)
// follows BT.601. The preview and the movie's colour tag both ask this, so
// what is shown while capturing is what players show afterwards.
bool IsHDPictureSize(int widthPixels, int heightPixels);

}  // namespace fw
