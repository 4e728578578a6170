#include "classic/capture/new_capture_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "core/platform/clocks.h"
#include "core/prefs/prefs_struct.h"
#include "support/temp_dir.h"

using namespace fw;

namespace {

int64_t December8() {
  return 1796738733;
}  // 2026-12-08 14:05:33 UTC

class FakePutFile : public PutFileDialog {
 public:
  OSErr AskForFile(const std::string& name, FileRef* out, bool* replacing) override {
    suggested = name;
    if (answer != noErr) return answer;
    *out = chosen;
    *replacing = replace;
    return noErr;
  }
  std::string suggested;
  OSErr answer = noErr;
  FileRef chosen;
  bool replace = false;
};

class ClassicCaptureFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(&gPrefs, 0, sizeof gPrefs);
    SetWallClockForTesting(&December8);
    SetPutFileDialog(&dialog_);
  }
  void TearDown() override {
    SetPutFileDialog(nullptr);
    SetWallClockForTesting(nullptr);
  }
  TempHome home_;
  FakePutFile dialog_;
};

TEST_F(ClassicCaptureFileTest, FixedFoldersNameByFormatAndNeverReplace) {
  gPrefs.captureLocation = 3;
  FileRef file;
  ASSERT_EQ(GetFileSpecForNewCapture(&file), noErr);
  EXPECT_EQ(file.path, home_.file("Documents/Framewright 08-12-26 1405-33.mov"));
  std::ofstream(file.path) << "an earlier capture";
  ASSERT_EQ(GetFileSpecForNewCapture(&file), noErr);
  EXPECT_EQ(file.path, home_.file("Documents/Framewright 08-12-26 1405-33 2.mov"));

  gPrefs.captureLocation = 2;
  gPrefs.captureFormatOLD = 1;
  gPrefs.dateOrdering = 2;
  ASSERT_EQ(GetFileSpecForNewCapture(&file), noErr);
  EXPECT_EQ(file.path, home_.file("Desktop/Framewright DV 26-12-08 1405-33.dv"));
  EXPECT_TRUE(dialog_.suggested.empty()) << "no dialog for a fixed folder";
}

TEST_F(ClassicCaptureFileTest, DialogChoosesCancelsOrReplaces) {
  gPrefs.captureLocation = 0;
  FileRef file;
  dialog_.answer = userCanceledErr;
  EXPECT_EQ(GetFileSpecForNewCapture(&file), userCanceledErr);
  EXPECT_EQ(dialog_.suggested, "Framewright 08-12-26 1405-33.mov");

  dialog_.answer = noErr;
  dialog_.chosen = FileRef{home_.file("take 1.mov")};
  std::ofstream(dialog_.chosen.path) << "old take";
  dialog_.replace = true;
  ASSERT_EQ(GetFileSpecForNewCapture(&file), noErr);
  EXPECT_EQ(file.path, dialog_.chosen.path);
  EXPECT_FALSE(std::filesystem::exists(file.path)) << "the replaced file is removed at once";
  EXPECT_EQ(GetFileSpecForNewCapture(&file), fnfErr) << "a failed removal is the answer";
}

}  // namespace
