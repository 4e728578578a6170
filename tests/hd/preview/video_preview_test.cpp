#include "hd/preview/video_preview.h"

#include <gtest/gtest.h>

#include <deque>

#include "preview_test_support.h"

using namespace fw;

namespace {

using namespace preview_test;

// A 160 × 90 test card at `top`, 20 pixels in, in a wider frame of solid
// red: a trimmed picture with other bytes around it.
Frame2vuy CardInRedFrame(int32_t width, int32_t height, int32_t top) {
  Frame2vuy frame(width, height);
  frame.Fill(0, 0, width, height, kBars601[5]);
  const Frame2vuy card = MakeTestCard(160, 90);
  for (int32_t y = 0; y < 90; ++y)
    std::copy_n(card.bytes.data() + y * card.rowBytes, 320, frame.Row(y + top) + 40);
  return frame;
}

// An OpenGL context that records what the preview asks of it.
class FakeGLContext : public PreviewGLContext {
 public:
  class Pipe : public GLFramePipe {
   public:
    explicit Pipe(FakeGLContext* owner) : owner_(owner) {}
    ~Pipe() override { ++owner_->pipesDestroyed; }
    OSErr DrawFrame(const void* baseAddr) override {
      owner_->drawnFrom.push_back(baseAddr);
      return owner_->drawError;
    }
    uint32_t TextureName() const override { return 7; }
    OSErr SetOverlay(const void* image, int32_t, uint32_t weight256) override {
      owner_->overlays.emplace_back(image, weight256);
      return noErr;
    }

   private:
    FakeGLContext* owner_;
  };

  OSErr OpenFramePipe(const GLFrameSetup& setup, std::unique_ptr<GLFramePipe>* out) override {
    ++opened;
    lastSetup = setup;
    if (openError != noErr) return openError;
    *out = std::make_unique<Pipe>(this);
    return noErr;
  }

  int opened = 0;
  OSErr openError = noErr;
  OSErr drawError = noErr;
  GLFrameSetup lastSetup;
  std::vector<const void*> drawnFrom;
  std::vector<std::pair<const void*, uint32_t>> overlays;
  int pipesDestroyed = 0;
};

class VideoPreviewTest : public testing::Test {
 protected:
  void TearDown() override {
    VPDisposePreview(ref_);
    SetGLCapabilityFailureForTesting(false);
    ClearImageSequenceFaults();
  }

  OSErr Start(Input& input, PreviewSurface* window, Rect previewRect, bool flipH = false,
              bool flipV = false) {
    VPDisposePreview(ref_);
    ref_ = nullptr;
    return VPStartPreview(input.pixMap.get(), &input.description, window, &previewRect, flipH, flipV, false,
                          &ref_);
  }

  void ExpectShowsReference(const FakeSurface& window, const Input& input, bool flipH, bool flipV,
                            int tolerance) {
    const Rect& d = ref_->destRect;
    ASSERT_EQ(window.shownRect, d);
    const int32_t dw = d.right - d.left, dh = d.bottom - d.top;
    const std::vector<RGB> ref = ReferencePicture(
        static_cast<const uint8_t*>(input.pixMap->baseAddr), input.pixMap->rowBytes, input.description.width,
        input.description.height, dw, dh, flipH, flipV, ref_->matrix);
    int worst = 0;
    for (int32_t y = 0; y < dh; ++y)
      for (int32_t x = 0; x < dw; ++x)
        worst =
            std::max(worst, MaxChannelDifference(window.ShownAt(x, y), ref[static_cast<size_t>(y) * dw + x]));
    EXPECT_LE(worst, tolerance);
  }

  // Windows and contexts outlive the preview, as the application keeps them.
  FakeSurface& Window(int32_t w, int32_t h) { return windows_.emplace_back(w, h); }

  std::deque<FakeSurface> windows_;
  FakeGLContext gl_;
  VideoPreviewRef ref_ = nullptr;
};

TEST_F(VideoPreviewTest, PreviewRectangles) {
  FakeSurface& mainWindow = Window(800, 600);
  Rect r;
  CalculatePreviewRect(&r, &mainWindow, CaptureState::kIdle);
  EXPECT_EQ(r, (Rect{36, 10, 546, 790}));
  CalculatePreviewRect(&r, nullptr, CaptureState::kIdle);
  EXPECT_EQ(r, (Rect{36, 10, -54, -10}));

  FakeSurface& captureWindow = Window(1440, 900);
  CalculatePreviewRect(&r, &captureWindow, CaptureState::kCapturing);
  EXPECT_EQ(r, (Rect{70, 10, 900, 1430}));

  // The picture's rectangle: the image fitted and centred in the preview's.
  struct Case {
    int32_t w, h;
    Rect previewRect, expected;
  };
  for (const Case& c : {Case{640, 480, {0, 0, 400, 400}, {50, 0, 350, 400}},
                        Case{720, 486, {0, 0, 600, 1000}, {0, 55, 600, 944}},
                        Case{1920, 1080, {36, 10, 546, 790}, {71, 10, 510, 790}}}) {
    Input input(Frame2vuy(c.w, c.h));
    ASSERT_EQ(Start(input, &mainWindow, c.previewRect), noErr);
    EXPECT_EQ(ref_->destRect, c.expected) << c.w << "x" << c.h;
    EXPECT_EQ(ref_->previewRect, c.previewRect);
    EXPECT_EQ(ref_->imageBounds, (Rect{0, 0, static_cast<int16_t>(c.h), static_cast<int16_t>(c.w)}));
  }
}

TEST_F(VideoPreviewTest, ArgumentErrors) {
  FakeSurface& window = Window(800, 600);
  Input input(Frame2vuy(64, 48));
  const Rect rect{0, 0, 100, 100};
  VideoPreviewRef out = reinterpret_cast<VideoPreviewRef>(0x1);
  EXPECT_EQ(VPStartPreview(nullptr, &input.description, &window, &rect, false, false, false, &out), 32);
  EXPECT_EQ(VPStartPreview(input.pixMap.get(), nullptr, &window, &rect, false, false, false, &out), 33);
  EXPECT_EQ(VPStartPreview(input.pixMap.get(), &input.description, nullptr, &rect, false, false, false, &out),
            34);
  EXPECT_EQ(out, reinterpret_cast<VideoPreviewRef>(0x1)) << "written only on success";
  EXPECT_EQ(VPDisplayFrame(nullptr), 37);
  EXPECT_EQ(VPRestartQTPreview(nullptr), 79);
  VPDisposePreview(nullptr);

  ASSERT_EQ(Start(input, &window, rect), noErr);
  input.pixMap->baseAddr = nullptr;
  EXPECT_EQ(VPDisplayFrame(ref_), 38);
  EXPECT_EQ(window.showCalls, 0);

  // Frame descriptions the renderer cannot read safely.
  Input shortRows(Frame2vuy(64, 48));
  shortRows.pixMap->rowBytes = 126;
  EXPECT_EQ(VPStartPreview(shortRows.pixMap.get(), &shortRows.description, &window, &rect, false, false,
                           false, &out),
            paramErr);
  Input mismatched(Frame2vuy(64, 48));
  mismatched.description.width = 128;
  EXPECT_EQ(VPStartPreview(mismatched.pixMap.get(), &mismatched.description, &window, &rect, false, false,
                           false, &out),
            paramErr);
  Input notYCbCr(Frame2vuy(64, 48));
  notYCbCr.pixMap->pixelFormat = FourCC("BGRA");
  EXPECT_EQ(
      VPStartPreview(notYCbCr.pixMap.get(), &notYCbCr.description, &window, &rect, false, false, false, &out),
      paramErr);
  EXPECT_EQ(out, reinterpret_cast<VideoPreviewRef>(0x1));

  // A frame whose row pitch changed after the start would be misread.
  input.pixMap->baseAddr = input.frame.bytes.data();
  input.pixMap->rowBytes += 4;
  EXPECT_EQ(VPDisplayFrame(ref_), paramErr);
  EXPECT_EQ(window.showCalls, 0);
}

TEST_F(VideoPreviewTest, OpenGLPathUploadsEachFrameInPlace) {
  FakeGLContext& gl = gl_;
  FakeSurface& window = Window(800, 600);
  window.glContext = &gl;
  // A 1900 × 1000 image trimmed out of a 1920-pixel-wide frame.
  Input input(Frame2vuy(1920, 1004), Rect{0, 0, 1000, 1900}, 2 * 1920 * 2 + 2 * 10);
  ASSERT_EQ(Start(input, &window, Rect{36, 10, 546, 790}, true, false), noErr);
  EXPECT_EQ(VPGetDrawingMode(ref_), PreviewDrawingMode::kOpenGL);
  EXPECT_EQ(ref_->texInternalFormat, kGLRGBA8);
  EXPECT_EQ(gl.lastSetup.imageWidth, 1900);
  EXPECT_EQ(gl.lastSetup.imageHeight, 1000);
  EXPECT_EQ(gl.lastSetup.rowLengthTexels, 1920 / 2);
  EXPECT_EQ(gl.lastSetup.destRect, ref_->destRect);
  EXPECT_EQ(gl.lastSetup.mirroring, Mirroring::kHorizontal);
  EXPECT_EQ(gl.lastSetup.matrix, YCbCrMatrix::kBT709);

  EXPECT_EQ(VPDisplayFrame(ref_), noErr);
  ASSERT_EQ(gl.drawnFrom.size(), 1u);
  EXPECT_EQ(gl.drawnFrom[0], input.pixMap->baseAddr);
  EXPECT_EQ(window.repaints, 1);
  gl.drawError = 0x0505;  // GL_OUT_OF_MEMORY
  EXPECT_EQ(VPDisplayFrame(ref_), 0x0505);
  EXPECT_EQ(window.showCalls, 0) << "nothing goes through the software path";
  EXPECT_EQ(VPRestartQTPreview(ref_), noErr);
  EXPECT_EQ(VPGetDrawingMode(ref_), PreviewDrawingMode::kOpenGL);

  VPDisposePreview(ref_);
  ref_ = nullptr;
  EXPECT_EQ(gl.pipesDestroyed, 1);

  Input sd(Frame2vuy(720, 486));
  ASSERT_EQ(Start(sd, &window, Rect{0, 0, 600, 1000}, true, true), noErr);
  EXPECT_EQ(gl.lastSetup.matrix, YCbCrMatrix::kBT601);
  EXPECT_EQ(gl.lastSetup.mirroring, Mirroring::kBoth);
}

TEST_F(VideoPreviewTest, FailedCapabilityTestFallsBackSilently) {
  FakeGLContext& gl = gl_;
  FakeSurface& window = Window(640, 480);
  window.glContext = &gl;
  Input input = Input(MakeTestCard(160, 90));

  SetGLCapabilityFailureForTesting(true);
  ASSERT_EQ(Start(input, &window, Rect{36, 10, 426, 630}), noErr);
  EXPECT_EQ(VPGetDrawingMode(ref_), PreviewDrawingMode::kSequenceInWindow);
  EXPECT_EQ(gl.opened, 0);
  EXPECT_EQ(VPDisplayFrame(ref_), noErr);
  ExpectShowsReference(window, input, false, false, 3);
  SetGLCapabilityFailureForTesting(false);

  gl.openError = 0x0500;  // the context refuses these frames
  ASSERT_EQ(Start(input, &window, Rect{36, 10, 426, 630}), noErr);
  EXPECT_EQ(gl.opened, 1);
  EXPECT_EQ(VPGetDrawingMode(ref_), PreviewDrawingMode::kSequenceInWindow);
  EXPECT_EQ(VPDisplayFrame(ref_), noErr);
  EXPECT_TRUE(gl.drawnFrom.empty());

  // Rows not a whole number of texels cannot be unpacked in place.
  gl.openError = noErr;
  Input oddPitch(Frame2vuy(160, 90, 322));
  ASSERT_EQ(Start(oddPitch, &window, Rect{36, 10, 426, 630}), noErr);
  EXPECT_EQ(gl.opened, 1);
  EXPECT_EQ(VPGetDrawingMode(ref_), PreviewDrawingMode::kSequenceInWindow);
}

TEST_F(VideoPreviewTest, FallbackShowsTheFittedMirroredTrimmedPicture) {
  FakeSurface& window = Window(800, 600);
  // A test card trimmed out of a wider, taller frame of solid red.
  const Frame2vuy frame = CardInRedFrame(200, 120, 20);
  Input input(frame, Rect{0, 0, 90, 160}, 20 * frame.rowBytes + 2 * 20);
  for (int flips = 0; flips < 4; ++flips) {
    const bool flipH = (flips & 1) != 0, flipV = (flips & 2) != 0;
    SCOPED_TRACE(testing::Message() << "flipH " << flipH << " flipV " << flipV);
    ASSERT_EQ(Start(input, &window, Rect{36, 10, 546, 790}, flipH, flipV), noErr);
    EXPECT_EQ(VPDisplayFrame(ref_), noErr);
    EXPECT_EQ(ref_->destRect, (Rect{71, 10, 510, 790}));
    ExpectShowsReference(window, input, flipH, flipV, 3);
    // No red from outside the trimmed image, even at the edges.
    const int32_t w = 780, h = 439;
    for (const auto& [x, y] :
         {std::pair{0, 0}, std::pair{w - 1, 0}, std::pair{0, h - 1}, std::pair{w - 1, h - 1}}) {
      const RGB p = window.ShownAt(x, y);
      EXPECT_FALSE(p.r > 150 && p.g < 40 && p.b < 40) << x << "," << y;
    }
  }
  VPDisposePreview(ref_);
  ref_ = nullptr;
  EXPECT_EQ(window.clearedRect, (Rect{71, 10, 510, 790}));
}

// The capture loop hands frames over faster than a software renderer draws
// them: each costs a copy, and the window's repaint converts only the newest.
TEST_F(VideoPreviewTest, DeferringWindowConvertsOnlyTheNewestFrameAtItsRepaint) {
  FakeSurface& window = Window(800, 600);
  window.defersDrawing = true;
  SetGLCapabilityFailureForTesting(true);
  // The image is trimmed out of the bottom right corner of the device's
  // buffer, so its last row ends at the buffer's last byte.
  const Frame2vuy card = MakeTestCard(160, 90);
  Frame2vuy frame(200, 120);
  auto fill = [&](const Frame2vuy& picture) {
    for (int32_t y = 0; y < 90; ++y)
      std::copy_n(picture.bytes.data() + y * picture.rowBytes, 320, frame.Row(y + 30) + 80);
  };
  Frame2vuy red(160, 90), green(160, 90);
  red.Fill(0, 0, 160, 90, kBars601[5]);
  green.Fill(0, 0, 160, 90, kBars601[3]);
  fill(red);
  Input input(frame, Rect{0, 0, 90, 160}, 30 * frame.rowBytes + 2 * 40);
  ASSERT_EQ(static_cast<const uint8_t*>(input.pixMap->baseAddr) + 89 * frame.rowBytes + 320,
            input.frame.bytes.data() + input.frame.bytes.size());
  ASSERT_EQ(Start(input, &window, Rect{36, 10, 546, 790}), noErr);
  ASSERT_EQ(window.deferred, ref_->pendingFrame.get());

  auto fillInput = [&](const Frame2vuy& picture) {
    for (int32_t y = 0; y < 90; ++y)
      std::copy_n(picture.bytes.data() + y * picture.rowBytes, 320,
                  static_cast<uint8_t*>(input.pixMap->baseAddr) + y * frame.rowBytes);
  };
  EXPECT_EQ(VPDisplayFrame(ref_), noErr);
  fillInput(card);
  EXPECT_EQ(VPDisplayFrame(ref_), noErr);
  fillInput(green);  // the device reuses its buffer once the call returns
  EXPECT_EQ(window.showCalls, 0);
  EXPECT_GE(window.repaints, 1);

  window.Repaint();
  window.Repaint();
  EXPECT_EQ(window.showCalls, 1);
  fillInput(card);
  ExpectShowsReference(window, input, false, false, 3);

  VPDisposePreview(ref_);
  ref_ = nullptr;
  EXPECT_EQ(window.deferred, nullptr);
}

TEST_F(VideoPreviewTest, FallbackModesOnlyMoveForward) {
  FakeSurface& window = Window(800, 600);
  Input input(MakeTestCard(160, 90));
  ASSERT_EQ(Start(input, &window, Rect{0, 0, 180, 320}, true, false), noErr);
  ASSERT_EQ(VPGetDrawingMode(ref_), PreviewDrawingMode::kSequenceInWindow);

  // One failure: the restarted sequence draws, and the mode stays.
  InjectImageSequenceFault({codecErr, 0, codecErr, 1});
  EXPECT_EQ(VPDisplayFrame(ref_), noErr);
  EXPECT_EQ(VPGetDrawingMode(ref_), PreviewDrawingMode::kSequenceInWindow);
  const std::vector<uint32_t> windowPicture = window.shown;
  ASSERT_FALSE(windowPicture.empty());

  // The window refuses twice: the sequence is restarted, then moved into an
  // off-screen buffer that is copied to the window.
  window.shown.clear();
  window.showFailures = 2;
  EXPECT_EQ(VPDisplayFrame(ref_), noErr);
  EXPECT_EQ(VPGetDrawingMode(ref_), PreviewDrawingMode::kSequenceOffscreen);
  ASSERT_NE(ref_->offscreenGWorld, nullptr);
  EXPECT_EQ(ref_->offscreenPixMap, &ref_->offscreenGWorld->pixMap);
  ASSERT_EQ(window.shown.size(), windowPicture.size()) << "the switching frame is shown already";
  // Converting before scaling rounds twice, and clamps differently where
  // white meets colour; elsewhere the pictures agree.
  int worst = 0;
  size_t outliers = 0;
  for (size_t i = 0; i < windowPicture.size(); ++i) {
    const int d = MaxChannelDifference(Unpack(window.shown[i]), Unpack(windowPicture[i]));
    worst = std::max(worst, d);
    outliers += d > 3;
  }
  EXPECT_LE(worst, 12);
  EXPECT_LT(outliers, windowPicture.size() / 100);
  EXPECT_EQ(VPRestartQTPreview(ref_), noErr);
  EXPECT_EQ(VPGetDrawingMode(ref_), PreviewDrawingMode::kSequenceOffscreen) << "never back to the window";

  // Off-screen, a second failure is returned and the mode stays.
  InjectImageSequenceFault({codecErr, 0, -8969, 2});
  EXPECT_EQ(VPDisplayFrame(ref_), -8969);
  EXPECT_EQ(VPGetDrawingMode(ref_), PreviewDrawingMode::kSequenceOffscreen);

  // A restart that fails leaves no sequence: the first error is returned and
  // frames are copied directly from then on.
  InjectImageSequenceFault({-108, 1, -8969, 1});
  EXPECT_EQ(VPDisplayFrame(ref_), -8969);
  EXPECT_EQ(VPGetDrawingMode(ref_), PreviewDrawingMode::kDirectCopy);
  window.shown.clear();
  EXPECT_EQ(VPDisplayFrame(ref_), noErr);
  ExpectShowsReference(window, input, true, false, 3);
  EXPECT_EQ(VPRestartQTPreview(ref_), noErr);
  EXPECT_EQ(VPGetDrawingMode(ref_), PreviewDrawingMode::kDirectCopy);
  window.showFailures = 1;
  window.showError = -108;
  EXPECT_EQ(VPDisplayFrame(ref_), -108) << "a window that cannot take the copy is reported";
}

TEST_F(VideoPreviewTest, NothingToDrawIntoIsNotAnError) {
  FakeSurface& window = Window(800, 600);
  Input input(MakeTestCard(160, 90));
  ASSERT_EQ(Start(input, &window, Rect{0, 0, 180, 320}), noErr);
  window.showFailures = 3;
  window.showError = codecNothingToBlitErr;
  EXPECT_EQ(VPDisplayFrame(ref_), noErr);
  EXPECT_EQ(window.showCalls, 1) << "a hidden window is no reason to restart";
  EXPECT_EQ(VPGetDrawingMode(ref_), PreviewDrawingMode::kSequenceInWindow);

  // A window too small for any picture: nothing is drawn anywhere (not the
  // whole frame at the window's origin).
  FakeSurface& tiny = Window(15, 40);
  Rect previewRect;
  CalculatePreviewRect(&previewRect, &tiny, CaptureState::kIdle);
  ASSERT_EQ(Start(input, &tiny, previewRect), noErr);
  EXPECT_EQ(VPDisplayFrame(ref_), noErr);
  EXPECT_EQ(tiny.showCalls, 0);
}

TEST_F(VideoPreviewTest, StartFailsWhenTheFallbackCannotBegin) {
  FakeSurface& window = Window(800, 600);
  Input input(MakeTestCard(160, 90));
  input.description.cType = FourCC("jpeg");
  VideoPreviewRef out = nullptr;
  const Rect rect{0, 0, 180, 320};
  EXPECT_EQ(VPStartPreview(input.pixMap.get(), &input.description, &window, &rect, false, false, false, &out),
            noCodecErr);
  EXPECT_EQ(out, nullptr);
  input.description.cType = k2vuyPixelFormat;
  InjectImageSequenceFault({-108, 1, codecErr, 0});
  EXPECT_EQ(VPStartPreview(input.pixMap.get(), &input.description, &window, &rect, false, false, false, &out),
            -108);
  EXPECT_EQ(out, nullptr);
}

}  // namespace

namespace {

// Each channel of `over` laid on `picture` at weight256 / 256, unrounded.
double Mixed(int picture, int over, uint32_t weight256) {
  return (picture * (256.0 - weight256) + over * static_cast<double>(weight256)) / 256.0;
}

}  // namespace

// The onion skin on the software path: what the window shows is the frame
// and the laid-over picture, each drawn as alone (fitted, mirrored), mixed at
// the weight; in every drawing mode, from a picture of another row pitch.
TEST_F(VideoPreviewTest, OverlayIsMixedIntoTheSoftwarePictureAtItsWeight) {
  SetGLCapabilityFailureForTesting(true);
  // The live frame is trimmed out of a wider frame; the laid-over picture
  // has rows packed, as a written frame.
  const Frame2vuy frame = CardInRedFrame(200, 100, 10);
  Input live(frame, Rect{0, 0, 90, 160}, 10 * frame.rowBytes + 2 * 20);
  Frame2vuy bars(160, 90);
  DrawBars(&bars, kBars601, 0, 0, 160, 90);
  Input over(bars);

  struct Case {
    const char* mode;
    bool defers;
    int frameFaults;  // two failed frames switch the sequence off-screen
    uint32_t weight256;
  } cases[] = {
      {"in the window", false, 0, 128},
      {"at the repaint", true, 0, 64},
      {"off-screen", false, 2, 192},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    FakeSurface& window = Window(800, 600);
    window.defersDrawing = c.defers;
    auto picture = [&](Input& input, const Input* overlay) {
      EXPECT_EQ(Start(input, &window, Rect{36, 10, 546, 790}, true, false), noErr);
      if (overlay != nullptr) {
        EXPECT_EQ(fw::VPSetOverlay(ref_, static_cast<const uint8_t*>(overlay->pixMap->baseAddr),
                                   overlay->frame.rowBytes, c.weight256),
                  noErr);
      }
      InjectImageSequenceFault({codecErr, 0, codecErr, c.frameFaults});
      EXPECT_EQ(VPDisplayFrame(ref_), noErr);
      window.Repaint();
      return window.shown;
    };
    const std::vector<uint32_t> alone = picture(live, nullptr);
    const std::vector<uint32_t> overAlone = picture(over, nullptr);
    const std::vector<uint32_t> mixed = picture(live, &over);
    if (c.frameFaults > 0) {
      EXPECT_EQ(VPGetDrawingMode(ref_), PreviewDrawingMode::kSequenceOffscreen);
    }
    ASSERT_EQ(mixed.size(), alone.size());
    ASSERT_EQ(overAlone.size(), alone.size());
    double worst = 0;
    for (size_t i = 0; i < mixed.size(); ++i) {
      const RGB a = Unpack(alone[i]), b = Unpack(overAlone[i]), m = Unpack(mixed[i]);
      worst = std::max({worst, std::abs(m.r - Mixed(a.r, b.r, c.weight256)),
                        std::abs(m.g - Mixed(a.g, b.g, c.weight256)),
                        std::abs(m.b - Mixed(a.b, b.b, c.weight256))});
    }
    // Off-screen, the frame is scaled from its R'G'B' picture and the
    // laid-over one from Y'CbCr: up to two levels apart, within the three
    // the onion skin is allowed.
    EXPECT_LE(worst, c.frameFaults > 0 ? 2.0 : 1.0);
    // Taken away, the frame is drawn alone again.
    EXPECT_EQ(fw::VPSetOverlay(ref_, nullptr, 0, 0), noErr);
    EXPECT_EQ(VPDisplayFrame(ref_), noErr);
    window.Repaint();
    EXPECT_EQ(window.shown, alone);
  }
  EXPECT_EQ(fw::VPSetOverlay(ref_, static_cast<const uint8_t*>(over.pixMap->baseAddr), 100, 128), paramErr)
      << "rows shorter than the image";
  EXPECT_EQ(fw::VPSetOverlay(nullptr, nullptr, 0, 0), kVPNoPreviewErr);
}
