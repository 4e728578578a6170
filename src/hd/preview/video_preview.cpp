// The live preview: start, draw, restart and dispose, and the order of the
// software fallbacks.
#include "hd/preview/video_preview.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <utility>

#include "core/util/rects.h"

using namespace fw;

namespace {

bool gGLCapabilityFailureForTesting = false;

int16_t ToInt16(int32_t v) {
  return static_cast<int16_t>(std::clamp<int32_t>(v, INT16_MIN, INT16_MAX));
}

OSErr CheckFrameDescription(const PixMap& pixMap, const ImageDescription& description) {
  const Rect& b = pixMap.bounds;
  if (pixMap.pixelFormat != k2vuyPixelFormat || pixMap.pixelSize != 16) return paramErr;
  if (b.top != 0 || b.left != 0 || b.bottom <= 0 || b.right <= 0) return paramErr;
  if (pixMap.rowBytes < Row2vuyBytesNeeded(b.right)) return paramErr;
  if (description.width != b.right || description.height != b.bottom) return paramErr;
  return noErr;
}

YCbCrImageView FrameView(const VideoPreviewRecord& record) {
  const uint8_t* base = record.drawingFrom != nullptr ? record.drawingFrom
                                                      : static_cast<const uint8_t*>(record.pixMap->baseAddr);
  return YCbCrImageView{base, record.frameRowBytes, record.imageBounds.right, record.imageBounds.bottom};
}

// The bytes of one frame as the preview reads them: every row at the frame's
// pitch, the last only as far as the image reaches (a trimmed image may end
// inside the device's buffer).
size_t FrameSpanBytes(const VideoPreviewRecord& record) {
  const auto rows = static_cast<size_t>(record.imageBounds.bottom);
  return (rows - 1) * static_cast<size_t>(record.frameRowBytes) +
         static_cast<size_t>(Row2vuyBytesNeeded(record.imageBounds.right));
}

Mirroring MirroringOf(const VideoPreviewRecord& record) {
  return MirroringFor(record.flipH, record.flipV);
}

// The OpenGL set-up; any failure leaves the record on the fallback, and the
// reason goes no further (the caller must not see it).
void TryOpenGL(VideoPreviewRecord* record) {
  PreviewGLContext* context = record->window->GLContext();
  if (context == nullptr || gGLCapabilityFailureForTesting) return;
  // The unpack row length counts whole texels of 4 bytes.
  if (record->frameRowBytes % 4 != 0) return;
  GLFrameSetup setup;
  setup.imageWidth = record->imageBounds.right;
  setup.imageHeight = record->imageBounds.bottom;
  setup.rowLengthTexels = record->frameRowBytes / 4;
  setup.destRect = record->destRect;
  setup.mirroring = MirroringOf(*record);
  setup.matrix = record->matrix;
  std::unique_ptr<GLFramePipe> pipe;
  if (context->OpenFramePipe(setup, &pipe) != noErr || !pipe) return;
  record->glContext = context;
  record->texture = std::move(pipe);
}

OSErr BeginWindowSequence(VideoPreviewRecord* record) {
  return ImageSequence::BeginInWindow(*record->imageDescription, record->matrix, record->window,
                                      record->destRect, MirroringOf(*record), &record->imageSequence);
}

WindowBlitter* Blitter(VideoPreviewRecord* record) {
  if (!record->windowBlitter) {
    record->windowBlitter.reset(new (std::nothrow)
                                    WindowBlitter(record->window, record->destRect, MirroringOf(*record)));
  }
  return record->windowBlitter.get();
}

// CopyBits of the off-screen buffer, or of the frame itself, into destRect.
// A window with nothing to draw into is not an error.
OSErr CopyToWindow(VideoPreviewRecord* record) {
  WindowBlitter* blitter = Blitter(record);
  if (blitter == nullptr) return memFullErr;
  OSErr err;
  if (record->offscreenPixMap != nullptr && record->imageSequence) {
    const PixMap& pm = *record->offscreenPixMap;
    err = blitter->BlitRGB32(ConstRGB32ImageView{static_cast<const uint32_t*>(pm.baseAddr), pm.rowBytes,
                                                 record->imageBounds.right, record->imageBounds.bottom});
  } else {
    err = blitter->Blit2vuy(FrameView(*record), record->matrix);
  }
  return err == codecNothingToBlitErr ? noErr : err;
}

// After the window sequence failed twice: draw through an off-screen buffer.
OSErr SwitchToOffscreen(VideoPreviewRecord* record) {
  record->imageSequence.reset();
  Rect bounds = record->imageBounds;
  std::unique_ptr<GWorld> world;
  if (OSErr err = MyNewGWorld(&world, 32, &bounds, nullptr); err != noErr) return err;
  record->offscreenGWorld = std::move(world);
  record->offscreenPixMap = &record->offscreenGWorld->pixMap;
  if (OSErr err = ImageSequence::BeginInGWorld(*record->imageDescription, record->matrix,
                                               record->offscreenGWorld.get(), &record->imageSequence);
      err != noErr) {
    return err;
  }
  // Decoded now rather than from the next frame on, so the switch does not
  // show one frame of an empty buffer.
  return record->imageSequence->DecompressFrame(FrameView(*record));
}

OSErr DisplayFallbackFrame(VideoPreviewRecord* record) {
  if (!record->imageSequence) return CopyToWindow(record);

  OSErr err = record->imageSequence->DecompressFrame(FrameView(*record));
  if (err == codecNothingToBlitErr) return noErr;
  if (err != noErr) {
    const OSErr firstErr = err;
    if (VPRestartQTPreview(record) != noErr) return firstErr;
    err = record->imageSequence->DecompressFrame(FrameView(*record));
    if (err != noErr) {
      if (err == codecNothingToBlitErr || record->offscreenGWorld) return err;
      if (OSErr switchErr = SwitchToOffscreen(record); switchErr != noErr) return switchErr;
    }
  }
  if (record->offscreenGWorld) return CopyToWindow(record);
  return noErr;  // the sequence drew into the window itself
}

}  // namespace

OSErr fw::PendingSoftwareFrame::Take(const uint8_t* frame, size_t sizeBytes) {
  try {
    bytes_.assign(frame, frame + sizeBytes);
  } catch (const std::bad_alloc&) {
    pending_ = false;
    return memFullErr;
  }
  pending_ = true;
  return std::exchange(drawErr_, noErr);
}

void fw::PendingSoftwareFrame::DrawPending() {
  if (!pending_) return;
  pending_ = false;
  record_->drawingFrom = bytes_.data();
  const OSErr err = DisplayFallbackFrame(record_);
  record_->drawingFrom = nullptr;
  if (err != noErr) drawErr_ = err;
}

void fw::SetGLCapabilityFailureForTesting(bool fail) {
  gGLCapabilityFailureForTesting = fail;
}

OSErr VPStartPreview(const PixMap* pixMap, const ImageDescription* imageDescription, PreviewSurface* window,
                     const Rect* previewRect, bool flipH, bool flipV, bool useClientStorage,
                     VideoPreviewRef* outRef) {
  if (pixMap == nullptr) return kVPNoPixMapErr;
  if (imageDescription == nullptr) return kVPNoImageDescriptionErr;
  if (window == nullptr) return kVPNoWindowErr;
  if (previewRect == nullptr || outRef == nullptr) return paramErr;
  if (OSErr err = CheckFrameDescription(*pixMap, *imageDescription); err != noErr) return err;

  std::unique_ptr<VideoPreviewRecord> record(new (std::nothrow) VideoPreviewRecord());
  if (!record) return OSErrFromErrno(ENOMEM);
  record->imageBounds = pixMap->bounds;
  record->previewRect = *previewRect;
  record->destRect = record->imageBounds;
  FitAndCenterRectInRect(&record->destRect, &record->previewRect);
  record->pixMap = pixMap;
  record->imageDescription = imageDescription;
  record->imageDataSize = imageDescription->dataSize;
  record->window = window;
  record->useClientStorage = useClientStorage;
  record->flipH = flipH;
  record->flipV = flipV;
  record->frameRowBytes = pixMap->rowBytes;
  // A trimmed image is still from an HD or SD source: judge by the frame's
  // full width (its row) as well as the image.
  record->matrix =
      ChooseYCbCrMatrix(std::max<int32_t>(pixMap->bounds.right, pixMap->rowBytes / 2), pixMap->bounds.bottom);
  record->texInternalFormat = kGLRGBA8;
  record->texFormat = kGLRGBA;
  record->texType = kGLUnsignedByte;

  TryOpenGL(record.get());
  if (record->glContext == nullptr) {
    if (OSErr err = BeginWindowSequence(record.get()); err != noErr) return err;
    std::unique_ptr<PendingSoftwareFrame> pending(new (std::nothrow) PendingSoftwareFrame(record.get()));
    if (pending && window->SetDeferredDraw(pending.get(), record->destRect)) {
      record->pendingFrame = std::move(pending);
    }
  }
  *outRef = record.release();
  return noErr;
}

OSErr VPDisplayFrame(VideoPreviewRef ref) {
  if (ref == nullptr) return kVPNoPreviewErr;
  if (ref->pixMap->baseAddr == nullptr) return kVPNoBaseAddressErr;
  if (ref->pixMap->rowBytes != ref->frameRowBytes || ref->pixMap->bounds != ref->imageBounds) return paramErr;

  OSErr err;
  if (ref->glContext != nullptr) {
    err = ref->texture->DrawFrame(ref->pixMap->baseAddr);
  } else if (ref->pendingFrame) {
    err = ref->pendingFrame->Take(static_cast<const uint8_t*>(ref->pixMap->baseAddr), FrameSpanBytes(*ref));
    // Repainted even after an earlier conversion's error: this frame may draw.
    if (ref->pendingFrame->Pending()) ref->window->RequestRepaint();
    return err;
  } else {
    err = DisplayFallbackFrame(ref);
  }
  if (err == noErr) ref->window->RequestRepaint();
  return err;
}

OSErr VPRestartQTPreview(VideoPreviewRef ref) {
  if (ref == nullptr) return kVPRestartNoPreviewErr;
  if (!ref->imageSequence) return noErr;
  ref->imageSequence.reset();
  if (ref->offscreenGWorld) {
    return ImageSequence::BeginInGWorld(*ref->imageDescription, ref->matrix, ref->offscreenGWorld.get(),
                                        &ref->imageSequence);
  }
  return BeginWindowSequence(ref);
}

void VPDisposePreview(VideoPreviewRef ref) {
  if (ref == nullptr) return;
  std::unique_ptr<VideoPreviewRecord> record(ref);
  if (record->pendingFrame) record->window->StopDeferredDraw(record->pendingFrame.get());
  record->texture.reset();  // frees its OpenGL objects in its context
  record->imageSequence.reset();
  record->offscreenPixMap = nullptr;
  record->offscreenGWorld.reset();
  record->window->ClearImage(record->destRect);
  record->window->RequestRepaint();
}

void CalculatePreviewRect(Rect* outRect, const PreviewSurface* window, CaptureState state) {
  const int32_t width = window != nullptr ? window->PortWidth() : 0;
  const int32_t height = window != nullptr ? window->PortHeight() : 0;
  Rect r{0, 0, ToInt16(height), ToInt16(width)};
  if (state == CaptureState::kCapturing) {
    r.top = ToInt16(r.top + 70);
    r.left = ToInt16(r.left + 10);
    r.right = ToInt16(r.right - 10);
  } else {
    r.top = ToInt16(r.top + 36);
    r.left = ToInt16(r.left + 10);
    r.right = ToInt16(r.right - 10);
    r.bottom = ToInt16(r.bottom - 54);
  }
  *outRect = r;
}

PreviewDrawingMode VPGetDrawingMode(VideoPreviewRef ref) {
  if (ref == nullptr) return PreviewDrawingMode::kDirectCopy;
  if (ref->glContext != nullptr) return PreviewDrawingMode::kOpenGL;
  if (!ref->imageSequence) return PreviewDrawingMode::kDirectCopy;
  return ref->imageSequence->DrawsIntoGWorld() ? PreviewDrawingMode::kSequenceOffscreen
                                               : PreviewDrawingMode::kSequenceInWindow;
}
