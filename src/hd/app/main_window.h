// Framewright HD's main window: the live preview of the open input, the
// name of that input above it, the capture button and the count of the last
// capture below it, and the menu bar. It shows what it is told and hands
// every command to its owner.
#pragma once

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <functional>

#include "hd/preview/raster_preview_widget.h"

namespace fw {

class MainWindow final : public QMainWindow {
  Q_OBJECT

 public:
  // The commands of the menus and the capture button.
  struct Commands {
    std::function<void()> startCapture;
    std::function<void()> preferences;
    std::function<void()> about;
    std::function<void()> manual;
    std::function<void()> quit;
  };

  // previewKind: the start-up choice of preview widget.
  explicit MainWindow(Commands commands, PreviewKind previewKind = PreviewKind::kOpenGL);

  // The preview widget (the windows' content) and its drawing surface.
  QWidget* preview() { return preview_.widget; }
  PreviewSurface& previewSurface() { return *preview_.surface; }
  QPushButton* captureButton() { return captureButton_; }
  QAction* aboutAction() { return aboutAction_; }
  QAction* prefsAction() { return prefsAction_; }
  QAction* startCaptureAction() { return startCaptureAction_; }

  // From now on closing the window is the program's own end, not a request
  // to quit.
  void AllowClose() { closeAllowed_ = true; }
  void SetInputTitle(const QString& title);
  void SetLastCaptureFrames(uint32_t frames);
  // Adds to that count how many frames an every-frame capture had to drop.
  void SetLastCaptureDroppedFrames(uint32_t framesDropped);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void LayOutBars();

  Commands commands_;
  bool closeAllowed_ = false;
  uint32_t lastCaptureFrames_ = 0;
  PreviewWidgetRef preview_;
  QLabel* inputLabel_;
  QLabel* frameCountLabel_;
  QPushButton* captureButton_;
  QAction* startCaptureAction_ = nullptr;
  QAction* prefsAction_ = nullptr;
  QAction* aboutAction_ = nullptr;
};

}  // namespace fw
