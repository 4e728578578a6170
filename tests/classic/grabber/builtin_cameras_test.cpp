// The built-in cameras through the channel module, as the program drives
// them: the DV camera's frames decoded by libavcodec and its stream read by
// ffprobe, its queue of finished frames with the newest delivered, and the
// raw camera's alternating 32-bit grabs.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "classic/grabber/dv_camera.h"
#include "classic/grabber/ng_channel.h"
#include "classic/grabber/raw_test_camera.h"
#include "core/movie/image_descriptions.h"
#include "core/util/frame_stamp.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

using namespace fw;

namespace {

struct Delivered {
  std::vector<std::vector<uint8_t>> frames;
  std::vector<const uint8_t*> addresses;
};

OSErr KeepFrame(int16_t, const uint8_t* data, int32_t size, const TimeRecord*, intptr_t refCon) {
  auto* delivered = reinterpret_cast<Delivered*>(refCon);
  delivered->frames.emplace_back(data, data + size);
  delivered->addresses.push_back(data);
  return noErr;
}

// Idles the channel as the program's timer does, only more often, until
// `count` frames have arrived or too long has passed.
void IdleUntil(int16_t channel, const Delivered& delivered, size_t count) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (delivered.frames.size() < count && std::chrono::steady_clock::now() < deadline) {
    int16_t stage = 0;
    ASSERT_EQ(NGIdleChannel(channel, &stage), noErr) << "stage " << stage;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_EQ(delivered.frames.size(), count);
}

// The stamp of a decoded picture: its first 16 luma rows made '2vuy'.
bool ReadLumaStamp(const uint8_t* luma, int lineBytes, int width, uint32_t* out) {
  std::vector<uint8_t> picture(static_cast<size_t>(width) * 2 * kFrameStampHeightPixels);
  for (int y = 0; y < kFrameStampHeightPixels; ++y)
    for (int x = 0; x < width; ++x) {
      picture[static_cast<size_t>(y * width + x) * 2] = 128;
      picture[static_cast<size_t>(y * width + x) * 2 + 1] = luma[y * lineBytes + x];
    }
  return ReadFrameStamp(picture.data(), width * 2, width, kFrameStampHeightPixels, out);
}

class DVDecoder {
 public:
  DVDecoder() {
    context_ = avcodec_alloc_context3(avcodec_find_decoder(AV_CODEC_ID_DVVIDEO));
    avcodec_open2(context_, avcodec_find_decoder(AV_CODEC_ID_DVVIDEO), nullptr);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
  }
  ~DVDecoder() {
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    avcodec_free_context(&context_);
  }
  // The frame's size and stamp; false when it does not decode.
  bool Decode(const std::vector<uint8_t>& bytes, int* width, int* height, uint32_t* number) {
    packet_->data = const_cast<uint8_t*>(bytes.data());
    packet_->size = static_cast<int>(bytes.size());
    if (avcodec_send_packet(context_, packet_) < 0 || avcodec_receive_frame(context_, frame_) < 0)
      return false;
    *width = frame_->width;
    *height = frame_->height;
    return ReadLumaStamp(frame_->data[0], frame_->linesize[0], frame_->width, number);
  }

 private:
  AVCodecContext* context_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
};

class BuiltInCameraTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NGClose();
    ResetComponentRegistryForTesting();
  }
  void TearDown() override {
    NGClose();
    ResetComponentRegistryForTesting();
    SetDVCameraSpeedForTesting(1);
    SetRawTestCameraSpeedForTesting(1);
  }
  int16_t StartChannel(Delivered* delivered, ImageDescriptionHandle* description) {
    int16_t channel = 0;
    EXPECT_EQ(NGNewVideoChannel(&channel), noErr);
    EXPECT_EQ(NGSetUpChannelForCapture(channel), noErr);
    EXPECT_EQ(NGGetImageDescription(channel, description), noErr);
    EXPECT_EQ(NGSetDataProc(channel, KeepFrame, reinterpret_cast<intptr_t>(delivered)), noErr);
    EXPECT_EQ(NGStartOneChannel(channel), noErr);
    return channel;
  }
};

TEST_F(BuiltInCameraTest, DVCameraDeliversNumberedNTSCFramesThatFfprobeReadsAsAStream) {
  RegisterDVCamera();
  SetDVCameraSpeedForTesting(8);
  Delivered delivered;
  ImageDescriptionHandle description;
  const int16_t channel = StartChannel(&delivered, &description);
  Str255 name;
  ASSERT_EQ(NGGetVDIGComponentInfo(channel, nullptr, name), noErr);
  EXPECT_EQ(Str255ToString(name), "DV Video");
  EXPECT_EQ(NGGetVDIGTypeCode(channel), 6);
  EXPECT_EQ(NGGetChannelDefaultCodec(channel), kDVNTSCCodecType);
  ASSERT_NE(description, nullptr);
  EXPECT_EQ(description->cType, kDVNTSCCodecType);
  EXPECT_EQ(description->width, 720);
  EXPECT_EQ(description->height, 480);
  EXPECT_EQ(description->dataSize, 120000);

  IdleUntil(channel, delivered, 300);
  ASSERT_EQ(NGStopOneChannel(channel), noErr);

  DVDecoder decoder;
  uint32_t previous = 0;
  TempDir dir;
  const std::string path = dir.file("stream.dv");
  std::ofstream stream(path, std::ios::binary);
  for (const std::vector<uint8_t>& frame : delivered.frames) {
    ASSERT_EQ(frame.size(), 120000u);
    int width = 0, height = 0;
    uint32_t number = 0;
    ASSERT_TRUE(decoder.Decode(frame, &width, &height, &number)) << "after frame " << previous;
    EXPECT_EQ(width, 720);
    EXPECT_EQ(height, 480);
    EXPECT_GT(number, previous);
    previous = number;
    stream.write(reinterpret_cast<const char*>(frame.data()), static_cast<std::streamsize>(frame.size()));
  }
  stream.close();

  const CommandResult probe = RunCommand(
      "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
      "stream=codec_name,width,height,r_frame_rate,nb_read_frames -of default=noprint_wrappers=1 " +
      Quote(path));
  ASSERT_EQ(probe.status, 0);
  EXPECT_EQ(probe.out,
            "codec_name=dvvideo\nwidth=720\nheight=480\nr_frame_rate=30000/1001\nnb_read_frames=300\n");
}

TEST_F(BuiltInCameraTest, DVCameraQueuesFinishedFramesAndTheNewestIsDelivered) {
  RegisterDVCamera();
  SetDVCameraSpeedForTesting(8);
  Delivered delivered;
  ImageDescriptionHandle description;
  const int16_t channel = StartChannel(&delivered, &description);
  IdleUntil(channel, delivered, 2);
  // Nobody idles for a while: the queue fills up, later frames are lost.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  IdleUntil(channel, delivered, 3);
  DVDecoder decoder;
  int width = 0, height = 0;
  uint32_t before = 0, after = 0;
  ASSERT_TRUE(decoder.Decode(delivered.frames[1], &width, &height, &before));
  ASSERT_TRUE(decoder.Decode(delivered.frames[2], &width, &height, &after));
  // The oldest queued frames were released unseen: the one delivered is
  // the newest of the full queue.
  EXPECT_GE(after, before + kDVCameraQueueFrames);
}

TEST_F(BuiltInCameraTest, RawCameraGrabsAlternatelyIntoTheTwoBuffers) {
  RegisterRawTestCamera();
  SetRawTestCameraSpeedForTesting(4);
  Delivered delivered;
  ImageDescriptionHandle description;
  const int16_t channel = StartChannel(&delivered, &description);
  EXPECT_EQ(NGGetVDIGTypeCode(channel), 0);
  EXPECT_EQ(NGGetChannelDefaultCodec(channel), kRawCodecType);
  ASSERT_NE(description, nullptr);
  EXPECT_EQ(description->cType, kRawCodecType);
  EXPECT_EQ(description->width, 640);
  EXPECT_EQ(description->height, 480);
  EXPECT_EQ(description->depth, 32);
  EXPECT_EQ(description->dataSize, 640 * 480 * 4);

  IdleUntil(channel, delivered, 12);
  ASSERT_EQ(NGStopOneChannel(channel), noErr);
  uint32_t previous = 0;
  for (size_t i = 0; i < delivered.frames.size(); ++i) {
    const std::vector<uint8_t>& frame = delivered.frames[i];
    ASSERT_EQ(frame.size(), 480u * 2560u);  // height × row bytes
    EXPECT_EQ(delivered.addresses[i], delivered.addresses[i % 2]);
    if (i > 0) {
      EXPECT_NE(delivered.addresses[i], delivered.addresses[i - 1]);
    }
    // ARGB: green carries the stamp's black and white.
    std::vector<uint8_t> luma(640 * 16);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 640; ++x)
        luma[static_cast<size_t>(y * 640 + x)] = frame[(y * 640 + x) * 4 + 2] > 128 ? 235 : 16;
    uint32_t number = 0;
    ASSERT_TRUE(ReadLumaStamp(luma.data(), 640, 640, &number));
    EXPECT_GT(number, previous);
    previous = number;
  }
}

}  // namespace
