// The Qt window surface of the live preview: an OpenGL widget meant to be the
// whole content of the main window or of the capture window, so its
// coordinates are the window's. Ordinary child widgets (buttons, labels)
// placed outside the preview rectangle are shown and take clicks as usual.
//
// VPDisplayFrame only copies an OpenGL frame (its bytes are valid only
// then); the upload and the draw happen in the next repaint (paintGL), which
// Qt paces to the display and runs once however many frames came before it:
// a newer frame replaces the one waiting, and the caller never waits for the
// renderer. The widget keeps its framebuffer between repaints (partial
// updates) and only clears the areas it is told to. Software pictures are
// kept and painted at the next repaint. Without a working OpenGL context the
// widget cannot paint at all, nor can the window holding it: the program
// decides at start-up (ChoosePreviewKindForDisplay) whether to make it or
// the raster widget.
#pragma once

#include <QImage>
#include <QOpenGLBuffer>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QOpenGLVertexArrayObject>
#include <QOpenGLWidget>
#include <QRect>
#include <memory>
#include <vector>

#include "hd/preview/preview_surface.h"

namespace fw {

class PreviewWidget : public QOpenGLWidget,
                      public PreviewSurface,
                      public PreviewGLContext,
                      protected QOpenGLFunctions {
  Q_OBJECT

 public:
  explicit PreviewWidget(QWidget* parent = nullptr);
  ~PreviewWidget() override;

  // PreviewSurface
  int32_t PortWidth() const override { return width(); }
  int32_t PortHeight() const override { return height(); }
  PreviewGLContext* GLContext() override;
  [[nodiscard]] OSErr ShowImage(const ConstRGB32ImageView& image, const Rect& destRect) override;
  void ClearImage(const Rect& destRect) override;
  void RequestRepaint() override { update(); }
  bool SetDeferredDraw(DeferredDraw* draw, const Rect& destRect) override;
  void StopDeferredDraw(DeferredDraw* draw) override;

  // PreviewGLContext
  [[nodiscard]] OSErr OpenFramePipe(const GLFrameSetup& setup, std::unique_ptr<GLFramePipe>* out) override;

  // Why the context cannot draw previews, empty when it can (or has not been
  // made yet). For the application's diagnostics.
  QString GLUnusableReason() const { return glUnusableReason_; }

 protected:
  void initializeGL() override;
  void resizeGL(int w, int h) override;
  void paintGL() override;

 private:
  class FramePipe;

  bool BuildPipeline();
  void CleanupGL();
  [[nodiscard]] OSErr MakeTexture(FramePipe* pipe);
  [[nodiscard]] OSErr DrawPipe(FramePipe* pipe, const void* baseAddr);
  [[nodiscard]] OSErr PaintPipe(FramePipe* pipe);
  void ReleasePipe(FramePipe* pipe);
  void ApplyPendingClears();
  void DrainGLErrors();
  QRect DeviceRect(const Rect& windowRect) const;  // OpenGL's bottom-left origin, device pixels

  std::unique_ptr<QOpenGLShaderProgram> program_;
  struct UniformLocations {
    int frame = -1, scale = -1, imageSize = -1, textureSize = -1, coefficients = -1, cbToB = -1;
  } uniforms_;
  QOpenGLBuffer vertexBuffer_;
  QOpenGLVertexArrayObject vertexArray_;
  bool glUsable_ = false;
  QString glUnusableReason_;
  int maxTextureSize_ = 0;
  uint64_t contextGeneration_ = 0;  // counts contexts made for this widget
  std::vector<FramePipe*> pipes_;   // live, not owned

  QImage softwareImage_;
  QRect softwareRect_;
  bool softwareDirty_ = false;
  DeferredDraw* deferredDraw_ = nullptr;  // borrowed; the software path's newest frame
  bool clearAll_ = true;
  std::vector<Rect> pendingClears_;  // window coordinates
};

}  // namespace fw
