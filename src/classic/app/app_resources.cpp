// The classic program's menus, dialogs and alert windows.
#include "classic/app/app_resources.h"

#include <array>

#include "classic/dialogs/dialog_edit_menu.h"
#include "classic/dialogs/dialog_toolkit.h"
#include "classic/toolbox/toolbox.h"
#include "core/capture/classic_error_message.h"

namespace fw {

namespace {

constexpr std::array kAppMenuItems{
    MenuItemTemplate{"About Framewright"}, MenuItemTemplate{"Framewright Home Page"},
    MenuItemTemplate{"Preferences…", ','}, MenuItemTemplate{"Video Settings…"},
    MenuItemTemplate{"-", 0, false},       MenuItemTemplate{"Quit (Ctrl+Q)"},
};
constexpr std::array kEditMenuItems{
    MenuItemTemplate{"Undo", 'Z', false}, MenuItemTemplate{"-", 0, false}, MenuItemTemplate{"Cut", 'X'},
    MenuItemTemplate{"Copy", 'C'},        MenuItemTemplate{"Paste", 'V'},  MenuItemTemplate{"Clear", 0},
    MenuItemTemplate{"Select All", 'A'},
};
constexpr std::array kFormatItems{MenuItemTemplate{"QuickTime movie"}, MenuItemTemplate{"DV stream"}};
constexpr std::array kTriggerItems{MenuItemTemplate{"Mouse button released"},
                                   MenuItemTemplate{"Mouse button pressed"}};
constexpr std::array kDateOrderItems{MenuItemTemplate{"Day-month-year"}, MenuItemTemplate{"Month-day-year"},
                                     MenuItemTemplate{"Year-month-day"}, MenuItemTemplate{"Year-day-month"}};
constexpr std::array kPreviewSizeItems{MenuItemTemplate{"Half size"}, MenuItemTemplate{"Full size"}};
constexpr std::array kLocationItems{MenuItemTemplate{"Ask each time"}, MenuItemTemplate{"Program folder"},
                                    MenuItemTemplate{"Desktop"}, MenuItemTemplate{"Documents"}};

constexpr std::array kMenus{
    MenuTemplate{kAppMenuID, "Framewright", kAppMenuItems},
    MenuTemplate{kEditMenuID, "Edit", kEditMenuItems},
    MenuTemplate{kFormatPopupMenuID, "Format", kFormatItems},
    MenuTemplate{kTriggerPopupMenuID, "Trigger", kTriggerItems},
    MenuTemplate{kDateOrderPopupMenuID, "Date", kDateOrderItems},
    MenuTemplate{kPreviewSizePopupMenuID, "Preview", kPreviewSizeItems},
    MenuTemplate{kLocationPopupMenuID, "Location", kLocationItems},
};
constexpr std::array<int16_t, 2> kBarMenus{kAppMenuID, kEditMenuID};
constexpr std::array kMenuBars{MenuBarTemplate{kMenuBarID, kBarMenus}};

// The capture window: the frame count and what to do, above the preview.
constexpr std::array kCaptureItems{
    DialogItemTemplate{kStaticTextDialogItem, Rect{10, 10, 30, 90}, "0", 0},
    DialogItemTemplate{kStaticTextDialogItem, Rect{10, 100, 30, 420}, "Click: one frame.  Esc: done.", 0},
};

constexpr int16_t kLabelLeft = 20;
constexpr int16_t kLabelRight = 200;
constexpr int16_t kFieldLeft = 210;
constexpr Rect Row(int16_t top, int16_t left, int16_t right) {
  return Rect{top, left, static_cast<int16_t>(top + 22), right};
}
constexpr std::array kPreferencesItems{
    DialogItemTemplate{kButtonDialogItem, Row(380, 380, 460), "OK", 0},
    DialogItemTemplate{kButtonDialogItem, Row(380, 280, 360), "Cancel", 0},
    DialogItemTemplate{kResourceControlDialogItem, Row(20, kFieldLeft, 460), "", kFormatPopupMenuID},
    DialogItemTemplate{kResourceControlDialogItem, Row(50, kFieldLeft, 460), "", kTriggerPopupMenuID},
    DialogItemTemplate{kEditTextDialogItem, Row(80, kFieldLeft, 260), "", 0},
    DialogItemTemplate{kResourceControlDialogItem, Row(110, kFieldLeft, 460), "", kDateOrderPopupMenuID},
    DialogItemTemplate{kResourceControlDialogItem, Row(140, kFieldLeft, 460), "", kPreviewSizePopupMenuID},
    DialogItemTemplate{kCheckBoxDialogItem, Row(170, kFieldLeft, 460), "Preview while capturing", 0},
    DialogItemTemplate{kResourceControlDialogItem, Row(200, kFieldLeft, 460), "", kLocationPopupMenuID},
    DialogItemTemplate{kEditTextDialogItem, Row(230, kFieldLeft, 280), "", 0},
    DialogItemTemplate{kCheckBoxDialogItem, Row(260, kFieldLeft, 330), "Flip horizontally", 0},
    DialogItemTemplate{kCheckBoxDialogItem, Row(260, 340, 460), "Flip vertically", 0},
    DialogItemTemplate{kStaticTextDialogItem, Row(22, kLabelLeft, kLabelRight), "Capture into:", 0},
    DialogItemTemplate{kStaticTextDialogItem, Row(52, kLabelLeft, kLabelRight), "Take a frame when the:", 0},
    DialogItemTemplate{kStaticTextDialogItem, Row(82, kLabelLeft, kLabelRight), "Delay (frames):", 0},
    DialogItemTemplate{kStaticTextDialogItem, Row(112, kLabelLeft, kLabelRight), "Date in file names:", 0},
    DialogItemTemplate{kStaticTextDialogItem, Row(142, kLabelLeft, kLabelRight), "Preview:", 0},
    DialogItemTemplate{kStaticTextDialogItem, Row(202, kLabelLeft, kLabelRight), "Save captures in:", 0},
    DialogItemTemplate{kStaticTextDialogItem, Row(232, kLabelLeft, kLabelRight), "Movie frame rate:", 0},
    DialogItemTemplate{kStaticTextDialogItem, Row(232, 290, 460), "frames per second", 0},
    DialogItemTemplate{kStaticTextDialogItem, Row(302, kLabelLeft, kLabelRight),
                       "Trim the edges (pixels):", 0},
    DialogItemTemplate{kStaticTextDialogItem, Row(302, kFieldLeft, 460), "top, left, right, bottom", 0},
    DialogItemTemplate{kEditTextDialogItem, Row(330, kFieldLeft, 250), "", 0},
    DialogItemTemplate{kEditTextDialogItem, Row(330, 260, 300), "", 0},
    DialogItemTemplate{kEditTextDialogItem, Row(330, 310, 350), "", 0},
    DialogItemTemplate{kEditTextDialogItem, Row(330, 360, 400), "", 0},
};

constexpr std::array kAboutItems{
    DialogItemTemplate{kButtonDialogItem, Row(110, 300, 380), "OK", 0},
    DialogItemTemplate{kStaticTextDialogItem, Row(60, 20, 380), "", 0},
    DialogItemTemplate{kStaticTextDialogItem, Row(20, 20, 380), "Framewright: stop-motion capture", 0},
};

// The capture button; SizeSetupWindow places it under the preview.
constexpr std::array kSetupItems{
    DialogItemTemplate{kButtonDialogItem, Rect{250, 120, 272, 220}, "Capture", 0},
};

constexpr std::string_view kAlertTitle = "Framewright Alert";
// Alerts: the one button, then the text (set when the alert is shown).
constexpr std::array kAlertItems{
    DialogItemTemplate{kButtonDialogItem, Row(150, 420, 500), "OK", 0},
    DialogItemTemplate{kStaticTextDialogItem, Rect{20, 20, 140, 500}, "", 0},
};

constexpr std::array kDialogs{
    DialogTemplate{kCaptureDialogID, "Capture", Rect{200, 300, 260, 740}, 0, WindowCloseBox::kNone, 0,
                   kCaptureItems},
    DialogTemplate{kPreferencesDialogID, "Framewright Preferences", Rect{120, 300, 540, 780},
                   kModalDialogRefCon, WindowCloseBox::kNone, kPrefsOKItem, kPreferencesItems},
    DialogTemplate{kAboutDialogID, "About Framewright", Rect{200, 400, 350, 800}, kModalDialogRefCon,
                   WindowCloseBox::kNone, kAboutOKItem, kAboutItems},
    DialogTemplate{kSetupDialogID, "Framewright", Rect{60, 40, 350, 380}, 0, WindowCloseBox::kNone,
                   kSetupCaptureItem, kSetupItems},
    DialogTemplate{kErrorAlertID, kAlertTitle, Rect{200, 400, 385, 920}, kModalDialogRefCon,
                   WindowCloseBox::kNone, 1, kAlertItems},
    DialogTemplate{kZeroFrameRateAlertID, kAlertTitle, Rect{200, 400, 385, 920}, kModalDialogRefCon,
                   WindowCloseBox::kNone, 1, kAlertItems},
    DialogTemplate{kNoVideoChannelAlertID, kAlertTitle, Rect{200, 400, 385, 920}, kModalDialogRefCon,
                   WindowCloseBox::kNone, 1, kAlertItems},
    DialogTemplate{kRecoveredCapturesAlertID, kAlertTitle, Rect{200, 400, 385, 920}, kModalDialogRefCon,
                   WindowCloseBox::kNone, 1, kAlertItems},
};

}  // namespace

void RegisterFramewrightResources() {
  RegisterMenuTemplates(kMenus);
  RegisterMenuBarTemplates(kMenuBars);
  RegisterDialogTemplates(kDialogs);
}

}  // namespace fw
