// The live preview on the windows' surfaces.
#include "hd/app/surface_preview_port.h"

#include "core/capture/capture_records.h"
#include "hd/preview/video_preview.h"

namespace fw {

void SurfacePreviewPort::CalculatePreviewRect(Rect* outRect) {
  if (gCapture != nullptr)
    ::CalculatePreviewRect(outRect, &captureWindow_, CaptureState::kCapturing);
  else
    ::CalculatePreviewRect(outRect, &mainWindow_, CaptureState::kIdle);
}

OSErr SurfacePreviewPort::VPStartPreview(const PixMap* pixMap, const ImageDescription* imageDescription,
                                         WindowId window, const Rect* previewRect, bool flipH, bool flipV,
                                         bool useClientStorage, VideoPreviewRef* outRef) {
  return ::VPStartPreview(pixMap, imageDescription, &SurfaceOf(window), previewRect, flipH, flipV,
                          useClientStorage, outRef);
}

OSErr SurfacePreviewPort::VPDisplayFrame(VideoPreviewRef ref) {
  return ::VPDisplayFrame(ref);
}

void SurfacePreviewPort::VPDisposePreview(VideoPreviewRef ref) {
  ::VPDisposePreview(ref);
}

}  // namespace fw
