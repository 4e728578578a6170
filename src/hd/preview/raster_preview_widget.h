// The live preview's window surface where there is no usable OpenGL: a plain
// widget that paints the software path's picture with QPainter. Like the
// OpenGL widget it is meant to be the whole content of the main window or of
// the capture window (its coordinates are the window's), with the windows'
// controls as its children; nothing above the preview interface knows which
// of the two it has.
#pragma once

#include <QImage>
#include <QRect>
#include <QWidget>

#include "hd/preview/preview_choice.h"
#include "hd/preview/preview_surface.h"

namespace fw {

class RasterPreviewWidget final : public QWidget, public PreviewSurface {
  Q_OBJECT

 public:
  explicit RasterPreviewWidget(QWidget* parent = nullptr);

  // PreviewSurface
  int32_t PortWidth() const override { return width(); }
  int32_t PortHeight() const override { return height(); }
  PreviewGLContext* GLContext() override { return nullptr; }
  [[nodiscard]] OSErr ShowImage(const ConstRGB32ImageView& image, const Rect& destRect) override;
  void ClearImage(const Rect& destRect) override;
  // Only the picture's rectangle is repainted; requests before the repaint
  // come together into one.
  void RequestRepaint() override;
  bool SetDeferredDraw(DeferredDraw* draw, const Rect& destRect) override;
  void StopDeferredDraw(DeferredDraw* draw) override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage image_;
  QRect imageRect_;
  DeferredDraw* deferredDraw_ = nullptr;  // borrowed
  QRect deferredRect_;
};

// Either preview widget, as a window holds it: the widget to lay out and
// parent the controls to, and the surface to draw the preview on.
struct PreviewWidgetRef {
  QWidget* widget = nullptr;
  PreviewSurface* surface = nullptr;
};
PreviewWidgetRef MakePreviewWidget(PreviewKind kind, QWidget* parent);

// The start-up decision on this display (see preview_choice.h), made on an
// offscreen surface before any window exists. Needs the QApplication.
PreviewChoice ChoosePreviewKindForDisplay(SoftwareOpenGL softwareOpenGL);

// For tests of the OpenGL path on machines without a graphics processor, not
// offered to users: while set, an OpenGL drawn in software is kept.
constexpr char kKeepSoftwareOpenGLVariable[] = "FRAMEWRIGHT_TEST_KEEP_SOFTWARE_OPENGL";

}  // namespace fw
