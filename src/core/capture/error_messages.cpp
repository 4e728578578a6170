// Error explanations and alert texts of Framewright HD.
#include "core/capture/error_messages.h"

#include <array>
#include <string_view>
#include <utility>

using namespace fw;

namespace {

// A plain lookup: codes are never grouped by range here, so a code the table
// does not name is shown as its number alone.
constexpr std::array<std::pair<int32_t, std::string_view>, 13> kErrorSuffixes{{
    {dskFulErr, ", the disk is full."},
    {bdNamErr, ", bad file name."},
    {fnfErr, ", file not found."},
    {dupFNErr, ", that file already exists."},
    {dirNFErr, ", directory not found."},
    {kDeviceTimedOutErr, ", the operation timed out."},
    {kNoVideoDevicesErr,
     ", no video input devices were found. Please check that a device is connected and any necessary "
     "driver software is installed."},
    {kCannotCreateCaptureFileErr, ", could not create the file."},
    {kCannotOpenVideoInputErr, ", count not open the video input."},
    {kVideoDeviceNotFoundErr, ", the video input device could not be found."},
    {kDeckLinkInputNotEnabledErr, ", could not open the BlackMagic device."},
    {kDeckLinkStreamsNotStartedErr, ", could not start streaming from the BlackMagic device."},
    {kDeckLinkFormatChangedErr, ", the format of video from the BlackMagic device has changed unexpectedly."},
}};

std::string_view AlertLead(ErrorStep step) {
  switch (step) {
    case ErrorStep::kInitialising:
      return "Sorry, there was an error while initialising: error ";
    case ErrorStep::kOpeningVideoInput:
      return "Sorry, there was an error opening the video input device: error ";
    case ErrorStep::kStartingCapture:
      return "Sorry, there was an error while starting the capture: error ";
    case ErrorStep::kDuringCapture:
      return "Sorry, there was an error during capture: error ";
    case ErrorStep::kFinishingCapture:
      return "Sorry, there was an error while finishing capture: error ";
  }
  return "Sorry, there was an error: error ";
}

}  // namespace

std::string GetErrorSuffix(int32_t code) {
  for (const auto& [knownCode, text] : kErrorSuffixes)
    if (knownCode == code) return std::string(text);
  return {};
}

std::string fw::BuildErrorAlertText(ErrorStep step, int32_t code) {
  std::string text(AlertLead(step));
  text += std::to_string(code);
  text += GetErrorSuffix(code);
  return text;
}

ErrorAlertWindow fw::GetErrorAlertWindow(ErrorStep step) {
  switch (step) {
    case ErrorStep::kDuringCapture:
    case ErrorStep::kFinishingCapture:
      return ErrorAlertWindow::kCaptureWindow;
    case ErrorStep::kInitialising:
    case ErrorStep::kOpeningVideoInput:
    case ErrorStep::kStartingCapture:
      break;
  }
  return ErrorAlertWindow::kMainWindow;
}
