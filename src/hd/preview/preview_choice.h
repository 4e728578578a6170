// Which widget shows the live preview, decided once at start-up before any
// window is made: one with an OpenGL context, or a plain raster one that
// paints the software path's picture. A window that holds an OpenGL widget is
// composited through OpenGL as a whole, so on a display without a usable
// OpenGL (no GLX, a remote X server, some virtual machines) such a window
// could not be painted at all; it must never be made there.
#pragma once

#include <cstdint>
#include <string>

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
};

struct PreviewChoice {
  PreviewKind kind = PreviewKind::kSoftware;
  // For the log, once: why the software preview was chosen; empty for OpenGL.
  std::string reason;
};

// Asks the probe step by step; the first refusal chooses the software preview.
PreviewChoice ChoosePreviewKind(OpenGLProbe& probe);
