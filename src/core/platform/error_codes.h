// The program's own error codes. They live beside the platform's codes, at
// the bottom of the core, so that every module that returns one (the writer,
// the movie assembly, the preferences, the video input) can name it without
// depending on the capture module that turns codes into alert texts.
#pragma once

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
