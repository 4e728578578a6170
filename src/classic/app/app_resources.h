// The classic program's own resources: its menus and menu bar, the capture
// window, the preferences dialog, the about box, the setup window and the
// alerts, by the numbers its code refers to them.
#pragma once

#include <cstdint>

namespace fw {

// Menus.
constexpr int16_t kMenuBarID = 128;
constexpr int16_t kAppMenuID = 128;
constexpr int16_t kAppMenuAboutItem = 1;
constexpr int16_t kAppMenuWebPageItem = 2;
constexpr int16_t kAppMenuPreferencesItem = 3;
constexpr int16_t kAppMenuVideoSettingsItem = 4;
// Not one of the four commands the program's logic is built around: a
// visible way to quit for users who do not know Ctrl+Q. It asks as Ctrl+Q
// does, through the quit request.
constexpr int16_t kAppMenuQuitItem = 6;
// Pop-up menus of the preferences dialog.
constexpr int16_t kFormatPopupMenuID = 131;
constexpr int16_t kTriggerPopupMenuID = 132;
constexpr int16_t kDateOrderPopupMenuID = 133;
constexpr int16_t kPreviewSizePopupMenuID = 134;
constexpr int16_t kLocationPopupMenuID = 135;

// Dialogs.
constexpr int16_t kCaptureDialogID = 128;
constexpr int16_t kPreferencesDialogID = 129;
constexpr int16_t kAboutDialogID = 130;
constexpr int16_t kSetupDialogID = 131;

// Items of the capture window.
constexpr int16_t kCaptureFrameCountItem = 1;

// Items of the preferences dialog.
enum : int16_t {
  kPrefsOKItem = 1,
  kPrefsCancelItem = 2,
  kPrefsFormatItem = 3,
  kPrefsTriggerItem = 4,
  kPrefsDelayItem = 5,
  kPrefsDateOrderItem = 6,
  kPrefsPreviewSizeItem = 7,
  kPrefsPreviewItem = 8,
  kPrefsLocationItem = 9,
  kPrefsFrameRateItem = 10,
  kPrefsFlipHItem = 11,
  kPrefsFlipVItem = 12,
  kPrefsTrimTopItem = 23,
  kPrefsTrimLeftItem = 24,
  kPrefsTrimRightItem = 25,
  kPrefsTrimBottomItem = 26,
};

// Items of the about box and of the setup window.
constexpr int16_t kAboutOKItem = 1;
constexpr int16_t kAboutVersionItem = 2;
constexpr int16_t kSetupCaptureItem = 1;

// Alerts (the error alert, 200, is in core/capture/classic_error_message.h).
constexpr int16_t kZeroFrameRateAlertID = 203;
constexpr int16_t kNoVideoChannelAlertID = 204;
constexpr int16_t kRecoveredCapturesAlertID = 205;

// Registers every resource above with the toolbox (after InitToolbox).
void RegisterFramewrightResources();

}  // namespace fw
