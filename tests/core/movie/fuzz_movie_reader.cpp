// Fuzz target: the movie reader behind fwmov, on whole files and on movie
// atoms alone, and the JSON it feeds. No input may crash it, read outside
// the bytes given, or leak.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/movie/movie_json.h"
#include "core/movie/movie_reader.h"

using namespace fw;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MovieFileInfo info;
  std::string problem;
  MemoryByteSource source(data, size);
  if (ReadMovieFile(source, &info, &problem) == noErr) {
    const std::string json = MovieFileInfoToJson(info, "fuzz");
    if (json.empty()) std::abort();
  } else if (problem.empty()) {
    std::abort();  // every refusal says why
  }
  // A movie atom alone: only that it neither crashes nor reads outside.
  (void)ReadMovieAtom(data, size, &info, &problem);
  return 0;
}
