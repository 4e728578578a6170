// Movies finished by addMovieResourceToFile, read by players nobody here
// wrote: ffprobe/ffmpeg, MediaInfo and GStreamer's QuickTime demuxer. They
// must see the codec, the size, every frame at the movie's rate, the exact
// pixels that were captured, and the mirror the preferences asked for.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "core/capture/capture_movie.h"
#include "core/movie/capture_file_fixture.h"
#include "support/temp_dir.h"

using namespace fw;

namespace {

using namespace movie_test;

// Every tool these tests need; install-deps installs them all, so a missing
// one is a broken machine, not a reason to skip.
void RequireTools() {
  for (const char* tool : {"ffprobe", "ffmpeg", "mediainfo", "gst-discoverer-1.0", "jq"}) {
    ASSERT_EQ(RunCommand(std::string("command -v ") + tool + " >/dev/null").status, 0)
        << tool << " is missing; run scripts/install-deps";
  }
}

std::string Trim(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

// ffprobe's view of the video stream, one field a line.
std::string Probe(const FileRef& file) {
  // One decoding thread: frame threads make counting frames of large raw
  // pictures many times slower without changing the count.
  const CommandResult r = RunCommand(
      "ffprobe -v error -threads 1 -count_frames -select_streams v:0 "
      "-show_entries stream=codec_tag_string,width,height,nb_read_frames,r_frame_rate -of json " +
      Quote(file.path) +
      " | jq -r '.streams[0] | \"\\(.codec_tag_string) \\(.width)x\\(.height) \\(.nb_read_frames) "
      "\\(.r_frame_rate)\"'");
  EXPECT_EQ(r.status, 0);
  return Trim(r.out);
}

std::string MediaInfoFrames(const FileRef& file) {
  const CommandResult r =
      RunCommand("mediainfo --Output=JSON " + Quote(file.path) +
                 " | jq -r '.media.track[] | select(.[\"@type\"] == \"Video\") | .FrameCount'");
  EXPECT_EQ(r.status, 0);
  return Trim(r.out);
}

// GStreamer's duration in frames of the movie's rate; -1 when it reports an
// error or no duration.
long GStreamerFrames(const FileRef& file, int32_t hundredTimesFPS) {
  const CommandResult r = RunCommand("gst-discoverer-1.0 " + Quote(file.path) + " 2>&1");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out.find("rror"), std::string::npos) << r.out;
  const size_t at = r.out.find("Duration: ");
  if (at == std::string::npos) return -1;
  int h = 0, m = 0;
  double s = 0;
  if (std::sscanf(r.out.c_str() + at, "Duration: %d:%d:%lf", &h, &m, &s) != 3) return -1;
  return std::lround((h * 3600 + m * 60 + s) * hundredTimesFPS / 100.0);
}

class ClientTest : public ::testing::Test {
 protected:
  void SetUp() override { RequireTools(); }
  FileRef Movie(const char* name) {
    FileRef file;
    EXPECT_EQ(MakeFileRef(dir_.file(name), &file), noErr);
    return file;
  }
  TempDir dir_;
};

TEST_F(ClientTest, OneFrameAndThreeHundredFrames) {
  InputScope input(320, 240, 2997);
  for (uint32_t frames : {1u, 300u}) {
    SCOPED_TRACE(frames);
    const FileRef file = Movie(frames == 1 ? "one.mov" : "many.mov");
    ASSERT_EQ(WriteCaptureFile(file, 320, 240, frames), noErr);
    ASSERT_EQ(addMovieResourceToFile(&file, 320 * 240 * 2, static_cast<int32_t>(frames)), noErr);
    EXPECT_EQ(Probe(file), "2vuy 320x240 " + std::to_string(frames) + " 2997/100");
    EXPECT_EQ(MediaInfoFrames(file), std::to_string(frames));
    EXPECT_EQ(GStreamerFrames(file, 2997), static_cast<long>(frames));
  }
}

TEST_F(ClientTest, FirstAndLastFramesDecodeToTheCapturedPixels) {
  InputScope input(320, 240, 2500);
  const FileRef file = Movie("pixels.mov");
  ASSERT_EQ(WriteCaptureFile(file, 320, 240, 300), noErr);
  ASSERT_EQ(addMovieResourceToFile(&file, 320 * 240 * 2, 300), noErr);
  for (uint32_t index : {0u, 299u}) {
    const CommandResult r = RunCommand("ffmpeg -v error -threads 1 -i " + Quote(file.path) +
                                       " -map 0:v:0 -vf 'select=eq(n\\," + std::to_string(index) +
                                       ")' -fps_mode passthrough -frames:v 1 -f rawvideo -pix_fmt uyvy422 -");
    ASSERT_EQ(r.status, 0);
    const std::vector<uint8_t> expected = MakeFrame(320, 240, index);
    ASSERT_EQ(r.out.size(), expected.size()) << "frame " << index;
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), reinterpret_cast<const uint8_t*>(r.out.data())))
        << "frame " << index << " differs";
    uint32_t stamp = 0;
    ASSERT_TRUE(ReadFrameStamp(reinterpret_cast<const uint8_t*>(r.out.data()), 640, 320, 240, &stamp));
    EXPECT_EQ(stamp, index + 1);
  }
}

TEST_F(ClientTest, MovieBeyond4GiB) {
  // Sparse: 1037 HD frames of nothing, the last one starting past 4 GiB.
  // In tmpfs when there is one: there a hole reads as zeros without filling
  // the page cache with 4 GiB of them.
  InputScope input(1920, 1080, 2500);
  TempDir memory(std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : nullptr);
  FileRef file;
  ASSERT_EQ(MakeFileRef(memory.file("large.mov"), &file), noErr);
  constexpr int32_t kFrameBytes = 1920 * 1080 * 2;
  ASSERT_EQ(WriteSparseCaptureFile(file, kFrameBytes, 1037), noErr);
  ASSERT_EQ(addMovieResourceToFile(&file, kFrameBytes, 1037), noErr);
  EXPECT_EQ(Probe(file), "2vuy 1920x1080 1037 25/1");
  EXPECT_EQ(MediaInfoFrames(file), "1037");
  EXPECT_EQ(GStreamerFrames(file, 2500), 1037);
}

TEST_F(ClientTest, MirroredMovieCarriesItsMatrix) {
  InputScope input(320, 240, 1800);
  gPrefs.flipHFlag = 1;
  const FileRef file = Movie("mirror.mov");
  ASSERT_EQ(WriteCaptureFile(file, 320, 240, 2), noErr);
  ASSERT_EQ(addMovieResourceToFile(&file, 320 * 240 * 2, 2), noErr);
  // ffprobe prints the display matrix as three rows of three numbers.
  const CommandResult r = RunCommand(
      "ffprobe -v error -select_streams v:0 -show_entries stream_side_data=displaymatrix "
      "-of json " +
      Quote(file.path) +
      " | jq -r '.streams[0].side_data_list[0].displaymatrix' | awk 'NF == 4 {print $2, $3, $4}'");
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "-65536 0 0\n0 65536 0\n0 0 1073741824\n");
}

}  // namespace
