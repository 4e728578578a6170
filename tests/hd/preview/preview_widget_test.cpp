// The Qt window surface without a display (the offscreen platform, where
// there is no OpenGL): its rectangles, and a preview that falls back to the
// software path on it.
#include "hd/preview/preview_widget.h"

#include <gtest/gtest.h>

#include <QApplication>

#include "hd/preview/video_preview.h"
#include "preview_test_support.h"

using namespace fw;

namespace {

using namespace preview_test;

QApplication& App() {
  static int argc = 1;
  static char name[] = "preview_widget_tests";
  static char* argv[] = {name, nullptr};
  static QApplication app(argc, argv);
  return app;
}

TEST(PreviewWidgetTest, PreviewRectangleFollowsTheWindowSize) {
  App();
  PreviewWidget mainWindow;
  mainWindow.resize(800, 600);
  Rect r;
  CalculatePreviewRect(&r, &mainWindow, CaptureState::kIdle);
  EXPECT_EQ(r, (Rect{36, 10, 546, 790}));

  PreviewWidget captureWindow;
  captureWindow.resize(1440, 900);
  CalculatePreviewRect(&r, &captureWindow, CaptureState::kCapturing);
  EXPECT_EQ(r, (Rect{70, 10, 900, 1430}));
}

TEST(PreviewWidgetTest, WithoutOpenGLThePreviewDrawsInSoftware) {
  App();
  PreviewWidget window;
  window.resize(640, 480);
  Frame2vuy frame = MakeTestCard(160, 90);
  PixMapHandle pixMap;
  ASSERT_EQ(MyNewPixMapWithoutStorage(k2vuyPixelFormat, Rect{0, 0, 90, 160}, frame.rowBytes, &pixMap), noErr);
  pixMap->baseAddr = frame.bytes.data();
  ImageDescription description;
  description.cType = k2vuyPixelFormat;
  description.width = 160;
  description.height = 90;

  Rect previewRect;
  CalculatePreviewRect(&previewRect, &window, CaptureState::kIdle);
  VideoPreviewRef ref = nullptr;
  ASSERT_EQ(VPStartPreview(pixMap.get(), &description, &window, &previewRect, false, false, false, &ref),
            noErr);
  EXPECT_NE(VPGetDrawingMode(ref), PreviewDrawingMode::kOpenGL);
  EXPECT_EQ(VPDisplayFrame(ref), noErr) << "a hidden window drops the frame quietly";
  window.show();
  EXPECT_EQ(VPDisplayFrame(ref), noErr);
  EXPECT_EQ(VPGetDrawingMode(ref), PreviewDrawingMode::kSequenceInWindow);
  VPDisposePreview(ref);

  // What the widget accepts to show.
  std::vector<uint32_t> pixels(100 * 50, 0xFF336699u);
  const ConstRGB32ImageView image{pixels.data(), 400, 100, 50};
  EXPECT_EQ(window.ShowImage(image, Rect{10, 10, 60, 110}), noErr);
  EXPECT_EQ(window.ShowImage(image, Rect{10, 10, 61, 110}), paramErr) << "size differs from the rectangle";
  EXPECT_EQ(window.ShowImage(image, Rect{500, 700, 550, 800}), codecNothingToBlitErr) << "outside the window";
  EXPECT_EQ(window.ShowImage(image, Rect{10, 10, 10, 110}), codecNothingToBlitErr) << "empty rectangle";
}

}  // namespace
