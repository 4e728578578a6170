// Framewright HD's application delegate: start-up (the frame timer, the
// settings, the main window's place, the device list and the input), the
// open video input, the menu commands (about box, preferences, manual) and
// the end of the run. It owns the capture controller, which starts, runs and
// ends captures, and it is the delegate of the capture window, the
// preferences window and the about box. No toolkit: it talks to
// the screen through AppView.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/prefs/prefs_struct.h"
#include "hd/app/about_box.h"
#include "hd/app/app_view.h"
#include "hd/app/capture_controller.h"
#include "hd/app/click_window.h"
#include "hd/app/prefs_window.h"
#include "hd/video/qt_capture.h"

// The device list, fetched once at start-up and freed at the end of the run.
extern CaptureDevices* gDevices;
extern int32_t gDeviceCount;

// The frame timer's period: 1/60 s.
constexpr std::chrono::microseconds kFrameTimerInterval{16'667};

// Whether a window whose frame has this origin and size (desktop
// coordinates, top-left origin) can be reached on one of the screens: its
// left edge at least 10 pixels inside a screen's usable area from the right,
// its right edge 10 inside from the left, its top edge (the title bar) not
// above the area and at least 10 above the area's bottom.
bool testWindowPosition(const MySize& size, const std::vector<fw::ScreenArea>& screens);

namespace fw {

class HDAppDelegate final : public AppDelegateDelegate, public PrefsWindowDelegate, public AboutBoxDelegate {
 public:
  // helpURL: the page the help command opens.
  HDAppDelegate(AppView& view, PreviewPort& preview, std::string helpURL);
  ~HDAppDelegate();

  void applicationDidFinishLaunching();
  // Finishes a running capture, closes the input, writes the settings and
  // frees the device list.
  void applicationWillTerminate();

  bool testWindowPosition(const MySize& size);
  // One tick of the frame timer: each open device delivers its newest frame.
  void timer();

  void about();
  void aboutBoxDidFinish() override;
  void preferences();
  void prefsDidFinish(bool ok, const PrefsStruct* newSettings) override;
  void manual();

  // Opens the input the settings name, or the first device. 0 also when
  // there is nothing to open; the error of the last attempt otherwise, after
  // an alert.
  int32_t openVideoInput();
  // Closes the device and frees the input record; the preview is left alone.
  void closeVideoInput();

  // The capture window's triggers.
  void scheduleFrameCapture() override { capture_.scheduleFrameCapture(); }
  void stopCaptureWithErr(int32_t err) override { capture_.stopCaptureWithErr(err); }
  // The main window's capture button and menu command.
  void startCapture() { capture_.startCapture(); }

  bool HasPrefsWindow() const { return prefsWindow_ != nullptr; }
  bool HasAboutBox() const { return aboutBox_ != nullptr; }

 private:
  AppView& appView() { return appView_; }
  void RestoreMainWindowPosition();
  void DisposePreview();
  int32_t OpenDevice(const char* uniqueID, int16_t inputNum);
  void ShowInputTitle(const char* uniqueID, int16_t inputNum);
  static bool MainWindowGeometry(MySize* outGeometry);

  AppView& appView_;
  PreviewPort& preview_;
  CaptureController capture_;
  std::string helpURL_;
  std::unique_ptr<PrefsWindow> prefsWindow_;
  std::unique_ptr<AboutBox> aboutBox_;
  bool terminated_ = false;
};

}  // namespace fw
