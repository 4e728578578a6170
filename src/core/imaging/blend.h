// Laying one picture over another at a weight: the onion skin of the
// software picture path (the OpenGL path blends on the graphics card).
#pragma once

#include <cstdint>

#include "core/imaging/soft_scaler.h"

namespace fw {

// picture = picture x (256 - weight256) / 256 + over x weight256 / 256 for
// each 8-bit channel, rounded; weight256 above 256 counts as 256. Both
// pictures must be the same size; paramErr-free by design: a size mismatch
// blends only the rows and columns they share.
void BlendRGB32(const RGB32ImageView& picture, const ConstRGB32ImageView& over, uint32_t weight256);

}  // namespace fw
