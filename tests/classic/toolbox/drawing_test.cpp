// Decompression sequences: frames drawn through a matrix into a window's
// port, held against the software preview's own kernels; DV frames encoded
// here from a known picture and drawn back.
#include <array>
#include <cstdlib>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include "core/imaging/soft_scaler.h"
#include "core/util/pixmap.h"
#include "toolbox_test_support.h"

using namespace fw;

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;

// Eight vertical colour bars (75%), as Y'CbCr.
struct YCbCr {
  uint8_t y, cb, cr;
};
constexpr std::array<YCbCr, 8> kBars{{{180, 128, 128},
                                      {162, 44, 142},
                                      {131, 156, 44},
                                      {112, 72, 58},
                                      {84, 184, 198},
                                      {65, 100, 212},
                                      {35, 212, 114},
                                      {16, 128, 128}}};

std::vector<uint8_t> ColourBars2vuy() {
  std::vector<uint8_t> frame(static_cast<size_t>(Row2vuyBytesNeeded(kWidth)) * kHeight);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; x += 2) {
      const YCbCr& bar = kBars[static_cast<size_t>(x * 8 / kWidth)];
      uint8_t* p = frame.data() + y * Row2vuyBytesNeeded(kWidth) + x * 2;
      p[0] = bar.cb;
      p[1] = bar.y;
      p[2] = bar.cr;
      p[3] = bar.y;
    }
  }
  return frame;
}

ImageDescription Description(OSType codec, int width, int height, int depth) {
  ImageDescription d;
  d.cType = codec;
  d.width = static_cast<int16_t>(width);
  d.height = static_cast<int16_t>(height);
  d.depth = static_cast<int16_t>(depth);
  return d;
}

// The port's pixels within r.
std::vector<uint32_t> PortRect(WindowRef window, const Rect& r) {
  const PortPixels port = GetPortPixels(window);
  std::vector<uint32_t> out;
  for (int y = r.top; y < r.bottom; ++y) {
    for (int x = r.left; x < r.right; ++x) out.push_back(port.pixels[y * port.width + x]);
  }
  return out;
}

// What the software preview draws for the same picture into w × h.
std::vector<uint32_t> PreviewPicture(const YCbCrImageView& source, int w, int h, Mirroring mirroring) {
  std::vector<uint32_t> out(static_cast<size_t>(w) * h);
  YCbCrScaler scaler;
  scaler.Draw(source, RGB32ImageView{out.data(), w * 4, w, h}, mirroring, ChooseYCbCrMatrix(kWidth, kHeight));
  return out;
}

}  // namespace

class DrawingTest : public ToolboxTest {
 protected:
  void SetUp() override {
    ToolboxTest::SetUp();
    const Rect bounds{100, 100, 200, 200};
    window_ = NewCWindow(nullptr, &bounds, nullptr, WindowVisibility::kVisible, 0, kFirstWindowOfClass,
                         WindowCloseBox::kPresent, 0);
  }
  WindowRef window_ = nullptr;
};

TEST_F(DrawingTest, TwoVuyThroughRectMatrixEqualsThePreviewPicture) {
  const std::vector<uint8_t> frame = ColourBars2vuy();
  const YCbCrImageView whole{frame.data(), Row2vuyBytesNeeded(kWidth), kWidth, kHeight};
  const ImageDescription desc = Description(k2vuyPixelFormat, kWidth, kHeight, 24);
  const Rect grabber{0, 0, kHeight, kWidth};
  const Rect half{10, 10, 34, 42};
  const Rect halfMirrored{10, 42, 34, 10};  // left and right swapped
  const Rect crop{6, 4, 44, 58};            // top 6, left 4, bottom 44, right 58
  const YCbCrImageView cropped{frame.data() + 6 * whole.rowBytes + 2 * 4, whole.rowBytes, 54, 38};
  const struct {
    const Rect* source;
    Rect view;
    YCbCrImageView expectedSource;
    Rect expectedAt;
    Mirroring mirroring;
  } cases[] = {
      {nullptr, half, whole, half, Mirroring::kNone},
      {nullptr, halfMirrored, whole, half, Mirroring::kHorizontal},
      {nullptr, Rect{60, 10, 36, 42}, whole, Rect{36, 10, 60, 42}, Mirroring::kVertical},
      {&crop, Rect{40, 30, 78, 84}, cropped, Rect{40, 30, 78, 84}, Mirroring::kNone},
  };
  for (const auto& c : cases) {
    SetPortWindowPort(window_);
    const Rect all = GetWindowRectLocal(window_);
    EraseRect(&all);
    MatrixRecord matrix;
    RectMatrix(&matrix, c.source != nullptr ? c.source : &grabber, &c.view);
    ImageSequence seq = 0;
    ASSERT_EQ(DecompressSequenceBeginS(&seq, &desc, nullptr, 0, GetWindowPort(window_), nullptr, c.source,
                                       &matrix, srcCopy, nullptr, 0, codecHighQuality, nullptr),
              noErr);
    ASSERT_EQ(DecompressSequenceFrameWhen(seq, frame.data(), static_cast<int32_t>(frame.size()), 0, nullptr,
                                          nullptr, nullptr),
              noErr);
    const int w = c.expectedAt.right - c.expectedAt.left, h = c.expectedAt.bottom - c.expectedAt.top;
    EXPECT_EQ(PortRect(window_, c.expectedAt), PreviewPicture(c.expectedSource, w, h, c.mirroring))
        << c.view.top << "," << c.view.left;
    // Nothing is drawn outside the destination.
    EXPECT_EQ(PortRect(window_, Rect{0, 0, 1, 100}), std::vector<uint32_t>(100, 0xFFFFFFFFu));
    EXPECT_EQ(CDSequenceEnd(seq), noErr);
  }
}

TEST_F(DrawingTest, Raw32BitFramesAndRefusals) {
  // 'raw ' of depth 32: the bytes A R G B per pixel.
  std::vector<uint8_t> raw(8 * 4 * 4);
  for (size_t i = 0; i < raw.size() / 4; ++i) {
    raw[i * 4 + 0] = 0x00;
    raw[i * 4 + 1] = static_cast<uint8_t>(i * 7);
    raw[i * 4 + 2] = 0x80;
    raw[i * 4 + 3] = static_cast<uint8_t>(255 - i);
  }
  const ImageDescription desc = Description(k32RawCodecType, 8, 4, 32);
  ImageSequence seq = 0;
  ASSERT_EQ(DecompressSequenceBeginS(&seq, &desc, nullptr, 0, GetWindowPort(window_), nullptr, nullptr,
                                     nullptr, srcCopy, nullptr, 0, codecHighQuality, nullptr),
            noErr);
  ASSERT_EQ(DecompressSequenceFrameWhen(seq, raw.data(), static_cast<int32_t>(raw.size()), 0, nullptr,
                                        nullptr, nullptr),
            noErr);
  const std::vector<uint32_t> drawn = PortRect(window_, Rect{0, 0, 4, 8});
  for (size_t i = 0; i < drawn.size(); ++i) {
    EXPECT_EQ(drawn[i], 0xFF000000u | (uint32_t(i * 7) << 16) | 0x8000u | (255 - i)) << i;
  }
  EXPECT_EQ(DecompressSequenceFrameWhen(seq, raw.data(), 40, 0, nullptr, nullptr, nullptr), codecBadDataErr);
  // A window disposed of under a running sequence is not drawn into.
  DisposeWindow(window_);
  EXPECT_EQ(DecompressSequenceFrameWhen(seq, raw.data(), static_cast<int32_t>(raw.size()), 0, nullptr,
                                        nullptr, nullptr),
            paramErr);
  EXPECT_EQ(CDSequenceEnd(seq), noErr);
  EXPECT_EQ(CDSequenceEnd(seq), paramErr);

  const Rect bounds{0, 0, 10, 10};
  WindowRef other =
      NewCWindow(nullptr, &bounds, nullptr, WindowVisibility::kVisible, 0, nullptr, WindowCloseBox::kNone, 0);
  const ImageDescription jpeg = Description(FourCC("jpeg"), 8, 4, 24);
  const ImageDescription raw16 = Description(k32RawCodecType, 8, 4, 16);
  EXPECT_EQ(DecompressSequenceBeginS(&seq, &jpeg, nullptr, 0, other, nullptr, nullptr, nullptr, srcCopy,
                                     nullptr, 0, codecHighQuality, nullptr),
            noCodecErr);
  EXPECT_EQ(seq, 0);
  EXPECT_EQ(DecompressSequenceBeginS(&seq, &raw16, nullptr, 0, other, nullptr, nullptr, nullptr, srcCopy,
                                     nullptr, 0, codecHighQuality, nullptr),
            noCodecErr);
}

namespace {

struct Deleters {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
  void operator()(AVFrame* f) const { av_frame_free(&f); }
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};

// Four quadrants of known Y'CbCr, encoded as one PAL DV frame.
constexpr YCbCr kQuadrants[4] = {{180, 128, 128}, {81, 90, 240}, {145, 54, 34}, {41, 240, 110}};

std::vector<uint8_t> EncodeQuadrantsAsDV() {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_DVVIDEO);
  if (codec == nullptr) return {};
  std::unique_ptr<AVCodecContext, Deleters> context(avcodec_alloc_context3(codec));
  context->width = 720;
  context->height = 576;
  context->pix_fmt = AV_PIX_FMT_YUV420P;
  context->time_base = AVRational{1, 25};
  if (avcodec_open2(context.get(), codec, nullptr) < 0) return {};
  std::unique_ptr<AVFrame, Deleters> frame(av_frame_alloc());
  frame->width = 720;
  frame->height = 576;
  frame->format = AV_PIX_FMT_YUV420P;
  if (av_frame_get_buffer(frame.get(), 0) < 0) return {};
  for (int y = 0; y < 576; ++y) {
    for (int x = 0; x < 720; ++x) {
      const YCbCr& q = kQuadrants[(y >= 288 ? 2 : 0) + (x >= 360 ? 1 : 0)];
      frame->data[0][y * frame->linesize[0] + x] = q.y;
      frame->data[1][(y / 2) * frame->linesize[1] + x / 2] = q.cb;
      frame->data[2][(y / 2) * frame->linesize[2] + x / 2] = q.cr;
    }
  }
  std::unique_ptr<AVPacket, Deleters> packet(av_packet_alloc());
  if (avcodec_send_frame(context.get(), frame.get()) < 0) return {};
  if (avcodec_receive_packet(context.get(), packet.get()) < 0) return {};
  return std::vector<uint8_t>(packet->data, packet->data + packet->size);
}

}  // namespace

TEST_F(DrawingTest, DVFrameIsDrawnRecognisably) {
  const std::vector<uint8_t> dv = EncodeQuadrantsAsDV();
  ASSERT_EQ(dv.size(), 144000u);
  const Rect bounds{0, 0, 300, 370};
  WindowRef window = NewCWindow(nullptr, &bounds, nullptr, WindowVisibility::kVisible, 0, kFirstWindowOfClass,
                                WindowCloseBox::kNone, 0);
  const ImageDescription desc = Description(kDVCPALCodecType, 720, 576, 24);
  const Rect frameRect{0, 0, 576, 720};
  const Rect view{10, 10, 298, 370};  // half size
  MatrixRecord matrix;
  RectMatrix(&matrix, &frameRect, &view);
  ImageSequence seq = 0;
  ASSERT_EQ(DecompressSequenceBeginS(&seq, &desc, nullptr, 0, window, nullptr, nullptr, &matrix, srcCopy,
                                     nullptr, 0, codecHighQuality, nullptr),
            noErr);
  ASSERT_EQ(DecompressSequenceFrameWhen(seq, dv.data(), static_cast<int32_t>(dv.size()), 0, nullptr, nullptr,
                                        nullptr),
            noErr);
  const YCbCrTables tables(YCbCrMatrix::kBT601);
  const PortPixels port = GetPortPixels(window);
  const Point centres[4] = {{82, 100}, {82, 280}, {226, 100}, {226, 280}};
  for (int q = 0; q < 4; ++q) {
    const uint32_t expected = tables.ToRGB32(kQuadrants[q].y, kQuadrants[q].cb, kQuadrants[q].cr);
    const uint32_t drawn = port.pixels[centres[q].v * port.width + centres[q].h];
    for (int shift : {16, 8, 0}) {
      EXPECT_NEAR(static_cast<int>((drawn >> shift) & 0xFF), static_cast<int>((expected >> shift) & 0xFF), 12)
          << "quadrant " << q << " channel shift " << shift;
    }
  }
  EXPECT_EQ(DecompressSequenceFrameWhen(seq, dv.data(), 100, 0, nullptr, nullptr, nullptr), codecBadDataErr);
  EXPECT_EQ(CDSequenceEnd(seq), noErr);
}
