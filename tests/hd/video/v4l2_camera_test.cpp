// V4L2 cameras without a camera: the choice of pixel format, the
// conversions to '2vuy', Motion JPEG decoding, and the device code on nodes
// that are not capture devices.
#include "hd/video/backends/v4l2/v4l2_camera.h"

#include <gtest/gtest.h>
#include <linux/videodev2.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "core/imaging/pixel_conversion.h"
#include "fake_backend.h"
#include "support/temp_dir.h"

using namespace fw;

namespace {

TEST(V4L2FormatTest, PrefersUYVYThenYUYVThenMotionJPEG) {
  EXPECT_EQ(ChooseV4L2PixelFormat({V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_UYVY}),
            V4L2_PIX_FMT_UYVY);
  EXPECT_EQ(ChooseV4L2PixelFormat({V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_NV12, V4L2_PIX_FMT_YUYV}),
            V4L2_PIX_FMT_YUYV);
  EXPECT_EQ(ChooseV4L2PixelFormat({V4L2_PIX_FMT_H264, V4L2_PIX_FMT_MJPEG}), V4L2_PIX_FMT_MJPEG);
  EXPECT_EQ(ChooseV4L2PixelFormat({V4L2_PIX_FMT_JPEG}), V4L2_PIX_FMT_JPEG);
  EXPECT_EQ(ChooseV4L2PixelFormat({V4L2_PIX_FMT_NV12, V4L2_PIX_FMT_RGB24}), 0u);
  EXPECT_EQ(ChooseV4L2PixelFormat({}), 0u);
}

TEST(PixelConversionTest, PackedFormatsBecome2vuyAcrossPaddedRows) {
  // Two rows of 4 pixels, source rows padded to 12 bytes, destination to 10.
  const uint8_t yuyv[24] = {10, 20, 11, 30, 12, 21, 13, 31, 0xEE, 0xEE, 0xEE, 0xEE,
                            40, 50, 41, 60, 42, 51, 43, 61, 0xEE, 0xEE, 0xEE, 0xEE};
  uint8_t out[20];
  std::memset(out, 0xAA, sizeof out);
  ConvertYUYVTo2vuy(yuyv, 12, out, 10, 4, 2);
  const uint8_t expected[20] = {20, 10, 30, 11, 21, 12, 31, 13, 0xAA, 0xAA,
                                50, 40, 60, 41, 51, 42, 61, 43, 0xAA, 0xAA};
  EXPECT_EQ(0, std::memcmp(out, expected, sizeof out));

  std::memset(out, 0xAA, sizeof out);
  CopyUYVYTo2vuy(yuyv, 12, out, 10, 4, 2);
  EXPECT_EQ(0, std::memcmp(out, yuyv, 8));
  EXPECT_EQ(0, std::memcmp(out + 10, yuyv + 12, 8));
  EXPECT_EQ(out[8], 0xAA);
}

// The decoder writing into a frame of the pool, as the V4L2 camera uses it.
OSErr DecodeInto(JPEGTo2vuyDecoder& decoder, const uint8_t* bytes, size_t sizeBytes, FramePool& pool,
                 CaptureFrameRef* outFrame) {
  CaptureFrameRef frame;
  const OSErr err = decoder.Decode(bytes, sizeBytes, [&](int32_t widthPixels, int32_t heightPixels) {
    frame = pool.Acquire(widthPixels, heightPixels);
    return frame == nullptr ? JPEGTo2vuyDecoder::Destination{}
                            : JPEGTo2vuyDecoder::Destination{frame->BaseAddress(), frame->RowBytes()};
  });
  if (err == noErr) *outFrame = std::move(frame);
  return err;
}

// A JPEG made from planes of our choosing, so the decoded values are known.
// Left half: luma 0, Cb 0, Cr 255; right half: luma 255, Cb 255, Cr 0.
std::vector<uint8_t> MakeJPEG(int width, int height, int subsampling) {
  std::vector<uint8_t> planes[3];
  int strides[3];
  for (int c = 0; c < (subsampling == TJSAMP_GRAY ? 1 : 3); ++c) {
    const int w = tjPlaneWidth(c, width, subsampling), h = tjPlaneHeight(c, height, subsampling);
    strides[c] = w;
    planes[c].resize(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const bool right = x >= w / 2;
        planes[c][static_cast<size_t>(y) * w + x] = c == 2 ? (right ? 0 : 255) : (right ? 255 : 0);
      }
  }
  const unsigned char* source[3] = {planes[0].data(), planes[1].data(), planes[2].data()};
  tjhandle compressor = tjInitCompress();
  unsigned char* jpeg = nullptr;
  unsigned long jpegSize = 0;
  EXPECT_EQ(tjCompressFromYUVPlanes(compressor, source, width, strides, height, subsampling, &jpeg, &jpegSize,
                                    100, 0),
            0);
  std::vector<uint8_t> bytes(jpeg, jpeg + jpegSize);
  tjFree(jpeg);
  tjDestroy(compressor);
  return bytes;
}

TEST(PixelConversionTest, MotionJPEGDecodesInto2vuyInVideoRange) {
  JPEGTo2vuyDecoder decoder;
  FramePool pool;
  for (const int subsampling : {TJSAMP_422, TJSAMP_420, TJSAMP_444, TJSAMP_GRAY}) {
    SCOPED_TRACE(subsampling);
    const std::vector<uint8_t> jpeg = MakeJPEG(64, 32, subsampling);
    CaptureFrameRef frame;
    ASSERT_EQ(DecodeInto(decoder, jpeg.data(), jpeg.size(), pool, &frame), noErr);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->Width(), 64);
    EXPECT_EQ(frame->Height(), 32);
    EXPECT_EQ(frame->RowBytes(), 128);
    const uint8_t* row = frame->BaseAddress() + 16 * frame->RowBytes();
    const uint8_t* left = row + 8 * 2;    // pixel pair at x 8
    const uint8_t* right = row + 48 * 2;  // pixel pair at x 48
    EXPECT_NEAR(left[1], 16, 2);
    EXPECT_NEAR(left[3], 16, 2);
    EXPECT_NEAR(right[1], 235, 2);
    EXPECT_NEAR(right[3], 235, 2);
    if (subsampling == TJSAMP_GRAY) {
      EXPECT_EQ(left[0], 128);
      EXPECT_EQ(left[2], 128);
    } else {
      EXPECT_NEAR(left[0], 16, 2);   // Cb 0
      EXPECT_NEAR(left[2], 240, 2);  // Cr 255
      EXPECT_NEAR(right[0], 240, 2);
      EXPECT_NEAR(right[2], 16, 2);
    }
  }
}

// Many webcams leave the Huffman tables out of their Motion JPEG frames and
// rely on the standard ones.
TEST(PixelConversionTest, MotionJPEGWithoutHuffmanTablesDecodesTheSame) {
  const std::vector<uint8_t> jpeg = MakeJPEG(32, 16, TJSAMP_422);
  // Walk the header segments after SOI, dropping DHT, up to the scan.
  std::vector<uint8_t> stripped(jpeg.begin(), jpeg.begin() + 2);
  for (size_t i = 2; i + 3 < jpeg.size();) {
    const uint8_t marker = jpeg[i + 1];
    if (marker == 0xDA) {
      stripped.insert(stripped.end(), jpeg.begin() + static_cast<ptrdiff_t>(i), jpeg.end());
      break;
    }
    const size_t segmentBytes = 2 + (static_cast<size_t>(jpeg[i + 2]) << 8 | jpeg[i + 3]);
    if (marker != 0xC4)
      stripped.insert(stripped.end(), jpeg.begin() + static_cast<ptrdiff_t>(i),
                      jpeg.begin() + static_cast<ptrdiff_t>(i + segmentBytes));
    i += segmentBytes;
  }
  ASSERT_LT(stripped.size(), jpeg.size());
  JPEGTo2vuyDecoder decoder;
  FramePool pool;
  CaptureFrameRef withTables, withoutTables;
  ASSERT_EQ(DecodeInto(decoder, jpeg.data(), jpeg.size(), pool, &withTables), noErr);
  ASSERT_EQ(DecodeInto(decoder, stripped.data(), stripped.size(), pool, &withoutTables), noErr);
  EXPECT_EQ(0, std::memcmp(withTables->BaseAddress(), withoutTables->BaseAddress(),
                           static_cast<size_t>(withTables->RowBytes()) * withTables->Height()));
}

TEST(PixelConversionTest, OddWidthGainsAColumnAndBadDataIsRefused) {
  JPEGTo2vuyDecoder decoder;
  FramePool pool;
  const std::vector<uint8_t> odd = MakeJPEG(33, 8, TJSAMP_422);
  CaptureFrameRef frame;
  ASSERT_EQ(DecodeInto(decoder, odd.data(), odd.size(), pool, &frame), noErr);
  EXPECT_EQ(frame->Width(), 34);
  const uint8_t* row = frame->BaseAddress();
  EXPECT_EQ(row[32 * 2 + 1], row[32 * 2 + 3]);  // the added pixel repeats the last

  CaptureFrameRef none;
  const uint8_t garbage[64] = {0xFF, 0xD8, 0x00, 0x01};
  EXPECT_EQ(DecodeInto(decoder, garbage, sizeof garbage, pool, &none), paramErr);
  EXPECT_EQ(DecodeInto(decoder, odd.data(), 0, pool, &none), paramErr);
  EXPECT_EQ(none, nullptr);

  // A header that claims a picture far too large is refused before any
  // allocation: patch the size in the start-of-frame segment.
  std::vector<uint8_t> huge = MakeJPEG(16, 16, TJSAMP_422);
  for (size_t i = 0; i + 8 < huge.size(); ++i)
    if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
      huge[i + 5] = 0xFF;  // height 0xFF10
      huge[i + 7] = 0xFF;  // width 0xFF10
      break;
    }
  EXPECT_EQ(DecodeInto(decoder, huge.data(), huge.size(), pool, &none), paramErr);
  EXPECT_EQ(none, nullptr);
}

TEST(FramePoolTest, StorageIsReusedOnlyForTheSameSize) {
  FramePool pool;
  CaptureFrameRef frame = pool.Acquire(7, 3);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->Width(), 8);
  EXPECT_EQ(frame->RowBytes(), 16);
  const uint8_t* storage = frame->BaseAddress();
  frame.reset();
  CaptureFrameRef again = pool.Acquire(8, 3);
  EXPECT_EQ(again->BaseAddress(), storage);
  CaptureFrameRef other = pool.Acquire(8, 3);
  EXPECT_NE(other->BaseAddress(), storage);
  EXPECT_EQ(pool.Acquire(0, 3), nullptr);
  // A frame may outlive its pool.
  auto shortLived = std::make_unique<FramePool>();
  CaptureFrameRef survivor = shortLived->Acquire(4, 4);
  shortLived.reset();
  survivor->BaseAddress()[31] = 1;
}

TEST(V4L2DeviceTest, NodesThatAreNotCaptureDevicesAreRefusedOrLeftOut) {
  V4L2NodeInfo info;
  EXPECT_EQ(ProbeV4L2Node("/nonexistent/video0", &info), fnfErr);
  EXPECT_NE(ProbeV4L2Node("/dev/null", &info), noErr);

  TempDir dir;
  std::ofstream(dir.path() + "/video0") << "not a device";
  ASSERT_EQ(symlink("/dev/null", (dir.path() + "/video1").c_str()), 0);
  std::ofstream(dir.path() + "/videofoo") << "";
  ASSERT_EQ(symlink("/dev/null", (dir.path() + "/link-to-null").c_str()), 0);
  V4L2Backend backend(dir.path(), dir.path());
  std::vector<CaptureDeviceDescription> devices;
  backend.ListDevices(devices);
  EXPECT_TRUE(devices.empty());
  EXPECT_EQ(backend.FindDevice("v4l2:link-to-null"), nullptr);
  EXPECT_EQ(backend.FindDevice("framewright-test-pattern"), nullptr);

  // Starting a device on a node that has turned into something else fails
  // cleanly, and stopping it afterwards is harmless.
  CaptureDeviceDescription description;
  description.uniqueID = "v4l2:gone";
  std::unique_ptr<CaptureDevice> device = NewV4L2Device("/dev/null", description);
  struct : FrameSink {
    void FrameArrived(CaptureFrameRef) override { ADD_FAILURE(); }
    void RuntimeErrorOccurred(OSErr) override { ADD_FAILURE(); }
  } sink;
  EXPECT_NE(device->Start(CaptureStreamRequest{}, sink), noErr);
  device->Stop();
  std::unique_ptr<CaptureDevice> missing = NewV4L2Device(dir.path() + "/video9", description);
  EXPECT_EQ(missing->Start(CaptureStreamRequest{}, sink), fnfErr);
}

TEST(V4L2DeviceTest, ListingTheMachinesOwnNodesDoesNotFail) {
  // This machine may or may not have cameras; the listing must cope either way.
  V4L2Backend backend;
  std::vector<CaptureDeviceDescription> devices;
  backend.ListDevices(devices);
  for (const CaptureDeviceDescription& device : devices) {
    EXPECT_EQ(device.uniqueID.rfind(kV4L2UniqueIDPrefix, 0), 0u);
    EXPECT_NE(backend.FindDevice(device.uniqueID), nullptr);
  }
}

}  // namespace
