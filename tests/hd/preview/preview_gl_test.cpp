// The OpenGL path on a real X server (Xvfb, Mesa's software OpenGL): what the
// window shows must be the software path's picture, with every flip.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include "hd/preview/preview_widget.h"
#include "hd/preview/raster_preview_widget.h"
#include "hd/preview/video_preview.h"
#include "preview_test_support.h"

using namespace fw;

namespace {

using namespace preview_test;

// A test card with colour bars across its lower half, trimmed out of a wider
// frame with a red margin, so a misread row pitch shows.
Input MakeInput(int32_t w, int32_t h) {
  const int32_t margin = 16;
  Frame2vuy frame(w + 2 * margin, h + 2);
  frame.Fill(0, 0, frame.width, frame.height, kBars601[5]);
  const Frame2vuy card = MakeTestCard(w, h);
  for (int32_t y = 0; y < h; ++y)
    std::copy_n(card.bytes.data() + y * card.rowBytes, 2 * w, frame.Row(y + 1) + 2 * margin);
  DrawBars(&frame, kBars709, margin, 1 + h / 2, w, h / 2);
  const int32_t offset = frame.rowBytes + 2 * margin;
  return Input(std::move(frame), Rect{0, 0, static_cast<int16_t>(h), static_cast<int16_t>(w)}, offset);
}

class PreviewGLTest : public testing::Test {
 protected:
  void SetUp() override {
    widget_ = std::make_unique<PreviewWidget>();
    widget_->resize(800, 600);
    button_ = new QPushButton("Capture", widget_.get());
    button_->setGeometry(10, 560, 120, 30);  // below the preview rectangle
    widget_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(widget_.get()));
    QTest::qWait(50);
    ASSERT_NE(widget_->GLContext(), nullptr) << widget_->GLUnusableReason().toStdString();
  }
  void TearDown() override {
    VPDisposePreview(ref_);
    SetGLCapabilityFailureForTesting(false);
    widget_.reset();
  }

  OSErr Start(Input& input, bool flipH, bool flipV) {
    VPDisposePreview(ref_);
    ref_ = nullptr;
    Rect previewRect;
    CalculatePreviewRect(&previewRect, widget_.get(), CaptureState::kIdle);
    return VPStartPreview(input.pixMap.get(), &input.description, widget_.get(), &previewRect, flipH, flipV,
                          false, &ref_);
  }

  // The software path's picture for the same preview.
  std::vector<uint32_t> SoftwarePicture(Input& input, bool flipH, bool flipV) {
    FakeSurface window(widget_->width(), widget_->height());
    Rect previewRect;
    CalculatePreviewRect(&previewRect, &window, CaptureState::kIdle);
    VideoPreviewRef soft = nullptr;
    EXPECT_EQ(VPStartPreview(input.pixMap.get(), &input.description, &window, &previewRect, flipH, flipV,
                             false, &soft),
              noErr);
    EXPECT_EQ(VPDisplayFrame(soft), noErr);
    std::vector<uint32_t> picture = window.shown;
    VPDisposePreview(soft);
    return picture;
  }

  // The largest channel difference inside destRect, and the share of pixels
  // that differ by more than `tolerance`.
  void Compare(const QImage& shown, const std::vector<uint32_t>& expected, int tolerance, int* worst,
               double* outlierShare) {
    const Rect& d = ref_->destRect;
    const int32_t w = d.right - d.left, h = d.bottom - d.top;
    ASSERT_EQ(expected.size(), static_cast<size_t>(w) * h);
    const QImage image = shown.convertToFormat(QImage::Format_RGB32);
    *worst = 0;
    size_t outliers = 0;
    for (int32_t y = 0; y < h; ++y) {
      const auto* row = reinterpret_cast<const uint32_t*>(image.constScanLine(d.top + y)) + d.left;
      for (int32_t x = 0; x < w; ++x) {
        const int diff =
            MaxChannelDifference(Unpack(row[x]), Unpack(expected[static_cast<size_t>(y) * w + x]));
        *worst = std::max(*worst, diff);
        outliers += diff > tolerance;
      }
    }
    *outlierShare = static_cast<double>(outliers) / (static_cast<double>(w) * h);
  }

  QImage ScreenPicture() {
    QTest::qWait(50);  // let the repaint reach the X server
    return widget_->screen()->grabWindow(widget_->winId()).toImage();
  }

  std::unique_ptr<PreviewWidget> widget_;
  QPushButton* button_ = nullptr;
  VideoPreviewRef ref_ = nullptr;
};

TEST_F(PreviewGLTest, WindowShowsTheSoftwarePictureWithEveryFlip) {
  Input input = MakeInput(640, 360);
  for (int flips = 0; flips < 4; ++flips) {
    const bool flipH = (flips & 1) != 0, flipV = (flips & 2) != 0;
    SCOPED_TRACE(testing::Message() << "flipH " << flipH << " flipV " << flipV);
    ASSERT_EQ(Start(input, flipH, flipV), noErr);
    ASSERT_EQ(VPGetDrawingMode(ref_), PreviewDrawingMode::kOpenGL);
    ASSERT_EQ(VPDisplayFrame(ref_), noErr);
    const std::vector<uint32_t> expected = SoftwarePicture(input, flipH, flipV);
    int worst = 0;
    double outliers = 0;
    // Float against fixed point: a few levels of rounding apart, at most.
    Compare(widget_->grabFramebuffer(), expected, 2, &worst, &outliers);
    EXPECT_LE(worst, 4) << "framebuffer";
    EXPECT_LT(outliers, 0.01) << "framebuffer";
    Compare(ScreenPicture(), expected, 2, &worst, &outliers);
    EXPECT_LE(worst, 4) << "screen";
    EXPECT_LT(outliers, 0.01) << "screen";
  }
}

TEST_F(PreviewGLTest, FailedCapabilityTestShowsTheSoftwarePicture) {
  Input input = MakeInput(320, 240);
  SetGLCapabilityFailureForTesting(true);
  ASSERT_EQ(Start(input, true, true), noErr);
  EXPECT_EQ(VPGetDrawingMode(ref_), PreviewDrawingMode::kSequenceInWindow);
  ASSERT_EQ(VPDisplayFrame(ref_), noErr);
  int worst = 0;
  double outliers = 0;
  Compare(ScreenPicture(), SoftwarePicture(input, true, true), 0, &worst, &outliers);
  EXPECT_LE(worst, 1);
}

TEST_F(PreviewGLTest, DisposingClearsThePictureAndControlsStayUsable) {
  Input input = MakeInput(320, 240);
  ASSERT_EQ(Start(input, false, false), noErr);
  ASSERT_EQ(VPDisplayFrame(ref_), noErr);
  const Rect d = ref_->destRect;
  const QPoint middle((d.left + d.right) / 2, (d.top + d.bottom) * 3 / 4);
  const QColor background = widget_->palette().color(QPalette::Window);
  EXPECT_NE(widget_->grabFramebuffer().pixelColor(middle).rgb(), background.rgb());

  QSignalSpy clicked(button_, &QPushButton::clicked);
  QTest::mouseClick(button_, Qt::LeftButton);
  EXPECT_EQ(clicked.count(), 1);
  const QImage screen = ScreenPicture();
  EXPECT_NE(screen.pixelColor(button_->geometry().center()).rgb(), screen.pixelColor(middle).rgb())
      << "the button is drawn over the window, not hidden by the preview";

  VPDisposePreview(ref_);
  ref_ = nullptr;
  EXPECT_EQ(widget_->grabFramebuffer().pixelColor(middle).rgb(), background.rgb());
}

TEST_F(PreviewGLTest, PreviewSurvivesTheWidgetMovingToAnotherWindow) {
  Input input = MakeInput(320, 240);
  ASSERT_EQ(Start(input, true, false), noErr);
  ASSERT_EQ(VPDisplayFrame(ref_), noErr);
  const uint32_t firstTexture = ref_->texture->TextureName();
  EXPECT_NE(firstTexture, 0u);

  // A new top-level window means a new context: the old texture is gone.
  QWidget other;
  other.resize(800, 600);
  widget_->setParent(&other);
  widget_->move(0, 0);
  widget_->show();
  other.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
  QTest::qWait(50);
  EXPECT_EQ(VPDisplayFrame(ref_), noErr);
  int worst = 0;
  double outliers = 0;
  Compare(widget_->grabFramebuffer(), SoftwarePicture(input, true, false), 2, &worst, &outliers);
  EXPECT_LE(worst, 4);
  widget_->setParent(nullptr);  // the fixture owns it
}

TEST_F(PreviewGLTest, RasterWidgetShowsWhatTheOpenGLWidgetShows) {
  const PreviewChoice choice = ChoosePreviewKindForDisplay(SoftwareOpenGL::kKeepOpenGL);
  EXPECT_EQ(choice.kind, PreviewKind::kOpenGL) << choice.reason;
  EXPECT_EQ(choice.reason, "");
  // Xvfb draws OpenGL with Mesa in software: the program would take the
  // raster widget there.
  const PreviewChoice preferred = ChoosePreviewKindForDisplay(SoftwareOpenGL::kPreferRaster);
  EXPECT_EQ(preferred.kind, PreviewKind::kSoftware);
  EXPECT_EQ(preferred.reason.rfind("software preview: OpenGL is drawn in software (", 0), 0u)
      << preferred.reason;

  Input input = MakeInput(640, 360);
  ASSERT_EQ(Start(input, true, false), noErr);
  ASSERT_EQ(VPDisplayFrame(ref_), noErr);
  const QImage openGL = ScreenPicture().convertToFormat(QImage::Format_RGB32);

  RasterPreviewWidget raster;
  raster.resize(widget_->size());
  raster.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&raster));
  Rect previewRect;
  CalculatePreviewRect(&previewRect, &raster, CaptureState::kIdle);
  VideoPreviewRef rasterRef = nullptr;
  ASSERT_EQ(VPStartPreview(input.pixMap.get(), &input.description, &raster, &previewRect, true, false, false,
                           &rasterRef),
            noErr);
  EXPECT_NE(VPGetDrawingMode(rasterRef), PreviewDrawingMode::kOpenGL);
  ASSERT_EQ(VPDisplayFrame(rasterRef), noErr);
  EXPECT_EQ(rasterRef->destRect, ref_->destRect);
  QTest::qWait(50);
  const QImage shown =
      raster.screen()->grabWindow(raster.winId()).toImage().convertToFormat(QImage::Format_RGB32);
  VPDisposePreview(rasterRef);

  // The same tolerance as the OpenGL path against the software picture.
  std::vector<uint32_t> fromOpenGL;
  const Rect& d = ref_->destRect;
  for (int y = d.top; y < d.bottom; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(openGL.constScanLine(y));
    fromOpenGL.insert(fromOpenGL.end(), row + d.left, row + d.right);
  }
  int worst = 0;
  double outliers = 0;
  Compare(shown, fromOpenGL, 2, &worst, &outliers);
  EXPECT_LE(worst, 4);
  EXPECT_LT(outliers, 0.01);
}

// Frames handed over faster than the display repaints: the newest one is on
// the screen by the next repaints, never one it replaced.
TEST_F(PreviewGLTest, NewestFrameReplacesTheOneWaitingToBeDrawn) {
  Input input = MakeInput(320, 240);
  ASSERT_EQ(Start(input, false, false), noErr);
  ASSERT_EQ(VPDisplayFrame(ref_), noErr);
  Frame2vuy& frame = input.frame;
  frame.Fill(0, 0, frame.width, frame.height, kBars601[2]);
  ASSERT_EQ(VPDisplayFrame(ref_), noErr);
  frame.Fill(0, 0, frame.width, frame.height, kBars601[4]);
  ASSERT_EQ(VPDisplayFrame(ref_), noErr);
  QTest::qWait(100);
  const QImage screen = widget_->screen()->grabWindow(widget_->winId()).toImage();
  int worst = 0;
  double outliers = 0;
  Compare(screen, SoftwarePicture(input, false, false), 2, &worst, &outliers);
  EXPECT_LE(worst, 4);
  EXPECT_LT(outliers, 0.01);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
