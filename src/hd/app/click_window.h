// The capture window's logic: its clicks and keys become triggers and the
// end of the capture. Keys are told by their hardware key code (the X11 /
// XKB keycode: the evdev scan code plus 8), not by the character they type,
// so the keyboard layout does not matter.
#pragma once

#include <cstdint>

#include "core/prefs/prefs_struct.h"
#include "core/stopmotion/stop_motion.h"

// Receives the capture window's triggers (the application delegate).
class AppDelegateDelegate {
 public:
  virtual void scheduleFrameCapture() = 0;
  virtual void stopCaptureWithErr(int32_t err) = 0;
  // One of the stop-motion keys (onion skin, take back, review).
  virtual void stopMotionCommand(fw::StopMotionCommand /*command*/) {}

 protected:
  ~AppDelegateDelegate() = default;
};

constexpr uint32_t kEscapeKeyCode = 9;  // KEY_ESC (1) + 8
constexpr uint32_t kSpaceKeyCode = 65;  // KEY_SPACE (57) + 8

class ClickWindow {
 public:
  // Sent at the start of every capture with the trigger preference and the
  // delegate (not owned).
  void setCaptureTrigger(uint8_t trigger, AppDelegateDelegate* delegate) {
    trigger_ = trigger;
    msgDelegate_ = delegate;
  }

  void mouseDown();
  void mouseUp();
  void keyDown(uint32_t keyCode);
  // The same with the character the key types (0 for none): the
  // stop-motion keys are told by their character, so [ and ] are found
  // wherever the layout puts them; Escape and the space bar still by their
  // hardware key.
  void keyDown(uint32_t keyCode, uint32_t character);
  // The window's close button: ends the capture as Escape does (the window
  // is put away by the end of the capture, not by the close).
  void windowShouldClose();

  uint8_t trigger() const { return trigger_; }

 private:
  uint8_t trigger_ = kCaptureTriggerMouseUp;
  AppDelegateDelegate* msgDelegate_ = nullptr;
};
