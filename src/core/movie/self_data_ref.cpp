// Rewriting a movie atom's data references to the file itself.
#include "core/movie/self_data_ref.h"

#include <cstring>

#include "core/util/byte_order.h"
#include "core/util/types.h"

using namespace fw;

const uint8_t fw::kSelfDataRefAtom[kSelfDataRefSizeBytes] = {
    0x00, 0x00, 0x00, 0x1C, 'd', 'r', 'e', 'f',  // size 28, type
    0x00, 0x00, 0x00, 0x00,                      // version 0, flags 0
    0x00, 0x00, 0x00, 0x01,                      // one entry
    0x00, 0x00, 0x00, 0x0C, 'a', 'l', 'i', 's',  // entry size 12, type
    0x00, 0x00, 0x00, 0x01,                      // flags: data in this file
};

namespace {

// An atom found by its type: where it starts and where it ends, as offsets
// into the buffer.
struct Found {
  size_t typeAt = 0;
  size_t start = 0;
  size_t end = 0;
};

bool TypeAt(const uint8_t* bytes, size_t at, OSType type) {
  return LoadBE32(bytes + at) == type;
}

// The first position from `from` whose four bytes read `type` and lie inside
// [.., parentEnd); the atom it names must start after `parentStart` and end
// no later than `parentEnd`.
bool FindChild(const uint8_t* bytes, size_t from, size_t parentStart, size_t parentEnd, OSType type,
               Found* out) {
  for (size_t q = from; q + 4 <= parentEnd; ++q) {
    if (!TypeAt(bytes, q, type)) continue;
    if (q < 4 || q - 4 < parentStart) return false;
    const size_t start = q - 4;
    const uint64_t end = uint64_t{start} + LoadBE32(bytes + start);
    if (end > parentEnd) return false;
    *out = {q, start, static_cast<size_t>(end)};
    return true;
  }
  return false;
}

void SubtractFromSize(uint8_t* bytes, size_t atomStart, uint32_t delta) {
  StoreBE32(bytes + atomStart, LoadBE32(bytes + atomStart) - delta);
}

}  // namespace

void SetMovieDataRefToSelf(std::vector<uint8_t>* movieResource) {
  if (movieResource == nullptr || movieResource->size() < 8) return;
  uint8_t* bytes = movieResource->data();
  const uint32_t movieSize = LoadBE32(bytes);
  if (movieSize < 12 || movieSize > movieResource->size() || !TypeAt(bytes, 4, FourCC("moov"))) return;
  size_t end = movieSize;

  size_t p = 8;
  while (p + 4 <= end) {
    if (!TypeAt(bytes, p, FourCC("trak"))) {
      ++p;
      continue;
    }
    const size_t trakStart = p - 4;
    const uint64_t trakEnd = uint64_t{trakStart} + LoadBE32(bytes + trakStart);
    if (trakEnd > end) break;  // a track running past the movie ends the scan

    Found mdia, minf, dinf, dref;
    const bool nested = FindChild(bytes, p, trakStart, static_cast<size_t>(trakEnd), FourCC("mdia"), &mdia) &&
                        FindChild(bytes, mdia.typeAt, mdia.start, mdia.end, FourCC("minf"), &minf) &&
                        FindChild(bytes, minf.typeAt, minf.start, minf.end, FourCC("dinf"), &dinf) &&
                        FindChild(bytes, dinf.typeAt, dinf.start, dinf.end, FourCC("dref"), &dref);
    // A data reference shorter than ours would have to grow the movie; no
    // movie of ours has one, so such a track is left alone.
    if (nested && dref.end - dref.start >= kSelfDataRefSizeBytes) {
      std::memcpy(bytes + dref.start, kSelfDataRefAtom, kSelfDataRefSizeBytes);
      const size_t delta = dref.end - dref.start - kSelfDataRefSizeBytes;
      if (delta > 0) {
        const uint32_t d = static_cast<uint32_t>(delta);
        for (size_t atomStart : {dinf.start, minf.start, mdia.start, trakStart, size_t{0}})
          SubtractFromSize(bytes, atomStart, d);
        std::memmove(bytes + dref.start + kSelfDataRefSizeBytes, bytes + dref.end, end - dref.end);
        end -= delta;
      }
    }
    const size_t newTrakEnd = trakStart + LoadBE32(bytes + trakStart);
    p = newTrakEnd > p ? newTrakEnd + 1 : p + 1;
  }
  movieResource->resize(end);
}
