// The video settings dialog's window: the sequence grabber's settings
// session shown as a modal "Video Settings" dialog of the classic toolbox.
// A pop-up of the panels at the top, one pop-up menu or slider per control
// of the panel shown, OK (Return, Enter) and Cancel (Escape, Ctrl+period).
// Every change the user makes reaches the session at once, and the
// controls are laid out again after it, since a change (another camera) can
// change what the panel shows.
#pragma once

#include <cstdint>

namespace fw {

// Dialog resources of the window and of its error alert.
constexpr int16_t kVideoSettingsDialogID = 3000;
constexpr int16_t kVideoSettingsAlertDialogID = 3001;

// Fixed items of the settings dialog; the panel's controls follow as pairs
// of a title (static text) and a pop-up menu or slider.
constexpr int16_t kVideoSettingsOKItem = 1;
constexpr int16_t kVideoSettingsCancelItem = 2;
constexpr int16_t kVideoSettingsPanelTitleItem = 3;
constexpr int16_t kVideoSettingsPanelItem = 4;
constexpr int16_t kVideoSettingsFirstControlItem = 5;

// Where a failed change is reported in the error alert: the video input's
// task sentence, and this step number.
constexpr int16_t kVideoSettingsErrorMessageIndex = 1;
constexpr int32_t kVideoSettingsChangeLocation = 60;

// Makes the dialog the one NGSettingsDialog shows. The program calls it once
// at start, after the toolbox is up; calling it again changes nothing.
void InstallSettingsDialogWindow();

}  // namespace fw
