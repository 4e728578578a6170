// The software preview's drawing layer: a decompression sequence that turns
// '2vuy' frames into 32-bit pixels, drawing either into a window (converted,
// scaled and mirrored into a rectangle) or into an off-screen world (1:1);
// and a blitter that copies pixels into a window rectangle the way CopyBits
// would. The preview's fallback modes are built from these two.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/imaging/soft_scaler.h"
#include "core/util/gworld.h"
#include "core/util/image_description.h"
#include "hd/preview/preview_surface.h"

// QuickTime's codes for a codec that cannot be found and a generic codec
// failure.
constexpr OSErr codecErr = -8960;
constexpr OSErr noCodecErr = -8961;

namespace fw {

// Copies pictures into a rectangle of a window, scaled and mirrored, through
// a buffer of the rectangle's size that it keeps between calls.
class WindowBlitter {
 public:
  WindowBlitter(PreviewSurface* window, const Rect& destRect, Mirroring mirroring)
      : window_(window), destRect_(destRect), mirroring_(mirroring) {}

  // Each returns the window's answer: 0, codecNothingToBlitErr when there is
  // nothing to draw into (an empty rectangle, a hidden window), or an error.
  OSErr Blit2vuy(const YCbCrImageView& source, YCbCrMatrix matrix);
  OSErr BlitRGB32(const ConstRGB32ImageView& source);

 private:
  [[nodiscard]] OSErr PrepareBuffer(RGB32ImageView* view);

  PreviewSurface* window_;
  Rect destRect_;
  Mirroring mirroring_;
  std::vector<uint32_t> pixels_;
  YCbCrScaler ycbcrScaler_;
  RGB32Scaler rgbScaler_;
};

class ImageSequence {
 public:
  // Begins a sequence for frames of `description` ('2vuy' only; other codecs
  // give noCodecErr) drawing into destRect of `window`, mirrored.
  [[nodiscard]] static OSErr BeginInWindow(const ImageDescription& description, YCbCrMatrix matrix,
                                           PreviewSurface* window, const Rect& destRect, Mirroring mirroring,
                                           std::unique_ptr<ImageSequence>* out);
  // Begins a sequence drawing 1:1 into a 32-bit off-screen world at least
  // the description's size.
  [[nodiscard]] static OSErr BeginInGWorld(const ImageDescription& description, YCbCrMatrix matrix,
                                           GWorld* world, std::unique_ptr<ImageSequence>* out);

  // Decodes one frame: `frame` frames the image (with the frame's own row
  // pitch), its bytes read during the call only.
  [[nodiscard]] OSErr DecompressFrame(const YCbCrImageView& frame);

  bool DrawsIntoGWorld() const { return world_ != nullptr; }

 private:
  ImageSequence(const ImageDescription& description, YCbCrMatrix matrix)
      : width_(description.width), height_(description.height), matrix_(matrix) {}

  int32_t width_;
  int32_t height_;
  YCbCrMatrix matrix_;
  std::unique_ptr<WindowBlitter> windowBlitter_;  // when drawing into a window
  GWorld* world_ = nullptr;                       // when drawing off-screen; not owned
  YCbCrScaler worldScaler_;
};

// Test seam: makes the next `beginFailures` begins and `frameFailures`
// frames of any sequence fail with the given codes, as a codec that runs out
// of resources would. Main thread only.
struct ImageSequenceFault {
  OSErr beginError = codecErr;
  int beginFailures = 0;
  OSErr frameError = codecErr;
  int frameFailures = 0;
};
void InjectImageSequenceFault(const ImageSequenceFault& fault);
void ClearImageSequenceFaults();

}  // namespace fw
