// The software preview against libswscale: one 1920 × 1080 '2vuy' frame
// converted to 32-bit RGB and scaled into 960 × 540, per frame, on one core.
// Prints figures and asserts nothing.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
#include <libswscale/version.h>
}

#include "core/imaging/soft_scaler.h"
#include "hd/preview/video_preview.h"

using namespace fw;

namespace {

constexpr int kSourceWidth = 1920;
constexpr int kSourceHeight = 1080;
constexpr int kDestWidth = 960;
constexpr int kDestHeight = 540;

// A window that takes the picture and does nothing with it, so the figure is
// the renderer's own cost.
class NullSurface : public PreviewSurface {
 public:
  int32_t PortWidth() const override { return 980; }
  int32_t PortHeight() const override { return 630; }
  PreviewGLContext* GLContext() override { return nullptr; }
  OSErr ShowImage(const ConstRGB32ImageView& image, const Rect&) override {
    sink_ ^= image.base[image.width / 2];
    return noErr;
  }
  void ClearImage(const Rect&) override {}
  void RequestRepaint() override {}
  uint32_t sink_ = 0;
};

struct Figures {
  double medianMs;
  double meanMs;
};

double ThreadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Runs the variants for about `seconds`, after a warm-up, one frame of each
// in turn (so a change in the machine's load falls on all alike), and
// returns the median and mean CPU time of one call of each on this thread
// (less disturbed than wall time by whatever else the machine runs).
std::vector<Figures> Measure(const std::vector<std::function<void()>>& variants, double seconds = 10.0) {
  for (int i = 0; i < 10; ++i)
    for (const auto& frame : variants) frame();
  std::vector<std::vector<double>> times(variants.size());
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < end || times[0].size() < 20) {
    for (size_t v = 0; v < variants.size(); ++v) {
      const double t0 = ThreadCpuMs();
      variants[v]();
      times[v].push_back(ThreadCpuMs() - t0);
    }
  }
  std::vector<Figures> figures;
  for (std::vector<double>& t : times) {
    double sum = 0;
    for (double x : t) sum += x;
    std::nth_element(t.begin(), t.begin() + static_cast<std::ptrdiff_t>(t.size() / 2), t.end());
    figures.push_back(Figures{t[t.size() / 2], sum / static_cast<double>(t.size())});
  }
  return figures;
}

std::vector<uint8_t> MakeFrame() {
  std::vector<uint8_t> frame(static_cast<size_t>(kSourceWidth) * 2 * kSourceHeight);
  for (int y = 0; y < kSourceHeight; ++y) {
    for (int x = 0; x < kSourceWidth; x += 2) {
      uint8_t* p = &frame[(static_cast<size_t>(y) * kSourceWidth + x) * 2];
      p[0] = static_cast<uint8_t>(16 + (x * 224) / kSourceWidth);
      p[1] = static_cast<uint8_t>(16 + (y * 219) / kSourceHeight);
      p[2] = static_cast<uint8_t>(240 - (y * 224) / kSourceHeight);
      p[3] = static_cast<uint8_t>(16 + ((x + y) % 219));
    }
  }
  return frame;
}

SwsContext* MakeSwsContext(int flags) {
  SwsContext* context = sws_alloc_context();
  if (context == nullptr) return nullptr;
  av_opt_set_int(context, "srcw", kSourceWidth, 0);
  av_opt_set_int(context, "srch", kSourceHeight, 0);
  av_opt_set_int(context, "src_format", AV_PIX_FMT_UYVY422, 0);
  av_opt_set_int(context, "dstw", kDestWidth, 0);
  av_opt_set_int(context, "dsth", kDestHeight, 0);
  av_opt_set_int(context, "dst_format", AV_PIX_FMT_BGRA, 0);  // 0xAARRGGBB words, as ours
  av_opt_set_int(context, "sws_flags", flags, 0);
  av_opt_set_int(context, "threads", 1, 0);
  if (sws_init_context(context, nullptr, nullptr) < 0) {
    sws_freeContext(context);
    return nullptr;
  }
  return context;
}

void Report(const char* name, const Figures& f, const Figures& baseline) {
  std::printf("%-44s median %6.2f ms  mean %6.2f ms  %5.2f× libswscale bilinear  (%.0f frames/s)\n", name,
              f.medianMs, f.meanMs, f.medianMs / baseline.medianMs, 1000.0 / f.medianMs);
}

}  // namespace

int main() {
  const std::vector<uint8_t> frame = MakeFrame();
  std::vector<uint32_t> dest(static_cast<size_t>(kDestWidth) * kDestHeight);

  SwsContext* bilinear = MakeSwsContext(SWS_BILINEAR);
  SwsContext* fastBilinear = MakeSwsContext(SWS_FAST_BILINEAR);
  if (bilinear == nullptr || fastBilinear == nullptr) {
    std::fprintf(stderr, "preview_soft_bench: libswscale cannot convert UYVY422 to BGRA here\n");
    return 1;
  }
  auto runSws = [&](SwsContext* context) {
    const uint8_t* srcPlanes[4] = {frame.data(), nullptr, nullptr, nullptr};
    const int srcStrides[4] = {kSourceWidth * 2, 0, 0, 0};
    uint8_t* dstPlanes[4] = {reinterpret_cast<uint8_t*>(dest.data()), nullptr, nullptr, nullptr};
    const int dstStrides[4] = {kDestWidth * 4, 0, 0, 0};
    sws_scale(context, srcPlanes, srcStrides, 0, kSourceHeight, dstPlanes, dstStrides);
  };

  YCbCrScaler scaler;
  auto runScaler = [&](Mirroring mirroring) {
    scaler.Draw(YCbCrImageView{frame.data(), kSourceWidth * 2, kSourceWidth, kSourceHeight},
                RGB32ImageView{dest.data(), kDestWidth * 4, kDestWidth, kDestHeight}, mirroring,
                YCbCrMatrix::kBT709);
  };

  // The whole VPDisplayFrame of the fallback, as the data procedure calls it.
  NullSurface window;
  PixMapHandle pixMap;
  if (MyNewPixMapWithoutStorage(k2vuyPixelFormat, Rect{0, 0, kSourceHeight, kSourceWidth}, kSourceWidth * 2,
                                &pixMap) != noErr) {
    std::fprintf(stderr, "preview_soft_bench: cannot make the pixel map\n");
    return 1;
  }
  pixMap->baseAddr = const_cast<uint8_t*>(frame.data());
  ImageDescription description;
  description.cType = k2vuyPixelFormat;
  description.width = kSourceWidth;
  description.height = kSourceHeight;
  const Rect previewRect{0, 10, 540, 970};  // exactly 960 × 540 for a 16:9 frame
  VideoPreviewRef preview = nullptr;
  if (VPStartPreview(pixMap.get(), &description, &window, &previewRect, false, false, false, &preview) !=
      noErr) {
    std::fprintf(stderr, "preview_soft_bench: VPStartPreview failed\n");
    return 1;
  }

  std::printf("1920x1080 '2vuy' -> 960x540 32-bit RGB, one core, %s\n", LIBSWSCALE_IDENT);
  if (VPDisplayFrame(preview) != noErr) {
    std::fprintf(stderr, "preview_soft_bench: VPDisplayFrame failed\n");
    return 1;
  }
  // Checked once above; inside the timing only its cost counts.
  const std::vector<Figures> f =
      Measure({[&] { runSws(bilinear); }, [&] { runSws(fastBilinear); }, [&] { runScaler(Mirroring::kNone); },
               [&] { runScaler(Mirroring::kBoth); }, [&] { (void)VPDisplayFrame(preview); }});
  const Figures &swsBilinear = f[0], &swsFast = f[1], &ours = f[2], &oursMirrored = f[3], &display = f[4];
  Report("libswscale SWS_BILINEAR (baseline)", swsBilinear, swsBilinear);
  Report("libswscale SWS_FAST_BILINEAR", swsFast, swsBilinear);
  Report("preview software scaler", ours, swsBilinear);
  Report("preview software scaler, both flips", oursMirrored, swsBilinear);
  Report("VPDisplayFrame, software fallback", display, swsBilinear);
  std::printf("60 Hz budget: 16.67 ms per frame\n");

  // The picture: libswscale's bilinear filter widens with the reduction
  // (a tent over four source pixels when halving), where the OpenGL path,
  // and so the software path, blends the two nearest. On smooth pictures
  // that hardly shows; on sharp edges it does.
  std::vector<uint8_t> stripes(frame.size());
  for (size_t i = 0; i < stripes.size(); i += 4) {
    const bool white = ((i / 4) / 2) % 2 == 0;  // 4 pixels white, 4 black
    stripes[i] = stripes[i + 2] = 128;
    stripes[i + 1] = stripes[i + 3] = white ? 235 : 16;
  }
  std::vector<uint32_t> ourPicture(dest.size());
  for (const auto& [name, source] :
       {std::pair{"the gradients above", &frame},
        std::pair{"4-pixel stripes", static_cast<const std::vector<uint8_t>*>(&stripes)}}) {
    scaler.Draw(YCbCrImageView{source->data(), kSourceWidth * 2, kSourceWidth, kSourceHeight},
                RGB32ImageView{ourPicture.data(), kDestWidth * 4, kDestWidth, kDestHeight}, Mirroring::kNone,
                YCbCrMatrix::kBT709);
    const uint8_t* srcPlanes[4] = {source->data(), nullptr, nullptr, nullptr};
    const int srcStrides[4] = {kSourceWidth * 2, 0, 0, 0};
    uint8_t* dstPlanes[4] = {reinterpret_cast<uint8_t*>(dest.data()), nullptr, nullptr, nullptr};
    const int dstStrides[4] = {kDestWidth * 4, 0, 0, 0};
    sws_setColorspaceDetails(bilinear, sws_getCoefficients(SWS_CS_ITU709), 0,
                             sws_getCoefficients(SWS_CS_ITU709), 1, 0, 1 << 16, 1 << 16);
    sws_scale(bilinear, srcPlanes, srcStrides, 0, kSourceHeight, dstPlanes, dstStrides);
    int worst = 0;
    for (size_t i = 0; i < dest.size(); ++i) {
      for (int shift : {0, 8, 16}) {
        const int a = static_cast<int>((dest[i] >> shift) & 0xFF),
                  b = static_cast<int>((ourPicture[i] >> shift) & 0xFF);
        worst = std::max(worst, a > b ? a - b : b - a);
      }
    }
    std::printf("largest channel difference, libswscale bilinear against the preview's picture, %s: %d\n",
                name, worst);
  }

  VPDisposePreview(preview);
  sws_freeContext(bilinear);
  sws_freeContext(fastBilinear);
  return window.sink_ == 0xFFFFFFFF ? 2 : 0;  // keeps the sink alive
}
