#include "classic/dialogs/dialog_edit_menu.h"

#include <algorithm>
#include <cstring>

#include "classic/dialogs/dialog_toolkit.h"
#include "core/util/strings.h"

namespace {

ControlRef FocusedControl(DialogRef dialog) {
  ControlRef focus = nullptr;
  if (GetKeyboardFocus(GetDialogWindow(dialog), &focus) != noErr) return nullptr;
  return focus;
}

ControlEditTextSelectionRec ReadSelection(ControlRef control) {
  ControlEditTextSelectionRec selection;
  size_t size = 0;
  if (GetControlData(control, kControlEditTextPart, kControlEditTextSelectionTag, sizeof selection,
                     &selection, &size) != noErr) {
    return {};
  }
  return selection;
}

// The clipboard's text when it is 1 to 254 bytes long.
bool ReadClipboardText(Str255 text) {
  ScrapRef scrap = nullptr;
  if (GetCurrentScrap(&scrap) != noErr) return false;
  size_t size = 0;
  if (GetScrapFlavorSize(scrap, kScrapFlavorTypeText, &size) != noErr) return false;
  if (size < 1 || size > 254) return false;
  if (GetScrapFlavorData(scrap, kScrapFlavorTypeText, &size, text + 1) != noErr) return false;
  text[0] = static_cast<unsigned char>(size);
  return true;
}

bool IsDigit(unsigned char c) {
  return c >= '0' && c <= '9';
}

void SelectAllAndRefocus(WindowRef window, ControlRef control) {
  const ControlEditTextSelectionRec all{0, 32767};
  (void)SetControlData(control, kControlEditTextPart, kControlEditTextSelectionTag, sizeof all, &all);
  (void)SetKeyboardFocus(window, control, kControlFocusNoPart);
  (void)SetKeyboardFocus(window, control, kControlFocusNextPart);
}

}  // namespace

Boolean IsOKToPasteInDialog(DialogRef dialog, ConstStr255Param text) {
  ControlRef focus = FocusedControl(dialog);
  if (focus == nullptr || !IsControlActive(focus)) return false;

  Str255 clipboard;
  if (text == nullptr) {
    if (!ReadClipboardText(clipboard)) return false;
    text = clipboard;
  }
  const uint8_t maxCharacters = GetTextBoxMaxCharacters(focus);
  const uint8_t contentType = GetTextBoxContentType(focus);

  const ControlEditTextSelectionRec selection = ReadSelection(focus);
  Str255 boxText;
  MyGetEditTextBoxText(focus, boxText);
  // What stays of the box's text once the selection is replaced.
  Str255 remaining;
  remaining[0] = 0;
  const int start = std::clamp<int>(selection.selStart, 0, boxText[0]);
  const int end = std::clamp<int>(selection.selEnd, 0, boxText[0]);
  for (int i = 0; i < boxText[0]; ++i) {
    if (start < end && i >= start && i < end) continue;
    remaining[++remaining[0]] = boxText[i + 1];
  }

  if (maxCharacters != 0 && maxCharacters < remaining[0] + text[0]) return false;

  switch (contentType) {
    case kContentTypeInteger:
      return std::all_of(text + 1, text + 1 + text[0], IsDigit);
    case kContentTypeDecimal: {
      const int periods = CountPeriodsInString(remaining) + CountPeriodsInString(text);
      if (periods > 1) return false;
      return std::all_of(text + 1, text + 1 + text[0],
                         [](unsigned char c) { return IsDigit(c) || c == '.'; });
    }
    default:
      return true;
  }
}

void SetUpEditMenuInDialog(DialogRef dialog) {
  MenuRef menu = GetMenuHandle(kEditMenuID);
  if (menu == nullptr) return;
  for (int16_t item = kEditMenuCutItem; item <= kEditMenuSelectAllItem; ++item) DisableMenuItem(menu, item);
  ControlRef focus = FocusedControl(dialog);
  if (focus == nullptr) return;
  const ControlEditTextSelectionRec selection = ReadSelection(focus);
  if (selection.selStart < selection.selEnd) {
    EnableMenuItem(menu, kEditMenuCutItem);
    EnableMenuItem(menu, kEditMenuCopyItem);
    EnableMenuItem(menu, kEditMenuClearItem);
  }
  EnableMenuItem(menu, kEditMenuSelectAllItem);
  if (IsOKToPasteInDialog(dialog, nullptr)) EnableMenuItem(menu, kEditMenuPasteItem);
}

void HandleEditMenuSelectionInDialog(DialogRef dialog, int16_t item) {
  ControlRef focus = FocusedControl(dialog);
  if (focus == nullptr) {
    SysBeep(kDialogBeepTicks);
    return;
  }
  switch (item) {
    case kEditMenuCutItem:
      DialogCut(dialog);
      break;
    case kEditMenuCopyItem:
      DialogCopy(dialog);
      break;
    case kEditMenuPasteItem:
      if (IsOKToPasteInDialog(dialog, nullptr)) {
        DialogPaste(dialog);
      } else {
        SysBeep(kDialogBeepTicks);
      }
      break;
    case kEditMenuClearItem:
      DialogDelete(dialog);
      break;
    case kEditMenuSelectAllItem:
      SelectAllAndRefocus(GetDialogWindow(dialog), focus);
      break;
    default:
      break;
  }
}
