// CPU cost of the OpenGL preview path: a 1920 × 1080 '2vuy' frame drawn into
// 960 × 540 of a window, frame after frame, as the 60 Hz timer would. Needs a
// display (run it through tests/support/with_xvfb.sh for Mesa's software
// OpenGL, where the drawing itself is CPU work too). Prints figures and
// asserts nothing.
#include <time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "hd/preview/preview_widget.h"
#include "hd/preview/video_preview.h"

using namespace fw;

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kFrames = 300;

double CpuMs(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double Median(std::vector<double> v) {
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  PreviewWidget window;
  window.resize(980, 630);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window) || window.GLContext() == nullptr) {
    std::fprintf(stderr, "preview_gl_bench: no usable OpenGL context (%s)\n",
                 window.GLUnusableReason().toUtf8().constData());
    return 1;
  }

  std::vector<uint8_t> frame(static_cast<size_t>(kWidth) * 2 * kHeight);
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(16 + (i * 7) % 219);
  std::vector<uint8_t> copy(frame.size());
  PixMapHandle pixMap;
  if (MyNewPixMapWithoutStorage(k2vuyPixelFormat, Rect{0, 0, kHeight, kWidth}, kWidth * 2, &pixMap) !=
      noErr) {
    std::fprintf(stderr, "preview_gl_bench: cannot make the pixel map\n");
    return 1;
  }
  pixMap->baseAddr = frame.data();
  ImageDescription description;
  description.cType = k2vuyPixelFormat;
  description.width = kWidth;
  description.height = kHeight;
  Rect previewRect;
  CalculatePreviewRect(&previewRect, &window, CaptureState::kIdle);
  VideoPreviewRef preview = nullptr;
  if (VPStartPreview(pixMap.get(), &description, &window, &previewRect, false, false, false, &preview) !=
          noErr ||
      VPGetDrawingMode(preview) != PreviewDrawingMode::kOpenGL) {
    std::fprintf(stderr, "preview_gl_bench: the OpenGL path did not start\n");
    return 1;
  }
  const Rect d = preview->destRect;

  // Baseline of the same run: copying the frame once, the least any upload
  // of its bytes costs.
  std::vector<double> copyMs;
  for (int i = 0; i < kFrames; ++i) {
    const double t0 = CpuMs(CLOCK_THREAD_CPUTIME_ID);
    std::memcpy(copy.data(), frame.data(), frame.size());
    copyMs.push_back(CpuMs(CLOCK_THREAD_CPUTIME_ID) - t0);
  }

  std::vector<double> callCpuMs, callWallMs;
  int failedCalls = 0;
  QElapsedTimer wall;
  for (int i = 0; i < 20; ++i) {    // warm-up
    (void)VPDisplayFrame(preview);  // warm-up: a failure shows in the timed calls
    app.processEvents();
  }
  const double process0 = CpuMs(CLOCK_PROCESS_CPUTIME_ID);
  wall.start();
  for (int i = 0; i < kFrames; ++i) {
    frame[static_cast<size_t>(i) * 4] ^= 0x10;  // a new frame each time
    const double t0 = CpuMs(CLOCK_THREAD_CPUTIME_ID);
    QElapsedTimer call;
    call.start();
    if (VPDisplayFrame(preview) != noErr) ++failedCalls;
    callWallMs.push_back(static_cast<double>(call.nsecsElapsed()) / 1e6);
    callCpuMs.push_back(CpuMs(CLOCK_THREAD_CPUTIME_ID) - t0);
    app.processEvents();  // the repaint that puts it on screen
  }
  const double totalWallMs = static_cast<double>(wall.nsecsElapsed()) / 1e6;
  const double processPerFrame = (CpuMs(CLOCK_PROCESS_CPUTIME_ID) - process0) / kFrames;

  const double copyMedian = Median(copyMs);
  std::printf("OpenGL path, 1920x1080 '2vuy' -> %dx%d, %s\n", d.right - d.left, d.bottom - d.top,
              reinterpret_cast<const char*>(window.context()->functions()->glGetString(GL_RENDERER)));
  std::printf("%-52s median %6.2f ms\n", "memcpy of the frame, caller CPU (baseline)", copyMedian);
  std::printf("%-52s median %6.2f ms  %5.2f× baseline\n", "VPDisplayFrame, caller thread CPU",
              Median(callCpuMs), Median(callCpuMs) / copyMedian);
  std::printf("%-52s median %6.2f ms\n", "VPDisplayFrame, wall time of the call", Median(callWallMs));
  std::printf("%-52s   mean %6.2f ms  %5.2f× baseline\n",
              "whole process CPU per frame incl. repaint and Mesa", processPerFrame,
              processPerFrame / copyMedian);
  std::printf("%-52s   mean %6.2f ms (%.0f frames/s)\n", "wall time per frame incl. repaint",
              totalWallMs / kFrames, 1000.0 * kFrames / totalWallMs);
  VPDisposePreview(preview);
  if (failedCalls > 0) {
    std::fprintf(stderr,
                 "preview_gl_bench: %d of %d calls failed; the figures are not of a working preview\n",
                 failedCalls, kFrames);
    return 1;
  }
  return 0;
}
