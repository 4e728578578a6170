// Captures from frames to finished movies, read back by ffprobe and ffmpeg.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "capture_test_support.h"
#include "core/capture/frame_schedule.h"
#include "core/platform/clocks.h"
#include "core/platform/fault_injection.h"
#include "hd/app/capture_controller.h"

using namespace fw;

namespace {

using CaptureMovieTest = CaptureControllerFixture;

TEST_F(CaptureMovieTest, TriggersWriteTheFramesTheyScheduled) {
  gPrefs.ignoreFrameCount = 2;
  gPrefs.hundredTimesMovieFPS = 2500;
  FrameSource source(320, 240);
  const std::string path = StartInDocuments();
  // Frames arrive as from a 60 Hz device; triggers come between them.
  auto due = std::chrono::steady_clock::now();
  for (uint32_t frame = 1; frame <= 40; ++frame) {
    if (frame == 5 || frame == 12 || frame == 30) app_.scheduleFrameCapture();
    if (frame == 12) app_.scheduleFrameCapture();  // a second trigger within one frame counts once
    source.Deliver(frame);
    due += std::chrono::microseconds(16667);
    std::this_thread::sleep_until(due);
  }
  EXPECT_EQ(view_.frameCount, 3u);
  app_.stopCaptureWithErr(0);
  ASSERT_TRUE(view_.alerts.empty()) << view_.alerts[0].message;

  const Probe probe = ProbeMovie(path);
  EXPECT_EQ(probe.frames, 3);
  EXPECT_EQ(probe.codecTag, "2vuy");
  EXPECT_EQ(probe.width, 320);
  EXPECT_EQ(probe.height, 240);
  EXPECT_EQ(probe.rate, "25/1");
  EXPECT_EQ(Stamps(DecodeFrames(path, 320, 240), 320, 240), (std::vector<uint32_t>{7, 14, 32}));
  EXPECT_EQ(FwmovFrameCount(path), 3);
}

TEST_F(CaptureMovieTest, EveryFrameModeWritesEveryFrame) {
  gPrefs.captureTrigger = kCaptureTriggerEveryFrame;
  FrameSource source(320, 240);
  const std::string path = StartInDocuments();
  for (uint32_t frame = 1; frame <= 30; ++frame) source.Deliver(frame);
  app_.scheduleFrameCapture();  // passes through the table without effect
  app_.stopCaptureWithErr(0);
  ASSERT_TRUE(view_.alerts.empty());
  std::vector<uint32_t> expected;
  for (uint32_t n = 1; n <= 30; ++n) expected.push_back(n);
  EXPECT_EQ(Stamps(DecodeFrames(path, 320, 240), 320, 240), expected);
  EXPECT_EQ(ProbeMovie(path).rate, "18/1");
}

TEST_F(CaptureMovieTest, AFullDiskKeepsEveryWholeFrameThatReachedTheFile) {
  gPrefs.captureTrigger = kCaptureTriggerEveryFrame;
  const int width = 320, height = 240;
  const uint64_t frameBytes = uint64_t{2} * width * height;
  FrameSource source(width, height);
  const std::string path = home_.file("full.mov");
  // Room for the header, 40 frames and half of the 41st.
  InjectWriteFault(
      {.path = path, .sizeLimitBytes = 16 + 40 * frameBytes + frameBytes / 2, .code = dskFulErr});
  ASSERT_EQ(app_.startCaptureWithURL(path), 0);
  for (uint32_t frame = 1; frame <= 80 && gCapture != nullptr; ++frame) {
    source.Deliver(frame);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(gCapture, nullptr) << "the full disk ended the capture";
  ASSERT_EQ(view_.alerts.size(), 1u);
  EXPECT_EQ(view_.alerts[0].message,
            "Sorry, there was an error during capture: error -34, the disk is full.");
  ClearWriteFaults();

  const Probe probe = ProbeMovie(path);
  EXPECT_EQ(probe.frames, 40);
  std::vector<uint32_t> expected;
  for (uint32_t n = 1; n <= 40; ++n) expected.push_back(n);
  EXPECT_EQ(Stamps(DecodeFrames(path, width, height), width, height), expected);
}

// A disk that fills up a few bytes after a frame has no room for the movie
// resource behind that frame: the movie then ends one frame earlier.
TEST_F(CaptureMovieTest, ADiskFullJustAfterAFrameStillGivesAPlayableMovie) {
  gPrefs.captureTrigger = kCaptureTriggerEveryFrame;
  const int width = 320, height = 240;
  const uint64_t frameBytes = uint64_t{2} * width * height;
  constexpr uint32_t kFramesThatFit = 4;
  for (const uint64_t roomBytes : {0, 1, 100, 500, 678}) {
    SCOPED_TRACE("room after the last whole frame: " + std::to_string(roomBytes));
    FrameSource source(width, height);
    const std::string path = home_.file("room" + std::to_string(roomBytes) + ".mov");
    InjectWriteFault({.path = path, .sizeLimitBytes = 16 + kFramesThatFit * frameBytes + roomBytes});
    view_.alerts.clear();
    view_.dismissed = 0;
    ASSERT_EQ(app_.startCaptureWithURL(path), 0);
    for (uint32_t frame = 1; frame <= 12 && gCapture != nullptr; ++frame) {
      source.Deliver(frame);
      WaitForFileSize(path, 16 + std::min(frame, kFramesThatFit) * frameBytes);
    }
    app_.stopCaptureWithErr(0);  // the writer may have taken every frame before the disk filled
    ASSERT_EQ(view_.alerts.size(), 1u);
    EXPECT_NE(view_.alerts[0].message.find("error -34, the disk is full."), std::string::npos)
        << view_.alerts[0].message;
    view_.DismissAlert();
    ClearWriteFaults();

    const int frames = ProbeMovie(path).frames;
    EXPECT_TRUE(frames == kFramesThatFit || frames == kFramesThatFit - 1) << frames;
    EXPECT_EQ(FwmovFrameCount(path), frames);
    std::vector<uint32_t> expected;
    for (uint32_t n = 1; n <= static_cast<uint32_t>(std::max(frames, 0)); ++n) expected.push_back(n);
    EXPECT_EQ(Stamps(DecodeFrames(path, width, height), width, height), expected);
  }
}

// A value no player takes as a rate (a damaged file, or one the other
// program never writes) would leave every frame unindexed.
TEST_F(CaptureMovieTest, AMovieRateBelowOneIsTakenAsEighteenFramesASecond) {
  SetWallClockForTesting(&FixedWallClock);
  gPrefs.captureTrigger = kCaptureTriggerEveryFrame;
  FrameSource source(320, 240);
  for (const int32_t rate : {-1, INT32_MIN}) {
    gPrefs.hundredTimesMovieFPS = rate;
    app_.startCapture();
    ASSERT_NE(gCapture, nullptr);
    for (uint32_t frame = 1; frame <= 5; ++frame) source.Deliver(frame);
    app_.stopCaptureWithErr(0);
    EXPECT_TRUE(view_.alerts.empty());
    EXPECT_EQ(gPrefs.hundredTimesMovieFPS, 1800);
  }
  for (const std::string& movie : MoviesInDocuments()) {
    const Probe probe = ProbeMovie(movie);
    EXPECT_EQ(probe.rate, "18/1") << movie;
    EXPECT_EQ(Stamps(DecodeFrames(movie, 320, 240), 320, 240), (std::vector<uint32_t>{1, 2, 3, 4, 5}));
  }
  EXPECT_EQ(MoviesInDocuments().size(), 2u);
}

TEST_F(CaptureMovieTest, AFailedFinalWriteIsReportedWhenTheCaptureEnds) {
  gPrefs.captureTrigger = kCaptureTriggerEveryFrame;
  FrameSource source(320, 240);
  const std::string path = home_.file("last.mov");
  // Write 1 is the header; frames 1 and 2 go out one write each, and the
  // write of frame 3 fails after the capture loop has handed it over.
  InjectWriteFault({.path = path, .failOnWriteNumber = 4, .code = dskFulErr});
  ASSERT_EQ(app_.startCaptureWithURL(path), 0);
  for (uint32_t frame = 1; frame <= 3; ++frame) {
    source.Deliver(frame);
    WaitForFileSize(path, 16 + (frame < 3 ? frame : 2) * 320 * 240 * 2);
  }
  app_.stopCaptureWithErr(0);
  ASSERT_EQ(view_.alerts.size(), 1u);
  EXPECT_EQ(view_.alerts[0].message,
            "Sorry, there was an error while finishing capture: error -34, the disk is full.");
  ClearWriteFaults();
  EXPECT_EQ(ProbeMovie(path).frames, 2);
  view_.DismissAlert();
  EXPECT_TRUE(view_.HasLog("show main"));
}

TEST_F(CaptureMovieTest, TrimmedMoviesHoldExactlyTheTrimmedImage) {
  gPrefs.captureTrigger = kCaptureTriggerEveryFrame;
  gPrefs.trimTop = 8;
  gPrefs.trimLeft = 16;
  gPrefs.trimBottom = 8;
  gPrefs.trimRight = 16;
  // Rows longer than the picture, as some devices deliver them.
  FrameSource source(640, 480, 640 * 2 + 128);
  const std::string path = StartInDocuments();
  std::vector<std::vector<uint8_t>> trimmed;
  for (uint32_t frame = 1; frame <= 3; ++frame) {
    source.Deliver(frame);
    std::vector<uint8_t> expected;
    for (int y = 8; y < 480 - 8; ++y) {
      const uint8_t* row = source.bytes().data() + static_cast<size_t>(y) * source.rowBytes() + 16 * 2;
      expected.insert(expected.end(), row, row + 608 * 2);
    }
    trimmed.push_back(expected);
  }
  EXPECT_EQ(preview_.lastPixMap->rowBytes, 640 * 2 + 128) << "the preview reads the trimmed image in place";
  app_.stopCaptureWithErr(0);
  ASSERT_TRUE(view_.alerts.empty());
  const Probe probe = ProbeMovie(path);
  EXPECT_EQ(probe.width, 608);
  EXPECT_EQ(probe.height, 464);
  EXPECT_EQ(DecodeFrames(path, 608, 464), trimmed);
}

TEST_F(CaptureMovieTest, UnsafeTrimsAreTamed) {
  gPrefs.captureTrigger = kCaptureTriggerEveryFrame;
  gPrefs.trimLeft = 3;    // odd: would split a pixel pair
  gPrefs.trimRight = -6;  // negative: would reach outside the frame
  gPrefs.trimTop = -2;
  FrameSource source(320, 240);
  const std::string path = StartInDocuments();
  source.Deliver(1);
  EXPECT_EQ(gInput->trimmedWidth, 318);
  EXPECT_EQ(gInput->trimmedHeight, 240);
  EXPECT_EQ(gInput->trimOffset, 4u);
  FrameSource other(400, 300);
  other.Deliver(2);  // another geometry: passed over, not read out of bounds
  app_.stopCaptureWithErr(0);
  EXPECT_EQ(ProbeMovie(path).frames, 1);
}

TEST_F(CaptureMovieTest, StartCaptureNamesFilesAndNeverReplacesOne) {
  SetWallClockForTesting(&FixedWallClock);
  gPrefs.hundredTimesMovieFPS = 0;
  gPrefs.captureTrigger = kCaptureTriggerEveryFrame;
  FrameSource source(320, 240);
  for (int capture = 0; capture < 2; ++capture) {
    app_.startCapture();
    ASSERT_NE(gCapture, nullptr);
    for (uint32_t frame = 1; frame <= static_cast<uint32_t>(capture + 1); ++frame) source.Deliver(frame);
    app_.stopCaptureWithErr(0);
  }
  EXPECT_EQ(gPrefs.hundredTimesMovieFPS, 1800);
  const std::vector<std::string> movies = MoviesInDocuments();
  ASSERT_EQ(movies.size(), 2u);
  EXPECT_EQ(movies[0], Documents() + "/Framewright 8-12-2026 14-05-33 2.mov");
  EXPECT_EQ(movies[1], Documents() + "/Framewright 8-12-2026 14-05-33.mov");
  EXPECT_EQ(ProbeMovie(movies[1]).frames, 1) << "the first capture is intact";
  EXPECT_EQ(ProbeMovie(movies[0]).frames, 2);
}

TEST_F(CaptureMovieTest, SavePanelChoosesTheFileOrCancels) {
  gPrefs.captureLocation = 0;
  SetWallClockForTesting(&FixedWallClock);
  gPrefs.dateOrdering = 2;
  app_.startCapture();
  ASSERT_TRUE(view_.savePanelName.has_value());
  EXPECT_EQ(*view_.savePanelName, "Framewright 2026-12-8 14-05-33.mov");
  view_.savePanelDone(std::nullopt);
  EXPECT_EQ(gCapture, nullptr);
  EXPECT_TRUE(view_.alerts.empty());
  app_.startCapture();
  view_.savePanelDone(home_.file("chosen.mov"));
  EXPECT_NE(gCapture, nullptr);
  EXPECT_TRUE(std::filesystem::exists(home_.file("chosen.mov")));
}

}  // namespace
