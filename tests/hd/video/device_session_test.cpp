// Opening and closing devices and the delivery of their frames by the poll,
// driven through a fake backend whose frames come from other threads.
#include <gtest/gtest.h>

#include "fake_backend.h"
#include "hd/video/backends/decklink/decklink_api.h"
#include "hd/video/frame_queue.h"
#include "video_test_support.h"

using namespace fw;

namespace {

class DeviceSessionTest : public VideoTest {
 protected:
  void SetUp() override {
    SetDeckLinkLibraryPathForTesting("/nonexistent/libDeckLinkAPI.so");
    backend_.AddDevices(2);
    backend_.devices[0].inputSources = {"Composite", "S-Video", "HDMI"};
    UseBackends({&backend_});
  }

  // Sends a frame into the nth started session from a thread of its own.
  std::weak_ptr<CaptureFrame> Send(size_t session, uint8_t tag, int32_t width = 8, int32_t height = 2) {
    auto frame = std::make_shared<TaggedFrame>(tag, width, height);
    std::weak_ptr<CaptureFrame> watch = frame;
    FrameSink* sink = backend_.sessions.at(session)->sink;
    OnDeviceThread([sink, frame = std::move(frame)]() mutable { sink->FrameArrived(std::move(frame)); });
    return watch;
  }

  void SendError(size_t session, OSErr code) {
    FrameSink* sink = backend_.sessions.at(session)->sink;
    OnDeviceThread([sink, code] { sink->RuntimeErrorOccurred(code); });
  }

  FakeBackend backend_;
};

TEST_F(DeviceSessionTest, NewestFrameWinsAndTheReplacedOneIsReleasedAtOnce) {
  SetTicks(10'000);
  int32_t ref = 0;
  ASSERT_EQ(Open("fake:0", &ref, 0, 77), noErr);
  EXPECT_EQ(ref, 1);

  std::weak_ptr<CaptureFrame> first = Send(0, 1);
  EXPECT_FALSE(first.expired());  // parked
  SetTicks(10'020);
  std::weak_ptr<CaptureFrame> second = Send(0, 2, 16, 4);
  EXPECT_TRUE(first.expired());

  auto calls = Poll();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].refCon, 77);
  EXPECT_EQ(calls[0].err, noErr);
  EXPECT_EQ(calls[0].firstRow.at(0), 2);
  EXPECT_EQ(calls[0].rowBytes, 32);
  EXPECT_EQ(calls[0].width, 16);
  EXPECT_EQ(calls[0].height, 4);
  EXPECT_EQ(calls[0].time, 10'020u);
  EXPECT_EQ(calls[0].thread, std::this_thread::get_id());
  EXPECT_TRUE(second.expired());  // released after the call

  EXPECT_TRUE(Poll().empty());  // one frame, one delivery
}

TEST_F(DeviceSessionTest, SixtyFifthOpenFailsAndLeavesTheOthersAlone) {
  for (int32_t expected = 1; expected <= kMaxOpenDevices; ++expected) {
    int32_t ref = 0;
    ASSERT_EQ(Open("fake:1", &ref, 0, expected), noErr);
    ASSERT_EQ(ref, expected);
  }
  int32_t ref = -5;
  EXPECT_EQ(Open("fake:0", &ref), kAllDeviceSlotsInUseErr);
  EXPECT_EQ(ref, -5);
  EXPECT_EQ(backend_.sessions.size(), 64u);  // the 65th never reached a device

  for (size_t session = 0; session < 64; ++session) Send(session, static_cast<uint8_t>(session + 1));
  auto calls = Poll();
  ASSERT_EQ(calls.size(), 64u);
  for (size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].refCon, static_cast<int32_t>(i + 1));
    EXPECT_EQ(calls[i].firstRow.at(0), i + 1);
    EXPECT_FALSE(backend_.sessions[i]->stopped);
  }
}

TEST_F(DeviceSessionTest, CloseIgnoresReferencesThatNameNoDevice) {
  int32_t ref = 0;
  ASSERT_EQ(Open("fake:0", &ref), noErr);
  QTCaptureCloseDevice(0);
  QTCaptureCloseDevice(65);
  QTCaptureCloseDevice(-1);
  QTCaptureCloseDevice(2);  // a free slot
  EXPECT_FALSE(backend_.sessions[0]->stopped);
  Send(0, 9);
  EXPECT_EQ(Poll().size(), 1u);

  QTCaptureCloseDevice(ref);
  EXPECT_TRUE(backend_.sessions[0]->stopped);
  QTCaptureCloseDevice(ref);  // already closed
  EXPECT_TRUE(Poll().empty());

  ASSERT_EQ(Open("fake:1", &ref), noErr);
  EXPECT_EQ(ref, 1);  // the slot was free again
}

TEST_F(DeviceSessionTest, MoreThan3600TicksWithoutAFrameReports800OnEveryPoll) {
  SetTicks(50'000);
  int32_t ref = 0;
  ASSERT_EQ(Open("fake:0", &ref), noErr);
  SetTicks(50'000 + 3600);
  EXPECT_TRUE(Poll().empty());  // exactly 3600 is still in time
  SetTicks(50'000 + 3601);
  for (int poll = 0; poll < 3; ++poll) {
    auto calls = Poll();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].err, kDeviceTimedOutErr);
    EXPECT_FALSE(calls[0].hadBaseAddr);
    EXPECT_EQ(calls[0].width, 0);
    EXPECT_EQ(calls[0].time, 0u);
  }
  Send(0, 3);  // a new frame ends it
  auto calls = Poll();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].err, noErr);
  EXPECT_EQ(calls[0].time, 53'601u);
  SetTicks(53'601 + 3600);
  EXPECT_TRUE(Poll().empty());
  SetTicks(53'601 + 3601);
  EXPECT_EQ(Poll().at(0).err, kDeviceTimedOutErr);
}

TEST_F(DeviceSessionTest, RuntimeErrorIsReportedOnEveryPollAndStopsFramesUntilClose) {
  int32_t ref = 0;
  ASSERT_EQ(Open("fake:0", &ref, 0, 5), noErr);
  int32_t other = 0;
  ASSERT_EQ(Open("fake:1", &other, 0, 6), noErr);
  SendError(0, -9405);
  SendError(0, -1);  // the first error sticks
  std::weak_ptr<CaptureFrame> late = Send(0, 4);
  EXPECT_TRUE(late.expired());  // refused, not parked
  Send(1, 8);
  for (int poll = 0; poll < 3; ++poll) {
    auto calls = Poll();
    ASSERT_GE(calls.size(), 1u);
    EXPECT_EQ(calls[0].refCon, 5);
    EXPECT_EQ(calls[0].err, -9405);
    EXPECT_FALSE(calls[0].hadBaseAddr);
  }
  QTCaptureCloseDevice(ref);
  EXPECT_TRUE(Poll().empty());

  // A runtime error without a code still reads as a failure.
  ASSERT_EQ(Open("fake:0", &ref, 0, 5), noErr);
  SendError(2, noErr);
  auto calls = Poll();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_NE(calls[0].err, noErr);
}

TEST_F(DeviceSessionTest, OpenPassesInputSizeRateAndVideoChoiceToTheDevice) {
  int32_t ref = 0;
  ASSERT_EQ(QTCaptureOpenDevice("fake:0", true, 2, 0, 0, 0, &RecordingDataProc, 0, &ref), noErr);
  EXPECT_EQ(backend_.sessions.back()->request.inputSource, 2);
  QTCaptureCloseDevice(ref);

  // Beyond the list of input sources: the device stays on its current one.
  ASSERT_EQ(QTCaptureOpenDevice("fake:0", true, 3, 0, 0, 0, &RecordingDataProc, 0, &ref), noErr);
  EXPECT_EQ(backend_.sessions.back()->request.inputSource, kCurrentInputSource);
  QTCaptureCloseDevice(ref);
  ASSERT_EQ(QTCaptureOpenDevice("fake:1", true, 0, 0, 0, 0, &RecordingDataProc, 0, &ref), noErr);
  EXPECT_EQ(backend_.sessions.back()->request.inputSource, kCurrentInputSource);  // it has none
  QTCaptureCloseDevice(ref);

  // A width without a height asks for the device's own size.
  ASSERT_EQ(QTCaptureOpenDevice("fake:0", false, 0, 640, 0, 25, &RecordingDataProc, 0, &ref), noErr);
  const CaptureStreamRequest& partial = backend_.sessions.back()->request;
  EXPECT_EQ(partial.widthPixels, 0);
  EXPECT_EQ(partial.heightPixels, 0);
  EXPECT_EQ(partial.framesPerSecond, 25);
  EXPECT_EQ(partial.video, VideoConnection::kDisabled);
  QTCaptureCloseDevice(ref);

  ASSERT_EQ(QTCaptureOpenDevice("fake:0", true, 0, 640, 360, 0, &RecordingDataProc, 0, &ref), noErr);
  const CaptureStreamRequest& sized = backend_.sessions.back()->request;
  EXPECT_EQ(sized.widthPixels, 640);
  EXPECT_EQ(sized.heightPixels, 360);
  EXPECT_EQ(sized.framesPerSecond, 0);
  EXPECT_EQ(sized.video, VideoConnection::kEnabled);
}

TEST_F(DeviceSessionTest, FailedOpensLeaveTheSlotFreeAndTheReferenceUntouched) {
  int32_t ref = -3;
  EXPECT_EQ(Open("fake:nope", &ref), kVideoDeviceNotFoundErr);
  EXPECT_EQ(Open("BM_K5S29FVB2W_Card", &ref), kVideoDeviceNotFoundErr);  // no SDK here
  backend_.startError = -9400;
  EXPECT_EQ(Open("fake:0", &ref), -9400);
  EXPECT_TRUE(backend_.sessions.back()->stopped);
  EXPECT_EQ(ref, -3);
  EXPECT_EQ(QTCaptureOpenDevice(nullptr, true, 0, 0, 0, 0, &RecordingDataProc, 0, &ref), paramErr);
  EXPECT_EQ(QTCaptureOpenDevice("fake:0", true, 0, 0, 0, 0, nullptr, 0, &ref), paramErr);
  EXPECT_EQ(QTCaptureOpenDevice("fake:0", true, 0, 0, 0, 0, &RecordingDataProc, 0, nullptr), paramErr);
  EXPECT_EQ(ref, -3);

  backend_.startError = noErr;
  ASSERT_EQ(Open("fake:0", &ref), noErr);
  EXPECT_EQ(ref, 1);
  EXPECT_TRUE(Poll().empty());
}

TEST_F(DeviceSessionTest, CallbackMayCloseItsOwnDeviceAndThePollGoesOn) {
  SetTicks(1'000);
  int32_t first = 0, second = 0, third = 0;
  ASSERT_EQ(Open("fake:0", &first, 0, 1), noErr);
  ASSERT_EQ(Open("fake:1", &second, 0, 2), noErr);
  ASSERT_EQ(Open("fake:1", &third, 0, 3), noErr);
  std::weak_ptr<CaptureFrame> closedFrame = Send(0, 11);
  SendError(1, -50);
  Send(2, 33);
  gAfterCall = [&](const DataProcCall& call) {
    if (call.refCon == 1) QTCaptureCloseDevice(first);   // during a frame call
    if (call.refCon == 2) QTCaptureCloseDevice(second);  // during an error call
  };
  auto calls = Poll();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].firstRow.at(0), 11);
  EXPECT_EQ(calls[1].err, -50);
  EXPECT_EQ(calls[2].firstRow.at(0), 33);
  EXPECT_TRUE(closedFrame.expired());
  EXPECT_TRUE(backend_.sessions[0]->stopped);
  EXPECT_TRUE(backend_.sessions[1]->stopped);
  EXPECT_FALSE(backend_.sessions[2]->stopped);

  gAfterCall = nullptr;
  SetTicks(1'000 + 3601);
  calls = Poll();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].refCon, 3);
}

// Frames pour in from the devices' own threads while the main thread polls,
// and a device is closed in mid-stream: every delivery is a whole frame, on
// the main thread, never the same frame twice, and nothing outlives the close.
TEST_F(DeviceSessionTest, FramesFromDeviceThreadsWhilePollingAndClosing) {
  backend_.produceFrames = true;
  int32_t refs[3] = {};
  for (int32_t i = 0; i < 3; ++i) ASSERT_EQ(Open(i == 1 ? "fake:1" : "fake:0", &refs[i], 0, i), noErr);
  int lastTag[3] = {0, 0, 0};
  int delivered[3] = {0, 0, 0};
  for (int poll = 0; poll < 300; ++poll) {
    for (const DataProcCall& call : Poll()) {
      ASSERT_EQ(call.err, noErr);
      ASSERT_EQ(call.thread, std::this_thread::get_id());
      ASSERT_EQ(call.width, 4);
      const int tag = call.firstRow.at(0);
      ASSERT_EQ(call.firstRow.at(7), tag);  // not torn
      ASSERT_NE(tag, lastTag[call.refCon]);
      lastTag[call.refCon] = tag;
      ++delivered[call.refCon];
    }
    if (poll == 150) QTCaptureCloseDevice(refs[1]);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  EXPECT_GT(delivered[0], 0);
  EXPECT_GT(delivered[1], 0);
  EXPECT_GT(delivered[2], 0);
  EXPECT_TRUE(backend_.sessions[1]->stopped);
}

}  // namespace

namespace {

// Every-frame delivery: all frames since the last poll, in order with their
// own arrival times; the frame waiting at the switch goes first; a callback
// that closes the device stops the rest; the switch back restores
// newest-frame-wins and releases what was kept.
TEST_F(DeviceSessionTest, EveryFrameDeliveryHandsOverEachFrameInOrder) {
  SetTicks(5'000);
  int32_t ref = 0;
  ASSERT_EQ(Open("fake:0", &ref, 0, 9), noErr);
  Send(0, 1);
  EXPECT_EQ(QTCaptureSetFrameDelivery(ref, QTFrameDelivery::kEveryFrame), 0u);
  SetTicks(5'010);
  Send(0, 2);
  SetTicks(5'020);
  Send(0, 3);
  auto calls = Poll();
  ASSERT_EQ(calls.size(), 3u);
  for (size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].firstRow.at(0), i + 1);
    EXPECT_EQ(calls[i].time, 5'000u + 10 * i);
  }
  EXPECT_TRUE(Poll().empty());

  std::weak_ptr<CaptureFrame> kept = Send(0, 4);
  EXPECT_EQ(QTCaptureSetFrameDelivery(ref, QTFrameDelivery::kNewestFrame), 0u);
  EXPECT_TRUE(kept.expired()) << "released at the switch back";
  Send(0, 5);
  Send(0, 6);
  calls = Poll();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].firstRow.at(0), 6);

  QTCaptureSetFrameDelivery(ref, QTFrameDelivery::kEveryFrame);
  Send(0, 7);
  std::weak_ptr<CaptureFrame> last = Send(0, 8);
  gAfterCall = [&](const DataProcCall&) { QTCaptureCloseDevice(ref); };
  calls = Poll();
  gAfterCall = nullptr;
  ASSERT_EQ(calls.size(), 1u) << "nothing delivered after the callback closed its device";
  EXPECT_EQ(calls[0].firstRow.at(0), 7);
  EXPECT_TRUE(last.expired());
  EXPECT_EQ(QTCaptureSetFrameDelivery(ref, QTFrameDelivery::kNewestFrame), 0u) << "closed device";
}

// A frame that reports a large size without holding the bytes.
class SizedFrame final : public CaptureFrame {
 public:
  SizedFrame(int32_t rowBytes, int32_t height) : rowBytes_(rowBytes), height_(height) {}
  uint8_t* BaseAddress() const override { return nullptr; }
  int32_t RowBytes() const override { return rowBytes_; }
  int32_t Width() const override { return rowBytes_ / 2; }
  int32_t Height() const override { return height_; }

 private:
  int32_t rowBytes_;
  int32_t height_;
};

// The counts behind the capture window's health line, read while the
// capture runs: every frame the device handed over, and the frames that
// found the every-frame queue full (30 of this size fit).
TEST_F(DeviceSessionTest, FrameStatsCountArrivalsAndDropsAsTheyHappen) {
  SetTicks(5'000);
  int32_t ref = 0;
  ASSERT_EQ(Open("fake:0", &ref, 0, 9), noErr);
  fw::QTFrameStats stats;
  EXPECT_FALSE(fw::QTCaptureGetFrameStats(ref + 1, &stats));
  Send(0, 1);
  Send(0, 2);  // replaces the first: not an every-frame capture's drop
  ASSERT_TRUE(fw::QTCaptureGetFrameStats(ref, &stats));
  EXPECT_EQ(stats.framesArrived, 2u);
  EXPECT_EQ(stats.framesDropped, 0u);

  QTCaptureSetFrameDelivery(ref, QTFrameDelivery::kEveryFrame);
  FrameSink* sink = backend_.sessions.at(0)->sink;
  for (int i = 0; i < 33; ++i)
    OnDeviceThread([sink] { sink->FrameArrived(std::make_shared<SizedFrame>(2 * 4096, 4096)); });
  ASSERT_TRUE(fw::QTCaptureGetFrameStats(ref, &stats));
  EXPECT_EQ(stats.framesArrived, 35u);
  EXPECT_EQ(stats.framesDropped, 4u) << "the waiting frame and 29 of these fill the queue";
  EXPECT_EQ(QTCaptureSetFrameDelivery(ref, QTFrameDelivery::kNewestFrame), 4u);
  ASSERT_TRUE(fw::QTCaptureGetFrameStats(ref, &stats));
  EXPECT_EQ(stats.framesDropped, 0u);
  QTCaptureCloseDevice(ref);
  EXPECT_FALSE(fw::QTCaptureGetFrameStats(ref, &stats));
}

TEST(FrameQueueTest, BoundedByBytesWithAtLeastThirtyFramesAndCountsDrops) {
  struct Case {
    int32_t rowBytes, height;
    size_t frames;  // that fit
  };
  const Case cases[] = {
      {2560, 720, kFrameQueueMinBytes / (2560 * 720)},  // 1280 x 720: the byte floor, 145 frames
      {15360, 4320, 30},                                // 7680 x 4320: 30 frames of ~66 MB
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rowBytes);
    FrameQueue queue;
    CaptureFrameRef frame = std::make_shared<SizedFrame>(c.rowBytes, c.height);
    EXPECT_FALSE(queue.Push(frame, 1)) << "off";
    EXPECT_NE(frame, nullptr) << "left to the caller";
    queue.Enable();
    for (size_t i = 0; i < c.frames + 3; ++i) {
      CaptureFrameRef next = std::make_shared<SizedFrame>(c.rowBytes, c.height);
      EXPECT_EQ(queue.Push(next, 100 + i), i < c.frames) << i;
      EXPECT_EQ(next == nullptr, i < c.frames);
    }
    EXPECT_EQ(queue.FramesDropped(), 3u);
    std::deque<FrameQueue::Entry> taken = queue.TakeAll();
    ASSERT_EQ(taken.size(), c.frames);
    EXPECT_EQ(taken.front().arrivalTime, 100u);
    EXPECT_EQ(taken.back().arrivalTime, 100u + c.frames - 1);
    EXPECT_EQ(queue.SizeBytes(), 0u);
    EXPECT_TRUE(queue.Push(frame, 1)) << "room again after the take";
    EXPECT_EQ(queue.Disable(), 3u);
    EXPECT_EQ(queue.SizeBytes(), 0u);
    queue.Enable();
    EXPECT_EQ(queue.FramesDropped(), 0u) << "a fresh count for each capture";
  }
}

}  // namespace
