// The movie model, its serialisation and the reader, checked against each
// other on movies held in memory.
#include "core/movie/movie.h"

#include <gtest/gtest.h>

#include <cstring>

#include "core/movie/image_descriptions.h"
#include "core/movie/mdat_header.h"
#include "core/movie/movie_reader.h"
#include "core/util/byte_order.h"

using namespace fw;

namespace {

constexpr uint32_t kFrameBytes = 640 * 480 * 2;

ImageDescription Description() {
  PixMapHandle pm;
  EXPECT_EQ(MyNewPixMapWithoutStorage(k2vuyPixelFormat, Rect{0, 0, 480, 640}, 0, &pm), noErr);
  ImageDescriptionHandle d;
  EXPECT_EQ(MakeImageDescriptionForPixMap(pm.get(), &d), noErr);
  return *d;
}

// A movie of one video track of `frames` frames of kFrameBytes lying back to
// back from offset 16, as a capture leaves them.
struct Built {
  Movie movie;
  Track track = nullptr;
  Media media = nullptr;
};

void Build(Built* b, int32_t timeScale, uint32_t frames) {
  b->movie.SetCreationTime(3'000'000'000ull);
  ASSERT_EQ(b->movie.SetTimeScale(timeScale), noErr);
  ASSERT_EQ(b->movie.NewTrack(640 << 16, 480 << 16, 0, &b->track), noErr);
  ASSERT_EQ(b->track->NewMedia(FourCC("vide"), timeScale, &b->media), noErr);
  const ImageDescription d = Description();
  for (uint32_t i = 0; i < frames; ++i)
    ASSERT_EQ(b->media->AddSampleReferences(16 + uint64_t{i} * kFrameBytes, kFrameBytes, 1, 100, d,
                                            SampleSync::kSync),
              noErr);
  if (b->media->DurationTicks() > 0) {
    ASSERT_EQ(b->track->InsertMedia(-1, 0, b->media->DurationTicks(), kFixed1), noErr);
  }
}

MovieFileInfo Read(const Movie& movie) {
  std::vector<uint8_t> atom;
  EXPECT_EQ(movie.Serialise(&atom), noErr);
  MovieFileInfo info;
  std::string problem;
  EXPECT_EQ(ReadMovieAtom(atom.data(), atom.size(), &info, &problem), noErr) << problem;
  EXPECT_FALSE(info.atoms.empty());
  EXPECT_EQ(info.atoms[0].sizeBytes, atom.size()) << "the movie atom's size is what was written";
  return info;
}

TEST(MovieTest, FramesBackToBackMakeOneChunk) {
  Built b;
  Build(&b, 2997, 300);
  const MovieFileInfo info = Read(b.movie);
  EXPECT_EQ(info.timeScale, 2997);
  EXPECT_EQ(info.durationTicks, 30000u);
  ASSERT_EQ(info.tracks.size(), 1u);
  const TrackInfo& t = info.tracks[0];
  EXPECT_EQ(t.flags, 7u) << "enabled, in movie, in preview";
  EXPECT_EQ(t.width, 640 << 16);
  EXPECT_EQ(t.height, 480 << 16);
  EXPECT_EQ(t.volume, 0);
  EXPECT_EQ(t.durationTicks, 30000u);
  ASSERT_EQ(t.edits.size(), 1u);
  EXPECT_EQ(t.edits[0].durationTicks, 30000u);
  EXPECT_EQ(t.edits[0].mediaTime, 0);
  EXPECT_EQ(t.edits[0].rate, kFixed1);
  EXPECT_EQ(t.mediaTimeScale, 2997);
  EXPECT_EQ(t.mediaDurationTicks, 30000u);
  EXPECT_EQ(t.mediaHandlerType, FourCC("mhlr"));
  EXPECT_EQ(t.mediaType, FourCC("vide"));
  EXPECT_EQ(t.dataHandlerType, FourCC("dhlr"));
  EXPECT_EQ(t.dataHandlerSubType, FourCC("alis"));
  EXPECT_EQ(t.sampleCount, 300u);
  EXPECT_EQ(t.uniformSampleSizeBytes, kFrameBytes);
  EXPECT_FALSE(t.syncSamples) << "every sample is a sync sample";
  EXPECT_EQ(t.chunkOffsetType, FourCC("stco"));
  EXPECT_EQ(t.chunkOffsets, std::vector<uint64_t>{16});
  EXPECT_EQ(t.firstSampleOffsetBytes, 16u);
  EXPECT_EQ(t.lastSampleOffsetBytes, 16u + 299ull * kFrameBytes);
  ASSERT_EQ(t.sampleDescriptions.size(), 1u);
  EXPECT_EQ(t.sampleDescriptions[0].description.dataRefIndex, 1);
  MatrixRecord identity;
  SetIdentityMatrix(&identity);
  EXPECT_EQ(t.matrix, identity);
}

TEST(MovieTest, MovieResourceSizeDoesNotDependOnTheFrameCount) {
  Built one, many;
  Build(&one, 1800, 1);
  Build(&many, 1800, 20000);
  std::vector<uint8_t> a, b;
  ASSERT_EQ(one.movie.Serialise(&a), noErr);
  ASSERT_EQ(many.movie.Serialise(&b), noErr);
  EXPECT_EQ(a.size(), b.size());
}

// Samples added a run at a time make the very bytes that adding them one by
// one makes, whatever the layout of the runs.
TEST(MovieTest, RunsAddedWholeSerialiseAsFrameByFrame) {
  struct Run {
    uint32_t sizeBytes;
    uint32_t count;
  };
  struct Case {
    const char* name;
    std::vector<Run> runs;
  };
  const Case cases[] = {
      {"one frame", {{kFrameBytes, 1}}},
      {"two frames", {{kFrameBytes, 2}}},
      {"many frames", {{kFrameBytes, 4321}}},
      {"mixed sizes", {{kFrameBytes, 3}, {1000, 2}, {77, 1}, {kFrameBytes, 4}}},
      {"a run broken by a different size", {{kFrameBytes, 50}, {kFrameBytes + 2, 1}, {kFrameBytes, 49}}},
      {"a million frames", {{kFrameBytes, 1'000'000}}},
  };
  const ImageDescription d = Description();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Built byFrame, byRun;
    for (Built* b : {&byFrame, &byRun}) {
      b->movie.SetCreationTime(3'000'000'000ull);
      ASSERT_EQ(b->movie.NewTrack(640 << 16, 480 << 16, 0, &b->track), noErr);
      ASSERT_EQ(b->track->NewMedia(FourCC("vide"), 1800, &b->media), noErr);
    }
    uint64_t offset = 16;
    for (const Run& r : c.runs) {
      ASSERT_EQ(byRun.media->AddSampleReferences(offset, r.sizeBytes, r.count, 100, d, SampleSync::kSync),
                noErr);
      for (uint32_t i = 0; i < r.count; ++i, offset += r.sizeBytes)
        ASSERT_EQ(byFrame.media->AddSampleReferences(offset, r.sizeBytes, 1, 100, d, SampleSync::kSync),
                  noErr);
    }
    std::vector<uint8_t> expected, actual;
    for (Built* b : {&byFrame, &byRun}) {
      ASSERT_EQ(b->track->InsertMedia(-1, 0, b->media->DurationTicks(), kFixed1), noErr);
      ASSERT_EQ(b->movie.Serialise(b == &byFrame ? &expected : &actual), noErr);
    }
    EXPECT_EQ(actual, expected);
  }
}

TEST(MovieTest, NoEditWithoutSamples) {
  Built b;
  Build(&b, 1800, 0);
  const MovieFileInfo info = Read(b.movie);
  EXPECT_TRUE(info.tracks[0].edits.empty());
  EXPECT_EQ(info.durationTicks, 0u);
}

TEST(MovieTest, ScatteredSamplesAndWideOffsets) {
  // Samples in two places, the second beyond 4 GiB, with two sizes and one
  // sample that is not a sync sample: two chunks in 'co64', a size table and
  // a sync sample table.
  Movie movie;
  Track track = nullptr;
  Media media = nullptr;
  ASSERT_EQ(movie.NewTrack(0, 0, 0, &track), noErr);
  ASSERT_EQ(track->NewMedia(FourCC("vide"), 600, &media), noErr);
  const ImageDescription d = Description();
  const uint64_t far = 5ull << 30;
  ASSERT_EQ(media->AddSampleReferences(16, 1000, 3, 20, d, SampleSync::kSync), noErr);
  ASSERT_EQ(media->AddSampleReferences(far, 500, 1, 20, d, SampleSync::kNotSync), noErr);
  ASSERT_EQ(media->AddSampleReferences(far + 500, 700, 1, 40, d, SampleSync::kSync), noErr);
  const MovieFileInfo info = Read(movie);
  const TrackInfo& t = info.tracks[0];
  EXPECT_EQ(t.chunkOffsetType, FourCC("co64"));
  EXPECT_EQ(t.chunkOffsets, (std::vector<uint64_t>{16, far}));
  ASSERT_EQ(t.sampleToChunk.size(), 2u);
  EXPECT_EQ(t.sampleToChunk[0].samplesPerChunk, 3u);
  EXPECT_EQ(t.sampleToChunk[1].firstChunk, 2u);
  EXPECT_EQ(t.sampleToChunk[1].samplesPerChunk, 2u);
  EXPECT_EQ(t.uniformSampleSizeBytes, 0u);
  EXPECT_EQ(t.sampleSizes, (std::vector<uint32_t>{1000, 1000, 1000, 500, 700}));
  ASSERT_TRUE(t.syncSamples);
  EXPECT_EQ(*t.syncSamples, (std::vector<uint32_t>{1, 2, 3, 5}));
  EXPECT_EQ(t.lastSampleOffsetBytes, far + 500);
  EXPECT_EQ(t.sampleDurationTotalTicks, 20u * 4 + 40);
  EXPECT_EQ(t.sampleDescriptions.size(), 1u) << "equal descriptions are kept once";
}

TEST(MovieTest, LongDurationsUseWideHeaders) {
  Built b;
  b.movie.SetCreationTime(5'000'000'000ull);  // after 2040
  ASSERT_EQ(b.movie.SetTimeScale(1), noErr);
  ASSERT_EQ(b.movie.NewTrack(0, 0, 0, &b.track), noErr);
  ASSERT_EQ(b.track->NewMedia(FourCC("vide"), 1, &b.media), noErr);
  ASSERT_EQ(b.media->AddSampleReferences(16, 1, 3, 2'000'000'000u, Description(), SampleSync::kSync), noErr);
  ASSERT_EQ(b.track->InsertMedia(-1, 0, b.media->DurationTicks(), kFixed1), noErr);
  const MovieFileInfo info = Read(b.movie);
  EXPECT_EQ(info.durationTicks, 6'000'000'000ull);
  EXPECT_EQ(info.tracks[0].durationTicks, 6'000'000'000ull);
  EXPECT_EQ(info.tracks[0].mediaDurationTicks, 6'000'000'000ull);
  EXPECT_EQ(info.tracks[0].edits[0].durationTicks, 6'000'000'000ull);
}

TEST(MovieTest, EditsConvertBetweenTimeScalesAndLeaveGaps) {
  Movie movie;
  ASSERT_EQ(movie.SetTimeScale(600), noErr);
  Track track = nullptr;
  Media media = nullptr;
  ASSERT_EQ(movie.NewTrack(0, 0, 0, &track), noErr);
  ASSERT_EQ(track->NewMedia(FourCC("vide"), 2997, &media), noErr);
  ASSERT_EQ(media->AddSampleReferences(16, 10, 2997, 100, Description(), SampleSync::kSync), noErr);
  ASSERT_EQ(track->InsertMedia(1200, 0, media->DurationTicks(), kFixed1), noErr);
  ASSERT_EQ(track->edits().size(), 2u);
  EXPECT_EQ(track->edits()[0].mediaTime, -1) << "an empty edit fills the gap";
  EXPECT_EQ(track->edits()[0].durationTicks, 1200u);
  EXPECT_EQ(track->edits()[1].durationTicks, 60000u) << "100 s at 600";
  EXPECT_EQ(track->InsertMedia(0, 0, 10, kFixed1), paramErr) << "only appending";
}

TEST(MovieTest, BadArgumentsAreRefused) {
  Movie movie;
  EXPECT_EQ(movie.SetTimeScale(0), paramErr);
  EXPECT_EQ(movie.SetTimeScale(-2997), paramErr);
  Track track = nullptr;
  Media media = nullptr;
  ASSERT_EQ(movie.NewTrack(0, 0, 0, &track), noErr);
  EXPECT_EQ(track->NewMedia(FourCC("vide"), 0, &media), paramErr);
  ASSERT_EQ(track->NewMedia(FourCC("vide"), 600, &media), noErr);
  EXPECT_EQ(track->NewMedia(FourCC("vide"), 600, &media), paramErr) << "one media a track";
  const ImageDescription d = Description();
  EXPECT_EQ(media->AddSampleReferences(16, 0, 1, 100, d, SampleSync::kSync), paramErr);
  EXPECT_EQ(media->AddSampleReferences(16, 10, 1, 0, d, SampleSync::kSync), paramErr);
  EXPECT_EQ(media->AddSampleReferences(~0ull - 5, 10, 1, 100, d, SampleSync::kSync), paramErr);
  ASSERT_EQ(media->AddSampleReferences(16, 1, 0xFFFFFFFFu, 1, d, SampleSync::kSync), noErr);
  EXPECT_EQ(media->AddSampleReferences(16, 1, 1, 1, d, SampleSync::kSync), paramErr) << "32-bit sample count";
  EXPECT_EQ(media->SampleCount(), 0xFFFFFFFFu);
}

}  // namespace
