// The device list: passes by media kind, exclusions, limits and names, the
// built-in camera's place, and the DeckLink loader when there is no SDK.
#include <gtest/gtest.h>

#include <string>

#include "fake_backend.h"
#include "hd/video/backends/decklink/decklink_api.h"
#include "hd/video/backends/decklink/decklink_backend.h"
#include "hd/video/backends/test_pattern/test_pattern_camera.h"
#include "hd/video/backends/v4l2/v4l2_camera.h"
#include "video_test_support.h"

using namespace fw;

namespace {

class DeviceListTest : public VideoTest {
 protected:
  void SetUp() override { SetDeckLinkLibraryPathForTesting("/nonexistent/libDeckLinkAPI.so"); }

  // The list as (name, mediaKind) pairs.
  std::vector<std::pair<std::string, int>> List(uint8_t flags) {
    int32_t count = -1;
    CaptureDevices* devices = nullptr;
    EXPECT_EQ(QTCaptureGetListOfDevices(flags, &count, &devices), noErr);
    std::vector<std::pair<std::string, int>> listed;
    for (int32_t i = 0; i < count; ++i) listed.emplace_back(devices[i].name, devices[i].mediaKind);
    QTCaptureDisposeListOfDevices(devices);
    return listed;
  }

  CaptureDeviceDescription Device(std::string name, CaptureMediaKind kind = CaptureMediaKind::kVideo) {
    CaptureDeviceDescription device;
    device.name = name;
    device.uniqueID = "id:" + name;
    device.mediaKind = kind;
    return device;
  }
};

TEST_F(DeviceListTest, NoMediaFlagsListsNothing) {
  int32_t count = -1;
  CaptureDevices* untouched = reinterpret_cast<CaptureDevices*>(0x1);
  EXPECT_EQ(QTCaptureGetListOfDevices(0, &count, &untouched), noErr);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(untouched, reinterpret_cast<CaptureDevices*>(0x1));
  EXPECT_EQ(QTCaptureGetListOfDevices(1, nullptr, &untouched), paramErr);
  EXPECT_EQ(QTCaptureGetListOfDevices(1, &count, nullptr), paramErr);
}

TEST_F(DeviceListTest, PassesGoVideoThenSoundThenMuxedAndSkipCardsAndAbsentDevices) {
  FakeBackend backend;
  backend.devices = {Device("mux", CaptureMediaKind::kMuxed),
                     Device("mic", CaptureMediaKind::kSound),
                     Device("cam"),
                     Device("Blackmagic UltraStudio"),
                     Device("Intensity Pro 4K"),
                     Device("blackmagic lower case"),
                     Device("gone")};
  backend.devices.back().connected = false;
  UseBackends({&backend});
  using Listed = std::vector<std::pair<std::string, int>>;
  EXPECT_EQ(List(kListVideoDevices), (Listed{{"cam", 1}, {"blackmagic lower case", 1}, {"mux", 3}}));
  EXPECT_EQ(List(kListSoundDevices), (Listed{{"mic", 2}, {"mux", 3}}));
  EXPECT_EQ(List(kListVideoDevices | kListSoundDevices),
            (Listed{{"cam", 1}, {"blackmagic lower case", 1}, {"mic", 2}, {"mux", 3}}));
  // Bits that name no media kind still list the muxed devices.
  EXPECT_EQ(List(0x80), (Listed{{"mux", 3}}));
}

TEST_F(DeviceListTest, InputSourcesAreCappedAtSixteenAndUnnamedOnesNumbered) {
  FakeBackend backend;
  backend.devices = {Device("many"), Device("plain")};
  for (int i = 0; i < 20; ++i) backend.devices[0].inputSources.push_back("Source " + std::to_string(i));
  backend.devices[0].inputSources[2] = "";
  UseBackends({&backend});
  int32_t count = 0;
  CaptureDevices* devices = nullptr;
  ASSERT_EQ(QTCaptureGetListOfDevices(1, &count, &devices), noErr);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(devices[0].inputCount, 16);
  EXPECT_STREQ(devices[0].inputs[0].name, "Source 0");
  EXPECT_STREQ(devices[0].inputs[2].name, "Input 3");
  EXPECT_STREQ(devices[0].inputs[15].name, "Source 15");
  EXPECT_FALSE(devices[0].isDeckLink);
  EXPECT_STREQ(devices[0].uniqueID, "id:many");
  EXPECT_EQ(devices[1].inputCount, 0);
  EXPECT_EQ(devices[1].inputs[0].name[0], '\0');
  QTCaptureDisposeListOfDevices(devices);
}

TEST_F(DeviceListTest, LongNamesAreCutToTheirFieldsOnCharacterBoundaries) {
  FakeBackend backend;
  // 62 ASCII bytes, then "é" (2 bytes): 64 bytes do not fit in 63.
  CaptureDeviceDescription device = Device(std::string(62, 'n') + "\xC3\xA9" + "tail");
  device.uniqueID = std::string(200, 'u');
  device.inputSources = {std::string(30, 'i') + "\xE2\x82\xAC"};  // a 3-byte euro sign at 30..32
  backend.devices = {device};
  UseBackends({&backend});
  int32_t count = 0;
  CaptureDevices* devices = nullptr;
  ASSERT_EQ(QTCaptureGetListOfDevices(1, &count, &devices), noErr);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(std::string(devices[0].name), std::string(62, 'n'));
  EXPECT_EQ(std::string(devices[0].uniqueID), std::string(127, 'u'));
  EXPECT_EQ(std::string(devices[0].inputs[0].name), std::string(30, 'i'));
  QTCaptureDisposeListOfDevices(devices);
}

TEST_F(DeviceListTest, ListStopsAtSixtyFourDevices) {
  FakeBackend video, muxed;
  video.AddDevices(40);
  muxed.AddDevices(40, CaptureMediaKind::kMuxed);
  UseBackends({&video, &muxed});
  auto listed = List(kListVideoDevices);
  ASSERT_EQ(listed.size(), 64u);
  EXPECT_EQ(listed[39].second, 1);
  EXPECT_EQ(listed[40].second, 3);
  EXPECT_EQ(listed[63].first, "Camera 23");
}

TEST_F(DeviceListTest, TestPatternCameraComesAfterEveryOtherDevice) {
  // Real cameras (V4L2) first, so that one of them opens by default; the
  // DeckLink cards have a pass of their own after the others (none here:
  // there is no SDK).
  const std::vector<CaptureBackend*> backends = CaptureBackends();
  ASSERT_EQ(backends.size(), 3u);
  EXPECT_NE(dynamic_cast<V4L2Backend*>(backends[0]), nullptr);
  EXPECT_NE(dynamic_cast<TestPatternBackend*>(backends[1]), nullptr);
  EXPECT_NE(dynamic_cast<DeckLinkBackend*>(backends[2]), nullptr);
  int32_t count = 0;
  CaptureDevices* devices = nullptr;
  ASSERT_EQ(QTCaptureGetListOfDevices(1, &count, &devices), noErr);
  ASSERT_GE(count, 1);
  const CaptureDevices& last = devices[count - 1];
  EXPECT_STREQ(last.uniqueID, kTestPatternUniqueID);
  EXPECT_EQ(last.mediaKind, kMediaKindVideo);
  ASSERT_EQ(last.inputCount, 4);
  EXPECT_STREQ(last.inputs[0].name, "1280 x 720");
  EXPECT_STREQ(last.inputs[1].name, "1920 x 1080");
  EXPECT_STREQ(last.inputs[2].name, "3840 x 2160");
  EXPECT_STREQ(last.inputs[3].name, "720 x 486");
  QTCaptureDisposeListOfDevices(devices);
}

TEST(DeckLinkLoaderTest, WithoutTheSdkThereIsNoIteratorAndTheLibraryIsLookedForOnce) {
  SetDeckLinkLibraryPathForTesting("/nonexistent/libDeckLinkAPI.so");
  EXPECT_EQ(CreateDeckLinkIteratorInstance(), nullptr);
  EXPECT_EQ(CreateDeckLinkIteratorInstance(), nullptr);
  std::thread other([] { EXPECT_EQ(CreateDeckLinkIteratorInstance(), nullptr); });
  InitDeckLinkAPI();
  other.join();
  int32_t count = 0;
  CaptureDevices* devices = nullptr;
  ASSERT_EQ(QTCaptureGetListOfDevices(1, &count, &devices), noErr);
  for (int32_t i = 0; i < count; ++i) EXPECT_FALSE(devices[i].isDeckLink);
  QTCaptureDisposeListOfDevices(devices);
  EXPECT_EQ(DeckLinkLibraryLoadAttemptsForTesting(), 1);
}

}  // namespace
