// The software preview's drawing layer.
#include "hd/preview/image_sequence.h"

#include <new>

#include "core/util/pixmap.h"

namespace fw {

namespace {

ImageSequenceFault gFault{noErr, 0, noErr, 0};

OSErr TakeFault(OSErr code, int* remaining) {
  if (*remaining <= 0) return noErr;
  --*remaining;
  return code;
}

int32_t Width(const Rect& r) {
  return r.right - r.left;
}
int32_t Height(const Rect& r) {
  return r.bottom - r.top;
}

OSErr CheckDescription(const ImageDescription& description) {
  if (description.cType != k2vuyPixelFormat) return noCodecErr;
  if (description.width <= 0 || description.height <= 0) return paramErr;
  return TakeFault(gFault.beginError, &gFault.beginFailures);
}

}  // namespace

void InjectImageSequenceFault(const ImageSequenceFault& fault) {
  gFault = fault;
}
void ClearImageSequenceFaults() {
  gFault = ImageSequenceFault{noErr, 0, noErr, 0};
}

OSErr WindowBlitter::PrepareBuffer(RGB32ImageView* view) {
  const int32_t width = Width(destRect_);
  const int32_t height = Height(destRect_);
  if (width <= 0 || height <= 0) return codecNothingToBlitErr;
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  if (pixels_.size() != count) {
    try {
      pixels_.assign(count, 0xFF000000u);
    } catch (const std::bad_alloc&) {
      pixels_.clear();
      return memFullErr;
    }
  }
  *view = RGB32ImageView{pixels_.data(), width * 4, width, height};
  return noErr;
}

OSErr WindowBlitter::Blit2vuy(const YCbCrImageView& source, YCbCrMatrix matrix) {
  RGB32ImageView view;
  if (OSErr err = PrepareBuffer(&view); err != noErr) return err;
  ycbcrScaler_.Draw(source, view, mirroring_, matrix);
  return window_->ShowImage(ConstRGB32ImageView{view.base, view.rowBytes, view.width, view.height},
                            destRect_);
}

OSErr WindowBlitter::BlitRGB32(const ConstRGB32ImageView& source) {
  RGB32ImageView view;
  if (OSErr err = PrepareBuffer(&view); err != noErr) return err;
  rgbScaler_.Draw(source, view, mirroring_);
  return window_->ShowImage(ConstRGB32ImageView{view.base, view.rowBytes, view.width, view.height},
                            destRect_);
}

OSErr ImageSequence::BeginInWindow(const ImageDescription& description, YCbCrMatrix matrix,
                                   PreviewSurface* window, const Rect& destRect, Mirroring mirroring,
                                   std::unique_ptr<ImageSequence>* out) {
  if (window == nullptr) return paramErr;
  if (OSErr err = CheckDescription(description); err != noErr) return err;
  std::unique_ptr<ImageSequence> sequence(new (std::nothrow) ImageSequence(description, matrix));
  if (!sequence) return memFullErr;
  sequence->windowBlitter_.reset(new (std::nothrow) WindowBlitter(window, destRect, mirroring));
  if (!sequence->windowBlitter_) return memFullErr;
  *out = std::move(sequence);
  return noErr;
}

OSErr ImageSequence::BeginInGWorld(const ImageDescription& description, YCbCrMatrix matrix, GWorld* world,
                                   std::unique_ptr<ImageSequence>* out) {
  if (world == nullptr || world->pixMap.pixelSize != 32) return paramErr;
  if (OSErr err = CheckDescription(description); err != noErr) return err;
  if (Width(world->pixMap.bounds) < description.width || Height(world->pixMap.bounds) < description.height) {
    return paramErr;
  }
  std::unique_ptr<ImageSequence> sequence(new (std::nothrow) ImageSequence(description, matrix));
  if (!sequence) return memFullErr;
  sequence->world_ = world;
  *out = std::move(sequence);
  return noErr;
}

OSErr ImageSequence::DecompressFrame(const YCbCrImageView& frame) {
  if (frame.base == nullptr) return paramErr;
  if (frame.width != width_ || frame.height != height_ || frame.rowBytes < Row2vuyBytesNeeded(frame.width)) {
    return codecErr;
  }
  if (OSErr err = TakeFault(gFault.frameError, &gFault.frameFailures); err != noErr) return err;
  if (world_ != nullptr) {
    const RGB32ImageView dest{static_cast<uint32_t*>(world_->pixMap.baseAddr), world_->pixMap.rowBytes,
                              width_, height_};
    worldScaler_.Draw(frame, dest, Mirroring::kNone, matrix_);
    return noErr;
  }
  return windowBlitter_->Blit2vuy(frame, matrix_);
}

}  // namespace fw
