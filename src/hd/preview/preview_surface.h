// What the live preview needs of a window, independent of any toolkit: its
// size, an OpenGL context on it (or none), a way to show a software-rendered
// picture in a rectangle, and a repaint request. The Qt window implements it
// (preview_widget.h); tests drive the renderer through fakes of it.
#pragma once

#include <cstdint>
#include <memory>

#include "core/imaging/soft_scaler.h"
#include "core/imaging/ycbcr.h"
#include "core/platform/os_errors.h"
#include "core/util/types.h"

// QuickTime's code for a frame that had nowhere to go (a hidden window, an
// empty rectangle). The preview treats it as a frame dropped, not a failure.
constexpr OSErr codecNothingToBlitErr = -8976;

namespace fw {

// OpenGL errors pass through as their GL codes; this one (GL_CONTEXT_LOST)
// also stands for a window whose context went away under a running preview.
constexpr OSErr kGLContextLostErr = 0x0507;

// How one preview's frames reach the OpenGL context: everything the context
// needs to make the texture, place the picture and convert its colours.
struct GLFrameSetup {
  // The image: '2vuy', uploaded as an RGBA8 texture of half the width (one
  // texel per pair of pixels, bytes Cb Y0 Cr Y1 as R G B A).
  int32_t imageWidth = 0;   // pixels
  int32_t imageHeight = 0;  // rows
  // Row pitch of the frame in texels (4 bytes each): the unpack row length,
  // so a trimmed image inside a wider frame is read in place.
  int32_t rowLengthTexels = 0;
  // Where to draw, in window coordinates (top-left origin).
  Rect destRect;
  Mirroring mirroring = Mirroring::kNone;
  YCbCrMatrix matrix = YCbCrMatrix::kBT601;
};

// One preview's texture and drawing state in a context. Destroying it frees
// its OpenGL objects.
class GLFramePipe {
 public:
  virtual ~GLFramePipe() = default;
  // Uploads one frame (its bytes are read during the call only), draws it
  // into the set-up rectangle and flushes, without waiting for the display.
  // Returns an OpenGL error code, or 0.
  [[nodiscard]] virtual OSErr DrawFrame(const void* baseAddr) = 0;
  // The OpenGL texture name, for diagnostics.
  virtual uint32_t TextureName() const = 0;
};

class PreviewGLContext {
 public:
  virtual ~PreviewGLContext() = default;
  // The capability test and set-up of a preview: fails (with the reason, to
  // be logged by the caller or dropped) when the context cannot draw these
  // frames, in which case the software path is used instead.
  [[nodiscard]] virtual OSErr OpenFramePipe(const GLFrameSetup& setup, std::unique_ptr<GLFramePipe>* out) = 0;
};

// Drawing that a surface runs at its next repaint rather than when a frame
// arrives (see PreviewSurface::SetDeferredDraw).
class DeferredDraw {
 public:
  virtual void DrawPending() = 0;

 protected:
  ~DeferredDraw() = default;
};

class PreviewSurface {
 public:
  virtual ~PreviewSurface() = default;
  // Size of the drawing area in window coordinates.
  virtual int32_t PortWidth() const = 0;
  virtual int32_t PortHeight() const = 0;
  // The window's OpenGL context, or null when it has none.
  virtual PreviewGLContext* GLContext() = 0;
  // Shows a software-rendered picture of exactly destRect's size in destRect.
  // The pixels are read during the call only. Returns 0,
  // codecNothingToBlitErr when the window cannot show anything now, or
  // another error.
  [[nodiscard]] virtual OSErr ShowImage(const ConstRGB32ImageView& image, const Rect& destRect) = 0;
  // Removes a picture shown by ShowImage (the preview is going away).
  virtual void ClearImage(const Rect& destRect) = 0;
  // Asks for the window to be repainted soon; never waits for it.
  virtual void RequestRepaint() = 0;
  // Asks the surface to call draw->DrawPending() at the start of each
  // repaint of destRect from now on (borrowed until StopDeferredDraw), so
  // that the software path converts only the newest frame, at the display's
  // pace, and a frame's arrival costs one copy. False: the surface cannot,
  // and each frame is drawn when it arrives.
  virtual bool SetDeferredDraw(DeferredDraw* draw, const Rect& destRect) {
    (void)draw;
    (void)destRect;
    return false;
  }
  // Ends SetDeferredDraw for `draw`; does nothing when another draw has
  // replaced it since.
  virtual void StopDeferredDraw(DeferredDraw* draw) { (void)draw; }
};

}  // namespace fw
