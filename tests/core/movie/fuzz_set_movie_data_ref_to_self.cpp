// Fuzz target: the in-place rewrite of a serialised movie atom's data
// references must stay inside the buffer whatever the bytes say, and leave a
// buffer whose first word is the movie atom's size when it changes anything.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/movie/self_data_ref.h"
#include "core/util/byte_order.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> block(data, data + size);
  SetMovieDataRefToSelf(&block);
  if (block.size() > size) std::abort();  // it only ever shrinks
  if (block.size() != size || (size > 0 && std::vector<uint8_t>(data, data + size) != block)) {
    if (block.size() < 12 || LoadBE32(block.data()) != block.size()) std::abort();
  }
  return 0;
}
