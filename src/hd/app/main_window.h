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

#include "hd/preview/preview_widget.h"

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

  explicit MainWindow(Commands commands);

  PreviewWidget* preview() { return preview_; }
  QPushButton* captureButton() { return captureButton_; }
  QAction* aboutAction() { return aboutAction_; }
  QAction* prefsAction() { return prefsAction_; }
  QAction* startCaptureAction() { return startCaptureAction_; }

  // From now on closing the window is the program's own end, not a request
  // to quit.
  void AllowClose() { closeAllowed_ = true; }
  void SetInputTitle(const QString& title);
  void SetLastCaptureFrames(uint32_t frames);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void LayOutBars();

  Commands commands_;
  bool closeAllowed_ = false;
  PreviewWidget* preview_;
  QLabel* inputLabel_;
  QLabel* frameCountLabel_;
  QPushButton* captureButton_;
  QAction* startCaptureAction_ = nullptr;
  QAction* prefsAction_ = nullptr;
  QAction* aboutAction_ = nullptr;
};
