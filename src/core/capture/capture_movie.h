// Finishing a capture file from the programs' own state: the open input and
// the preferences (Framewright HD), or the video channel and the preferences
// (Framewright). The movie assembly itself takes everything as arguments.
#pragma once

#include <cstdint>

#include "core/movie/movie_resource.h"
#include "core/platform/files.h"
#include "core/util/image_description.h"
#include "core/util/types.h"

// Framewright HD: the frames are described by the open input (gInput): its
// trimmed size and its image description, whose reserved fields and data
// reference index are cleared in place. The movie's time scale and the
// flips come from gPrefs. Errors are returned, not shown. The file must
// hold at least 16 + frameCount × frameDataSize bytes; if it holds fewer
// (frames lost to a failed write), eofErr is returned and the file is left
// as it was, rather than indexing frames that are not there.
[[nodiscard]] OSErr addMovieResourceToFile(const fw::FileRef* file, int32_t frameDataSize,
                                           int32_t frameCount);

// What the classic program's capture road knows about its frames.
class ClassicCaptureSource {
 public:
  virtual ~ClassicCaptureSource() = default;
  // The capture rectangle; its right and bottom edges give the movie's size.
  virtual Rect GrabberRect() const = 0;
  // The video channel's description of the frames for its current settings,
  // made afresh for the caller, who disposes of it.
  [[nodiscard]] virtual OSErr GetImageDescription(ImageDescriptionHandle* out) = 0;
};

// The classic program: the frames are described by the source; a clip
// rectangle is set when any trim of gPrefs is non-zero (the frames stay
// untrimmed). Every failure is reported with ReportClassicError before it
// is returned.
[[nodiscard]] OSErr AddMovieResourceToFile2(const fw::FileRef* file, int32_t frameDataSize,
                                            int32_t frameCount, ClassicCaptureSource& source);
