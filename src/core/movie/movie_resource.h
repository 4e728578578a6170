// Finishing a capture file: the movie that indexes the frames where they
// lie, the final media data header over the first 16 bytes, and the movie
// resource appended at the end, referring to the file itself. Everything
// comes in as arguments; the programs' capture code gathers it.
//
// The file on entry holds the 16-byte placeholder header and the frames back
// to back from offset 16, all of one size; nothing else is open on it.
#pragma once

#include <cstdint>

#include "core/movie/movie.h"
#include "core/platform/error_codes.h"
#include "core/platform/files.h"
#include "core/platform/program_flavor.h"
#include "core/util/image_description.h"
#include "core/util/types.h"

// Where the classic program reports a failure (with message 3), by the step
// that failed.
enum ClassicMovieLocation : int32_t {
  kLocationImageDescription = 1020,
  kLocationNewMovie = 1030,
  kLocationAlias = 1035,
  kLocationNewTrack = 1040,
  kLocationNewMedia = 1050,
  kLocationAddSamples = 1055,
  kLocationInsertMedia = 1060,
  kLocationSerialise = 1070,
  kLocationOpenFile = 1080,
  kLocationFileSize = 1090,
  kLocationWriteHeader = 1100,
  kLocationWriteMovie = 1110,
  kLocationEmptyResource = 1120,
};
constexpr int16_t kClassicMovieErrorMessage = 3;

namespace fw {

// Everything that differs between the two programs' movies, gathered by
// the caller from its own state.
struct MovieRequest {
  ProgramFlavor flavor = ProgramFlavor::kHD;
  const FileRef* file = nullptr;
  int32_t frameDataSize = 0;
  int32_t frameCount = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  const ImageDescription* description = nullptr;
  int32_t timeScale = 0;
  bool setMatrix = false;
  MatrixRecord matrix;
  bool setClip = false;
  Rect clip;
};

// The step that failed and its code.
struct MovieFailure {
  ClassicMovieLocation location = kLocationNewMovie;
  OSErr err = noErr;
};

// The movie's display matrix for the preview's flips: -1.0 in row 0,
// column 0 mirrors left to right; in row 1, column 1, top to bottom.
MatrixRecord FlipMatrix(bool flipH, bool flipV);

// Builds the movie for `request`, writes the final media data header over
// the first 16 bytes and appends the movie resource. The file must hold at
// least 16 + frameCount × frameDataSize bytes; if it holds fewer (frames lost
// to a failed write), eofErr is returned and the file is left as it was,
// rather than indexing frames that are not there. A movie resource that
// cannot be written whole is cut off again, so the file ends with its frames.
// On failure `failure` says which step failed.
[[nodiscard]] OSErr AppendMovieResource(const MovieRequest& request, MovieFailure* failure);

}  // namespace fw

// Adds `count` samples of `sampleSize` bytes lying one after the other from
// the 64-bit offset offsetHigh:offsetLow, each lasting `duration`, in time
// independent of `count`. On an error none of them is added.
[[nodiscard]] OSErr MyAddMediaSampleReferences(fw::Media media, uint32_t offsetLow, int32_t offsetHigh,
                                               uint32_t sampleSize, int32_t count,
                                               const ImageDescription* description, int32_t duration,
                                               bool notSync);
