// An in-memory movie of one file: tracks, their media and the references to
// samples that already lie in the file, serialised into a movie atom in the
// QuickTime file format. This is the part of a movie toolbox the capture
// programs need: samples are only referred to by offset, never copied.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/platform/os_errors.h"
#include "core/util/image_description.h"
#include "core/util/types.h"

using Fixed = int32_t;  // 16.16
constexpr Fixed kFixed1 = 0x10000;
constexpr int32_t kFract1 = 0x40000000;  // 2.30, the matrix's last column

// Errors of this module, in the movie toolbox's range.
constexpr OSErr badPublicMovieAtom = -2002;      // a movie atom that does not parse
constexpr OSErr cantPutPublicMovieAtom = -2016;  // the movie cannot be serialised

// A transformation matrix as in the file: [row][column]; columns 0 and 1 in
// 16.16, column 2 in 2.30.
struct MatrixRecord {
  int32_t matrix[3][3] = {};
  friend bool operator==(const MatrixRecord&, const MatrixRecord&) = default;
};
void SetIdentityMatrix(MatrixRecord* m);
// A matrix that maps `source` onto `destination` (scale, then move). A
// destination whose left exceeds its right (or top its bottom) gives a
// negative scale: the picture is mirrored.
void RectMatrix(MatrixRecord* m, const Rect* source, const Rect* destination);

namespace fw {

// One entry of a data reference atom: where a track's samples are.
struct DataReference {
  OSType type = 0;
  uint32_t flags = 0;
  std::vector<uint8_t> data;  // an alias record, or nothing for the file itself
};

enum class SampleSync : uint8_t { kSync, kNotSync };

// A run of samples of one size and duration lying back to back in the file.
struct SampleRun {
  uint64_t firstOffsetBytes = 0;
  uint32_t sizeBytes = 0;
  uint32_t count = 0;
  uint32_t durationTicks = 0;
  SampleSync sync = SampleSync::kSync;
  uint32_t descriptionIndex = 0;  // 1-based
};

class MovieMedia {
 public:
  MovieMedia(OSType mediaType, int32_t timeScale) : mediaType_(mediaType), timeScale_(timeScale) {}

  // Adds `count` samples of `sizeBytes` each, one after the other from
  // `offsetBytes`, each lasting `durationTicks` of the media's time scale.
  // The description is kept (once for equal descriptions). Zero sizes or
  // durations, and counts beyond 32 bits in total, give paramErr.
  [[nodiscard]] OSErr AddSampleReferences(uint64_t offsetBytes, uint32_t sizeBytes, uint32_t count,
                                          uint32_t durationTicks, const ImageDescription& description,
                                          SampleSync sync);

  OSType mediaType() const { return mediaType_; }
  int32_t timeScale() const { return timeScale_; }
  uint64_t DurationTicks() const { return durationTicks_; }
  uint64_t SampleCount() const { return sampleCount_; }
  const std::vector<SampleRun>& runs() const { return runs_; }
  const std::vector<ImageDescription>& descriptions() const { return descriptions_; }

 private:
  OSType mediaType_;
  int32_t timeScale_;
  std::vector<ImageDescription> descriptions_;
  std::vector<std::vector<uint8_t>> entries_;  // descriptions_ as written
  std::vector<SampleRun> runs_;
  uint64_t durationTicks_ = 0;
  uint64_t sampleCount_ = 0;
};
using Media = MovieMedia*;  // borrowed; the track owns its media

// One edit: a stretch of the track that plays media from `mediaTime` (or
// nothing, for -1) for `durationTicks` of the movie's time scale.
struct EditSegment {
  uint64_t durationTicks = 0;
  int64_t mediaTime = 0;
  Fixed rate = kFixed1;
};

class Movie;

class MovieTrack {
 public:
  MovieTrack(const Movie* movie, uint32_t trackID, Fixed width, Fixed height, int16_t volume)
      : movie_(movie), trackID_(trackID), width_(width), height_(height), volume_(volume) {
    SetIdentityMatrix(&matrix_);
  }

  void SetMatrix(const MatrixRecord& matrix) { matrix_ = matrix; }
  // Limits what is shown of the track to a rectangle (a rectangular clip
  // region); the samples keep their full size.
  void SetClipRect(const Rect& rect) { clipRect_ = rect; }

  // Makes the track's media; a track has one. A time scale of 0 or below,
  // or a second media, gives paramErr.
  [[nodiscard]] OSErr NewMedia(OSType mediaType, int32_t timeScale, Media* out);

  // Plays media time [mediaTime, mediaTime + mediaDurationTicks) at `rate`
  // from track time `trackStart` (in the movie's time scale; -1 for the
  // track's end). Only appending is supported: a start before the end gives
  // paramErr, one after it leaves an empty edit in between. Nothing is
  // inserted for a duration of 0.
  [[nodiscard]] OSErr InsertMedia(int64_t trackStart, int64_t mediaTime, uint64_t mediaDurationTicks,
                                  Fixed rate);

  uint32_t trackID() const { return trackID_; }
  Fixed width() const { return width_; }
  Fixed height() const { return height_; }
  int16_t volume() const { return volume_; }
  const MatrixRecord& matrix() const { return matrix_; }
  const std::optional<Rect>& clipRect() const { return clipRect_; }
  const MovieMedia* media() const { return media_.get(); }
  const std::vector<EditSegment>& edits() const { return edits_; }
  uint64_t DurationTicks() const;  // in the movie's time scale

 private:
  const Movie* movie_;
  uint32_t trackID_;
  Fixed width_;
  Fixed height_;
  int16_t volume_;
  MatrixRecord matrix_;
  std::optional<Rect> clipRect_;
  std::unique_ptr<MovieMedia> media_;
  std::vector<EditSegment> edits_;
};
using Track = MovieTrack*;  // borrowed; the movie owns its tracks

class Movie {
 public:
  Movie();

  // A time scale of 0 or below gives paramErr.
  [[nodiscard]] OSErr SetTimeScale(int32_t timeScale);
  int32_t timeScale() const { return timeScale_; }

  // The data reference every track's media uses.
  void SetDefaultDataRef(DataReference ref) { defaultDataRef_ = std::move(ref); }
  const DataReference& defaultDataRef() const { return defaultDataRef_; }

  [[nodiscard]] OSErr NewTrack(Fixed width, Fixed height, int16_t volume, Track* out);
  const std::vector<std::unique_ptr<MovieTrack>>& tracks() const { return tracks_; }

  // Creation and modification time, in seconds since 1904 (the file
  // format's epoch); now, unless set.
  void SetCreationTime(uint64_t secondsSince1904) { creationTime_ = secondsSince1904; }

  uint64_t DurationTicks() const;

  // Serialises the movie into a movie atom ('moov'). Samples are grouped
  // into as few chunks as their layout allows, so frames lying back to back
  // make one chunk and the atom's size does not depend on their number.
  [[nodiscard]] OSErr Serialise(std::vector<uint8_t>* outMovieResource) const;

 private:
  int32_t timeScale_ = 600;
  DataReference defaultDataRef_;
  std::vector<std::unique_ptr<MovieTrack>> tracks_;
  uint64_t creationTime_;
};

// Seconds since 1 January 1904, from the system's clock.
uint64_t CurrentTimeSince1904();

}  // namespace fw
