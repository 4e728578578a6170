// The software preview's pixel work: '2vuy' frames converted to 32-bit RGB
// and scaled (bilinear, in fixed point) into a rectangle, optionally
// mirrored; and 32-bit images scaled the same way. Both sample exactly where
// the OpenGL path's shader samples, so the two pictures match.
//
// 32-bit pixels are native-endian words 0xFFRRGGBB (what a QImage of format
// RGB32 shows as it is).
#pragma once

#include <cstdint>
#include <vector>

#include "core/imaging/ycbcr.h"

namespace fw {

// Mirroring of a picture in its rectangle.
enum class Mirroring : uint8_t { kNone = 0, kHorizontal = 1, kVertical = 2, kBoth = 3 };

constexpr Mirroring MirroringFor(bool flipH, bool flipV) {
  return static_cast<Mirroring>((flipH ? 1 : 0) | (flipV ? 2 : 0));
}
constexpr bool MirrorsHorizontally(Mirroring m) {
  return (static_cast<int>(m) & 1) != 0;
}
constexpr bool MirrorsVertically(Mirroring m) {
  return (static_cast<int>(m) & 2) != 0;
}

// '2vuy' pixels: per pair of pixels the bytes Cb Y0 Cr Y1, chroma sited with
// the first pixel of its pair. Rows of rowBytes, which must hold every whole
// pair: rowBytes ≥ Row2vuyBytesNeeded(width).
struct YCbCrImageView {
  const uint8_t* base = nullptr;
  int32_t rowBytes = 0;
  int32_t width = 0;
  int32_t height = 0;
};

constexpr int32_t Row2vuyBytesNeeded(int32_t widthPixels) {
  return ((widthPixels + 1) / 2) * 4;
}

struct RGB32ImageView {
  uint32_t* base = nullptr;
  int32_t rowBytes = 0;
  int32_t width = 0;
  int32_t height = 0;
};

struct ConstRGB32ImageView {
  const uint32_t* base = nullptr;
  int32_t rowBytes = 0;
  int32_t width = 0;
  int32_t height = 0;
};

// Where each destination column or row samples its source: the two source
// indexes and the weight of the second in 1/256.
struct SampleStep {
  int32_t first;
  int32_t second;
  uint32_t weight;
};

// Source positions of `destCount` samples spread over `sourceCount`, centre
// on centre (destination i samples source (i + ½)·source/dest − ½, clamped to
// the edges), in mirrored order when `mirrored`.
std::vector<SampleStep> MakeSampleSteps(int32_t sourceCount, int32_t destCount, bool mirrored);

// The conversion of one matrix as five 16.16 fixed-point factors.
struct YCbCrFixed {
  static YCbCrFixed For(YCbCrMatrix matrix);
  YCbCrMatrix matrix;
  int32_t yScale, crToR, cbToG, crToG, cbToB;
};

// Converts and scales a '2vuy' image to fill `dest`. Keeps its sampling
// tables and a row buffer between calls, so a preview drawing frame after
// frame of one size allocates nothing.
class YCbCrScaler {
 public:
  // Where one destination column samples a row of '2vuy' bytes.
  // Each blends a sample with the next one along the row, by the weight of
  // the next in 1/256.
  struct Column {
    uint32_t luma0;    // byte offset of Y' in a row; the next Y' is 2 bytes on
    uint32_t chroma0;  // byte offset of Cb (Cr follows 2 bytes on); the next pair 4 bytes on
    uint32_t lumaWeight;
    uint32_t chromaWeight;
  };

  void Draw(const YCbCrImageView& source, const RGB32ImageView& dest, Mirroring mirroring,
            YCbCrMatrix matrix);

 private:
  void Prepare(const YCbCrImageView& source, const RGB32ImageView& dest, Mirroring mirroring,
               YCbCrMatrix matrix);

  int32_t sourceWidth_ = -1, sourceHeight_ = -1, destWidth_ = -1, destHeight_ = -1;
  Mirroring mirroring_ = Mirroring::kNone;
  std::vector<Column> columns_;
  std::vector<SampleStep> rows_;
  std::vector<uint8_t> blendedRow_;
  std::vector<uint8_t> sampledLuma_, sampledCb_, sampledCr_;  // one destination row
  YCbCrFixed fixed_ = YCbCrFixed::For(YCbCrMatrix::kBT601);
};

// Scales a 32-bit image to fill `dest`, with the same sampling.
class RGB32Scaler {
 public:
  void Draw(const ConstRGB32ImageView& source, const RGB32ImageView& dest, Mirroring mirroring);

 private:
  int32_t sourceWidth_ = -1, sourceHeight_ = -1, destWidth_ = -1, destHeight_ = -1;
  Mirroring mirroring_ = Mirroring::kNone;
  std::vector<SampleStep> columns_;
  std::vector<SampleStep> rows_;
  std::vector<uint32_t> blendedRow_;
};

}  // namespace fw
