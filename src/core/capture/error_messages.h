// The program's own error codes, and the alert texts Framewright HD shows
// for an error: a sentence naming the step that failed, then the code and a
// short explanation of it.
#pragma once

#include <cstdint>
#include <string>

#include "core/platform/os_errors.h"

// The program's own codes, positive, in the one space they share with the
// platform's negative codes and errno values. 32 to 79 come from the preview
// and are never shown.
constexpr OSErr kPreviewNoFrameDescriptionErr = 32;
constexpr OSErr kPreviewNoImageDescriptionErr = 33;
constexpr OSErr kPreviewNoWindowErr = 34;
constexpr OSErr kPreviewDrawWithoutPreviewErr = 37;
constexpr OSErr kPreviewNoBaseAddressErr = 38;
constexpr OSErr kPreviewRestartWithoutPreviewErr = 79;
constexpr OSErr kNoSettingsPanelErr = 99;
constexpr OSErr kNoVideoInputForMovieErr = 555;
constexpr OSErr kGrabberNotOpenErr = 601;
constexpr OSErr kGrabberNoFreeChannelErr = 602;
constexpr OSErr kGrabberNoDigitizerErr = 603;
constexpr OSErr kDigitizerCannotCaptureErr = 604;
constexpr OSErr kEmptyMovieResourceErr = 729;
constexpr OSErr kNoWriteThreadErr = 777;
constexpr OSErr kDeviceTimedOutErr = 800;
constexpr OSErr kMalformedPreferencesErr = 992;
constexpr OSErr kNoVideoDevicesErr = 1300;
constexpr OSErr kCannotCreateCaptureFileErr = 1301;
constexpr OSErr kCannotOpenVideoInputErr = 90020;
constexpr OSErr kVideoDeviceNotFoundErr = 90021;
constexpr OSErr kAllDeviceSlotsInUseErr = 90022;
constexpr OSErr kDeckLinkInputNotEnabledErr = 90023;
constexpr OSErr kDeckLinkStreamsNotStartedErr = 90024;
constexpr OSErr kDeckLinkFormatChangedErr = 90025;

// The text that follows the number in an alert, beginning with a comma
// (", the disk is full."); empty for a code without one, which then shows as
// its number alone.
std::string GetErrorSuffix(int32_t code);

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
