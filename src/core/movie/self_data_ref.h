// Makes a serialised movie atom refer to the file that holds it: every
// track's data reference atom becomes a single 'alis' entry with the
// self-reference flag and no alias data. The file then plays wherever it is
// moved or copied, and the movie atom loses the bytes of the alias records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr size_t kSelfDataRefSizeBytes = 28;
constexpr uint32_t kDataRefSelfReferenceFlag = 1;

namespace fw {

// The data reference atom every finished capture file holds in each track.
extern const uint8_t kSelfDataRefAtom[kSelfDataRefSizeBytes];

}  // namespace fw

// Edits the movie atom in place, byte by byte, without assuming where atom
// boundaries lie: finds each 'trak', then its 'mdia', 'minf', 'dinf' and
// 'dref' in turn, overwrites the data reference with the 28-byte one, and
// when the old one was longer, closes the gap and shrinks every enclosing
// size. A null buffer, or one that does not start with a movie atom that
// fits in it, is left untouched. A track whose atoms do not nest, or whose
// data reference is shorter than 28 bytes, is left as it is. On return the
// buffer is exactly as long as the movie atom.
void SetMovieDataRefToSelf(std::vector<uint8_t>* movieResource);
