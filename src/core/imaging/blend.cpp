#include "core/imaging/blend.h"

#include <algorithm>
#include <cstddef>

namespace fw {

void BlendRGB32(const RGB32ImageView& picture, const ConstRGB32ImageView& over, uint32_t weight256) {
  const uint32_t w = std::min<uint32_t>(weight256, 256);
  const uint32_t keep = 256 - w;
  const int32_t width = std::min(picture.width, over.width);
  const int32_t height = std::min(picture.height, over.height);
  if (picture.base == nullptr || over.base == nullptr || w == 0) return;
  for (int32_t y = 0; y < height; ++y) {
    auto* dst = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(picture.base) +
                                            static_cast<ptrdiff_t>(y) * picture.rowBytes);
    const auto* src = reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(over.base) +
                                                        static_cast<ptrdiff_t>(y) * over.rowBytes);
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t a = dst[x], b = src[x];
      // Two channels at a time: red and blue, then alpha and green, each
      // with 8 spare bits above it for the products.
      const uint32_t rb =
          (((a & 0x00FF00FFu) * keep + (b & 0x00FF00FFu) * w + 0x00800080u) >> 8) & 0x00FF00FFu;
      const uint32_t ag =
          ((((a >> 8) & 0x00FF00FFu) * keep + ((b >> 8) & 0x00FF00FFu) * w + 0x00800080u) >> 8) & 0x00FF00FFu;
      dst[x] = rb | (ag << 8);
    }
  }
}

}  // namespace fw
