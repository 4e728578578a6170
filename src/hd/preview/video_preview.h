// The live preview of Framewright HD: each delivered frame drawn into a
// rectangle of a window, fitted and centred with its aspect ratio kept, and
// mirrored as the preferences ask. OpenGL draws it when the window's context
// can; otherwise a software renderer does, falling back from a sequence that
// draws into the window, to one that draws off-screen and is copied, to
// copying the frame's own pixels. All calls run on the main thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/platform/os_errors.h"
#include "core/util/gworld.h"
#include "core/util/image_description.h"
#include "core/util/pixmap.h"
#include "core/util/types.h"
#include "hd/preview/image_sequence.h"
#include "hd/preview/preview_surface.h"

// The preview's own error codes.
constexpr OSErr kVPNoPixMapErr = 32;            // VPStartPreview: no frame description
constexpr OSErr kVPNoImageDescriptionErr = 33;  // VPStartPreview: no image description
constexpr OSErr kVPNoWindowErr = 34;            // VPStartPreview: no window
constexpr OSErr kVPNoPreviewErr = 37;           // VPDisplayFrame: no preview
constexpr OSErr kVPNoBaseAddressErr = 38;       // VPDisplayFrame: the frame description has no pixels
constexpr OSErr kVPRestartNoPreviewErr = 79;    // VPRestartQTPreview: no preview

// OpenGL names of the texture upload of '2vuy' frames: one RGBA8 texel per
// pair of pixels.
constexpr uint32_t kGLRGBA8 = 0x8058;
constexpr uint32_t kGLRGBA = 0x1908;
constexpr uint32_t kGLUnsignedByte = 0x1401;

enum class PreviewDrawingMode : uint8_t {
  kOpenGL,             // fixed at start
  kSequenceInWindow,   // the fallback's first mode
  kSequenceOffscreen,  // after the window sequence failed twice
  kDirectCopy,         // after a restart failed; final
};

struct VideoPreviewRecord;

namespace fw {

// The software path's frame waiting for the window's next repaint, on
// surfaces that can defer drawing: VPDisplayFrame copies each frame here
// (the caller's bytes are valid only during the call) and asks for a repaint;
// the repaint converts the newest one. So frames that arrive faster than the
// display repaints cost a copy each, and the caller (the capture loop) never
// waits for a conversion. A conversion's error is returned by the next
// VPDisplayFrame.
class PendingSoftwareFrame final : public DeferredDraw {
 public:
  explicit PendingSoftwareFrame(VideoPreviewRecord* record) : record_(record) {}
  // Copies the frame and returns the error of the last conversion, if any
  // (memFullErr when the copy cannot be made).
  [[nodiscard]] OSErr Take(const uint8_t* frame, size_t sizeBytes);
  void DrawPending() override;
  bool Pending() const { return pending_; }

 private:
  VideoPreviewRecord* record_;
  std::vector<uint8_t> bytes_;
  bool pending_ = false;
  OSErr drawErr_ = noErr;
};

}  // namespace fw

struct VideoPreviewRecord {
  fw::PreviewGLContext* glContext = nullptr;  // null when the fallback draws
  uint32_t texInternalFormat = 0;
  uint32_t texFormat = 0;
  uint32_t texType = 0;
  std::unique_ptr<fw::GLFramePipe> texture;            // the OpenGL path's texture and drawing state
  std::unique_ptr<fw::ImageSequence> imageSequence;    // the fallback's sequence, when one is running
  Rect imageBounds;                                    // the frame description's bounds, copied at start
  Rect previewRect;                                    // as given
  Rect destRect;                                       // imageBounds fitted and centred in previewRect
  const PixMap* pixMap = nullptr;                      // not owned
  const ImageDescription* imageDescription = nullptr;  // not owned
  int32_t imageDataSize = 0;
  fw::PreviewSurface* window = nullptr;     // not owned; also the drawing port
  std::unique_ptr<GWorld> offscreenGWorld;  // the off-screen mode's buffer
  PixMap* offscreenPixMap = nullptr;        // its pixel map
  bool useClientStorage = false;
  bool flipH = false;
  bool flipV = false;
  // Fixed at start: frames must keep this row pitch, since the OpenGL
  // texture and the software sampling tables were made for it.
  int32_t frameRowBytes = 0;
  fw::YCbCrMatrix matrix = fw::YCbCrMatrix::kBT601;
  // CopyBits into the window for the off-screen and direct-copy modes.
  std::unique_ptr<fw::WindowBlitter> windowBlitter;
  // Set when the window defers the software path's drawing to its repaints.
  std::unique_ptr<fw::PendingSoftwareFrame> pendingFrame;
  // The bytes the software path converts: null for the frame description's
  // own, else the pending copy while a repaint draws it.
  const uint8_t* drawingFrom = nullptr;
};
using VideoPreviewRef = VideoPreviewRecord*;

// Starts a preview of the frames that `pixMap` frames ('2vuy'; its base
// address is set by the caller before each VPDisplayFrame) in `previewRect`
// of `window`. The frame and image descriptions and the window must outlive
// the preview. `useClientStorage` is accepted and has no effect: frames are
// uploaded during VPDisplayFrame, since their bytes are valid only then.
// Writes *outRef only on success. Errors: 32, 33, 34 for a missing argument;
// paramErr for a frame description the renderer cannot read safely (not
// '2vuy', empty, rows shorter than the image, or not matching the image
// description); memFullErr; the fallback's error when it cannot begin.
[[nodiscard]] OSErr VPStartPreview(const PixMap* pixMap, const ImageDescription* imageDescription,
                                   fw::PreviewSurface* window, const Rect* previewRect, bool flipH,
                                   bool flipV, bool useClientStorage, VideoPreviewRef* outRef);

// Draws the frame the frame description points at now; on the software path
// of a window that defers drawing, copies it to be drawn at the window's next
// repaint (see PendingSoftwareFrame). Errors: 37 without a
// preview, 38 without a base address, paramErr when the frame's row pitch or
// size changed since the start, the OpenGL error of the upload, or the
// fallback's error (a frame with nowhere to draw is not an error).
[[nodiscard]] OSErr VPDisplayFrame(VideoPreviewRef ref);

// Frees the preview and clears its picture from the window; null is allowed.
void VPDisposePreview(VideoPreviewRef ref);

// Ends the fallback's sequence and begins a new one with the same
// destination; 79 without a preview, 0 when no sequence runs. On failure no
// sequence is left and the preview copies frames directly from then on.
[[nodiscard]] OSErr VPRestartQTPreview(VideoPreviewRef ref);

// Whether a capture runs, which decides the layout around the preview.
enum class CaptureState { kIdle, kCapturing };

// The rectangle the preview may use in `window`: the window's area less the
// controls around it (top 36, sides 10, bottom 54 in the main window while
// idle; top 70 and sides 10 in the capture window while capturing). A null
// window counts as 0 × 0.
void CalculatePreviewRect(Rect* outRect, const fw::PreviewSurface* window, CaptureState state);

// Which of its drawing modes a preview is in (null: kDirectCopy).
PreviewDrawingMode VPGetDrawingMode(VideoPreviewRef ref);

namespace fw {

// Test seam: while set, the OpenGL capability test fails for every new
// preview, as on a graphics system that cannot draw '2vuy' frames.
void SetGLCapabilityFailureForTesting(bool fail);

}  // namespace fw
