// Finishing a capture file: the movie that indexes the frames where they
// lie, the final media data header over the first 16 bytes, and the movie
// resource appended at the end, referring to the file itself.
//
// The file on entry holds the 16-byte placeholder header and the frames back
// to back from offset 16, all of one size; nothing else is open on it.
#pragma once

#include <cstdint>

#include "core/capture/error_messages.h"
#include "core/movie/movie.h"
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
OSErr addMovieResourceToFile(const FileRef* file, int32_t frameDataSize, int32_t frameCount);

// What the classic program's capture road knows about its frames.
class ClassicCaptureSource {
 public:
  virtual ~ClassicCaptureSource() = default;
  // The capture rectangle; its right and bottom edges give the movie's size.
  virtual Rect GrabberRect() const = 0;
  // The video channel's description of the frames for its current settings,
  // made afresh for the caller, who disposes of it.
  virtual OSErr GetImageDescription(ImageDescriptionHandle* out) = 0;
};

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

// The classic program: the frames are described by the source; a clip
// rectangle is set when any trim of gPrefs is non-zero (the frames stay
// untrimmed). Every failure is reported with ReportClassicError before it
// is returned.
OSErr AddMovieResourceToFile2(const FileRef* file, int32_t frameDataSize, int32_t frameCount,
                              ClassicCaptureSource& source);

// Adds `count` samples of `sampleSize` bytes lying one after the other from
// the 64-bit offset offsetHigh:offsetLow, each lasting `duration`. The first
// failing addition ends the loop and its error is returned.
OSErr MyAddMediaSampleReferences(Media media, uint32_t offsetLow, int32_t offsetHigh, uint32_t sampleSize,
                                 int32_t count, const ImageDescription* description, int32_t duration,
                                 bool notSync);
