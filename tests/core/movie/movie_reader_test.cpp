// The reader on damaged files: every cut and every inconsistency is refused
// with a reason, and truncation is told apart from other damage.
#include "core/movie/movie_reader.h"

#include <gtest/gtest.h>

#include <cstring>

#include "core/movie/image_descriptions.h"
#include "core/movie/mdat_header.h"
#include "core/movie/movie_json.h"
#include "core/movie/self_data_ref.h"
#include "core/util/byte_order.h"

using namespace fw;

namespace {

constexpr uint32_t kFrameBytes = 64;

// A complete small movie file: header, `frames` frames, movie resource.
std::vector<uint8_t> SmallMovieFile(uint32_t frames, uint32_t indexedFrames) {
  std::vector<uint8_t> file(16 + frames * kFrameBytes, 0x80);
  CreateMdatHeader(static_cast<uint32_t>(file.size()), 0, file.data());
  Movie movie;
  Track track = nullptr;
  Media media = nullptr;
  EXPECT_EQ(movie.SetTimeScale(2500), noErr);
  EXPECT_EQ(movie.NewTrack(4 << 16, 8 << 16, 0, &track), noErr);
  EXPECT_EQ(track->NewMedia(FourCC("vide"), 2500, &media), noErr);
  ImageDescription d;
  d.cType = FourCC("2vuy");
  d.width = 4;
  d.height = 8;
  EXPECT_EQ(media->AddSampleReferences(16, kFrameBytes, indexedFrames, 100, d, SampleSync::kSync), noErr);
  EXPECT_EQ(track->InsertMedia(-1, 0, media->DurationTicks(), kFixed1), noErr);
  std::vector<uint8_t> moov;
  EXPECT_EQ(movie.Serialise(&moov), noErr);
  file.insert(file.end(), moov.begin(), moov.end());
  return file;
}

OSErr Read(const std::vector<uint8_t>& bytes, std::string* problem, MovieFileInfo* info = nullptr) {
  MovieFileInfo scratch;
  return ReadMovieFile(MemoryByteSource(bytes.data(), bytes.size()), info ? info : &scratch, problem);
}

size_t Find(const std::vector<uint8_t>& b, const char* type) {
  for (size_t i = 0; i + 4 <= b.size(); ++i)
    if (std::memcmp(b.data() + i, type, 4) == 0) return i;
  ADD_FAILURE() << type << " not found";
  return 0;
}

TEST(MovieReaderTest, ReadsAWholeFile) {
  const std::vector<uint8_t> file = SmallMovieFile(5, 5);
  MovieFileInfo info;
  std::string problem;
  ASSERT_EQ(Read(file, &problem, &info), noErr) << problem;
  EXPECT_EQ(info.atoms[0].type, FourCC("wide"));
  EXPECT_EQ(info.atoms[1].type, FourCC("mdat"));
  EXPECT_EQ(info.mediaDataOffsetBytes, 16u);
  EXPECT_EQ(info.mediaDataSizeBytes, 5u * kFrameBytes);
  EXPECT_EQ(info.tracks[0].lastSampleOffsetBytes, 16u + 4 * kFrameBytes);
  const std::string json = MovieFileInfoToJson(info, "a \"quoted\"\n name");
  EXPECT_NE(json.find("\"file\":\"a \\\"quoted\\\"\\u000a name\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"codec\":\"2vuy\""), std::string::npos);
}

TEST(MovieReaderTest, EveryCutIsRefused) {
  const std::vector<uint8_t> file = SmallMovieFile(2, 2);
  for (size_t length = 0; length < file.size(); ++length) {
    const std::vector<uint8_t> cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
    std::string problem;
    const OSErr err = Read(cut, &problem);
    EXPECT_TRUE(err == eofErr || err == badPublicMovieAtom) << "length " << length << ": " << err;
    EXPECT_FALSE(problem.empty());
    if (length > 16 + 2 * kFrameBytes + 8) {
      EXPECT_EQ(err, eofErr) << "a cut movie atom is truncation";
    }
  }
}

TEST(MovieReaderTest, SamplesMustLieInTheMediaData) {
  // The movie indexes six frames, the file holds five: the sixth would be
  // read from the movie resource itself.
  std::string problem;
  EXPECT_EQ(Read(SmallMovieFile(5, 6), &problem), badPublicMovieAtom);
  EXPECT_NE(problem.find("outside the media data"), std::string::npos) << problem;

  // A chunk that runs past the end of the file is truncation.
  std::vector<uint8_t> file = SmallMovieFile(5, 5);
  StoreBE32(file.data() + Find(file, "stco") + 12, static_cast<uint32_t>(file.size() - 100));
  EXPECT_EQ(Read(file, &problem), eofErr);
  EXPECT_NE(problem.find("truncated"), std::string::npos) << problem;
}

TEST(MovieReaderTest, TablesThatDisagreeAreRefused) {
  struct Damage {
    const char* atom;
    std::ptrdiff_t fieldOffset;  // from the atom's type
    uint32_t value;
    const char* expected;
  };
  const Damage damages[] = {
      {"stts", 12, 7, "time-to-sample"},            // covers 7 samples, there are 5
      {"stsc", 8, 0, "chunks hold 0"},              // no entries, but 5 samples
      {"stsc", 12, 0, "chunks that do not exist"},  // first chunk 0
      {"stsc", 20, 9, "invalid"},                   // sample description 9 of 1
      {"stsz", 8, 1000, "truncated"},               // samples of 1000 bytes run past the end
      {"stco", 8, 1000, "room for"},                // 1000 chunk offsets in room for 1
      {"dref", 8, 2, "holds"},                      // 2 entries, holds 1
      {"mdhd", 16, 0, "time scale"},                // media time scale 0
      {"moov", -4, 0, ""},                          // size 0 for the last atom: runs to the end
  };
  for (const Damage& d : damages) {
    std::vector<uint8_t> file = SmallMovieFile(5, 5);
    StoreBE32(file.data() + static_cast<std::ptrdiff_t>(Find(file, d.atom)) + d.fieldOffset, d.value);
    std::string problem;
    const OSErr err = Read(file, &problem);
    if (*d.expected == '\0') {
      EXPECT_EQ(err, noErr) << problem;
      continue;
    }
    EXPECT_NE(err, noErr) << d.atom;
    EXPECT_NE(problem.find(d.expected), std::string::npos) << d.atom << ": " << problem;
  }
}

TEST(MovieReaderTest, FilesWithoutAMovie) {
  std::string problem;
  std::vector<uint8_t> placeholder(16 + 100, 0);
  const uint8_t header[16] = {0, 0, 0, 8, 'w', 'i', 'd', 'e', 0, 0, 0, 0, 'm', 'd', 'a', 't'};
  std::memcpy(placeholder.data(), header, 16);  // an unfinished capture: 'mdat' of size 0 runs to the end
  EXPECT_EQ(Read(placeholder, &problem), badPublicMovieAtom);
  EXPECT_NE(problem.find("no movie atom"), std::string::npos);
  std::vector<uint8_t> tiny = {0, 0, 0, 4, 'f', 'r', 'e', 'e'};
  EXPECT_EQ(Read(tiny, &problem), badPublicMovieAtom) << "size smaller than its header";
}

}  // namespace
