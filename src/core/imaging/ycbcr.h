// Video-range Y'CbCr → R'G'B' conversion shared by both preview paths, so
// that the OpenGL shader and the software renderer agree on every colour.
#pragma once

#include <cstdint>

namespace fw {

enum class YCbCrMatrix : uint8_t { kBT601, kBT709 };

// Standard definition sizes (up to 1024 × 576) are BT.601; anything larger is
// taken to be high definition and BT.709, as capture devices deliver them.
YCbCrMatrix ChooseYCbCrMatrix(int widthPixels, int heightPixels);

// R' = yScale·(Y'−16) + crToR·(Cr−128)
// G' = yScale·(Y'−16) − cbToG·(Cb−128) − crToG·(Cr−128)
// B' = yScale·(Y'−16) + cbToB·(Cb−128)
// on 8-bit codes, results clamped to 0…255.
struct YCbCrCoefficients {
  float yScale;
  float crToR;
  float cbToG;
  float crToG;
  float cbToB;
};

const YCbCrCoefficients& CoefficientsFor(YCbCrMatrix matrix);

// Lookup tables of one matrix in 16.16 fixed point, for the software path.
class YCbCrTables {
 public:
  explicit YCbCrTables(YCbCrMatrix matrix);
  YCbCrMatrix matrix() const { return matrix_; }

  // 0xFFRRGGBB.
  uint32_t ToRGB32(unsigned y, unsigned cb, unsigned cr) const {
    const int32_t luma = y_[y];
    const int32_t r = (luma + crR_[cr]) >> 16;
    const int32_t g = (luma + cbG_[cb] + crG_[cr]) >> 16;
    const int32_t b = (luma + cbB_[cb]) >> 16;
    return 0xFF000000u | (Clamp8(r) << 16) | (Clamp8(g) << 8) | Clamp8(b);
  }

 private:
  static uint32_t Clamp8(int32_t v) { return static_cast<uint32_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

  YCbCrMatrix matrix_;
  int32_t y_[256];
  int32_t crR_[256];
  int32_t cbG_[256];
  int32_t crG_[256];
  int32_t cbB_[256];
};

}  // namespace fw
