// The program's own error codes, and the alert texts Framewright HD shows
// for an error: a sentence naming the step that failed, then the code and a
// short explanation of it.
#pragma once

#include <cstdint>
#include <string>

#include "core/platform/error_codes.h"
#include "core/platform/os_errors.h"

// The text that follows the number in an alert, beginning with a comma
// (", the disk is full."); empty for a code without one, which then shows as
// its number alone.
std::string GetErrorSuffix(int32_t code);

namespace fw {

// The steps of Framewright HD that show an error.
enum class ErrorStep {
  kInitialising,       // listing the devices at start-up
  kOpeningVideoInput,  // opening the chosen device
  kStartingCapture,
  kDuringCapture,     // an error that ends a running capture
  kFinishingCapture,  // adding the movie resource at the end
};

// The whole alert text, e.g. "Sorry, there was an error during capture:
// error -34, the disk is full."
std::string BuildErrorAlertText(ErrorStep step, int32_t code);

// The window the alert is attached to. Errors at start-up, at opening the
// input or at starting a capture go on the main window; errors of a running
// or finishing capture go on the capture window, and dismissing them brings
// the main window back.
enum class ErrorAlertWindow { kMainWindow, kCaptureWindow };
ErrorAlertWindow GetErrorAlertWindow(ErrorStep step);

}  // namespace fw
