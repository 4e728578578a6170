// The channel module on recording fake digitizers: the channel table, the
// device switch, names, classification, codec choice, image descriptions,
// both idle paths with every stage code, and the settings dialog's choice
// of panels.
#include "classic/grabber/ng_channel.h"

#include <gtest/gtest.h>

#include "core/movie/image_descriptions.h"
#include "core/util/strings.h"
#include "fake_digitizer.h"

using namespace fw;

namespace {

std::vector<std::string>* gProcLog = nullptr;
OSErr gProcResult = noErr;

OSErr RecordingDataProc(int16_t, const uint8_t* data, int32_t size, const TimeRecord*, intptr_t) {
  gProcLog->push_back("DataProc " + std::to_string(*data) + " size " + std::to_string(size));
  return gProcResult;
}

class NGChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NGClose();
    ResetComponentRegistryForTesting();
    gProcLog = &state->log;
    gProcResult = noErr;
  }
  void TearDown() override {
    NGClose();
    ResetComponentRegistryForTesting();
  }
  // One channel on a fresh fake, its set-up already done and the log cleared.
  int16_t ChannelOnFake(OSType subType = FourCC("fake"), OSType manufacturer = FourCC("test")) {
    RegisterFakeDigitizer("Fake", subType, manufacturer, state);
    int16_t channel = 0;
    EXPECT_EQ(NGNewVideoChannel(&channel), noErr);
    return channel;
  }
  void PushFrames(std::initializer_list<uint8_t> numbers) {
    for (const uint8_t n : numbers) state->finished.push_back({n, 0, 0});
  }

  std::shared_ptr<FakeDigitizerState> state = std::make_shared<FakeDigitizerState>();
};

TEST_F(NGChannelTest, NinetyNineChannelsThenNoFreeSlotWithTheModuleLeftOpen) {
  RegisterFakeDigitizer("Fake", FourCC("fake"), FourCC("test"), state);
  int16_t channel = 0;
  for (int16_t expected = 1; expected <= 99; ++expected) {
    ASSERT_EQ(NGNewVideoChannel(&channel), noErr);
    ASSERT_EQ(channel, expected);
  }
  EXPECT_EQ(NGNewVideoChannel(&channel), kNGNoFreeChannelErr);
  EXPECT_EQ(channel, 99);
  EXPECT_EQ(NGSetDataProc(1, RecordingDataProc, 0), noErr);  // still open
}

TEST_F(NGChannelTest, AFailedFirstChannelClosesTheModuleAndTheNextCallOpensItAfresh) {
  state->openError = -9408;
  RegisterFakeDigitizer("Fake", FourCC("fake"), FourCC("test"), state);
  int16_t channel = 0;
  EXPECT_EQ(NGNewVideoChannel(&channel), -9408);
  EXPECT_EQ(NGSetDataProc(1, RecordingDataProc, 0), kNGNotOpenErr);
  EXPECT_EQ(NGIdleChannel(1, nullptr), kNGNotOpenErr);  // answered, not a crash

  state->openError = noErr;
  ASSERT_EQ(NGNewVideoChannel(&channel), noErr);
  EXPECT_EQ(channel, 1);
  EXPECT_EQ(NGSetDataProc(channel, RecordingDataProc, 0), noErr);
  EXPECT_EQ(NGSetDataProc(2, RecordingDataProc, 0), kNGNoDigitizerErr);  // a free slot
  EXPECT_EQ(NGStartOneChannel(2), kNGNoDigitizerErr);
  NGClose();
  EXPECT_EQ(NGSetUpChannelForCapture(channel), kNGNotOpenErr);
  EXPECT_EQ(NGGetVDIGTypeCode(channel), 0);
}

TEST_F(NGChannelTest, SwitchingDevicesByName) {
  const int16_t channel = ChannelOnFake();
  auto dv = std::make_shared<FakeDigitizerState>();
  RegisterFakeDigitizer("DV Video", FourCC("fire"), FourCC("appl"), dv);
  Str255 name;
  CopyToStr255("Fake", name);
  const int opens = state->opens;
  EXPECT_EQ(NGSetChannelDevice(channel, name), noErr);
  EXPECT_EQ(state->opens, opens);
  EXPECT_TRUE(state->log.empty());

  SGDeviceList list;
  ASSERT_EQ(NGGetChannelDeviceList(channel, &list), noErr);
  ASSERT_EQ(list->count, 2);
  EXPECT_EQ(Str255ToString(list->entry[1].name), "DV Video");
  EXPECT_EQ(list->selectedIndex, 0);
  NGDisposeDeviceList(std::move(list));

  CopyToStr255("DV Video", name);
  EXPECT_EQ(NGSetChannelDevice(channel, name), noErr);
  EXPECT_EQ(NGGetVDIGTypeCode(channel), 6);
  CopyToStr255("No Such Camera", name);
  EXPECT_EQ(NGSetChannelDevice(channel, name), noDeviceForChannel);
  EXPECT_EQ(NGGetVDIGTypeCode(channel), 6);  // the old digitizer stays
}

TEST_F(NGChannelTest, ALongDigitizerNameComesBackAs63Characters) {
  const std::string longName(70, 'n');
  RegisterFakeDigitizer(longName, FourCC("fake"), FourCC("test"), state);
  int16_t channel = 0;
  ASSERT_EQ(NGNewVideoChannel(&channel), noErr);
  Str255 name;
  ComponentDescription description;
  ASSERT_EQ(NGGetVDIGComponentInfo(channel, &description, name), noErr);
  EXPECT_EQ(Str255ToString(name), longName.substr(0, 63));
  EXPECT_EQ(description.componentSubType, FourCC("fake"));
  EXPECT_EQ(NGGetVDIGComponentInfo(channel, nullptr, nullptr), noErr);
}

TEST(NGClassificationTest, TheTableInItsOrder) {
  struct Case {
    const char* manufacturer;
    const char* subType;
    uint8_t code;
  };
  const Case cases[] = {
      {"appl", "iidc", 1}, {"appl", "usbv", 10}, {"xxxx", "ntz ", 5}, {"efxQ", "eCpt", 5},
      {"MSTz", "MTV ", 4}, {"ASC ", "Dfg1", 7},  {"appl", "fire", 6}, {"appl", "tnt0", 8},
      {"asl ", "0001", 9}, {"asl ", "0064", 9},  {"asl ", "0000", 0}, {"asl ", "0065", 0},
      {"IOx1", "DCam", 2}, {"IOX ", "DCam", 2},  {"iox ", "DCam", 3}, {"appl", "DCam", 3},
      {"efxQ", "eCpT", 0}, {"appl", "ntz ", 5},  {"ASCx", "Dfg1", 0}, {"test", "fake", 0},
  };
  for (const Case& c : cases) {
    OSType manufacturer = 0, subType = 0;
    for (int i = 0; i < 4; ++i) {
      manufacturer = manufacturer << 8 | static_cast<unsigned char>(c.manufacturer[i]);
      subType = subType << 8 | static_cast<unsigned char>(c.subType[i]);
    }
    EXPECT_EQ(ClassifyDigitizer(manufacturer, subType), c.code) << c.manufacturer << "/" << c.subType;
  }
  // Unsigned: a subtype with the top bit set is above '0064', not below '0000'.
  EXPECT_EQ(ClassifyDigitizer(FourCC("asl "), 0x80000001u), 0);
}

TEST_F(NGChannelTest, DefaultCodec) {
  struct Case {
    OSType subType;
    std::vector<OSType> types;
    OSType codec;
  };
  const Case cases[] = {
      {FourCC("fake"), {}, 0},
      {FourCC("ntz "), {FourCC("yuv2"), FourCC("2vuy")}, FourCC("2vuy")},
      {FourCC("ntz "), {FourCC("yuv2")}, FourCC("yuv2")},
      {FourCC("ntz "), {FourCC("yuv2"), FourCC("jpeg")}, FourCC("yuv2")},
      {FourCC("fake"), {FourCC("yuv2"), FourCC("2vuy")}, FourCC("yuv2")},
  };
  for (const Case& c : cases) {
    NGClose();
    ResetComponentRegistryForTesting();
    state->compressionTypes = c.types;
    const int16_t channel = ChannelOnFake(c.subType);
    EXPECT_EQ(NGGetChannelDefaultCodec(channel), c.codec)
        << FourCCToString(c.subType) << " " << c.types.size();
  }
  NGClose();
  ResetComponentRegistryForTesting();
  state->outputFlags = digiOutDoesAsyncGrabs;
  EXPECT_EQ(NGGetChannelDefaultCodec(ChannelOnFake()), kRawCodecType);
}

TEST_F(NGChannelTest, ImageDescriptionDepthAndDataSize) {
  struct Case {
    OSType type;
    int16_t depth;
    int16_t expectedDepth;
    int32_t expectedSize;
  };
  const Case cases[] = {
      {kRawCodecType, 40, 40, 307200},
      {kRawCodecType, 24, 24, 921600},
      {FourCC("2vuy"), 24, 16, 614400},
      {kDVNTSCCodecType, 24, 24, 120000},  // other types keep the digitizer's size
  };
  const int16_t channel = ChannelOnFake();
  for (const Case& c : cases) {
    state->description.cType = c.type;
    state->description.width = 640;
    state->description.height = 480;
    state->description.depth = c.depth;
    state->description.dataSize = 120000;
    ImageDescriptionHandle description;
    ASSERT_EQ(NGGetImageDescription(channel, &description), noErr);
    ASSERT_NE(description, nullptr);
    EXPECT_EQ(description->depth, c.expectedDepth) << FourCCToString(c.type);
    EXPECT_EQ(description->dataSize, c.expectedSize) << FourCCToString(c.type);
  }
}

TEST_F(NGChannelTest, IdleBeforeADataProcedureIsACallOrderError) {
  const int16_t channel = ChannelOnFake();
  PushFrames({1});
  int16_t stage = 0;
  EXPECT_EQ(NGIdleChannel(channel, &stage), badCallOrderErr);
  EXPECT_EQ(stage, 0);
  EXPECT_TRUE(state->log.empty());
}

TEST_F(NGChannelTest, SetUpStartAndStopOnTheCompressingPath) {
  const int16_t channel = ChannelOnFake(FourCC("ntz "));
  state->compressionTypes = {FourCC("yuv2"), FourCC("2vuy")};
  ASSERT_EQ(NGSetUpChannelForCapture(channel), noErr);
  ASSERT_EQ(NGStartOneChannel(channel), noErr);
  ASSERT_EQ(NGStopOneChannel(channel), noErr);
  EXPECT_EQ(state->log,
            (std::vector<std::string>{"ReleaseAsyncBuffers", "PlayThruOff", "SetTimeBase", "CompressionOn",
                                      "SetCompression 2vuy", "Call 523 0x0", "ResetCompressSequence",
                                      "Call 95 0x19", "CompressOneFrameAsync", "Call 95 0x12",
                                      "CompressionOff", "ReleaseAsyncBuffers"}));

  state->outputFlags = 0;
  NGClose();
  ResetComponentRegistryForTesting();
  EXPECT_EQ(NGSetUpChannelForCapture(ChannelOnFake()), kNGCannotCaptureErr);
}

TEST_F(NGChannelTest, OnlyTheNewestOfThreeWaitingFramesIsDelivered) {
  const int16_t channel = ChannelOnFake();
  ASSERT_EQ(NGSetDataProc(channel, RecordingDataProc, 0), noErr);
  ASSERT_EQ(NGSetUpChannelForCapture(channel), noErr);
  ASSERT_EQ(NGStartOneChannel(channel), noErr);
  state->log.clear();
  PushFrames({1, 2, 3});
  int16_t stage = 0;
  EXPECT_EQ(NGIdleChannel(channel, &stage), noErr);
  EXPECT_EQ(state->log,
            (std::vector<std::string>{"CompressDone", "Release 1", "CompressOneFrameAsync", "CompressDone",
                                      "Release 2", "CompressOneFrameAsync", "CompressDone",
                                      "DataProc 3 size 3", "Release 3", "CompressOneFrameAsync"}));
  state->log.clear();
  EXPECT_EQ(NGIdleChannel(channel, &stage), noErr);  // nothing waiting
  EXPECT_EQ(state->log, (std::vector<std::string>{"CompressDone"}));
  // Stopped: the delivered frame is released but no new one is asked for.
  ASSERT_EQ(NGStopOneChannel(channel), noErr);
  PushFrames({4});
  state->log.clear();
  EXPECT_EQ(NGIdleChannel(channel, &stage), noErr);
  EXPECT_EQ(state->log, (std::vector<std::string>{"CompressDone", "DataProc 4 size 3", "Release 4"}));
  EXPECT_EQ(stage, 0);
}

TEST_F(NGChannelTest, EveryStageCode) {
  struct Case {
    const char* failingCall;  // "DataProc": the data procedure fails
    int skip;                 // calls of it that still succeed first
    int32_t flags;
    int16_t stage;
  };
  const Case cases[] = {
      {"CompressDone", 0, digiOutDoesCompress, 300},
      {"Release 1", 0, digiOutDoesCompress, 310},
      {"CompressOneFrameAsync", 0, digiOutDoesCompress, 320},
      {"CompressDone", 1, digiOutDoesCompress, 330},
      {"DataProc", 0, digiOutDoesCompress, 340},
      {"Release 2", 0, digiOutDoesCompress, 350},
      {"CompressOneFrameAsync", 1, digiOutDoesCompress, 360},
      {"Grab 1", 0, digiOutDoesAsyncGrabs, 370},
      {"DataProc", 0, digiOutDoesAsyncGrabs, 380},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.failingCall) + " " + std::to_string(c.skip));
    NGClose();
    ResetComponentRegistryForTesting();
    state = std::make_shared<FakeDigitizerState>();
    gProcLog = &state->log;
    state->outputFlags = c.flags;
    const int16_t channel = ChannelOnFake();
    ASSERT_EQ(NGSetDataProc(channel, RecordingDataProc, 0), noErr);
    ASSERT_EQ(NGSetUpChannelForCapture(channel), noErr);
    ASSERT_EQ(NGStartOneChannel(channel), noErr);
    PushFrames({1, 2});
    state->grabDone[0] = true;
    const bool procFails = std::string(c.failingCall) == "DataProc";
    gProcResult = procFails ? 77 : noErr;
    if (!procFails) state->failures[c.failingCall] = {c.skip, 77};
    int16_t stage = 0;
    EXPECT_EQ(NGIdleChannel(channel, &stage), 77);
    EXPECT_EQ(stage, c.stage);
  }
  // A data procedure failing leaves a stage already written in place, and
  // the frame is neither released nor followed by a request.
  state->finished.clear();
  PushFrames({3});
  state->outputFlags = digiOutDoesCompress;
  NGClose();
  ResetComponentRegistryForTesting();
  const int16_t channel = ChannelOnFake();
  ASSERT_EQ(NGSetDataProc(channel, RecordingDataProc, 0), noErr);
  state->log.clear();
  gProcResult = 5;
  int16_t stage = 999;
  EXPECT_EQ(NGIdleChannel(channel, &stage), 5);
  EXPECT_EQ(stage, 999);
  EXPECT_EQ(state->log, (std::vector<std::string>{"CompressDone", "DataProc 3 size 3"}));
}

TEST_F(NGChannelTest, RawPathStartsTheNextGrabBeforeTheDataProcedureAndAlternates) {
  state->outputFlags = digiOutDoesAsyncGrabs;
  const int16_t channel = ChannelOnFake();
  ImageDescriptionHandle description;
  EXPECT_EQ(NGGetImageDescription(channel, &description), badCallOrderErr);
  ASSERT_EQ(NGSetDataProc(channel, RecordingDataProc, 0), noErr);
  ASSERT_EQ(NGSetUpChannelForCapture(channel), noErr);
  ASSERT_EQ(NGStartOneChannel(channel), noErr);
  ASSERT_EQ(NGGetImageDescription(channel, &description), noErr);
  EXPECT_EQ(description->cType, kRawCodecType);
  EXPECT_EQ(description->depth, 32);
  EXPECT_EQ(description->dataSize, 640 * 480 * 4);
  state->log.clear();
  int16_t stage = 0;
  EXPECT_EQ(NGIdleChannel(channel, &stage), noErr);  // buffer 0 not done yet
  state->grabDone[0] = true;
  EXPECT_EQ(NGIdleChannel(channel, &stage), noErr);
  state->grabDone[1] = true;
  EXPECT_EQ(NGIdleChannel(channel, &stage), noErr);
  // Fresh buffers are zero-filled: the data procedure sees byte 0.
  EXPECT_EQ(state->log, (std::vector<std::string>{"Grab 1", "DataProc 0 size 1228800", "Grab 0",
                                                  "DataProc 0 size 1228800"}));
}

}  // namespace
