// The sample dialog and its loop.
#include "sample_dialog.h"

#include <array>

namespace {

constexpr std::array kSampleItems{
    DialogItemTemplate{kButtonDialogItem, Rect{150, 230, 172, 310}, "OK", 0},
    DialogItemTemplate{kButtonDialogItem, Rect{150, 130, 172, 210}, "Cancel", 0},
    DialogItemTemplate{kEditTextDialogItem, Rect{20, 120, 42, 310}, "", 0},
    DialogItemTemplate{kCheckBoxDialogItem, Rect{60, 120, 80, 310}, "Mirror", 0},
    DialogItemTemplate{kResourceControlDialogItem, Rect{95, 120, 117, 310}, "", kSamplePopupMenuID},
    DialogItemTemplate{kStaticTextDialogItem, Rect{22, 20, 40, 110}, "Name:", 0},
};
constexpr std::array kSampleDialogs{
    DialogTemplate{kSampleDialogID, "Sample", Rect{200, 300, 390, 630}, -6, WindowCloseBox::kPresent, 1,
                   kSampleItems},
};
constexpr std::array kPopupItems{MenuItemTemplate{"Half size"}, MenuItemTemplate{"Full size"},
                                 MenuItemTemplate{"Double size"}};
constexpr std::array kFileItems{MenuItemTemplate{"About", 0}, MenuItemTemplate{"Preferences", ','}};
constexpr std::array kEditItems{MenuItemTemplate{"Undo", 'Z', false}, MenuItemTemplate{"-", 0, false},
                                MenuItemTemplate{"Cut", 'X'},         MenuItemTemplate{"Copy", 'C'},
                                MenuItemTemplate{"Paste", 'V'},       MenuItemTemplate{"Clear", 0},
                                MenuItemTemplate{"Select All", 'A'}};
constexpr std::array kMenus{
    MenuTemplate{kSamplePopupMenuID, "Size", kPopupItems},
    MenuTemplate{128, "Framewright", kFileItems},
    MenuTemplate{130, "Edit", kEditItems},
};
constexpr std::array<int16_t, 2> kBarMenus{128, 130};
constexpr std::array kBars{MenuBarTemplate{kSampleMenuBarID, kBarMenus}};

std::string Result(DialogRef dialog, int16_t item) {
  ControlRef text, check, popup;
  (void)GetDialogItemAsControl(dialog, kSampleTextItem, &text);
  (void)GetDialogItemAsControl(dialog, kSampleCheckItem, &check);
  (void)GetDialogItemAsControl(dialog, kSamplePopupItem, &popup);
  return "item=" + std::to_string(item) + " text=" + GetControlText(text) +
         " check=" + std::to_string(GetControlValue(check)) +
         " popup=" + std::to_string(GetControlValue(popup));
}

}  // namespace

void RegisterSampleResources() {
  RegisterDialogTemplates(kSampleDialogs);
  RegisterMenuTemplates(kMenus);
  RegisterMenuBarTemplates(kBars);
}

std::string RunSampleDialog(DialogRef dialog) {
  WindowRef window = GetDialogWindow(dialog);
  for (;;) {
    EventRecord event;
    if (!WaitNextEvent(everyEvent, &event, 30, nullptr)) {
      DialogSelect(&event, nullptr, nullptr);
      continue;
    }
    switch (event.what) {
      case mouseDown: {
        WindowRef hit = nullptr;
        if (FindWindow(event.where, &hit) != inContent || hit != window) break;
        SetPortWindowPort(window);
        Point local = event.where;
        GlobalToLocal(&local);
        const int16_t index = FindDialogItem(dialog, local);
        if (index < 0) break;
        const int16_t item = static_cast<int16_t>(index + 1);
        ControlRef control;
        (void)GetDialogItemAsControl(dialog, item, &control);
        if (GetControlKind(control) == ControlKind::kEditText) {
          (void)SetKeyboardFocus(window, control, kControlFocusNextPart);
        }
        if (TrackControl(control, local, kControlUseOwnAction) == kControlNoPart) break;
        if (GetControlKind(control) == ControlKind::kCheckBox)
          SetControlValue(control, !GetControlValue(control));
        if (item == kSampleOKItem || item == kSampleCancelItem) return Result(dialog, item);
        break;
      }
      case keyDown:
      case autoKey: {
        const uint8_t ch = event.message & charCodeMask;
        if (ch == kReturnCharCode || ch == kEnterCharCode) return Result(dialog, kSampleOKItem);
        if (ch == kEscapeCharCode) return Result(dialog, kSampleCancelItem);
        if (ch == kTabCharCode) {
          if (event.modifiers & shiftKey) {
            (void)ReverseKeyboardFocus(window);
          } else {
            (void)AdvanceKeyboardFocus(window);
          }
          break;
        }
        DialogSelect(&event, nullptr, nullptr);
        break;
      }
      case updateEvt:
        DialogSelect(&event, nullptr, nullptr);
        break;
      default:
        break;
    }
  }
}
