#include "classic/dialogs/dialog_toolkit.h"

#include <new>

#include "classic/dialogs/dialog_edit_menu.h"
#include "core/util/gworld.h"
#include "core/util/rects.h"
#include "core/util/strings.h"

uint32_t gLastMouseDownTime = 0;
ControlRef gLastMouseDownControl = nullptr;
Rect gBigRect{-32000, -32000, 32000, 32000};
DialogOtherWindowEventProc gDialogOtherWindowUpdateProc = nullptr;
DialogOtherWindowEventProc gDialogOtherWindowActivateProc = nullptr;

namespace {

constexpr int16_t kSelectAllEnd = 32767;
constexpr uint8_t kKeyCodeA = 0;
constexpr uint8_t kKeyCodeX = 7;
constexpr uint8_t kKeyCodeC = 8;
constexpr uint8_t kKeyCodeV = 9;
constexpr uint8_t kKeyCodeW = 13;
constexpr uint8_t kKeyCodePeriod = 47;

// Saves the current port and graphics world and brings them back on exit.
class SavedGraphicsWorld {
 public:
  SavedGraphicsWorld() : world_(GetGWorld()) { GetPort(&port_); }
  ~SavedGraphicsWorld() {
    SetGWorld(world_);
    SetPort(port_);
  }
  SavedGraphicsWorld(const SavedGraphicsWorld&) = delete;
  SavedGraphicsWorld& operator=(const SavedGraphicsWorld&) = delete;

 private:
  GrafPtr port_ = nullptr;
  GWorldPtr world_ = nullptr;
};

// The item's kind without the "disabled" flag: a disabled static text is
// still a static text (and may still be a link).
int16_t ItemKind(DialogRef dialog, int16_t item) {
  int16_t kind = userItem;
  GetDialogItem(dialog, item, &kind, nullptr, nullptr);
  return static_cast<int16_t>(kind & ~itemDisable);
}

ControlRef ItemControl(DialogRef dialog, int16_t item) {
  ControlRef control = nullptr;
  if (GetDialogItemAsControl(dialog, item, &control) != noErr) return nullptr;
  return control;
}

void Refocus(WindowRef window, ControlRef control) {
  (void)SetKeyboardFocus(window, control, kControlFocusNoPart);
  (void)SetKeyboardFocus(window, control, kControlFocusNextPart);
}

void SelectWholeText(ControlRef control) {
  const ControlEditTextSelectionRec all{0, kSelectAllEnd};
  (void)SetControlData(control, kControlEditTextPart, kControlEditTextSelectionTag, sizeof all, &all);
}

// Return and Escape show the button they hit pressed for a moment.
void FlashIfPushButton(DialogRef dialog, int16_t item) {
  if (ItemKind(dialog, item) != kButtonDialogItem) return;
  ControlRef button = ItemControl(dialog, item);
  if (button == nullptr) return;
  HiliteControl(button, kControlButtonPart);
  Delay(kButtonFlashTicks, nullptr);
  HiliteControl(button, kControlNoPart);
}

// Up (+1) or down (-1) in a numeric box, when the result still fits.
void StepNumberInBox(WindowRef window, ControlRef box, int32_t step, uint8_t maxCharacters) {
  Str255 text;
  MyGetEditTextBoxText(box, text);
  int32_t value = 0;
  StringToNum(text, &value);
  value += step;
  NumToString(value, text);
  // A maximum of 0 means "no limit" here as everywhere else.
  const bool fits = maxCharacters == 0 || text[0] <= static_cast<int8_t>(maxCharacters);
  if (value < 0 || !fits) return;
  (void)SetControlData(box, kControlEditTextPart, kControlEditTextTextTag, text[0], text + 1);
  SelectWholeText(box);
  Refocus(window, box);
  Draw1Control(box);
}

void DrawDialogOrActivate(DialogRef dialog, Boolean activate) {
  ControlRef root = nullptr;
  if (GetRootControl(GetDialogWindow(dialog), &root) != noErr) {
    if (activate) DrawDialog(dialog);
    return;
  }
  if (activate) {
    (void)ActivateControl(root);
  } else {
    (void)DeactivateControl(root);
  }
}

void HandleActivateInDialog(DialogRef dialog, const EventRecord* event) {
  WindowRef window = GetDialogWindow(dialog);
  ControlRef root = nullptr;
  if (GetRootControl(window, &root) != noErr) {
    DrawDialog(dialog);
    return;
  }
  if ((event->modifiers & activeFlag) != 0) {
    if (IsControlActive(root)) return;
    Rect update;
    const bool hasUpdate = GetWindowRegionBounds(window, kWindowUpdateRgn, &update) == noErr;
    (void)ActivateControl(root);
    if (hasUpdate) {
      // The region comes global; invalidation takes the window's own coordinates.
      const Rect content = GetWindowContentRectGlobal(window);
      OffsetRect(&update, static_cast<int16_t>(-content.left), static_cast<int16_t>(-content.top));
      InvalWindowRect(window, &update);
    }
  } else if (IsControlActive(root)) {
    (void)DeactivateControl(root);
  }
}

bool IsWebAddress(ConstStr255Param text) {
  static const unsigned char kWWW[] = "\x04www.";
  static const unsigned char kHTTP[] = "\x07http://";
  return CompareStringsBeginning(text, kWWW) || CompareStringsBeginning(text, kHTTP);
}

// The first link static text (item 2 onward) under the mouse, or 0.
int16_t LinkItemUnderMouse(DialogRef dialog) {
  Point mouse;
  GetMouse(&mouse);
  const int16_t count = CountDITL(dialog);
  for (int16_t item = 2; item <= count; ++item) {
    int16_t kind = userItem;
    ControlRef control = nullptr;
    Rect box;
    GetDialogItem(dialog, item, &kind, &control, &box);
    if ((kind & ~itemDisable) != kStaticTextDialogItem || control == nullptr) continue;
    Str255 text;
    GetDialogItemText(control, text);
    if (IsWebAddress(text) && IsPointInRect(mouse, &box)) return item;
  }
  return 0;
}

}  // namespace

void MyShowDialog(DialogRef dialog) {
  WindowRef window = GetDialogWindow(dialog);
  ShowWindow(window);
  SetPortWindowPort(window);
  BeginUpdate(window);
  EndUpdate(window);
  DrawDialog(dialog);
}

ControlTable GetControlHandles(DialogRef dialog) {
  const int16_t count = CountDITL(dialog);
  ControlTable table(new (std::nothrow) ControlRef[static_cast<size_t>(count) + 1]());
  if (table == nullptr) return nullptr;
  for (int16_t item = 1; item <= count; ++item) table[item] = ItemControl(dialog, item);
  return table;
}

void MyGetEditTextBoxText(ControlRef control, Str255 text) {
  size_t size = 0;
  if (GetControlData(control, kControlEditTextPart, kControlEditTextTextTag, 254, text + 1, &size) != noErr) {
    size = 0;
  }
  // The control reports its whole length; only what was copied may count.
  text[0] = static_cast<unsigned char>(size > 254 ? 254 : size);
}

void SetTextBoxMaxCharacters(ControlRef control, uint8_t maxCharacters) {
  const uint32_t ref = static_cast<uint32_t>(GetControlReference(control));
  SetControlReference(control, static_cast<int32_t>((ref & 0x00FFFFFFu) | (uint32_t{maxCharacters} << 24)));
}

void SetTextBoxContentType(ControlRef control, uint8_t contentType) {
  const uint32_t ref = static_cast<uint32_t>(GetControlReference(control));
  SetControlReference(control, static_cast<int32_t>((ref & 0xFF00FFFFu) | (uint32_t{contentType} << 16)));
}

uint8_t GetTextBoxMaxCharacters(ControlRef control) {
  return static_cast<uint8_t>(static_cast<uint32_t>(GetControlReference(control)) >> 24);
}

uint8_t GetTextBoxContentType(ControlRef control) {
  return static_cast<uint8_t>(static_cast<uint32_t>(GetControlReference(control)) >> 16);
}

void SetCheckBoxDataPointer(ControlRef control, Boolean* data) {
  SetControlDataPointer(control, data);
  SetControlValue(control, data != nullptr && *data ? 1 : 0);
}

int16_t MyDialogContentClickHandler(const EventRecord* event) {
  WindowRef window = nullptr;
  FindWindow(event->where, &window);
  DialogRef dialog = GetDialogFromWindow(window);
  if (dialog == nullptr) return 0;
  GrafPtr savedPort = nullptr;
  GetPort(&savedPort);
  SetPortWindowPort(window);
  Point local = event->where;
  GlobalToLocal(&local);

  int16_t result = 0;
  int16_t part = 0;
  ControlRef control = FindControlUnderMouse(local, window, &part);
  const int16_t item = static_cast<int16_t>(FindDialogItem(dialog, local) + 1);
  if (control != nullptr && IsControlActive(control) && item > 0) {
    const int16_t kind = ItemKind(dialog, item);
    if (kind == kEditTextDialogItem || kind == kResourceControlDialogItem) Refocus(window, control);
    switch (kind) {
      case kEditTextDialogItem:
        if (control == gLastMouseDownControl && event->when <= gLastMouseDownTime + GetDblTime()) {
          SelectWholeText(control);
          Refocus(window, control);
        } else {
          TrackControl(control, local, nullptr);
        }
        result = item;
        break;
      case kStaticTextDialogItem:
      case kIconDialogItem:
      case kPictureDialogItem:
      case userItem:
        result = item;
        break;
      default:
        result = TrackControl(control, local, kControlUseOwnAction) == kControlNoPart ? 0 : item;
        break;
    }
  }
  SetPort(savedPort);
  if (result != 0) {
    gLastMouseDownTime = event->when;
    gLastMouseDownControl = control;
  }
  return result;
}

int16_t HandleStandardKeyPressesInDialog(DialogRef dialog, const EventRecord* event) {
  const auto charCode = static_cast<uint8_t>(event->message & charCodeMask);
  const auto keyCode = static_cast<uint8_t>((event->message & keyCodeMask) >> 8);
  const bool command = (event->modifiers & cmdKey) != 0;
  const bool shift = (event->modifiers & shiftKey) != 0;

  int16_t hit = 0;
  if (charCode == kReturnCharCode || charCode == kEnterCharCode) {
    hit = 1;
  } else if (charCode == kEscapeCharCode || (keyCode == kKeyCodePeriod && command)) {
    hit = 2;
  }
  if (hit != 0) {
    FlashIfPushButton(dialog, hit);
    return hit;
  }
  if (keyCode == kKeyCodeW && command) return kCloseDialogItem;

  WindowRef window = GetDialogWindow(dialog);
  ControlRef focus = nullptr;
  if (GetKeyboardFocus(window, &focus) != noErr || focus == nullptr) return 0;
  const uint8_t contentType = GetTextBoxContentType(focus);
  const uint8_t maxCharacters = GetTextBoxMaxCharacters(focus);
  int16_t focusItem = 0;
  const int16_t count = CountDITL(dialog);
  for (int16_t item = 1; item <= count && focusItem == 0; ++item) {
    if (ItemControl(dialog, item) == focus) focusItem = item;
  }

  if (charCode == kTabCharCode) {
    if (shift) {
      (void)ReverseKeyboardFocus(window);
    } else {
      (void)AdvanceKeyboardFocus(window);
    }
  } else if (command) {
    switch (keyCode) {
      case kKeyCodeX:
        HandleEditMenuSelectionInDialog(dialog, kEditMenuCutItem);
        break;
      case kKeyCodeC:
        HandleEditMenuSelectionInDialog(dialog, kEditMenuCopyItem);
        break;
      case kKeyCodeV:
        HandleEditMenuSelectionInDialog(dialog, kEditMenuPasteItem);
        break;
      case kKeyCodeA:
        HandleEditMenuSelectionInDialog(dialog, kEditMenuSelectAllItem);
        break;
      default:
        break;
    }
  } else if ((charCode == kUpArrowCharCode || charCode == kDownArrowCharCode) &&
             contentType == kContentTypeInteger) {
    StepNumberInBox(window, focus, charCode == kUpArrowCharCode ? 1 : -1, maxCharacters);
  } else {
    const bool neverRefused =
        charCode == kBackspaceCharCode || (charCode >= kLeftArrowCharCode && charCode <= kDownArrowCharCode);
    if (!neverRefused) {
      const unsigned char typed[2] = {1, charCode};
      if (!IsOKToPasteInDialog(dialog, typed)) {
        SysBeep(kDialogBeepTicks);
        return 0;
      }
    }
    ControlKeyDownRec key{event->modifiers, keyCode, charCode};
    SendControlMessage(focus, kControlMsgKeyDown, &key);
  }

  if (focusItem == 1 || focusItem == 2) FlashIfPushButton(dialog, focusItem);
  return focusItem;
}

int16_t ProcessEventInDialog(DialogRef dialog, const EventRecord* event) {
  SavedGraphicsWorld saved;
  WindowRef dialogWindow = GetDialogWindow(dialog);
  SetPortWindowPort(dialogWindow);

  switch (event->what) {
    case mouseDown: {
      WindowRef window = nullptr;
      const int16_t part = FindWindow(event->where, &window);
      if (GetWRefCon(dialogWindow) == kModalDialogRefCon && window != dialogWindow) {
        SysBeep(kDialogBeepTicks);
        return 0;
      }
      switch (part) {
        case inContent: {
          if (window != dialogWindow) {
            SysBeep(kDialogBeepTicks);
            return 0;
          }
          const int16_t item = MyDialogContentClickHandler(event);
          if (item <= 0) return item;
          const int16_t kind = ItemKind(dialog, item);
          if (kind == kCheckBoxDialogItem) {
            ControlRef box = ItemControl(dialog, item);
            auto* bound = static_cast<Boolean*>(GetControlDataPointer(box));
            if (bound != nullptr) {
              *bound = !*bound;
              SetControlValue(box, *bound ? 1 : 0);
            } else {
              SetControlValue(box, GetControlValue(box) != 0 ? 0 : 1);
            }
            return item;
          }
          return kind == kEditTextDialogItem ? 0 : item;
        }
        case inMenuBar: {
          SetUpEditMenuInDialog(dialog);
          const int32_t choice = MenuSelect(event->where);
          if ((choice >> 16) == kEditMenuID) {
            HandleEditMenuSelectionInDialog(dialog, static_cast<int16_t>(choice & 0xFFFF));
          }
          HiliteMenu(0);
          return 0;
        }
        case inDrag:
          if (window == dialogWindow) DragWindow(window, event->where, &gBigRect);
          return 0;
        case inGoAway:
          return TrackGoAway(window, event->where) ? kCloseDialogItem : 0;
        default:
          return 0;
      }
    }
    case keyDown:
    case autoKey:
      return HandleStandardKeyPressesInDialog(dialog, event);
    case updateEvt: {
      auto* window = reinterpret_cast<WindowRef>(event->message);
      if (window == dialogWindow) {
        BeginUpdate(window);
        DrawDialog(dialog);
        EndUpdate(window);
      } else if (gDialogOtherWindowUpdateProc != nullptr) {
        gDialogOtherWindowUpdateProc(*event);
      } else {
        // Nobody draws it now; begun and ended, the update does not repeat.
        BeginUpdate(window);
        EndUpdate(window);
      }
      return 0;
    }
    case activateEvt: {
      auto* window = reinterpret_cast<WindowRef>(event->message);
      if (window == dialogWindow) {
        HandleActivateInDialog(dialog, event);
      } else if (gDialogOtherWindowActivateProc != nullptr) {
        gDialogOtherWindowActivateProc(*event);
      }
      return 0;
    }
    case osEvt:
      HandleOSEvtInDialog(dialog, event, nullptr);
      return 0;
    default:
      return 0;
  }
}

void HandleOSEvtInDialog(DialogRef dialog, const EventRecord* event, Boolean* inBackground) {
  if (((event->message & osEvtMessageMask) >> 24) != suspendResumeMessage) return;
  if ((event->message & resumeFlag) != 0) {
    if (inBackground != nullptr) *inBackground = false;
    DrawDialogOrActivate(dialog, true);
    InitCursor();
  } else {
    InitCursor();
    DrawDialogOrActivate(dialog, false);
    if (inBackground != nullptr) *inBackground = true;
  }
}

int16_t MyDoAllDialogEvents(DialogRef dialog, uint8_t /*unused*/) {
  WindowRef window = GetDialogWindow(dialog);
  const intptr_t refCon = GetWRefCon(window);
  ControlRef focus = nullptr;
  const bool hasFocus = GetKeyboardFocus(window, &focus) == noErr && focus != nullptr;
  SavedGraphicsWorld saved;
  SetPortWindowPort(window);

  int16_t linkItem = 0;
  if (refCon == kLinkDialogRefCon) {
    linkItem = LinkItemUnderMouse(dialog);
    if (linkItem != 0) {
      CursHandle hand = GetCursor(kPointingHandCursorID);
      SetCursor(hand);
      ReleaseResource(hand);
    } else {
      InitCursor();
    }
  }

  EventRecord event;
  if (WaitNextEvent(everyEvent, &event, kDialogSleepTicks, nullptr)) {
    const int16_t result = ProcessEventInDialog(dialog, &event);
    if (linkItem != 0 && result == linkItem) {
      Str255 url;
      MyGetEditTextBoxText(ItemControl(dialog, linkItem), url);
      // The user clicked and nothing opened: say so with the bell.
      if (LaunchURL(url) != noErr) SysBeep(kDialogBeepTicks);
    }
    return result;
  }
  if (hasFocus) {
    EventRecord idle;
    idle.what = nullEvent;
    DialogRef hitDialog = nullptr;
    int16_t hitItem = 0;
    DialogSelect(&idle, &hitDialog, &hitItem);
  }
  return 0;
}

void SelectFirstTextBoxInDialog(DialogRef dialog) {
  WindowRef window = GetDialogWindow(dialog);
  const int16_t width = GetWindowRectLocal(window).right;
  const int16_t count = CountDITL(dialog);
  for (int16_t item = 2; item <= count; ++item) {
    int16_t kind = userItem;
    ControlRef control = nullptr;
    Rect box;
    GetDialogItem(dialog, item, &kind, &control, &box);
    if ((kind & ~itemDisable) != kEditTextDialogItem || control == nullptr) continue;
    if (box.left > width || !IsControlActive(control) || !IsControlVisible(control)) continue;
    Refocus(window, control);
    SelectWholeText(control);
    (void)SetKeyboardFocus(window, control, kControlFocusNextPart);
    return;
  }
  (void)ClearKeyboardFocus(window);
}

int16_t StandardDialogEventLoop(DialogRef dialog, uint8_t flag) {
  if (!IsWindowVisible(GetDialogWindow(dialog))) MyShowDialog(dialog);
  SelectFirstTextBoxInDialog(dialog);
  for (;;) {
    const int16_t result = MyDoAllDialogEvents(dialog, flag);
    if (result == 1) return result;
    if (result == 2 && ItemKind(dialog, 2) == kButtonDialogItem) return result;
  }
}
