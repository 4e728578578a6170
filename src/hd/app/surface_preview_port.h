// The live preview as the capture spine uses it, on the two windows'
// drawing surfaces: the main window's and the capture window's.
#pragma once

#include "core/capture/capture_view.h"
#include "hd/preview/preview_surface.h"

namespace fw {

class SurfacePreviewPort final : public PreviewPort {
 public:
  // Both surfaces are borrowed and must outlive every preview started here.
  SurfacePreviewPort(PreviewSurface& mainWindow, PreviewSurface& captureWindow)
      : mainWindow_(mainWindow), captureWindow_(captureWindow) {}

  // The capture window's rectangle while a capture exists, else the main
  // window's.
  void CalculatePreviewRect(Rect* outRect) override;
  [[nodiscard]] OSErr VPStartPreview(const PixMap* pixMap, const ImageDescription* imageDescription,
                                     WindowId window, const Rect* previewRect, bool flipH, bool flipV,
                                     bool useClientStorage, VideoPreviewRef* outRef) override;
  [[nodiscard]] OSErr VPDisplayFrame(VideoPreviewRef ref) override;
  void VPDisposePreview(VideoPreviewRef ref) override;

 private:
  PreviewSurface& SurfaceOf(WindowId window) {
    return window == WindowId::kCaptureWindow ? captureWindow_ : mainWindow_;
  }

  PreviewSurface& mainWindow_;
  PreviewSurface& captureWindow_;
};

}  // namespace fw
