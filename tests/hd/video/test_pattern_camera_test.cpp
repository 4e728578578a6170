// The built-in test-pattern camera, opened and polled as the application
// does: its frames, their stamps, its picture, and its test hooks.
#include "hd/video/backends/test_pattern/test_pattern_camera.h"

#include <gtest/gtest.h>

#include <chrono>

#include "core/util/frame_stamp.h"
#include "hd/video/backends/decklink/decklink_api.h"
#include "video_test_support.h"

using namespace fw;

namespace {

struct Stamped {
  uint32_t number;
  int32_t width;
  int32_t height;
  std::thread::id thread;
};

std::vector<Stamped> gStamped;
std::vector<OSErr> gErrors;

void StampReadingDataProc(int32_t, void* baseAddr, int32_t rowBytes, int32_t width, int32_t height, uint64_t,
                          int32_t err) {
  if (err != noErr) {
    gErrors.push_back(err);
    return;
  }
  uint32_t number = 0;
  ASSERT_TRUE(ReadFrameStamp(static_cast<const uint8_t*>(baseAddr), rowBytes, width, height, &number));
  ASSERT_EQ(rowBytes, width * 2);
  gStamped.push_back({number, width, height, std::this_thread::get_id()});
}

class TestPatternCameraTest : public VideoTest {
 protected:
  void SetUp() override {
    SetDeckLinkLibraryPathForTesting("/nonexistent/libDeckLinkAPI.so");
    SetTestPatternFrameRateForTesting(120);
    gStamped.clear();
    gErrors.clear();
  }
  void TearDown() override {
    VideoTest::TearDown();
    SetTestPatternFrameRateForTesting(0);
    SetTestPatternFlowForTesting(TestPatternFlow::kRunning);
    SkipTestPatternFramesForTesting(0);
    InjectTestPatternRuntimeErrorForTesting(noErr);
  }

  int32_t OpenCamera(uint16_t inputNum, int16_t width = 0, int16_t height = 0) {
    int32_t ref = 0;
    EXPECT_EQ(QTCaptureOpenDevice(kTestPatternUniqueID, true, inputNum, width, height, 0,
                                  &StampReadingDataProc, 0, &ref),
              noErr);
    return ref;
  }

  // Polls as the application's timer does until `frames` frames or an error
  // have come, or a generous limit passes (a failure, not a measurement).
  void PollUntil(size_t frames) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (gStamped.size() < frames && gErrors.empty() && std::chrono::steady_clock::now() < limit) {
      QTCaptureIdle();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
};

TEST_F(TestPatternCameraTest, DeliversStampedFramesInOrderOnTheMainThread) {
  OpenCamera(3);  // "720 x 486"
  PollUntil(8);
  ASSERT_GE(gStamped.size(), 8u);
  EXPECT_TRUE(gErrors.empty());
  for (size_t i = 0; i < gStamped.size(); ++i) {
    EXPECT_EQ(gStamped[i].width, 720);
    EXPECT_EQ(gStamped[i].height, 486);
    EXPECT_EQ(gStamped[i].thread, std::this_thread::get_id());
    if (i > 0) {
      EXPECT_GT(gStamped[i].number, gStamped[i - 1].number);
    }
  }
  EXPECT_GE(gStamped[0].number, 1u);
}

TEST_F(TestPatternCameraTest, OpensOnTheRequestedSizeOrTheCurrentSource) {
  OpenCamera(0, 322, 200);
  PollUntil(1);
  ASSERT_FALSE(gStamped.empty());
  EXPECT_EQ(gStamped[0].width, 322);
  EXPECT_EQ(gStamped[0].height, 200);
  QTCaptureCloseDevice(1);

  gStamped.clear();
  OpenCamera(1);  // "1920 x 1080" becomes the current source
  PollUntil(1);
  ASSERT_FALSE(gStamped.empty());
  EXPECT_EQ(gStamped[0].width, 1920);
  QTCaptureCloseDevice(1);

  gStamped.clear();
  OpenCamera(9);  // beyond the list: stays on the current source
  PollUntil(1);
  ASSERT_FALSE(gStamped.empty());
  EXPECT_EQ(gStamped[0].width, 1920);
  EXPECT_EQ(gStamped[0].height, 1080);
}

TEST_F(TestPatternCameraTest, SkippedFramesLeaveAGapInTheStamps) {
  OpenCamera(3);
  PollUntil(2);
  SkipTestPatternFramesForTesting(5);
  const size_t before = gStamped.size();
  PollUntil(before + 3);
  ASSERT_GE(gStamped.size(), before + 3);
  bool gap = false;
  for (size_t i = 1; i < gStamped.size(); ++i) gap = gap || gStamped[i].number - gStamped[i - 1].number > 5;
  EXPECT_TRUE(gap);
}

TEST_F(TestPatternCameraTest, InjectedRuntimeErrorIsReportedOnEveryPoll) {
  OpenCamera(3);
  PollUntil(1);
  InjectTestPatternRuntimeErrorForTesting(-9405);
  PollUntil(1000);
  ASSERT_FALSE(gErrors.empty());
  EXPECT_EQ(gErrors[0], -9405);
  const size_t frames = gStamped.size();
  for (int poll = 0; poll < 3; ++poll) QTCaptureIdle();
  EXPECT_EQ(gErrors.size(), 4u);
  EXPECT_EQ(gStamped.size(), frames);
}

TEST_F(TestPatternCameraTest, StalledCameraTimesOut) {
  SetTicks(100'000);
  OpenCamera(3);
  PollUntil(1);
  ASSERT_FALSE(gStamped.empty());
  SetTestPatternFlowForTesting(TestPatternFlow::kStalled);
  // A frame made just before the stall may still come; past it, only 800.
  for (int attempt = 0; attempt < 3 && gErrors.empty(); ++attempt) {
    SetTicks(100'000 + 3601 * (attempt + 1));
    QTCaptureIdle();
  }
  ASSERT_FALSE(gErrors.empty());
  EXPECT_EQ(gErrors[0], kDeviceTimedOutErr);
}

TEST(TestPatternPictureTest, BarsBoxAndStamp) {
  const int32_t width = 1280, height = 720, rowBytes = width * 2;
  std::vector<uint8_t> first(static_cast<size_t>(rowBytes) * height), second(first.size());
  DrawTestPattern(first.data(), rowBytes, width, height, 1);
  DrawTestPattern(second.data(), rowBytes, width, height, 2);
  auto luma = [&](const std::vector<uint8_t>& picture, int x, int y) {
    return picture[y * rowBytes + x * 2 + 1];
  };
  EXPECT_EQ(luma(first, 90, 300), 180);              // 75% white
  EXPECT_EQ(luma(first, 1200, 300), 28);             // blue (BT.709)
  EXPECT_EQ(first[300 * rowBytes + 1200 * 2], 212);  // its Cb
  uint32_t number = 0;
  ASSERT_TRUE(ReadFrameStamp(second.data(), rowBytes, width, height, &number));
  EXPECT_EQ(number, 2u);
  // The box has moved: the lower band differs between the two frames.
  EXPECT_FALSE(std::equal(first.begin() + 600 * rowBytes, first.end(), second.begin() + 600 * rowBytes));

  std::vector<uint8_t> sd(720 * 2 * 486);
  DrawTestPattern(sd.data(), 1440, 720, 486, 1);
  EXPECT_EQ(sd[200 * 1440 + 700 * 2 + 1], 35);  // blue (BT.601)
}

}  // namespace
