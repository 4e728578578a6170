// The capture session: starting, stopping, errors and what the user sees.
#include "hd/app/capture_controller.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "capture_test_support.h"
#include "core/capture/capture_file_finish.h"
#include "core/capture/frame_schedule.h"
#include "core/platform/clocks.h"
#include "core/platform/fault_injection.h"
#include "core/prefs/prefs_struct.h"
#include "core/util/frame_stamp.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

using namespace fw;

namespace {

using CaptureControllerTest = CaptureControllerFixture;

TEST_F(CaptureControllerTest, StartAndStopWithoutFramesLeavesNothing) {
  FrameSource source(320, 240);
  source.Deliver(1);  // previewing: the input's geometry is set up
  EXPECT_TRUE(view_.captureButtonEnabled);
  EXPECT_EQ(preview_.lastWindow, WindowId::kMainWindow);

  const std::string path = StartInDocuments();
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(std::filesystem::file_size(path), 16u);
  EXPECT_TRUE(view_.HasLog("hide main"));
  EXPECT_TRUE(view_.HasLog("show capture"));
  EXPECT_TRUE(view_.HasLog("menus off"));
  ASSERT_TRUE(view_.pointer.has_value());
  EXPECT_EQ(*view_.pointer, std::make_pair(720, 450)) << "the pointer goes to the capture window's centre";
  EXPECT_EQ(preview_.disposals, 1) << "the main window's preview is given up at the start";

  EXPECT_EQ(app_.startCaptureWithURL(home_.file("other.mov")), 0);
  EXPECT_FALSE(std::filesystem::exists(home_.file("other.mov"))) << "a second start changes nothing";

  source.Deliver(2);  // no trigger: nothing written
  app_.stopCaptureWithErr(0);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_TRUE(view_.alerts.empty());
  EXPECT_EQ(gCapture, nullptr);
  EXPECT_TRUE(view_.HasLog("show main"));
  EXPECT_TRUE(view_.HasLog("menus on"));
}

TEST_F(CaptureControllerTest, StartFailuresShowOneAlertOnTheMainWindow) {
  EXPECT_EQ(app_.startCaptureWithURL(std::nullopt), 1301);
  EXPECT_EQ(app_.startCaptureWithURL(home_.file("no/such/folder/x.mov")), 1301);
  // Only regular files are replaced: a folder, a FIFO or a device is left alone.
  ASSERT_EQ(mkfifo(home_.file("pipe").c_str(), 0600), 0);
  EXPECT_EQ(app_.startCaptureWithURL(home_.file("pipe")), 1301);
  EXPECT_EQ(app_.startCaptureWithURL(home_.path()), 1301);
  EXPECT_EQ(app_.startCaptureWithURL(std::string("/dev/null")), 1301);
  EXPECT_TRUE(std::filesystem::exists("/dev/null"));
  EXPECT_TRUE(std::filesystem::is_fifo(home_.file("pipe")));
  ASSERT_EQ(view_.alerts.size(), 5u);
  EXPECT_EQ(view_.alerts[0].window, WindowId::kMainWindow);
  EXPECT_EQ(view_.alerts[0].message,
            "Sorry, there was an error while starting the capture: error 1301, could not create the file.");
  EXPECT_EQ(gCapture, nullptr);
}

TEST_F(CaptureControllerTest, AFolderThatCannotBeMadeCannotTakeTheFile) {
  // Documents cannot be made: a plain file holds its name.
  std::ofstream(home_.file("Documents")) << "not a folder";
  app_.startCapture();
  ASSERT_EQ(view_.alerts.size(), 1u);
  EXPECT_EQ(view_.alerts[0].window, WindowId::kMainWindow);
  EXPECT_EQ(view_.alerts[0].message,
            "Sorry, there was an error while starting the capture: error 1301, could not create the file.");
  EXPECT_EQ(gCapture, nullptr);
}

// Finishing with a movie that does not fit: whole frames are cut until it
// does, and only a lack of room is worth another try.
TEST(FinishCaptureFileTest, CutsWholeFramesUntilTheMovieFits) {
  TempDir dir;
  constexpr uint32_t kFrameBytes = 10;
  struct Case {
    const char* what;
    uint32_t framesThatFit;  // the most frames whose movie fits
    OSErr otherErr;          // failure other than a full disk, from the first try
    std::vector<int32_t> tries;
    uint32_t framesInMovie;
    OSErr result;
    bool fileKept;
  };
  const std::vector<Case> cases = {
      {"fits", 20, noErr, {20}, 20, noErr, true},
      {"one frame less", 19, noErr, {20, 19}, 19, dskFulErr, true},
      {"tiny frames: doubling cuts", 12, noErr, {20, 19, 17, 13, 5}, 5, dskFulErr, true},
      {"never fits", 0, noErr, {20, 19, 17, 13, 5}, 0, dskFulErr, false},
      {"another error", 20, ioErr, {20}, 0, ioErr, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FileRef file{dir.file("capture.mov")};
    // The header, 20 whole frames and half of a 21st.
    std::ofstream(file.path, std::ios::binary) << std::string(16 + 20 * kFrameBytes + kFrameBytes / 2, 'x');
    std::vector<int32_t> tries;
    uint32_t framesInMovie = 99;
    const OSErr err = FinishCaptureFile(
        file, kFrameBytes, 25, CaptureFrameData::kMayBeShort,
        [&](int32_t frames) {
          tries.push_back(frames);
          EXPECT_EQ(std::filesystem::file_size(file.path), 16 + uint64_t(frames) * kFrameBytes);
          if (c.otherErr != noErr) return c.otherErr;
          return uint32_t(frames) <= c.framesThatFit ? noErr : dskFulErr;
        },
        &framesInMovie);
    EXPECT_EQ(err, c.result);
    EXPECT_EQ(tries, c.tries);
    EXPECT_EQ(framesInMovie, c.framesInMovie);
    EXPECT_EQ(std::filesystem::exists(file.path), c.fileKept);
  }
}

TEST_F(CaptureControllerTest, DeviceErrorsEndACaptureOnceAndAreIgnoredWhilePreviewing) {
  FrameSource source(320, 240);
  source.Deliver(1);
  MyQTCaptureDataProc(0, nullptr, 0, 0, 0, 0, 800);
  EXPECT_TRUE(view_.alerts.empty()) << "errors while only previewing show nothing";

  StartInDocuments();
  MyQTCaptureDataProc(0, nullptr, 0, 0, 0, 0, 800);
  MyQTCaptureDataProc(0, nullptr, 0, 0, 0, 0, 800);
  source.Deliver(2);
  ASSERT_EQ(view_.alerts.size(), 1u);
  EXPECT_EQ(view_.alerts[0].window, WindowId::kCaptureWindow);
  EXPECT_EQ(view_.alerts[0].message,
            "Sorry, there was an error during capture: error 800, the operation timed out.");
  EXPECT_TRUE(gProcessingSuspendedFlag);
  const int framesShown = preview_.frames;
  source.Deliver(3);
  EXPECT_EQ(preview_.frames, framesShown) << "frames are ignored while the alert is up";

  view_.DismissAlert();
  EXPECT_FALSE(gProcessingSuspendedFlag);
  EXPECT_TRUE(view_.HasLog("show main"));
  source.Deliver(4);
  EXPECT_EQ(preview_.lastWindow, WindowId::kMainWindow);
  EXPECT_GT(preview_.frames, framesShown);
}

// The input is asked for every frame only during an every-frame capture, and
// the frames it had to drop are reported once at the end.
TEST_F(CaptureControllerTest, EveryFrameCaptureSwitchesTheInputAndReportsItsDrops) {
  struct Case {
    uint8_t trigger;
    uint32_t framesDropped;
    std::vector<FrameDelivery> deliveries;
    std::vector<uint32_t> reports;
  };
  using enum FrameDelivery;
  const Case cases[] = {
      {kCaptureTriggerEveryFrame, 7, {kEveryFrame, kNewestFrame}, {7}},
      {kCaptureTriggerEveryFrame, 0, {kEveryFrame, kNewestFrame}, {}},
      {kCaptureTriggerMouseUp, 0, {kNewestFrame}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.trigger));
    FakeCaptureView view;
    std::vector<FrameDelivery> deliveries;
    CaptureController app(view, preview_, {}, [&](FrameDelivery delivery) -> uint32_t {
      deliveries.push_back(delivery);
      return delivery == FrameDelivery::kNewestFrame ? c.framesDropped : 0;
    });
    gPrefs.captureTrigger = c.trigger;
    FrameSource source(320, 240);
    source.Deliver(1);
    ASSERT_EQ(app.startCaptureWithURL(home_.file("every.mov")), 0);
    for (uint32_t n = 2; n <= 4; ++n) source.Deliver(n);
    app.stopCaptureWithErr(0);
    EXPECT_EQ(deliveries, c.deliveries);
    EXPECT_EQ(view.droppedReports, c.reports);
    EXPECT_TRUE(view.alerts.empty()) << "drops are no failure of the capture";
    gInput->pixMap.reset();
  }
  gCaptureController = &app_;
}

// The camera's frames from a capture file, by their stamps: each whole frame
// of the image (rows packed) after the 16-byte header.
std::vector<uint32_t> StampsInFile(const std::string& path, int width, int height,
                                   std::vector<std::vector<uint8_t>>* frames) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const size_t frameBytes = static_cast<size_t>(width) * height * 2;
  std::vector<uint32_t> stamps;
  for (size_t at = 16; at + frameBytes <= bytes.size(); at += frameBytes) {
    frames->emplace_back(bytes.begin() + static_cast<long>(at),
                         bytes.begin() + static_cast<long>(at + frameBytes));
    uint32_t n = 0;
    stamps.push_back(ReadFrameStamp(frames->back().data(), 2 * width, width, height, &n) ? n : 0);
  }
  return stamps;
}

class StopMotionTest : public CaptureControllerFixture {
 protected:
  static constexpr int kWidth = 320, kHeight = 240, kRowBytes = 704;  // rows padded by the device
  void SetUp() override {
    CaptureControllerFixture::SetUp();
    app_.SetClockForTesting([this] { return now_; });
    source_.Deliver(++camera_);  // previewing: the input's geometry
    path_ = StartInDocuments();
  }
  uint32_t Live() {
    source_.Deliver(++camera_);
    return camera_;
  }
  // A click, then the frame it takes.
  uint32_t Take() {
    app_.scheduleFrameCapture();
    return Live();
  }
  std::vector<FakePreview::Shown> ShownSince(size_t* mark) {
    std::vector<FakePreview::Shown> since(preview_.shown.begin() + static_cast<long>(*mark),
                                          preview_.shown.end());
    *mark = preview_.shown.size();
    return since;
  }

  FrameSource source_{kWidth, kHeight, kRowBytes};
  uint32_t camera_ = 0;
  uint64_t now_ = 1'000'000'000;
  std::string path_;
};

// Capture 5, take back 2, capture 1, stop: the movie holds the camera's
// frames 1, 2, 3 and the last, byte for byte, though the onion skin was on.
TEST_F(StopMotionTest, TakenBackFramesLeaveTheMovieAndTheCountGoesDown) {
  app_.stopMotionCommand(StopMotionCommand::kTakeBackFrame);
  EXPECT_EQ(view_.beeps, 1) << "no frame to take back";
  app_.stopMotionCommand(StopMotionCommand::kToggleOnionSkin);
  std::vector<uint32_t> taken;
  for (int i = 0; i < 5; ++i) {
    taken.push_back(Take());
    Live();
  }
  app_.stopMotionCommand(StopMotionCommand::kTakeBackFrame);
  app_.stopMotionCommand(StopMotionCommand::kTakeBackFrame);
  EXPECT_EQ(gCapture->framesWritten, 3u);
  EXPECT_EQ(view_.frameCount, 3u);
  EXPECT_EQ(preview_.overlayStamp, taken[2]) << "the onion skin is the frame now last";
  const uint32_t last = Take();
  EXPECT_EQ(view_.frameCount, 4u);
  EXPECT_EQ(view_.beeps, 1);
  app_.stopCaptureWithErr(0);
  EXPECT_TRUE(view_.alerts.empty());

  std::vector<std::vector<uint8_t>> frames;
  ASSERT_EQ(StampsInFile(path_, kWidth, kHeight, &frames),
            (std::vector<uint32_t>{taken[0], taken[1], taken[2], last}));
  ASSERT_EQ(std::filesystem::file_size(path_) > 16 + 4 * frames[0].size(), true) << "a finished movie";
  const std::vector<uint32_t> numbers = {taken[0], taken[1], taken[2], last};
  for (size_t i = 0; i < frames.size(); ++i) {
    source_.Make(numbers[i]);
    for (int y = 0; y < kHeight; ++y) {
      ASSERT_TRUE(std::equal(frames[i].begin() + y * 2 * kWidth, frames[i].begin() + (y + 1) * 2 * kWidth,
                             source_.bytes().begin() + y * kRowBytes))
          << "frame " << i << " row " << y << " is not the camera's";
    }
  }
}

// What the capture window shows: written frames only, as before, until the
// onion skin is on; then each live frame with the last one written over it
// at the weight the keys set; the review of the last frames at the movie's
// rate, through which clicks still take frames; then the usual picture.
TEST_F(StopMotionTest, OnionSkinAndReviewDecideWhatTheWindowShows) {
  using Shown = FakePreview::Shown;
  size_t mark = preview_.shown.size();
  const uint32_t a = Take();
  Live();
  EXPECT_EQ(ShownSince(&mark), (std::vector<Shown>{{a, 0, 0}})) << "frames not written are not shown";

  app_.stopMotionCommand(StopMotionCommand::kToggleOnionSkin);
  uint32_t n = Live();
  EXPECT_EQ(ShownSince(&mark), (std::vector<Shown>{{n, a, 128}}));
  struct Step {
    StopMotionCommand key;
    uint32_t weight256;
  } steps[] = {
      {StopMotionCommand::kMoreOnionSkin, 192}, {StopMotionCommand::kMoreOnionSkin, 192},
      {StopMotionCommand::kLessOnionSkin, 128}, {StopMotionCommand::kLessOnionSkin, 64},
      {StopMotionCommand::kLessOnionSkin, 64},
  };
  for (const Step& step : steps) {
    app_.stopMotionCommand(step.key);
    n = Live();
    EXPECT_EQ(ShownSince(&mark), (std::vector<Shown>{{n, a, step.weight256}}));
  }
  const uint32_t b = Take();
  n = Live();
  EXPECT_EQ(ShownSince(&mark), (std::vector<Shown>{{b, b, 64}, {n, b, 64}}))
      << "a frame written becomes the onion skin";

  app_.stopMotionCommand(StopMotionCommand::kToggleOnionSkin);
  Live();
  EXPECT_EQ(ShownSince(&mark), (std::vector<Shown>{{b, 0, 0}})) << "off: the last frame written, alone";

  // Review at 18 frames per second: a, b, c, then the last written again.
  const uint32_t c = Take();
  ShownSince(&mark);
  app_.stopMotionCommand(StopMotionCommand::kReview);
  const uint64_t frameNanos = 1'000'000'000 / 18;
  now_ += frameNanos / 2;
  Live();
  now_ += frameNanos;
  const uint32_t during = Take();  // a click during the review still takes its frame
  now_ += frameNanos;
  Live();
  now_ += frameNanos;
  Live();
  EXPECT_EQ(ShownSince(&mark), (std::vector<Shown>{{a, 0, 0}, {b, 0, 0}, {c, 0, 0}, {during, 0, 0}}));
  EXPECT_FALSE(app_.Reviewing());
  EXPECT_EQ(gCapture->framesWritten, 4u);

  // With the onion skin on, live frames return after the review.
  app_.stopMotionCommand(StopMotionCommand::kToggleOnionSkin);
  app_.stopMotionCommand(StopMotionCommand::kReview);
  now_ += 5 * frameNanos;
  n = Live();
  EXPECT_EQ(ShownSince(&mark), (std::vector<Shown>{{a, 0, 0}, {n, during, 64}})) << "at the weight last set";
  EXPECT_EQ(view_.beeps, 0);
}

// Every frame of an every-frame capture is written and shown as it comes:
// the stop-motion keys have nothing to act on.
TEST_F(CaptureControllerTest, StopMotionKeysBeepInAnEveryFrameCaptureAndWithoutOne) {
  FrameSource source(320, 240);
  source.Deliver(1);
  app_.stopMotionCommand(StopMotionCommand::kReview);
  gPrefs.captureTrigger = kCaptureTriggerEveryFrame;
  StartInDocuments();
  source.Deliver(2);
  for (const auto key :
       {StopMotionCommand::kToggleOnionSkin, StopMotionCommand::kTakeBackFrame, StopMotionCommand::kReview})
    app_.stopMotionCommand(key);
  EXPECT_EQ(view_.beeps, 4);
  EXPECT_EQ(gCapture->framesWritten, 1u);
  EXPECT_FALSE(app_.onionSkin().On());
}

// A test clock that starts at the real one and moves only as the test says,
// so the disk check's real time does not count as time without frames.
std::atomic<uint64_t> gClockOffsetNanos{0};
uint64_t StartPlusOffset() {
  static const uint64_t start = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                          std::chrono::steady_clock::now().time_since_epoch())
                                                          .count());
  return start + gClockOffsetNanos.load();
}

// The health line of an every-frame capture: a disk slower than the input
// (slowed through the write seam) is named before the first frame, the
// input's drops are counted as they happen and the minutes left are shown;
// a fast disk gives no warning. Other captures show no health line.
TEST_F(CaptureControllerTest, EveryFrameCaptureShowsDropsMinutesLeftAndASlowDisk) {
  struct Case {
    const char* name;
    uint8_t trigger;
    uint64_t diskBytesPerSecond;  // 0: the real disk
    uint32_t framesDropped;
    const char* warning;  // a regular expression; empty: no warning
  };
  // 640 x 480 at 30 frames a second: 18.4 MB/s.
  const Case cases[] = {
      {"slow disk", kCaptureTriggerEveryFrame, 8'000'000, 3,
       "This disk writes about [4-7]\\.[0-9] MB/s, less than the 19 MB/s this picture needs, so frames will "
       "be "
       "dropped\\."},
      {"fast disk", kCaptureTriggerEveryFrame, 0, 0, ""},
      {"stop motion", kCaptureTriggerMouseUp, 8'000'000, 3, ""},
  };
  SetMonotonicClockForTesting(&StartPlusOffset);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.diskBytesPerSecond != 0) InjectWriteSlowdown(fw::WriteSlowdown{home_.path(), c.diskBytesPerSecond});
    FakeCaptureView view;
    fw::QTFrameStats stats;
    CaptureController app(view, preview_, {}, {}, [&](fw::QTFrameStats* out) {
      *out = stats;
      return true;
    });
    gPrefs.captureTrigger = c.trigger;
    FrameSource source(640, 480);
    source.Deliver(1);
    // A second of preview at 30 frames a second, ticked at 60 Hz.
    auto tick = [&](int ticks) {
      for (int i = 0; i < ticks; ++i) {
        gClockOffsetNanos += 16'666'667;
        stats.framesArrived += i % 2;
        app.UpdateHealth();
      }
    };
    tick(60);
    ASSERT_EQ(app.startCaptureWithURL(home_.file("health.mov")), 0);
    stats.framesDropped = c.framesDropped;
    tick(60);
    app.stopCaptureWithErr(0);
    ClearWriteFaults();
    gInput->pixMap.reset();

    ASSERT_FALSE(view.healthReports.empty());
    EXPECT_EQ(view.healthReports.front(), fw::CaptureHealthReport{}) << "a fresh line for each capture";
    if (c.trigger != kCaptureTriggerEveryFrame) {
      EXPECT_EQ(view.healthReports.size(), 1u);
      continue;
    }
    ASSERT_GE(view.healthReports.size(), 3u);
    const fw::CaptureHealthReport& first = view.healthReports[1];
    const fw::CaptureHealthReport& last = view.healthReports.back();
    EXPECT_EQ(first.framesDropped, 0u);
    EXPECT_EQ(last.framesDropped, c.framesDropped);
    EXPECT_EQ(last.diskWarning, first.diskWarning) << "the warning given before the first frame stays";
    for (const fw::CaptureHealthReport* report : {&first, &last}) {
      if (*c.warning == '\0') {
        EXPECT_EQ(report->diskWarning, "");
      } else {
        EXPECT_THAT(report->diskWarning, ::testing::MatchesRegex(c.warning));
      }
      uint64_t freeBytes = 0;
      ASSERT_EQ(fw::GetFreeBytesOfFolder(home_.path(), &freeBytes), noErr);
      ASSERT_TRUE(report->minutesLeft.has_value());
      EXPECT_NEAR(double(*report->minutesLeft), freeBytes / (640.0 * 480 * 2 * 30) / 60,
                  0.1 * *report->minutesLeft + 1);
    }
  }
  SetMonotonicClockForTesting(nullptr);
  gCaptureController = &app_;
}

}  // namespace
