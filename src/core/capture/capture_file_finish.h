// Finishing a capture file, shared by both programs' capture roads: the file
// holds the 16-byte header and the frames back to back; the movie resource
// that indexes them is appended. A disk that filled up must not cost the
// user the frames that did reach it, so the movie is made to fit.
#pragma once

#include <cstdint>
#include <functional>

#include "core/platform/files.h"
#include "core/platform/os_errors.h"

namespace fw {

// Whether every frame handed to the writer is known to be on the disk.
enum class CaptureFrameData {
  kComplete,    // the capture and the writer ended without an error
  kMayBeShort,  // an error ended it: frames counted may be missing or cut
};

// Appends the movie resource for the first `frameCount` frames of the file.
using AddMovieResourceFunction = std::function<OSErr(int32_t frameCount)>;

// Finishes the file of a capture that handed `framesWritten` frames of
// `frameDataSize` bytes to the writer. With kMayBeShort, only the whole
// frames the file holds are indexed and a partial last frame is cut off.
// When the movie resource does not fit (dskFulErr), whole frames are cut
// from the end, one and then twice as many at each further try, until it
// does: the user gets a playable movie of as many frames as fit. A file left
// without any frame is deleted, as after a capture that wrote none.
//
// Returns the first error met (the one the user is told, also when a later
// try succeeded); `*outFramesInMovie` (may be null) gets the frames the
// finished movie holds, 0 when there is none.
[[nodiscard]] OSErr FinishCaptureFile(const FileRef& file, uint32_t frameDataSize, uint32_t framesWritten,
                                      CaptureFrameData frameData,
                                      const AddMovieResourceFunction& addMovieResource,
                                      uint32_t* outFramesInMovie);

}  // namespace fw
