// The capture window's logic.
#include "hd/app/click_window.h"

void ClickWindow::mouseDown() {
  if (msgDelegate_ != nullptr && trigger_ == kCaptureTriggerMouseDown) msgDelegate_->scheduleFrameCapture();
}

void ClickWindow::mouseUp() {
  if (msgDelegate_ != nullptr && trigger_ == kCaptureTriggerMouseUp) msgDelegate_->scheduleFrameCapture();
}

void ClickWindow::keyDown(uint32_t keyCode) {
  keyDown(keyCode, 0);
}

void ClickWindow::keyDown(uint32_t keyCode, uint32_t character) {
  if (msgDelegate_ == nullptr) return;
  // Auto-repeat of the space bar sends further key-downs; each schedules a
  // frame, and those within one incoming frame count once.
  if (keyCode == kEscapeKeyCode)
    msgDelegate_->stopCaptureWithErr(0);
  else if (keyCode == kSpaceKeyCode)
    msgDelegate_->scheduleFrameCapture();
  else if (const std::optional<fw::StopMotionCommand> command = fw::StopMotionCommandForCharacter(character))
    msgDelegate_->stopMotionCommand(*command);
}

void ClickWindow::windowShouldClose() {
  if (msgDelegate_ != nullptr) msgDelegate_->stopCaptureWithErr(0);
}
