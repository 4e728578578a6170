// V4L2 cameras without a camera: the listing with no device nodes and with
// nodes that are no capture devices, the device list order with the
// built-in cameras, opening a non-capture node, and the conversions.
#include "classic/grabber/v4l2_digitizer.h"

#include <gtest/gtest.h>
#include <linux/videodev2.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "classic/grabber/ng_channel.h"
#include "classic/grabber/settings_panels.h"
#include "core/util/strings.h"
#include "fake_digitizer.h"
#include "support/temp_dir.h"

using namespace fw;

namespace {

class V4L2DigitizerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NGClose();
    ResetComponentRegistryForTesting();
  }
  void TearDown() override {
    NGClose();
    ResetComponentRegistryForTesting();
  }
  std::vector<std::string> DeviceNames() {
    int16_t channel = 0;
    EXPECT_EQ(NGNewVideoChannel(&channel), noErr);
    SGDeviceList list;
    EXPECT_EQ(NGGetChannelDeviceList(channel, &list), noErr);
    std::vector<std::string> names;
    for (const SGDeviceName& entry : list->entry) names.push_back(Str255ToString(entry.name));
    return names;
  }
  TempDir dir;
};

TEST_F(V4L2DigitizerTest, WithoutCaptureNodesOnlyTheBuiltInCamerasAreListed) {
  // A regular file and a character device that is no camera, both named
  // like video nodes, and names that only look alike.
  std::ofstream(dir.file("video0")) << "not a device";
  ASSERT_EQ(symlink("/dev/null", dir.file("video1").c_str()), 0);
  std::ofstream(dir.file("videoX")) << "";
  std::ofstream(dir.file("video")) << "";
  AddV4L2DigitizerScan(dir.path());
  RegisterBuiltInGrabberComponents();  // adds its own scan of /dev: none here either
  EXPECT_EQ(DeviceNames(), (std::vector<std::string>{"DV Video", "Raw Test Camera"}));
  // The channel's default device is the first that opens: "DV Video".
  EXPECT_EQ(NGGetVDIGTypeCode(1), 6);
}

TEST_F(V4L2DigitizerTest, CamerasAreListedBeforeTheBuiltInOnes) {
  RegisterBuiltInGrabberComponents();
  // A camera's component goes in front, as the scan puts it.
  ComponentRegistration camera;
  camera.description = {kVideoDigitizerComponentType, kV4L2DigitizerSubType, kV4L2DigitizerManufacturer, 0,
                        0};
  camera.name = "USB Camera";
  auto state = std::make_shared<FakeDigitizerState>();
  camera.open = [state](ComponentInstance* out) {
    *out = std::make_unique<FakeDigitizer>(state);
    return noErr;
  };
  RegisterComponent(std::move(camera), RegistryPlace::kFront);
  EXPECT_EQ(DeviceNames(), (std::vector<std::string>{"USB Camera", "DV Video", "Raw Test Camera"}));
}

TEST_F(V4L2DigitizerTest, OpeningWhatIsNoCaptureNodeFailsWithACode) {
  std::unique_ptr<VideoDigitizer> digitizer;
  EXPECT_EQ(OpenV4L2Digitizer(dir.file("video7"), &digitizer), fnfErr);
  EXPECT_EQ(OpenV4L2Digitizer("/dev/null", &digitizer), OSErrFromErrno(ENOTTY));
  std::ofstream(dir.file("file")) << "x";
  EXPECT_EQ(OpenV4L2Digitizer(dir.file("file"), &digitizer), OSErrFromErrno(ENOTTY));
  EXPECT_EQ(digitizer, nullptr);
}

TEST(V4L2ConversionTest, FormatChoiceAndEveryFormatInto2vuy) {
  const uint32_t all[] = {V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_UYVY};
  EXPECT_EQ(ChooseV4L2CaptureFormat(all, 3), V4L2_PIX_FMT_UYVY);
  EXPECT_EQ(ChooseV4L2CaptureFormat(all, 2), V4L2_PIX_FMT_YUYV);
  EXPECT_EQ(ChooseV4L2CaptureFormat(all, 1), V4L2_PIX_FMT_MJPEG);
  const uint32_t none[] = {V4L2_PIX_FMT_NV12, V4L2_PIX_FMT_H264};
  EXPECT_EQ(ChooseV4L2CaptureFormat(none, 2), 0u);

  JPEGTo2vuyDecoder decoder;
  // Two rows of 4 pixels; source rows padded to 12 bytes.
  const uint8_t yuyv[24] = {10, 20, 11, 30, 12, 21, 13, 31, 0, 0, 0, 0,
                            40, 50, 41, 60, 42, 51, 43, 61, 0, 0, 0, 0};
  uint8_t out[16] = {};
  ASSERT_EQ(ConvertV4L2Buffer(V4L2_PIX_FMT_YUYV, yuyv, sizeof yuyv, 12, 4, 2, decoder, out, 8), noErr);
  const uint8_t swapped[16] = {20, 10, 30, 11, 21, 12, 31, 13, 50, 40, 60, 41, 51, 42, 61, 43};
  EXPECT_EQ(0, std::memcmp(out, swapped, sizeof out));
  ASSERT_EQ(ConvertV4L2Buffer(V4L2_PIX_FMT_UYVY, yuyv, sizeof yuyv, 12, 4, 2, decoder, out, 8), noErr);
  EXPECT_EQ(0, std::memcmp(out + 8, yuyv + 12, 8));
  EXPECT_EQ(ConvertV4L2Buffer(V4L2_PIX_FMT_YUYV, yuyv, 19, 12, 4, 2, decoder, out, 8), paramErr);  // short

  // Motion JPEG: a grey 16 × 8 picture decodes into the stream's size only.
  tjhandle compressor = tjInitCompress();
  std::vector<uint8_t> grey(16 * 8, 200);
  unsigned char* jpeg = nullptr;
  unsigned long jpegSize = 0;
  ASSERT_EQ(tjCompress2(compressor, grey.data(), 16, 16, 8, TJPF_GRAY, &jpeg, &jpegSize, TJSAMP_GRAY, 95, 0),
            0);
  std::vector<uint8_t> picture(16 * 2 * 8, 0);
  EXPECT_EQ(ConvertV4L2Buffer(V4L2_PIX_FMT_MJPEG, jpeg, jpegSize, 0, 16, 8, decoder, picture.data(), 32),
            noErr);
  EXPECT_NEAR(picture[1], 16 + 200 * 219 / 255, 2);
  EXPECT_EQ(picture[0], 128);
  EXPECT_EQ(ConvertV4L2Buffer(V4L2_PIX_FMT_MJPEG, jpeg, jpegSize, 0, 32, 8, decoder, picture.data(), 64),
            paramErr);
  tjFree(jpeg);
  tjDestroy(compressor);
}

}  // namespace
