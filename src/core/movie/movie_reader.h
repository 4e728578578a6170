// Reads movie files back: the atom tree, the movie and track headers, the
// edit lists, the data references, the sample descriptions and the sample
// tables, with the file offsets they give. fwmov prints what it finds, and
// tests use it to check the files the programs write.
//
// The input is outside data: every size, count and offset is checked before
// it is used, and nothing is read outside the file or the atom it belongs
// to. A file that does not hold a well-formed movie gives an error and a
// sentence saying what is wrong.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/movie/atom_walker.h"
#include "core/movie/image_descriptions.h"
#include "core/movie/movie.h"
#include "core/platform/os_errors.h"

namespace fw {

// The byte sources (ByteSource, MemoryByteSource, FileByteSource) and the
// atoms found (AtomInfo) are the atom walker's: atom_walker.h.

struct DataRefInfo {
  OSType type = 0;
  uint32_t flags = 0;
  uint32_t sizeBytes = 0;                // of the entry, header included
  std::optional<std::string> aliasPath;  // when the data is an alias record naming a path
};

struct SampleDescriptionInfo {
  ImageDescription description;
  std::optional<ColorTags> colorTags;
};

struct SampleToChunkEntry {
  uint32_t firstChunk = 0;
  uint32_t samplesPerChunk = 0;
  uint32_t descriptionIndex = 0;
};

struct TimeToSampleEntry {
  uint32_t count = 0;
  uint32_t durationTicks = 0;
};

struct TrackInfo {
  uint32_t trackID = 0;
  uint32_t flags = 0;
  uint64_t durationTicks = 0;  // movie time scale
  Fixed width = 0;
  Fixed height = 0;
  int16_t volume = 0;
  MatrixRecord matrix;
  std::optional<Rect> clipRect;
  std::vector<EditSegment> edits;

  OSType mediaHandlerType = 0;  // 'mhlr'
  OSType mediaType = 0;         // 'vide'
  OSType dataHandlerType = 0;   // 'dhlr'
  OSType dataHandlerSubType = 0;
  int32_t mediaTimeScale = 0;
  uint64_t mediaDurationTicks = 0;

  std::vector<DataRefInfo> dataRefs;
  std::vector<SampleDescriptionInfo> sampleDescriptions;
  std::vector<TimeToSampleEntry> timeToSample;
  std::vector<SampleToChunkEntry> sampleToChunk;
  std::optional<std::vector<uint32_t>> syncSamples;  // absent: every sample is a sync sample
  uint32_t uniformSampleSizeBytes = 0;               // 0 when sizes vary
  uint32_t sampleCount = 0;
  std::vector<uint32_t> sampleSizes;  // only when sizes vary
  OSType chunkOffsetType = 0;         // 'stco' or 'co64'
  std::vector<uint64_t> chunkOffsets;

  // Worked out from the tables.
  uint64_t sampleDurationTotalTicks = 0;
  uint64_t firstSampleOffsetBytes = 0;
  uint64_t lastSampleOffsetBytes = 0;
  uint32_t lastSampleSizeBytes = 0;
};

struct MovieFileInfo {
  uint64_t fileSizeBytes = 0;
  std::vector<AtomInfo> atoms;        // in file order, children after their parent
  uint64_t mediaDataOffsetBytes = 0;  // where the first 'mdat' payload starts
  uint64_t mediaDataSizeBytes = 0;    // its payload's size
  bool hasMediaData = false;
  int32_t timeScale = 0;
  uint64_t durationTicks = 0;
  Fixed preferredRate = 0;
  MatrixRecord matrix;
  uint32_t nextTrackID = 0;
  std::vector<TrackInfo> tracks;
};

// Reads a whole movie file. Truncated files give eofErr, other malformed
// ones badPublicMovieAtom; `outProblem` then says what is wrong, in a
// sentence fit for a user. Sample tables must agree with each other, and
// every sample must lie inside the file.
[[nodiscard]] OSErr ReadMovieFile(const ByteSource& source, MovieFileInfo* out, std::string* outProblem);

// Reads one movie atom held in memory (as serialised, before it is written
// to a file); offsets in `atoms` are relative to its first byte, and samples
// are not checked against any file.
[[nodiscard]] OSErr ReadMovieAtom(const uint8_t* data, size_t sizeBytes, MovieFileInfo* out,
                                  std::string* outProblem);

}  // namespace fw
