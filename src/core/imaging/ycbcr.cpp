// Video-range Y'CbCr → R'G'B' conversion.
#include "core/imaging/ycbcr.h"

#include <cmath>

#include "core/util/pixmap.h"

namespace fw {

namespace {

// From the luma weights Kr and Kb of a matrix, for video range: luma codes
// 16…235 and chroma codes 16…240 span the full 0…255 of R'G'B'.
constexpr YCbCrCoefficients MakeCoefficients(double kr, double kb) {
  const double kg = 1.0 - kr - kb;
  const double chromaScale = 255.0 / 224.0;
  return YCbCrCoefficients{
      static_cast<float>(255.0 / 219.0),
      static_cast<float>(chromaScale * 2.0 * (1.0 - kr)),
      static_cast<float>(chromaScale * 2.0 * (1.0 - kb) * kb / kg),
      static_cast<float>(chromaScale * 2.0 * (1.0 - kr) * kr / kg),
      static_cast<float>(chromaScale * 2.0 * (1.0 - kb)),
  };
}

constexpr YCbCrCoefficients kBT601 = MakeCoefficients(0.299, 0.114);
constexpr YCbCrCoefficients kBT709 = MakeCoefficients(0.2126, 0.0722);

int32_t Fixed(double v) {
  return static_cast<int32_t>(std::lround(v * 65536.0));
}

}  // namespace

YCbCrMatrix ChooseYCbCrMatrix(int widthPixels, int heightPixels) {
  return IsHDPictureSize(widthPixels, heightPixels) ? YCbCrMatrix::kBT709 : YCbCrMatrix::kBT601;
}

const YCbCrCoefficients& CoefficientsFor(YCbCrMatrix matrix) {
  return matrix == YCbCrMatrix::kBT709 ? kBT709 : kBT601;
}

YCbCrTables::YCbCrTables(YCbCrMatrix matrix) : matrix_(matrix) {
  const YCbCrCoefficients& c = CoefficientsFor(matrix);
  for (int i = 0; i < 256; ++i) {
    // The rounding half lives in the luma term so each channel rounds once.
    y_[i] = Fixed(c.yScale * (i - 16)) + 0x8000;
    crR_[i] = Fixed(c.crToR * (i - 128));
    cbG_[i] = -Fixed(c.cbToG * (i - 128));
    crG_[i] = -Fixed(c.crToG * (i - 128));
    cbB_[i] = Fixed(c.cbToB * (i - 128));
  }
}

}  // namespace fw
