// Finishing capture files: the header, the movie resource at the old end of
// the file, the self reference, and the failures of both programs.
#include "core/movie/movie_resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/capture/capture_movie.h"
#include "core/movie/alias_record.h"
#include "core/movie/capture_file_fixture.h"
#include "core/movie/movie_reader.h"
#include "core/movie/self_data_ref.h"
#include "core/platform/error_reporter.h"
#include "core/platform/fault_injection.h"
#include "core/util/byte_order.h"
#include "support/temp_dir.h"

using namespace fw;

namespace {

using namespace movie_test;

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int32_t kFrameBytes = kWidth * kHeight * 2;

struct Finished {
  MovieFileInfo info;
  std::vector<uint8_t> header;
  std::vector<uint8_t> tail;  // the bytes from the old end of the file
};

Finished ReadBack(const FileRef& file, uint64_t oldSize) {
  Finished f;
  int fd = kNoFile;
  EXPECT_EQ(OpenFile(file, OpenMode::kReadOnly, &fd), noErr);
  uint64_t size = 0;
  EXPECT_EQ(GetFileSizeBytes(fd, &size), noErr);
  f.header.resize(16);
  EXPECT_EQ(ReadAtOffset(fd, 0, f.header.data(), 16), noErr);
  f.tail.resize(size - oldSize);
  EXPECT_EQ(ReadAtOffset(fd, oldSize, f.tail.data(), f.tail.size()), noErr);
  std::string problem;
  EXPECT_EQ(ReadMovieFile(FileByteSource(fd, size), &f.info, &problem), noErr) << problem;
  EXPECT_EQ(CloseFile(fd), noErr);
  return f;
}

uint64_t SizeOf(const FileRef& file) {
  int fd = kNoFile;
  uint64_t size = 0;
  EXPECT_EQ(OpenFile(file, OpenMode::kReadOnly, &fd), noErr);
  EXPECT_EQ(GetFileSizeBytes(fd, &size), noErr);
  EXPECT_EQ(CloseFile(fd), noErr);
  return size;
}

class MovieResourceTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(MakeFileRef(dir_.file("capture.mov"), &file_), noErr); }
  void TearDown() override { ClearWriteFaults(); }
  TempDir dir_;
  FileRef file_;
};

TEST_F(MovieResourceTest, FinishedFileIndexesEveryFrameInPlace) {
  InputScope input(kWidth, kHeight, 2997);
  ASSERT_EQ(WriteCaptureFile(file_, kWidth, kHeight, 300), noErr);
  const uint64_t oldSize = SizeOf(file_);
  ASSERT_EQ(addMovieResourceToFile(&file_, kFrameBytes, 300), noErr);

  const Finished f = ReadBack(file_, oldSize);
  // 'wide' + 32-bit 'mdat' running to the old end, then the movie resource.
  EXPECT_EQ(LoadBE32(f.header.data()), 8u);
  EXPECT_EQ(LoadBE32(f.header.data() + 4), FourCC("wide"));
  EXPECT_EQ(LoadBE32(f.header.data() + 8), oldSize - 8);
  EXPECT_EQ(LoadBE32(f.header.data() + 12), FourCC("mdat"));
  ASSERT_GE(f.tail.size(), 8u);
  EXPECT_EQ(LoadBE32(f.tail.data()), f.tail.size()) << "the movie resource fills the rest of the file";
  EXPECT_EQ(LoadBE32(f.tail.data() + 4), FourCC("moov"));

  const MovieFileInfo& info = f.info;
  ASSERT_EQ(info.atoms.size() >= 3, true);
  EXPECT_EQ(info.atoms[2].offsetBytes, oldSize);
  EXPECT_EQ(info.timeScale, 2997);
  EXPECT_EQ(info.durationTicks, 30000u);
  ASSERT_EQ(info.tracks.size(), 1u);
  const TrackInfo& t = info.tracks[0];
  EXPECT_EQ(t.width, kWidth << 16);
  EXPECT_EQ(t.height, kHeight << 16);
  EXPECT_EQ(t.sampleCount, 300u);
  EXPECT_EQ(t.uniformSampleSizeBytes, static_cast<uint32_t>(kFrameBytes));
  EXPECT_EQ(t.firstSampleOffsetBytes, 16u);
  EXPECT_EQ(t.lastSampleOffsetBytes, 16u + 299ull * kFrameBytes);
  ASSERT_EQ(t.dataRefs.size(), 1u);
  EXPECT_EQ(t.dataRefs[0].type, FourCC("alis"));
  EXPECT_EQ(t.dataRefs[0].flags, 1u);
  EXPECT_EQ(t.dataRefs[0].sizeBytes, 12u);
  ASSERT_EQ(t.sampleDescriptions.size(), 1u);
  EXPECT_EQ(t.sampleDescriptions[0].description.cType, FourCC("2vuy"));
  EXPECT_EQ(t.sampleDescriptions[0].description.dataRefIndex, 1);

  // The input's description had its reserved fields cleared in place.
  EXPECT_EQ(input.input().imageDescription->dataRefIndex, 0);
}

TEST_F(MovieResourceTest, OneFrameIsOneSampleAtOffset16) {
  InputScope input(kWidth, kHeight);
  ASSERT_EQ(WriteCaptureFile(file_, kWidth, kHeight, 1), noErr);
  input.input().imageDescription->resvd1 = 77;
  input.input().imageDescription->dataRefIndex = 5;
  ASSERT_EQ(addMovieResourceToFile(&file_, kFrameBytes, 1), noErr);
  const Finished f = ReadBack(file_, 16 + kFrameBytes);
  EXPECT_EQ(f.info.tracks[0].sampleCount, 1u);
  EXPECT_EQ(f.info.tracks[0].chunkOffsets, std::vector<uint64_t>{16});
  EXPECT_EQ(input.input().imageDescription->resvd1, 0);
  EXPECT_EQ(input.input().imageDescription->dataRefIndex, 0);
}

TEST_F(MovieResourceTest, FilesFrom4GiBGetTheWideHeader) {
  InputScope input(1920, 1080);
  constexpr uint32_t kHDFrameBytes = 1920 * 1080 * 2;
  constexpr uint32_t kFrames = 1037;  // the last frame starts past 4 GiB
  ASSERT_EQ(WriteSparseCaptureFile(file_, kHDFrameBytes, kFrames), noErr);
  const uint64_t oldSize = SizeOf(file_);
  ASSERT_GT(oldSize, 1ull << 32);
  ASSERT_EQ(addMovieResourceToFile(&file_, kHDFrameBytes, kFrames), noErr);
  const Finished f = ReadBack(file_, oldSize);
  EXPECT_EQ(LoadBE32(f.header.data()), 1u);
  EXPECT_EQ(LoadBE32(f.header.data() + 4), FourCC("mdat"));
  EXPECT_EQ(LoadBE64(f.header.data() + 8), oldSize);
  EXPECT_EQ(f.info.mediaDataOffsetBytes, 16u);
  const TrackInfo& t = f.info.tracks[0];
  EXPECT_EQ(t.firstSampleOffsetBytes, 16u);
  EXPECT_EQ(t.lastSampleOffsetBytes, 16u + uint64_t{kFrames - 1} * kHDFrameBytes);
  EXPECT_GT(t.lastSampleOffsetBytes, 1ull << 32);
}

// The movie resource as it was built before the frames were added in one
// run: one sample reference per frame, then the self reference.
std::vector<uint8_t> ResourceBuiltFrameByFrame(const MovieRequest& r, uint64_t creationTime) {
  Movie movie;
  movie.SetCreationTime(creationTime);
  DataReference alias{FourCC("alis"), 0, {}};
  EXPECT_EQ(NewMinimalAliasRecord(*r.file, &alias.data), noErr);
  movie.SetDefaultDataRef(std::move(alias));
  EXPECT_EQ(movie.SetTimeScale(r.timeScale), noErr);
  Track track = nullptr;
  Media media = nullptr;
  EXPECT_EQ(movie.NewTrack(Fixed(r.width << 16), Fixed(r.height << 16), 0, &track), noErr);
  if (r.setMatrix) track->SetMatrix(r.matrix);
  EXPECT_EQ(track->NewMedia(FourCC("vide"), r.timeScale, &media), noErr);
  for (int32_t i = 0; i < r.frameCount; ++i) {
    EXPECT_EQ(
        media->AddSampleReferences(16 + uint64_t(i) * uint32_t(r.frameDataSize), uint32_t(r.frameDataSize), 1,
                                   100, *r.description, SampleSync::kSync),
        noErr);
  }
  EXPECT_EQ(track->InsertMedia(-1, 0, media->DurationTicks(), kFixed1), noErr);
  std::vector<uint8_t> resource;
  EXPECT_EQ(movie.Serialise(&resource), noErr);
  SetMovieDataRefToSelf(&resource);
  return resource;
}

TEST_F(MovieResourceTest, AMillionFramesFinishAsWhenAddedFrameByFrame) {
  ImageDescriptionHandle d;
  PixMapHandle pm;
  ASSERT_EQ(MyNewPixMapWithoutStorage(k2vuyPixelFormat, Rect{0, 0, kHeight, kWidth}, kWidth * 2, &pm), noErr);
  ASSERT_EQ(MakeImageDescriptionForPixMap(pm.get(), &d), noErr);
  for (const int32_t frames : {1, 2, 1'000'000}) {
    SCOPED_TRACE(frames);
    MovieRequest r;
    r.file = &file_;
    r.frameDataSize = kFrameBytes;
    r.frameCount = frames;
    r.width = kWidth;
    r.height = kHeight;
    r.description = d.get();
    r.timeScale = 2997;
    r.setMatrix = true;
    r.matrix = FlipMatrix(true, false);
    // The movie's creation time is the clock's second: compare against a
    // reference made in the same second.
    bool compared = false;
    for (int attempt = 0; attempt < 3 && !compared; ++attempt) {
      ASSERT_EQ(WriteSparseCaptureFile(file_, kFrameBytes, uint32_t(frames)), noErr);
      const uint64_t oldSize = SizeOf(file_);
      const uint64_t before = CurrentTimeSince1904();
      MovieFailure failure;
      ASSERT_EQ(AppendMovieResource(r, &failure), noErr);
      if (CurrentTimeSince1904() != before) continue;
      const Finished f = ReadBack(file_, oldSize);
      EXPECT_EQ(f.tail, ResourceBuiltFrameByFrame(r, before));
      EXPECT_EQ(f.info.tracks[0].sampleCount, uint32_t(frames));
      compared = true;
    }
    EXPECT_TRUE(compared);
  }
}

TEST_F(MovieResourceTest, MdatHeaderForms) {
  uint8_t h[16];
  CreateMdatHeader(0xFFFFFFFFu, 0, h);  // the largest size with a 32-bit 'mdat'
  EXPECT_EQ(LoadBE32(h), 8u);
  EXPECT_EQ(LoadBE32(h + 8), 0xFFFFFFF7u);
  CreateMdatHeader(0, 1, h);  // exactly 4 GiB
  EXPECT_EQ(LoadBE32(h), 1u);
  EXPECT_EQ(LoadBE32(h + 4), FourCC("mdat"));
  EXPECT_EQ(LoadBE64(h + 8), 1ull << 32);
}

TEST_F(MovieResourceTest, FlipsBecomeTheTrackMatrix) {
  InputScope input(kWidth, kHeight);
  ASSERT_EQ(WriteCaptureFile(file_, kWidth, kHeight, 2), noErr);
  gPrefs.flipHFlag = 1;
  ASSERT_EQ(addMovieResourceToFile(&file_, kFrameBytes, 2), noErr);
  MatrixRecord expected;
  SetIdentityMatrix(&expected);
  expected.matrix[0][0] = -0x10000;
  EXPECT_EQ(ReadBack(file_, 16 + 2 * kFrameBytes).info.tracks[0].matrix, expected);

  ASSERT_EQ(WriteCaptureFile(file_, kWidth, kHeight, 2), noErr);
  gPrefs.flipHFlag = 0;
  gPrefs.flipVFlag = 1;
  ASSERT_EQ(addMovieResourceToFile(&file_, kFrameBytes, 2), noErr);
  SetIdentityMatrix(&expected);
  expected.matrix[1][1] = -0x10000;
  EXPECT_EQ(ReadBack(file_, 16 + 2 * kFrameBytes).info.tracks[0].matrix, expected);
}

TEST_F(MovieResourceTest, FailuresOfTheHDProgram) {
  EXPECT_EQ(addMovieResourceToFile(&file_, kFrameBytes, 1), kNoVideoInputForMovieErr) << "no input open";
  InputScope input(kWidth, kHeight);
  EXPECT_EQ(addMovieResourceToFile(&file_, kFrameBytes, 1), fnfErr) << "no file";

  // Fewer frame bytes than the frame count says: the file is left alone.
  ASSERT_EQ(WriteCaptureFile(file_, kWidth, kHeight, 4), noErr);
  EXPECT_EQ(addMovieResourceToFile(&file_, kFrameBytes, 5), eofErr);
  EXPECT_EQ(SizeOf(file_), 16u + 4u * kFrameBytes);
  EXPECT_EQ(addMovieResourceToFile(&file_, 0, 4), paramErr);
  EXPECT_EQ(addMovieResourceToFile(&file_, kFrameBytes, -1), paramErr);
  gPrefs.hundredTimesMovieFPS = 0;
  EXPECT_EQ(addMovieResourceToFile(&file_, kFrameBytes, 4), paramErr) << "a movie needs a time scale";
  gPrefs.hundredTimesMovieFPS = 1800;

  // A failed write of the movie resource leaves the final header and every
  // frame, and no half-written movie resource.
  WriteFault fault;
  fault.path = file_.path;
  fault.failOnWriteNumber = 2;
  fault.partialBytes = 100;
  InjectWriteFault(fault);
  EXPECT_EQ(addMovieResourceToFile(&file_, kFrameBytes, 4), dskFulErr);
  ClearWriteFaults();
  EXPECT_EQ(SizeOf(file_), 16u + 4u * kFrameBytes);
  int fd = kNoFile;
  ASSERT_EQ(OpenFile(file_, OpenMode::kReadOnly, &fd), noErr);
  uint8_t header[16];
  ASSERT_EQ(ReadAtOffset(fd, 0, header, 16), noErr);
  EXPECT_EQ(CloseFile(fd), noErr);
  EXPECT_EQ(LoadBE32(header + 4), FourCC("wide"));
  EXPECT_EQ(LoadBE32(header + 8), 8u + 4u * kFrameBytes);
}

// The classic program's source of frame facts, and where its errors go.
class FakeClassicSource : public ClassicCaptureSource {
 public:
  Rect GrabberRect() const override { return rect; }
  OSErr GetImageDescription(ImageDescriptionHandle* out) override {
    ++descriptionsMade;
    if (err != noErr) return err;
    PixMapHandle pm;
    EXPECT_EQ(MyNewPixMapWithoutStorage(k32ARGBPixelFormat, rect, 0, &pm), noErr);
    return MakeImageDescriptionForPixMap(pm.get(), out);
  }
  Rect rect{0, 0, 240, 320};
  OSErr err = noErr;
  int descriptionsMade = 0;
};

struct Report {
  int16_t message;
  int32_t location;
  int32_t err;
};
std::vector<Report> gReports;
void Record(int16_t message, int32_t location, int32_t err) {
  gReports.push_back({message, location, err});
}

class ClassicMovieTest : public MovieResourceTest {
 protected:
  void SetUp() override {
    MovieResourceTest::SetUp();
    gReports.clear();
    SetClassicErrorReporter(Record);
  }
  void TearDown() override {
    SetClassicErrorReporter(nullptr);
    MovieResourceTest::TearDown();
  }
  InputScope prefs_{kWidth, kHeight, 1500};
};

TEST_F(ClassicMovieTest, RawFramesWithTrimsGetAClipRectangle) {
  constexpr int32_t kArgbBytes = kWidth * kHeight * 4;
  ASSERT_EQ(WriteCaptureFile(file_, kWidth, kHeight * 2, 3), noErr);  // 2vuy bytes of twice the height
  gPrefs.trimTop = 8;
  gPrefs.trimLeft = 16;
  gPrefs.trimBottom = 8;
  gPrefs.trimRight = 16;
  gPrefs.flipVFlag = 1;
  FakeClassicSource source;
  ASSERT_EQ(AddMovieResourceToFile2(&file_, kArgbBytes, 3, source), noErr);
  EXPECT_TRUE(gReports.empty());
  EXPECT_EQ(source.descriptionsMade, 1);
  const TrackInfo t = ReadBack(file_, 16 + 3 * kArgbBytes).info.tracks[0];
  EXPECT_EQ(t.width, 320 << 16);
  EXPECT_EQ(t.height, 240 << 16);
  ASSERT_TRUE(t.clipRect);
  EXPECT_EQ(*t.clipRect, (Rect{8, 16, 232, 304}));
  EXPECT_EQ(t.matrix.matrix[1][1], -0x10000);
  EXPECT_EQ(t.sampleDescriptions[0].description.cType, FourCC("raw "));
  EXPECT_EQ(t.sampleDescriptions[0].description.depth, 32);
  EXPECT_EQ(t.sampleCount, 3u);
  EXPECT_EQ(t.mediaTimeScale, 1500);
}

TEST_F(ClassicMovieTest, SelfReferenceEvenWhenAFieldSpellsAnAtomType) {
  // Trims of 28004 and 26977 put the bytes "mdia" into the clip region ahead
  // of the real media atom, which hides the track from the byte scan; the
  // file must refer to itself all the same.
  ASSERT_EQ(WriteCaptureFile(file_, kWidth, kHeight * 2, 1), noErr);
  gPrefs.trimTop = 0x6D64;
  gPrefs.trimLeft = 0x6961;
  FakeClassicSource source;
  ASSERT_EQ(AddMovieResourceToFile2(&file_, kWidth * kHeight * 4, 1, source), noErr);
  const TrackInfo t = ReadBack(file_, 16 + kWidth * kHeight * 4).info.tracks[0];
  ASSERT_TRUE(t.clipRect);
  EXPECT_EQ(t.clipRect->top, 0x6D64);
  ASSERT_EQ(t.dataRefs.size(), 1u);
  EXPECT_EQ(t.dataRefs[0].flags, 1u);
  EXPECT_EQ(t.dataRefs[0].sizeBytes, 12u);
}

TEST_F(ClassicMovieTest, FailuresAreReportedWithTheirStep) {
  FakeClassicSource source;
  source.err = -2209;
  EXPECT_EQ(AddMovieResourceToFile2(&file_, 1000, 1, source), -2209);
  source.err = noErr;
  EXPECT_EQ(AddMovieResourceToFile2(&file_, 1000, 1, source), fnfErr);
  ASSERT_EQ(WriteCaptureFile(file_, kWidth, kHeight, 1), noErr);
  WriteFault fault;
  fault.path = file_.path;
  fault.failOnWriteNumber = 1;
  InjectWriteFault(fault);
  EXPECT_EQ(AddMovieResourceToFile2(&file_, kFrameBytes, 1, source), dskFulErr);
  ClearWriteFaults();
  fault.failOnWriteNumber = 2;
  InjectWriteFault(fault);
  EXPECT_EQ(AddMovieResourceToFile2(&file_, kFrameBytes, 1, source), dskFulErr);
  ClearWriteFaults();
  gPrefs.hundredTimesMovieFPS = 0;
  EXPECT_EQ(AddMovieResourceToFile2(&file_, kFrameBytes, 1, source), paramErr);

  ASSERT_EQ(gReports.size(), 5u);
  const int32_t locations[] = {1020, 1080, 1100, 1110, 1030};
  const int32_t codes[] = {-2209, fnfErr, dskFulErr, dskFulErr, paramErr};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(gReports[i].message, 3);
    EXPECT_EQ(gReports[i].location, locations[i]);
    EXPECT_EQ(gReports[i].err, codes[i]);
  }
}

TEST_F(ClassicMovieTest, SampleReferencesOneAfterAnother) {
  Movie movie;
  Track track = nullptr;
  Media media = nullptr;
  ASSERT_EQ(movie.NewTrack(0, 0, 0, &track), noErr);
  ASSERT_EQ(track->NewMedia(FourCC("vide"), 600, &media), noErr);
  ImageDescriptionHandle d;
  ASSERT_EQ(MakeDVImageDescription(DVVideoSystem::k525Lines60Hz, &d), noErr);
  // From a 64-bit offset just below 4 GiB: the offsets carry into the high word.
  ASSERT_EQ(MyAddMediaSampleReferences(media, 0xFFFFFF00u, 0, 120000, 3, d.get(), 100, false), noErr);
  ASSERT_EQ(media->runs().size(), 1u);
  EXPECT_EQ(media->runs()[0].firstOffsetBytes, 0xFFFFFF00u);
  EXPECT_EQ(media->runs()[0].count, 3u);
  EXPECT_EQ(media->DurationTicks(), 300u);
  EXPECT_EQ(MyAddMediaSampleReferences(nullptr, 16, 0, 1, 1, d.get(), 100, false), paramErr);
  EXPECT_EQ(MyAddMediaSampleReferences(media, 16, 0, 1, -1, d.get(), 100, false), paramErr);
  EXPECT_EQ(MyAddMediaSampleReferences(media, 16, 0, 1, 1, d.get(), 0, false), paramErr);
  ASSERT_EQ(MyAddMediaSampleReferences(media, 16, 1, 10, 2, d.get(), 100, true), noErr);
  EXPECT_EQ(media->runs().back().firstOffsetBytes, (1ull << 32) + 16);
  EXPECT_EQ(media->runs().back().sync, SampleSync::kNotSync);
}

}  // namespace
