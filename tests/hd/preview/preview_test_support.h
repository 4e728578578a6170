// Shared by the preview tests: '2vuy' test pictures, a reference renderer in
// double precision written independently of the fixed-point one, and a fake
// window surface that records what it is asked to show.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/imaging/ycbcr.h"
#include "core/util/image_description.h"
#include "core/util/pixmap.h"
#include "hd/preview/preview_surface.h"

namespace preview_test {

struct YCbCr {
  uint8_t y, cb, cr;
};

struct RGB {
  int r, g, b;
};

inline RGB Unpack(uint32_t pixel) {
  return RGB{static_cast<int>((pixel >> 16) & 0xFF), static_cast<int>((pixel >> 8) & 0xFF),
             static_cast<int>(pixel & 0xFF)};
}

inline int MaxChannelDifference(RGB a, RGB b) {
  return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}

// 75 % colour bars, white to black, and the R'G'B' they stand for.
constexpr std::array<YCbCr, 8> kBars601 = {{{180, 128, 128},
                                            {162, 44, 142},
                                            {131, 156, 44},
                                            {112, 72, 58},
                                            {84, 184, 198},
                                            {65, 100, 212},
                                            {35, 212, 114},
                                            {16, 128, 128}}};
constexpr std::array<YCbCr, 8> kBars709 = {{{180, 128, 128},
                                            {168, 44, 136},
                                            {145, 147, 44},
                                            {133, 63, 52},
                                            {63, 193, 204},
                                            {51, 109, 212},
                                            {28, 212, 120},
                                            {16, 128, 128}}};
constexpr std::array<RGB, 8> kBarsRGB = {{{191, 191, 191},
                                          {191, 191, 0},
                                          {0, 191, 191},
                                          {0, 191, 0},
                                          {191, 0, 191},
                                          {191, 0, 0},
                                          {0, 0, 191},
                                          {0, 0, 0}}};

// A '2vuy' frame in memory.
struct Frame2vuy {
  int32_t width = 0;
  int32_t height = 0;
  int32_t rowBytes = 0;
  std::vector<uint8_t> bytes;

  Frame2vuy(int32_t w, int32_t h, int32_t rowBytesOrZero = 0)
      : width(w), height(h), rowBytes(rowBytesOrZero != 0 ? rowBytesOrZero : ((w + 1) / 2) * 4) {
    bytes.assign(static_cast<size_t>(rowBytes) * static_cast<size_t>(h), 0);
  }
  uint8_t* Row(int32_t y) { return bytes.data() + static_cast<size_t>(y) * rowBytes; }
  // Sets a pixel's luma, and the chroma of its pair when it is the pair's
  // first pixel.
  void Set(int32_t x, int32_t y, YCbCr v) {
    uint8_t* row = Row(y);
    row[2 * x + 1] = v.y;
    if (x % 2 == 0) {
      row[2 * x] = v.cb;
      row[2 * x + 2] = v.cr;
    }
  }
  void Fill(int32_t x0, int32_t y0, int32_t x1, int32_t y1, YCbCr v) {
    for (int32_t y = y0; y < y1; ++y)
      for (int32_t x = x0; x < x1; ++x) Set(x, y, v);
  }
};

// Eight vertical bars across [x0, x0 + w) × [y0, y0 + h) of `frame`.
inline void DrawBars(Frame2vuy* frame, const std::array<YCbCr, 8>& bars, int32_t x0, int32_t y0, int32_t w,
                     int32_t h) {
  for (int32_t x = 0; x < w; ++x) {
    const size_t bar = static_cast<size_t>(x) * 8 / static_cast<size_t>(w);
    frame->Fill(x0 + x, y0, x0 + x + 1, y0 + h, bars[bar]);
  }
}

// Smooth but asymmetric content (no two mirror images alike), with sharp
// edges round a white block in the top-left corner. Chroma stays within what
// R'G'B' can show at each luma, so converting before or after scaling gives
// the same picture.
inline Frame2vuy MakeTestCard(int32_t w, int32_t h) {
  Frame2vuy frame(w, h);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      const double fx = static_cast<double>(x) / w;
      const double fy = static_cast<double>(y) / h;
      const double luma = 30 + 190 * fx * (0.3 + 0.7 * fy);
      const double amplitude = 0.4 * std::min(luma - 16, 235 - luma);
      YCbCr v{static_cast<uint8_t>(luma), static_cast<uint8_t>(128 + amplitude * (2 * fy - 1)),
              static_cast<uint8_t>(128 + amplitude * (1 - 2 * fx * fx))};
      if (x < w / 5 && y < h / 4) v = {235, 128, 128};
      frame.Set(x, y, v);
    }
  }
  return frame;
}

// The picture the preview should show: each destination pixel samples at
// (i + ½)·source/dest − ½ (mirrored as asked), bilinear, chroma sited with
// the first pixel of each pair, clamped to the edges; then video-range
// Y'CbCr → R'G'B' in double precision.
inline std::vector<RGB> ReferencePicture(const uint8_t* base, int32_t rowBytes, int32_t w, int32_t h,
                                         int32_t dw, int32_t dh, bool flipH, bool flipV,
                                         fw::YCbCrMatrix matrix) {
  const fw::YCbCrCoefficients& k = fw::CoefficientsFor(matrix);
  const int32_t pairs = (w + 1) / 2;
  auto luma = [&](int32_t x, int32_t y) { return static_cast<double>(base[y * rowBytes + 2 * x + 1]); };
  auto chroma = [&](int32_t p, int32_t y, int which) {
    return static_cast<double>(base[y * rowBytes + 4 * p + 2 * which]);
  };
  auto clampi = [](int64_t v, int32_t hi) { return static_cast<int32_t>(std::clamp<int64_t>(v, 0, hi)); };
  std::vector<RGB> out(static_cast<size_t>(dw) * static_cast<size_t>(dh));
  for (int32_t j = 0; j < dh; ++j) {
    const int32_t lj = flipV ? dh - 1 - j : j;
    const double sy = (lj + 0.5) * h / dh - 0.5;
    const double fy0 = std::floor(sy);
    const double wy = fy0 < 0 ? 0.0 : sy - fy0;
    const int32_t y0 = clampi(static_cast<int64_t>(fy0), h - 1),
                  y1 = clampi(static_cast<int64_t>(fy0) + 1, h - 1);
    for (int32_t i = 0; i < dw; ++i) {
      const int32_t li = flipH ? dw - 1 - i : i;
      const double sx = (li + 0.5) * w / dw - 0.5;
      const double fx0 = std::floor(sx);
      const double wx = fx0 < 0 ? 0.0 : sx - fx0;
      const int32_t x0 = clampi(static_cast<int64_t>(fx0), w - 1),
                    x1 = clampi(static_cast<int64_t>(fx0) + 1, w - 1);
      const double yv = (luma(x0, y0) * (1 - wx) + luma(x1, y0) * wx) * (1 - wy) +
                        (luma(x0, y1) * (1 - wx) + luma(x1, y1) * wx) * wy;
      const double sc = sx / 2;
      const double fc0 = std::floor(sc);
      const double wc = fc0 < 0 ? 0.0 : sc - fc0;
      const int32_t c0 = clampi(static_cast<int64_t>(fc0), pairs - 1),
                    c1 = clampi(static_cast<int64_t>(fc0) + 1, pairs - 1);
      double cbcr[2];
      for (int which = 0; which < 2; ++which) {
        cbcr[which] = (chroma(c0, y0, which) * (1 - wc) + chroma(c1, y0, which) * wc) * (1 - wy) +
                      (chroma(c0, y1, which) * (1 - wc) + chroma(c1, y1, which) * wc) * wy;
      }
      const double l = k.yScale * (yv - 16), cb = cbcr[0] - 128, cr = cbcr[1] - 128;
      auto to8 = [](double v) { return static_cast<int>(std::lround(std::clamp(v, 0.0, 255.0))); };
      out[static_cast<size_t>(j) * dw + i] =
          RGB{to8(l + k.crToR * cr), to8(l - k.cbToG * cb - k.crToG * cr), to8(l + k.cbToB * cb)};
    }
  }
  return out;
}

// A window that keeps the last picture it was shown, and can refuse to show.
class FakeSurface : public fw::PreviewSurface {
 public:
  FakeSurface(int32_t w, int32_t h) : width_(w), height_(h) {}

  int32_t PortWidth() const override { return width_; }
  int32_t PortHeight() const override { return height_; }
  fw::PreviewGLContext* GLContext() override { return glContext; }
  OSErr ShowImage(const fw::ConstRGB32ImageView& image, const Rect& destRect) override {
    ++showCalls;
    if (showFailures > 0) {
      --showFailures;
      return showError;
    }
    shownRect = destRect;
    shown.assign(static_cast<size_t>(image.width) * static_cast<size_t>(image.height), 0);
    for (int32_t y = 0; y < image.height; ++y) {
      const auto* row = reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(image.base) +
                                                          static_cast<size_t>(y) * image.rowBytes);
      std::copy(row, row + image.width, shown.begin() + static_cast<ptrdiff_t>(y) * image.width);
    }
    return noErr;
  }
  void ClearImage(const Rect& destRect) override {
    clearedRect = destRect;
    shown.clear();
  }
  void RequestRepaint() override { ++repaints; }
  bool SetDeferredDraw(fw::DeferredDraw* draw, const Rect&) override {
    if (!defersDrawing) return false;
    deferred = draw;
    return true;
  }
  void StopDeferredDraw(fw::DeferredDraw* draw) override {
    if (deferred == draw) deferred = nullptr;
  }
  // What the window system's repaint does.
  void Repaint() {
    if (deferred != nullptr) deferred->DrawPending();
  }

  RGB ShownAt(int32_t x, int32_t y) const {
    return Unpack(shown[static_cast<size_t>(y) * (shownRect.right - shownRect.left) + x]);
  }

  fw::PreviewGLContext* glContext = nullptr;
  std::vector<uint32_t> shown;
  Rect shownRect;
  Rect clearedRect;
  int showCalls = 0;
  int showFailures = 0;
  OSErr showError = -1;
  int repaints = 0;
  bool defersDrawing = false;
  fw::DeferredDraw* deferred = nullptr;

 private:
  int32_t width_;
  int32_t height_;
};

// The input side as the data procedure keeps it: a frame buffer, a pixel map
// framing its (possibly trimmed) image, and an image description.
struct Input {
  Frame2vuy frame;
  PixMapHandle pixMap;
  ImageDescription description;

  Input(Frame2vuy f, Rect trimmed = {}, int32_t trimOffsetBytes = 0) : frame(std::move(f)) {
    if (trimmed == Rect{})
      trimmed = Rect{0, 0, static_cast<int16_t>(frame.height), static_cast<int16_t>(frame.width)};
    EXPECT_EQ(MyNewPixMapWithoutStorage(k2vuyPixelFormat, trimmed, frame.rowBytes, &pixMap), noErr);
    pixMap->baseAddr = frame.bytes.data() + trimOffsetBytes;
    description.cType = k2vuyPixelFormat;
    description.width = trimmed.right;
    description.height = trimmed.bottom;
    description.dataSize = frame.rowBytes * trimmed.bottom;
  }
};

}  // namespace preview_test
