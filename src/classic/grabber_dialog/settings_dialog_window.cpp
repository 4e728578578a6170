// The video settings dialog on the classic toolbox.
#include "classic/grabber_dialog/settings_dialog_window.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "classic/dialogs/dialog_toolkit.h"
#include "classic/grabber/sequence_grabber.h"
#include "classic/resources/alerts.h"
#include "classic/resources/string_lists.h"
#include "classic/toolbox/toolbox.h"
#include "core/capture/classic_error_message.h"
#include "core/util/rects.h"

namespace fw {

namespace {

// Layout, in pixels: a column of titles and a column of controls, one row
// per control, the buttons at the bottom right.
constexpr int16_t kDialogWidthPixels = 420;
constexpr int16_t kMarginPixels = 14;
constexpr int16_t kTitleWidthPixels = 100;
constexpr int16_t kColumnGapPixels = 8;
constexpr int16_t kRowHeightPixels = 24;
constexpr int16_t kRowStepPixels = 32;
constexpr int16_t kTitleDropPixels = 4;  // titles sit level with the text inside the controls
constexpr int16_t kPanelGapPixels = 12;  // between the panel pop-up and the panel's controls
constexpr int16_t kButtonsGapPixels = 12;
constexpr int16_t kButtonWidthPixels = 90;
constexpr int16_t kButtonHeightPixels = 26;
constexpr int16_t kControlLeftPixels = kMarginPixels + kTitleWidthPixels + kColumnGapPixels;
constexpr int16_t kControlsTopPixels = kMarginPixels + kRowStepPixels + kPanelGapPixels;
// The alert: its text wraps at about this many characters a line.
constexpr int16_t kAlertWidthPixels = 420;
constexpr int16_t kAlertLineHeightPixels = 17;
constexpr size_t kAlertCharactersPerLine = 56;

constexpr int16_t kPanelMenuID = 3000;
constexpr int16_t kFirstControlMenuID = 3001;
constexpr int16_t kDisabledStaticText = kStaticTextDialogItem | itemDisable;

constexpr std::string_view kNoSettingsText = "The chosen camera has no settings of this kind.";

Rect TitleRect(int16_t top) {
  return Rect{static_cast<int16_t>(top + kTitleDropPixels), kMarginPixels,
              static_cast<int16_t>(top + kRowHeightPixels), kControlLeftPixels - kColumnGapPixels};
}
Rect ControlRect(int16_t top) {
  return Rect{top, kControlLeftPixels, static_cast<int16_t>(top + kRowHeightPixels),
              kDialogWidthPixels - kMarginPixels};
}

// Bounds and item rectangles are set by the layout; these only start it.
constexpr std::array kSettingsItems{
    DialogItemTemplate{kButtonDialogItem, Rect{}, "OK", 0},
    DialogItemTemplate{kButtonDialogItem, Rect{}, "Cancel", 0},
    DialogItemTemplate{kDisabledStaticText, Rect{}, "Panel:", 0},
    DialogItemTemplate{kResourceControlDialogItem, Rect{}, "", kPanelMenuID},
};
constexpr std::array kAlertItems{
    DialogItemTemplate{kButtonDialogItem, Rect{}, "OK", 0},
    DialogItemTemplate{kDisabledStaticText, Rect{}, "", 0},
};
constexpr std::array kDialogs{
    DialogTemplate{kVideoSettingsDialogID, "Video Settings", Rect{100, 100, 300, 100 + kDialogWidthPixels},
                   kModalDialogRefCon, WindowCloseBox::kNone, kVideoSettingsOKItem, kSettingsItems},
    DialogTemplate{kVideoSettingsAlertDialogID, "Video Settings",
                   Rect{100, 100, 200, 100 + kAlertWidthPixels}, kModalDialogRefCon, WindowCloseBox::kNone, 1,
                   kAlertItems},
};

ControlRef Item(DialogRef dialog, int16_t item) {
  ControlRef control = nullptr;
  (void)GetDialogItemAsControl(dialog, item, &control);
  return control;
}

// A window of this size where alerts go: centred across the main screen,
// a third of the way down.
void PlaceOnMainScreen(WindowRef window, int16_t width, int16_t height) {
  const Rect screen = GetGDeviceBounds(GetMainDevice());
  Rect r{0, 0, height, width};
  CenterRectInRect(&r, &screen);
  const int16_t top = static_cast<int16_t>(screen.top + (screen.bottom - screen.top - height) / 3);
  MoveWindow(window, r.left, std::max<int16_t>(screen.top + kTitleBarHeight, top), false);
}

void PlaceButton(DialogRef dialog, int16_t item, int16_t right, int16_t top) {
  const Rect box{top, static_cast<int16_t>(right - kButtonWidthPixels),
                 static_cast<int16_t>(top + kButtonHeightPixels), right};
  SetControlBounds(Item(dialog, item), &box);
}

MenuRef MakeMenu(int16_t menuID, const std::string& title, const std::vector<std::string>& choices,
                 const std::vector<bool>& enabled) {
  Str255 text;
  CopyToStr255(title, text);
  MenuRef menu = NewMenu(menuID, text);
  for (size_t i = 0; i < choices.size(); ++i) {
    CopyToStr255(choices[i], text);
    AppendMenuItemText(menu, text);
    if (i < enabled.size() && !enabled[i]) DisableMenuItem(menu, static_cast<int16_t>(i + 1));
  }
  return menu;
}

// The program's error alert over the dialog: which task failed, the step
// and the code, and what the code means. Without an alert among the
// resources, the bell.
void ShowChangeError(OSErr err) {
  const AlertTemplate* alert = GetAlertTemplate(kErrorAlertID);
  DialogRef dialog =
      alert != nullptr ? GetNewDialog(kVideoSettingsAlertDialogID, nullptr, kFirstWindowOfClass) : nullptr;
  if (dialog == nullptr) {
    SysBeep(kDialogBeepTicks);
    return;
  }
  const auto params = ComposeClassicErrorMessage(kVideoSettingsErrorMessageIndex,
                                                 kVideoSettingsChangeLocation, err, GetIndString);
  if (!params) {  // the user cancelled something: nothing to tell
    DisposeDialog(dialog);
    return;
  }
  const std::array<std::string, 3> texts{Str255ToString(params->task), Str255ToString(params->stepAndCode),
                                         Str255ToString(params->explanation)};
  const std::string text = SubstituteAlertParams(alert->text, texts);
  size_t lines = 0;
  for (size_t start = 0; start <= text.size();) {
    const size_t end = std::min(text.find('\n', start), text.size());
    lines += 1 + (end - start) / kAlertCharactersPerLine;
    start = end + 1;
  }
  const auto textHeight = static_cast<int16_t>(lines * kAlertLineHeightPixels);
  const Rect textBox{kMarginPixels, kMarginPixels, static_cast<int16_t>(kMarginPixels + textHeight),
                     kAlertWidthPixels - kMarginPixels};
  SetControlBounds(Item(dialog, 2), &textBox);
  SetControlText(Item(dialog, 2), text);
  Str255 buttonTitle;
  CopyToStr255(alert->buttonTitle, buttonTitle);
  SetControlTitle(Item(dialog, 1), buttonTitle);
  const int16_t buttonsTop = textBox.bottom + kButtonsGapPixels;
  PlaceButton(dialog, 1, kAlertWidthPixels - kMarginPixels, buttonsTop);
  const auto height = static_cast<int16_t>(buttonsTop + kButtonHeightPixels + kMarginPixels);
  WindowRef window = GetDialogWindow(dialog);
  SizeWindow(window, kAlertWidthPixels, height, true);
  PlaceOnMainScreen(window, kAlertWidthPixels, height);
  StandardDialogEventLoop(dialog, 0);
  DisposeDialog(dialog);
}

// One showing of the dialog for one session.
class SettingsDialogRun {
 public:
  explicit SettingsDialogRun(SettingsDialogSession& session)
      : session_(session), dialog_(GetNewDialog(kVideoSettingsDialogID, nullptr, kFirstWindowOfClass)) {}
  ~SettingsDialogRun() {
    // Controls first: they borrow the menus.
    if (dialog_ != nullptr) DisposeDialog(dialog_);
    for (MenuRef menu : controlMenus_) DisposeMenu(menu);
    if (panelMenu_ != nullptr) DisposeMenu(panelMenu_);
  }
  SettingsDialogRun(const SettingsDialogRun&) = delete;
  SettingsDialogRun& operator=(const SettingsDialogRun&) = delete;

  OSErr Run() {
    if (dialog_ == nullptr) return resNotFound;
    panelMenu_ = MakeMenu(kPanelMenuID, "Panel", session_.PanelNames(),
                          std::vector<bool>(session_.PanelNames().size(), true));
    ControlRef panelPopup = Item(dialog_, kVideoSettingsPanelItem);
    SetControlPopupMenuHandle(panelPopup, panelMenu_);
    SetControlValue(panelPopup, static_cast<int16_t>(session_.CurrentPanel() + 1));
    const Rect panelTitle = TitleRect(kMarginPixels), panelBox = ControlRect(kMarginPixels);
    SetControlBounds(Item(dialog_, kVideoSettingsPanelTitleItem), &panelTitle);
    SetControlBounds(panelPopup, &panelBox);
    (void)SetDialogCancelItem(dialog_, kVideoSettingsCancelItem);
    const int16_t height = LayOutControls();
    PlaceOnMainScreen(GetDialogWindow(dialog_), kDialogWidthPixels, height);
    MyShowDialog(dialog_);
    for (;;) {
      const int16_t item = MyDoAllDialogEvents(dialog_, 0);
      if (item == kVideoSettingsOKItem) return noErr;
      if (item == kVideoSettingsCancelItem || item == kCloseDialogItem) return userCanceledErr;
      if (item == kVideoSettingsPanelItem) {
        PanelChosen();
      } else if (item >= kVideoSettingsFirstControlItem) {
        ControlChanged(item);
      }
    }
  }

 private:
  struct ShownControl {
    int16_t item;
    size_t index;  // in the session's controls
    PanelControl::Kind kind;
    int32_t value;  // as the panel gave it
  };

  void PanelChosen() {
    const int16_t chosen = GetControlValue(Item(dialog_, kVideoSettingsPanelItem));
    const auto panel = static_cast<size_t>(chosen - 1);
    if (chosen < 1 || panel == session_.CurrentPanel()) return;
    session_.SelectPanel(panel);
    LayOutControls();
  }

  void ControlChanged(int16_t item) {
    for (const ShownControl& shown : shown_) {
      if (shown.item != item) continue;
      ControlRef control = Item(dialog_, item);
      const int32_t value = shown.kind == PanelControl::Kind::kPopUp ? GetControlValue(control) - 1
                                                                     : GetControl32BitValue(control);
      if (value == shown.value) return;
      const OSErr err = session_.SetControlValue(shown.index, value);
      // What the panel holds now, whether the change took or not: another
      // camera brings other inputs and other adjustments.
      LayOutControls();
      if (err != noErr) ShowChangeError(err);
      return;
    }
  }

  // Makes the current panel's controls and sizes the window to them; the
  // window's height.
  int16_t LayOutControls() {
    ShortenDITL(dialog_, kVideoSettingsFirstControlItem - 1);
    for (MenuRef menu : controlMenus_) DisposeMenu(menu);
    controlMenus_.clear();
    shown_.clear();
    WindowRef window = GetDialogWindow(dialog_);
    const std::vector<PanelControl> controls = session_.Controls();
    int16_t top = kControlsTopPixels;
    if (controls.empty()) {
      const Rect box{static_cast<int16_t>(top + kTitleDropPixels), kMarginPixels,
                     static_cast<int16_t>(top + kRowHeightPixels), kDialogWidthPixels - kMarginPixels};
      AppendDialogItemControl(dialog_, kDisabledStaticText,
                              NewControlOfKind(window, ControlKind::kStaticText, box, kNoSettingsText, 0));
      top += kRowStepPixels;
    }
    for (size_t i = 0; i < controls.size(); ++i) {
      const PanelControl& shown = controls[i];
      AppendDialogItemControl(
          dialog_, kDisabledStaticText,
          NewControlOfKind(window, ControlKind::kStaticText, TitleRect(top), shown.title + ":", 0));
      const Rect box = ControlRect(top);
      ControlRef control = nullptr;
      if (shown.kind == PanelControl::Kind::kPopUp) {
        MenuRef menu = MakeMenu(static_cast<int16_t>(kFirstControlMenuID + i), shown.title, shown.choices,
                                shown.choiceEnabled);
        controlMenus_.push_back(menu);
        control = NewControlOfKind(window, ControlKind::kPopupMenu, box, {}, 0);
        SetControlPopupMenuHandle(control, menu);
        // A current choice the list lacks shows the first; picking that one
        // is then still a change.
        SetControlValue(control, static_cast<int16_t>(std::max(shown.value, 0) + 1));
        if (shown.choices.empty()) (void)DeactivateControl(control);
      } else {
        (void)CreateSliderControl(window, &box, shown.value, shown.minimum, shown.maximum, &control);
      }
      const int16_t item = AppendDialogItemControl(dialog_, kResourceControlDialogItem, control);
      shown_.push_back({item, i, shown.kind, shown.value});
      top += kRowStepPixels;
    }
    const auto buttonsTop =
        static_cast<int16_t>(top - kRowStepPixels + kRowHeightPixels + kButtonsGapPixels + kPanelGapPixels);
    const int16_t right = kDialogWidthPixels - kMarginPixels;
    PlaceButton(dialog_, kVideoSettingsOKItem, right, buttonsTop);
    PlaceButton(dialog_, kVideoSettingsCancelItem, static_cast<int16_t>(right - kButtonWidthPixels - 10),
                buttonsTop);
    const auto height = static_cast<int16_t>(buttonsTop + kButtonHeightPixels + kMarginPixels);
    SizeWindow(window, kDialogWidthPixels, height, true);
    DrawDialog(dialog_);
    return height;
  }

  SettingsDialogSession& session_;
  DialogRef dialog_;
  MenuRef panelMenu_ = nullptr;
  std::vector<MenuRef> controlMenus_;
  std::vector<ShownControl> shown_;
};

class SettingsDialogWindow final : public SettingsDialogHost {
 public:
  OSErr RunSettingsDialog(SettingsDialogSession& session) override {
    // Without a toolbox there is no screen to show it on.
    if (GetToolboxBackend() == nullptr) return unimpErr;
    RegisterDialogTemplates(kDialogs);
    SettingsDialogRun run(session);
    return run.Run();
  }
};

SettingsDialogWindow gSettingsDialogWindow;

}  // namespace

void InstallSettingsDialogWindow() {
  SetSettingsDialogHost(&gSettingsDialogWindow);
}

}  // namespace fw
