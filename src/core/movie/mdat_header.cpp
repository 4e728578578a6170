// The media data header of capture files.
#include "core/movie/mdat_header.h"

#include "core/util/byte_order.h"
#include "core/util/types.h"

void CreateMdatHeader(uint32_t sizeLow, int32_t sizeHigh, void* outHeader) {
  auto* out = static_cast<uint8_t*>(outHeader);
  if (sizeHigh <= 0) {
    // The 'wide' atom reserves room for the 64-bit form, so a file that grows
    // past 4 GiB can switch forms without moving its frames.
    StoreBE32(out, 8);
    StoreBE32(out + 4, FourCC("wide"));
    StoreBE32(out + 8, sizeLow - 8);
    StoreBE32(out + 12, FourCC("mdat"));
  } else {
    StoreBE32(out, 1);  // size 1: the real size follows as 64 bits
    StoreBE32(out + 4, FourCC("mdat"));
    StoreBE32(out + 8, static_cast<uint32_t>(sizeHigh));
    StoreBE32(out + 12, sizeLow);
  }
}
