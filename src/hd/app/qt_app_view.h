// The Qt face of Framewright HD: the main window, the capture window and
// the dialogs, the frame timer, alerts as window-modal sheets and the save
// panel. It shows what the application logic asks for and hands every user
// command to it; it decides nothing itself.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <vector>

#include "hd/app/app_view.h"
#include "hd/app/capture_window.h"
#include "hd/app/click_window.h"
#include "hd/app/main_window.h"

namespace fw {

class HDAppDelegate;

class QtAppView final : public QObject, public AppView {
  Q_OBJECT

 public:
  // aboutLinkText: the address the about box links to; previewKind: the
  // start-up choice of preview widget for both windows.
  explicit QtAppView(QString aboutLinkText, PreviewKind previewKind = PreviewKind::kOpenGL);
  ~QtAppView() override;

  // The logic the windows' commands go to; set once, before the start.
  void Attach(HDAppDelegate* delegate);

  // Ends the run: the windows let themselves be closed (Qt closes every
  // window before it quits, and one that refuses stops the quit), then the
  // event loop ends and the logic finishes up on its way out.
  void Quit();

  MainWindow& mainWindow() { return *mainWindow_; }
  CaptureWindow& captureWindow() { return *captureWindow_; }

  // CaptureView
  void ShowWindow(WindowId window) override;
  void HideWindow(WindowId window) override;
  void HideAuxiliaryWindows() override;
  void ShowAuxiliaryWindows() override;
  void SetCaptureTrigger(uint8_t trigger) override;
  void SetAuxiliaryMenuItems(Enablement enablement) override;
  void SetCaptureButton(Enablement enablement) override;
  void SetFrameCount(uint32_t framesWritten) override;
  void ReportDroppedFrames(uint32_t framesDropped) override;
  void Beep() override;
  void SetCaptureHealth(const fw::CaptureHealthReport& report) override;
  WindowFrame FrameOf(WindowId window) override;
  void MovePointerTo(int screenX, int screenY) override;
  void ShowAlert(WindowId window, const std::string& message, std::function<void()> onDismissed) override;
  void ShowSavePanel(const std::string& suggestedName,
                     std::function<void(std::optional<std::string> path)> onDone) override;

  // AppView
  void StartFrameTimer(std::chrono::microseconds interval, std::function<void()> onTick) override;
  std::vector<ScreenArea> ScreenAreas() override;
  void MoveWindowTo(WindowId window, int x, int y) override;
  std::unique_ptr<PrefsWindowView> CreatePrefsWindowView() override;
  std::unique_ptr<AboutBoxView> CreateAboutBoxView() override;
  void SetInputTitle(const std::string& title) override;
  [[nodiscard]] OSErr LaunchURL(const char* url) override;

 private:
  QWidget* WindowOf(WindowId window);
  void TrackAuxiliaryWindow(QWidget* window);

  HDAppDelegate* delegate_ = nullptr;
  QString aboutLinkText_;
  ClickWindow clickWindow_;
  std::unique_ptr<MainWindow> mainWindow_;
  std::unique_ptr<CaptureWindow> captureWindow_;
  QTimer frameTimer_;
  std::function<void()> onTick_;
  // The open preferences window and about box (deleted by their views).
  std::vector<QPointer<QWidget>> auxiliaryWindows_;
};

}  // namespace fw
