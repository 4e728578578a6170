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
