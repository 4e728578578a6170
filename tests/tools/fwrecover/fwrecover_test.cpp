// fwrecover from the command line: one line per capture, what a dry run
// leaves alone, the exit status, and a recovered movie that ffprobe plays.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "core/recovery/recovery_journal.h"
#include "core/recovery/recovery_record.h"
#include "movie/capture_file_fixture.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

using namespace fw;

namespace {

constexpr int kWidth = 320, kHeight = 32;

std::string Fwrecover(const std::string& arguments, int* status) {
  const CommandResult r = RunCommand(std::string(FWRECOVER_PATH) + " " + arguments + " 2>&1");
  *status = r.status;
  return r.out;
}

TEST(FwrecoverTest, RecoversEveryCaptureCutShortAndSaysWhatCouldNotBe) {
  TempHome home;
  movie_test::InputScope input(kWidth, kHeight, 1500);
  std::string folder;
  ASSERT_EQ(GetRecoveryFolder(ProgramFlavor::kHD, FolderCreation::kCreateIfMissing, &folder), noErr);
  // A capture killed after 7 whole frames and part of the 8th.
  const std::string take = home.file("take one.mov");
  ASSERT_EQ(movie_test::WriteCaptureFile(FileRef{take}, kWidth, kHeight, 7), noErr);
  std::ofstream(take, std::ios::binary | std::ios::app) << std::string(1000, 'x');
  struct stat st {};
  ASSERT_EQ(stat(take.c_str(), &st), 0);
  CaptureRecoveryRecord record;
  record.capturePath = take;
  record.fileInode = st.st_ino;
  record.frameDataSize = kWidth * kHeight * 2;
  ASSERT_EQ(DescribeHDCaptureMovie(&record.movie), noErr);
  ASSERT_EQ(WriteRecoveryRecordFile(RecoveryRecordPath(folder, take), record), noErr);
  const uintmax_t killedSize = std::filesystem::file_size(take);

  int status = -1;
  EXPECT_EQ(Fwrecover("--dry-run", &status), "The capture \"take one.mov\" in " + home.path() +
                                                 ", cut short, would be recovered as a movie of 7 frames.\n");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(std::filesystem::file_size(take), killedSize) << "a dry run touches nothing";

  EXPECT_EQ(
      Fwrecover(Quote(home.file("elsewhere.mov")), &status),
      home.file("elsewhere.mov") + ": no capture cut short was written to this file; nothing to recover.\n");
  EXPECT_EQ(status, 1);

  EXPECT_EQ(Fwrecover(Quote(take), &status),
            "The capture \"take one.mov\", cut short, was recovered as a movie of 7 frames in " +
                home.path() + ".\n");
  EXPECT_EQ(status, 0);
  const CommandResult probe = RunCommand(
      "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
      "stream=nb_read_frames,codec_tag_string -of csv=p=0 " +
      Quote(take));
  EXPECT_EQ(probe.out, "2vuy,7\n");

  std::ofstream(folder + "/garbage.record") << "not a record";
  EXPECT_EQ(Fwrecover("", &status), "The recovery record " + folder +
                                        "/garbage.record is damaged (not a recovery record) and was set "
                                        "aside; no capture file was touched.\n");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(Fwrecover("", &status), "No capture was cut short; nothing to recover.\n");
  EXPECT_EQ(status, 0);
}

}  // namespace
