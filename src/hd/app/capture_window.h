// The capture window: the picture being captured, how to take a frame and
// how to finish, and the count of frames written. Its clicks and keys go to
// its ClickWindow, which turns them into triggers; the window decides
// nothing itself.
#pragma once

#include <QLabel>
#include <QWidget>

#include "core/capture/capture_health.h"
#include "hd/app/click_window.h"
#include "hd/preview/raster_preview_widget.h"

namespace fw {

class CaptureWindow final : public QWidget {
  Q_OBJECT

 public:
  // previewKind: the start-up choice of preview widget.
  explicit CaptureWindow(ClickWindow& clickWindow, PreviewKind previewKind = PreviewKind::kOpenGL);

  // The preview widget (the windows' content) and its drawing surface.
  QWidget* preview() { return preview_.widget; }
  PreviewSurface& previewSurface() { return *preview_.surface; }

  // Sizes the window for the screen area it will be shown on (at most
  // 1280 × 800) and centres it there. Called while the window is hidden:
  // a preview is only ever started on a window that keeps its size.
  void PlaceOn(const QRect& screenArea);
  // The instructions for this trigger.
  void ShowTrigger(uint8_t trigger);
  void SetFrameCount(uint32_t frames);
  // The every-frame capture's health: frames dropped beside the count (and
  // in the title), minutes left on the disk and a slow disk's warning under
  // the instructions. An empty report shows nothing.
  void SetHealth(const fw::CaptureHealthReport& report);
  // The program is ending (and finishes the capture itself): the window may
  // close.
  void AllowClose() { closeAllowed_ = true; }

 protected:
  bool event(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void LayOutBar();
  void ShowTitle();

  ClickWindow& clickWindow_;
  bool closeAllowed_ = false;
  PreviewWidgetRef preview_;
  QLabel* instructionsLabel_;
  QLabel* frameCountLabel_;
  QLabel* droppedLabel_;
  QLabel* healthLabel_;
  uint32_t frames_ = 0;
  uint32_t framesDropped_ = 0;
};

}  // namespace fw
