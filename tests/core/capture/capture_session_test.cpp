// The capture session on its own, as the classic program will use it too:
// DV streams without header or movie, row packing, and what the end reports.
#include "core/capture/capture_session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "core/platform/fault_injection.h"
#include "core/platform/program_flavor.h"
#include "support/temp_dir.h"

using namespace fw;

namespace {

std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Records what the session asked of the movie finisher.
struct FinisherLog {
  int calls = 0;
  int32_t frameDataSize = 0;
  int32_t frameCount = 0;
  OSErr answer = noErr;
  MovieFinisher Finisher() {
    return [this](const FileRef&, int32_t size, int32_t count) {
      ++calls;
      frameDataSize = size;
      frameCount = count;
      return answer;
    };
  }
};

class CaptureSessionTest : public ::testing::Test {
 protected:
  void TearDown() override { ClearWriteFaults(); }
  std::unique_ptr<CaptureSession> Start(CaptureFileFormat format, CaptureMode mode, uint8_t delay = 0) {
    CaptureSessionSettings settings;
    settings.flavor = ProgramFlavor::kClassic;
    settings.format = format;
    settings.mode = mode;
    settings.ignoreFrameCount = delay;
    std::unique_ptr<CaptureSession> session;
    EXPECT_EQ(CaptureSession::Start(path_, settings, schedule_, log_.Finisher(), &session), noErr);
    return session;
  }

  TempDir dir_;
  std::string path_ = dir_.file("take.dv");
  FrameSchedule schedule_{ProgramFlavor::kClassic};
  FinisherLog log_;
};

TEST_F(CaptureSessionTest, ADVStreamHoldsTheFramesAloneAndAFailedWriteLeavesOnlyWholeFrames) {
  constexpr uint32_t kFrameBytes = 120000;
  InjectWriteFault({.path = path_, .sizeLimitBytes = 3 * kFrameBytes + 500, .code = dskFulErr});
  auto session = Start(CaptureFileFormat::kDVStream, CaptureMode::kEveryFrame);
  ASSERT_TRUE(session);
  std::vector<uint8_t> frame(kFrameBytes);
  OSErr err = noErr;
  for (uint8_t n = 1; n <= 6 && err == noErr; ++n) {
    std::fill(frame.begin(), frame.end(), n);
    err = session->WriteFrame(frame.data(), kFrameBytes, kFrameBytes, 1);
  }
  const CaptureEnd end = session->Finish(err);
  // The writer may report the full disk on a later frame or only when it
  // closes; either way the end names it and the file keeps three frames.
  EXPECT_EQ(end.AlertCode(), dskFulErr);
  ASSERT_TRUE(end.AlertStep().has_value());
  EXPECT_EQ(end.framesInFile, 3u);
  EXPECT_EQ(log_.calls, 0) << "a DV stream gets no movie";
  const std::vector<uint8_t> bytes = FileBytes(path_);
  ASSERT_EQ(bytes.size(), 3 * kFrameBytes);
  for (uint32_t n = 0; n < 3; ++n) EXPECT_EQ(bytes[n * kFrameBytes], n + 1) << "frame " << n + 1;
}

TEST_F(CaptureSessionTest, PaddedRowsArePackedAndTheMovieIndexesEveryFrame) {
  auto session = Start(CaptureFileFormat::kQuickTimeMovie, CaptureMode::kEveryFrame);
  ASSERT_TRUE(session);
  // Two rows of 4 bytes in rows of 6: the padding never reaches the file.
  const uint8_t image[] = {1, 2, 3, 4, 0xEE, 0xEE, 5, 6, 7, 8, 0xEE, 0xEE};
  ASSERT_EQ(session->WriteFrame(image, 6, 4, 2), noErr);
  ASSERT_EQ(session->WriteFrame(image, 6, 4, 2), noErr);
  EXPECT_EQ(session->WriteFrame(image, 6, 6, 2), paramErr) << "every frame of a capture has one size";
  const CaptureEnd end = session->Finish(noErr);
  EXPECT_FALSE(end.AlertStep().has_value());
  EXPECT_EQ(log_.calls, 1);
  EXPECT_EQ(log_.frameDataSize, 8);
  EXPECT_EQ(log_.frameCount, 2);
  const std::vector<uint8_t> bytes = FileBytes(path_);
  ASSERT_EQ(bytes.size(), 16u + 16u);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 16, bytes.begin() + 24),
            (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(CaptureSessionTest, TheScheduleDecidesAndAnEmptyCaptureLeavesNoFile) {
  auto session = Start(CaptureFileFormat::kQuickTimeMovie, CaptureMode::kScheduled, 2);
  ASSERT_TRUE(session);
  session->ScheduleTrigger();  // at incoming frame 1, due at frame 3
  std::vector<bool> due;
  for (int n = 0; n < 3; ++n) {
    due.push_back(session->IsFrameDue());
    session->SkipFrame();
  }
  EXPECT_EQ(due, (std::vector<bool>{false, false, true}));
  session.reset();  // ended without a frame: finished all the same
  EXPECT_FALSE(std::filesystem::exists(path_));
  EXPECT_EQ(log_.calls, 0);
}

TEST_F(CaptureSessionTest, WhatTheEndReports) {
  struct Case {
    OSErr captureErr, finisherAnswer;
    std::optional<ErrorStep> step;
    OSErr code;
  } cases[] = {
      {noErr, noErr, std::nullopt, noErr},
      {noErr, -43, ErrorStep::kFinishingCapture, -43},
      {800, noErr, ErrorStep::kDuringCapture, 800},
      {800, -43, ErrorStep::kDuringCapture, 800},  // the capture's own error comes first
  };
  for (const Case& c : cases) {
    std::filesystem::remove(path_);
    log_.answer = c.finisherAnswer;
    auto session = Start(CaptureFileFormat::kQuickTimeMovie, CaptureMode::kEveryFrame);
    ASSERT_TRUE(session);
    const uint8_t frame[4] = {};
    ASSERT_EQ(session->WriteFrame(frame, 4, 4, 1), noErr);
    const CaptureEnd end = session->Finish(c.captureErr);
    EXPECT_EQ(end.AlertStep(), c.step) << c.captureErr << " " << c.finisherAnswer;
    EXPECT_EQ(end.AlertCode(), c.code) << c.captureErr << " " << c.finisherAnswer;
    EXPECT_EQ(session->Finish(noErr).captureErr, c.captureErr) << "only the first end counts";
  }
}

TEST_F(CaptureSessionTest, OnlyANewOrRegularFileIsTaken) {
  std::unique_ptr<CaptureSession> session;
  for (const std::string& path : {dir_.path(), std::string("/dev/null"), dir_.file("missing/take.mov")}) {
    EXPECT_EQ(CaptureSession::Start(path, {}, schedule_, log_.Finisher(), &session),
              kCannotCreateCaptureFileErr)
        << path;
    EXPECT_FALSE(session) << path;
  }
  EXPECT_TRUE(std::filesystem::exists("/dev/null"));
}

}  // namespace
