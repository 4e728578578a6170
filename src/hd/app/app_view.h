// What Framewright HD's application logic needs of the screen beyond the
// capture's own view: the frame timer, the screens' usable areas, placing
// the main window, the preferences window and the about box, the name of
// the open input, and opening a web link. The Qt shell implements it; the
// logic tests drive a recording fake. Everything here runs on the main
// thread.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/capture/capture_view.h"
#include "core/platform/os_errors.h"
#include "hd/app/about_box.h"
#include "hd/app/prefs_window.h"

namespace fw {

// The part of a screen that windows may use (without panels and docks), in
// the desktop's coordinates: origin at the top left, y downwards.
struct ScreenArea {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

class AppView : public CaptureView {
 public:
  // Calls onTick every `interval` on the main thread for the rest of the run,
  // also while menus are open and sheets are up.
  virtual void StartFrameTimer(std::chrono::microseconds interval, std::function<void()> onTick) = 0;
  // Every screen's usable area, the primary screen first.
  virtual std::vector<ScreenArea> ScreenAreas() = 0;
  // Moves a window's frame (title bar included) so its top-left corner lies
  // at this desktop point; its size stays.
  virtual void MoveWindowTo(WindowId window, int x, int y) = 0;
  // A new, hidden preferences window or about box. The view keeps track of
  // them so that HideAuxiliaryWindows and ShowAuxiliaryWindows reach them;
  // destroying the returned object closes the window for good.
  virtual std::unique_ptr<PrefsWindowView> CreatePrefsWindowView() = 0;
  virtual std::unique_ptr<AboutBoxView> CreateAboutBoxView() = 0;
  // The open input as the main window names it ("Camera - Input 1"), or an
  // empty text when none is open.
  virtual void SetInputTitle(const std::string& title) = 0;
  // Opens a URL with the user's preferred application. 0, paramErr for a
  // URL that is not one, or kNoURLHandlerErr when nothing would open it.
  [[nodiscard]] virtual OSErr LaunchURL(const char* url) = 0;
};

// No application took the URL (the code Internet Config gave for it).
constexpr OSErr kNoURLHandlerErr = -673;

}  // namespace fw
