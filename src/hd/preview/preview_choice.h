// Which widget shows the live preview, decided once at start-up before any
// window is made: one with an OpenGL context, or a plain raster one that
// paints the software path's picture. A window that holds an OpenGL widget is
// composited through OpenGL as a whole, so on a display without a usable
// OpenGL (no GLX, a remote X server, some virtual machines) such a window
// could not be painted at all; it must never be made there.
#pragma once

#include <cstdint>
#include <string>

namespace fw {

enum class PreviewKind : uint8_t { kOpenGL, kSoftware };

// The preview needs textures this large: a 1920 × 1080 frame is 960 × 1080
// texels, and the limit is a power of two.
constexpr int32_t kMinPreviewTextureSize = 2048;

// The questions the decision asks of the graphics system, in order. The Qt
// program answers them on an offscreen surface (preview_widget.h); tests
// refuse each step.
class OpenGLProbe {
 public:
  virtual ~OpenGLProbe() = default;
  // A context that is created and made current on an offscreen surface.
  virtual bool MakeContextCurrent() = 0;
  // The preview's own shaders compiled and linked in that context: empty on
  // success, else why not.
  virtual std::string CheckShaders() = 0;
  // GL_MAX_TEXTURE_SIZE of that context.
  virtual int32_t MaxTextureSize() = 0;
  // GL_RENDERER of that context.
  virtual std::string Renderer() = 0;
};

// Whether a renderer draws OpenGL on the processor (Mesa's llvmpipe,
// softpipe and swrast, the software rasterizers of other drivers).
bool IsSoftwareRenderer(const std::string& renderer);

// What to do with an OpenGL that is drawn in software. There the OpenGL
// window costs the main thread more than the raster one (each repaint
// composes the whole window through OpenGL on the processor; measured with
// bench/gui_capture), so the raster widget is preferred; tests of the OpenGL
// path on machines without a graphics processor keep OpenGL.
enum class SoftwareOpenGL : uint8_t { kPreferRaster, kKeepOpenGL };

struct PreviewChoice {
  PreviewKind kind = PreviewKind::kSoftware;
  // For the log, once: why the software preview was chosen; empty for OpenGL.
  std::string reason;
};

// Asks the probe step by step; the first refusal chooses the software
// preview, and so does an OpenGL drawn in software unless told to keep it.
PreviewChoice ChoosePreviewKind(OpenGLProbe& probe,
                                SoftwareOpenGL softwareOpenGL = SoftwareOpenGL::kPreferRaster);

}  // namespace fw
