// fwmov as a program: JSON on stdout for a finished movie, one line on
// stderr and exit status 1 for anything else.
#include <gtest/gtest.h>

#include <string>

#include "core/capture/capture_movie.h"
#include "core/movie/capture_file_fixture.h"
#include "support/temp_dir.h"

using namespace fw;

namespace {

using namespace movie_test;

// Runs fwmov on a file and a jq filter on its output.
CommandResult Query(const FileRef& file, const std::string& filter) {
  return RunCommand(std::string(FWMOV_PATH) + " " + Quote(file.path) + " | jq -c " + Quote(filter));
}

// fwmov's stderr, with its exit status.
CommandResult Complaint(const std::string& arguments) {
  return RunCommand(std::string(FWMOV_PATH) + " " + arguments + " 2>&1 >/dev/null");
}

class FwmovTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RunCommand("command -v jq >/dev/null").status, 0) << "jq is missing; run scripts/install-deps";
    ASSERT_EQ(MakeFileRef(dir_.file("movie.mov"), &file_), noErr);
  }
  TempDir dir_;
  FileRef file_;
};

TEST_F(FwmovTest, DescribesAFinishedMovie) {
  InputScope input(320, 240, 2997);
  gPrefs.flipVFlag = 1;
  constexpr int32_t kFrameBytes = 320 * 240 * 2;
  ASSERT_EQ(WriteCaptureFile(file_, 320, 240, 10), noErr);
  ASSERT_EQ(addMovieResourceToFile(&file_, kFrameBytes, 10), noErr);
  const uint64_t oldEnd = 16 + 10 * kFrameBytes;

  EXPECT_EQ(Query(file_, "[.atoms[] | select(.depth == 0) | [.offset, .type]]").out,
            "[[0,\"wide\"],[8,\"mdat\"],[" + std::to_string(oldEnd) + ",\"moov\"]]\n");
  EXPECT_EQ(Query(file_, "[.movie.timeScale, .movie.duration]").out, "[2997,1000]\n");
  EXPECT_EQ(Query(file_,
                  ".tracks[0] | [.mediaTimeScale, .sampleCount, .sampleSize, .chunkOffsets, "
                  ".firstSampleOffset, .lastSampleOffset]")
                .out,
            "[2997,10,153600,[16],16," + std::to_string(16 + 9 * kFrameBytes) + "]\n");
  EXPECT_EQ(Query(file_, ".tracks[0].dataReferences").out, "[{\"type\":\"alis\",\"flags\":1,\"size\":12}]\n");
  EXPECT_EQ(Query(file_, ".tracks[0].sampleDescriptions[0] | [.codec, .width, .height, .depth]").out,
            "[\"2vuy\",320,240,16]\n");
  EXPECT_EQ(Query(file_, ".tracks[0].matrix").out, "[65536,0,0,0,-65536,0,0,0,1073741824]\n");
}

TEST_F(FwmovTest, RefusesWhatIsNotAWholeMovie) {
  // An unfinished capture: the placeholder header and frames, no movie.
  ASSERT_EQ(WriteCaptureFile(file_, 320, 240, 2), noErr);
  CommandResult r = Complaint(Quote(file_.path));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("no movie atom"), std::string::npos) << r.out;

  // A finished movie cut short inside its movie resource.
  InputScope input(320, 240);
  ASSERT_EQ(addMovieResourceToFile(&file_, 320 * 240 * 2, 2), noErr);
  ASSERT_EQ(RunCommand("truncate -s -50 " + Quote(file_.path)).status, 0);
  r = Complaint(Quote(file_.path));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("truncated"), std::string::npos) << r.out;
  EXPECT_EQ(RunCommand(std::string(FWMOV_PATH) + " " + Quote(file_.path) + " 2>/dev/null").out, "")
      << "nothing on stdout";

  r = Complaint(Quote(dir_.file("absent.mov")));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("no such file"), std::string::npos) << r.out;
  EXPECT_EQ(Complaint("").status, 2) << "usage";
}

}  // namespace
