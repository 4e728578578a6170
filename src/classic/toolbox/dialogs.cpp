// Dialogs from the program's resource tables, reached item by item.
#include "classic/toolbox/dialogs.h"

#include <algorithm>
#include <map>

#include "classic/toolbox/scrap.h"
#include "classic/toolbox/toolbox_state.h"

using namespace fw;

namespace {

std::map<int16_t, const DialogTemplate*>& Templates() {
  static std::map<int16_t, const DialogTemplate*> templates;
  return templates;
}

DialogRef Checked(DialogRef dialog) {
  if (dialog == nullptr || !ToolboxIsRunning()) return nullptr;
  for (const auto& window : TB().windows) {
    if (window->dialog.get() == dialog) return dialog;
  }
  return nullptr;
}

ControlKind ControlKindForItem(const DialogItemTemplate& item) {
  switch (item.kind & ~itemDisable) {
    case kButtonDialogItem:
      return ControlKind::kPushButton;
    case kCheckBoxDialogItem:
      return ControlKind::kCheckBox;
    case kStaticTextDialogItem:
      return ControlKind::kStaticText;
    case kEditTextDialogItem:
      return ControlKind::kEditText;
    case kResourceControlDialogItem:
      return item.popupMenuID != 0 ? ControlKind::kPopupMenu : ControlKind::kUserPane;
    default:
      return ControlKind::kUserPane;
  }
}

ControlRef FocusedEditText(DialogRef dialog) {
  if (Checked(dialog) == nullptr) return nullptr;
  ControlRef focus = dialog->window->focus;
  return focus != nullptr && focus->kind == ControlKind::kEditText ? focus : nullptr;
}

std::string SelectedText(ControlRef control) {
  const ControlEditTextSelectionRec s = GetEditTextSelection(control);
  return control->text.substr(static_cast<size_t>(s.selStart), static_cast<size_t>(s.selEnd - s.selStart));
}

void PutClipboardText(const std::string& text) {
  (void)ClearCurrentScrap();
  ScrapRef scrap;
  (void)GetCurrentScrap(&scrap);
  (void)PutScrapFlavor(scrap, kScrapFlavorTypeText, kScrapFlavorMaskNone, text.size(), text.data());
}

}  // namespace

void RegisterDialogTemplates(std::span<const DialogTemplate> templates) {
  for (const DialogTemplate& t : templates) Templates()[t.id] = &t;
}

const DialogTemplate* GetDialogTemplate(int16_t dialogID) {
  auto it = Templates().find(dialogID);
  return it != Templates().end() ? it->second : nullptr;
}

DialogRef GetNewDialog(int16_t dialogID, void* storage, WindowRef behind) {
  const DialogTemplate* t = GetDialogTemplate(dialogID);
  if (t == nullptr) return nullptr;
  Str255 title;
  CopyToStr255(t->title, title);
  WindowRef window =
      NewCWindow(storage, &t->bounds, title, WindowVisibility::kHidden, 0, behind, t->closeBox, t->refCon);
  if (window == nullptr) return nullptr;
  window->kind = kDialogWindowKind;
  window->dialog = std::make_unique<OpaqueDialogPtr>();
  DialogRef dialog = window->dialog.get();
  dialog->window = window;
  dialog->defaultItem = t->defaultItem;
  (void)CreateRootControl(window, nullptr);
  for (const DialogItemTemplate& item : t->items) {
    ControlRef control =
        NewControlOfKind(window, ControlKindForItem(item), item.bounds, item.text, item.popupMenuID);
    // Resource controls other than pop-up menus (lists and the like) take
    // the keyboard focus, as the dialog rules expect of kind 7.
    if ((item.kind & ~itemDisable) == kResourceControlDialogItem && item.popupMenuID == 0) {
      SetControlFocusable(control, true);
    }
    dialog->items.push_back({item.kind, control});
  }
  NoteWindowChanged(window, WindowChange::kContent);
  return dialog;
}

void DisposeDialog(DialogRef dialog) {
  if (Checked(dialog) != nullptr) DisposeWindow(dialog->window);
}

int16_t AppendDialogItemControl(DialogRef dialog, int16_t kind, ControlRef control) {
  if (Checked(dialog) == nullptr || GetControlOwner(control) != dialog->window) return 0;
  if (GetDialogItemNumber(dialog, control) != 0) return 0;
  dialog->items.push_back({kind, control});
  NoteWindowChanged(dialog->window, WindowChange::kContent);
  return static_cast<int16_t>(dialog->items.size());
}

void ShortenDITL(DialogRef dialog, int16_t numberItems) {
  if (Checked(dialog) == nullptr || numberItems < 0) return;
  while (dialog->items.size() > static_cast<size_t>(numberItems)) {
    ControlRef control = dialog->items.back().control;
    dialog->items.pop_back();
    DisposeControl(control);
  }
}

WindowRef GetDialogWindow(DialogRef dialog) {
  return Checked(dialog) != nullptr ? dialog->window : nullptr;
}
CGrafPtr GetDialogPort(DialogRef dialog) {
  return GetDialogWindow(dialog);
}
DialogRef GetDialogFromWindow(WindowRef window) {
  return CheckedWindow(window) != nullptr ? window->dialog.get() : nullptr;
}
Boolean IsDialogWindow(WindowRef window) {
  return GetDialogFromWindow(window) != nullptr;
}

int16_t CountDITL(DialogRef dialog) {
  return Checked(dialog) != nullptr ? static_cast<int16_t>(dialog->items.size()) : 0;
}

void GetDialogItem(DialogRef dialog, int16_t itemNo, int16_t* kind, ControlRef* item, Rect* box) {
  if (kind != nullptr) *kind = 0;
  if (item != nullptr) *item = nullptr;
  if (box != nullptr) *box = Rect{};
  if (Checked(dialog) == nullptr || itemNo < 1 || itemNo > CountDITL(dialog)) return;
  const auto& entry = dialog->items[static_cast<size_t>(itemNo - 1)];
  if (kind != nullptr) *kind = entry.kind;
  if (item != nullptr) *item = entry.control;
  if (box != nullptr) *box = entry.control->bounds;
}

void SetDialogItem(DialogRef dialog, int16_t itemNo, int16_t kind, ControlRef, const Rect* box) {
  if (Checked(dialog) == nullptr || itemNo < 1 || itemNo > CountDITL(dialog)) return;
  auto& entry = dialog->items[static_cast<size_t>(itemNo - 1)];
  entry.kind = kind;
  if (box != nullptr) SetControlBounds(entry.control, box);
}

OSErr GetDialogItemAsControl(DialogRef dialog, int16_t itemNo, ControlRef* control) {
  if (control != nullptr) *control = nullptr;
  if (Checked(dialog) == nullptr || itemNo < 1 || itemNo > CountDITL(dialog)) return errUnknownControl;
  if (control != nullptr) *control = dialog->items[static_cast<size_t>(itemNo - 1)].control;
  return noErr;
}

int16_t FindDialogItem(DialogRef dialog, Point local) {
  if (Checked(dialog) == nullptr) return -1;
  for (size_t i = 0; i < dialog->items.size(); ++i) {
    if (PtInRect(local, &dialog->items[i].control->bounds)) return static_cast<int16_t>(i);
  }
  return -1;
}

int16_t GetDialogItemNumber(DialogRef dialog, ControlRef control) {
  if (Checked(dialog) == nullptr || control == nullptr) return 0;
  for (size_t i = 0; i < dialog->items.size(); ++i) {
    if (dialog->items[i].control == control) return static_cast<int16_t>(i + 1);
  }
  return 0;
}

void GetDialogItemText(ControlRef item, Str255 text) {
  CopyToStr255(GetControlText(item), text);
}
void SetDialogItemText(ControlRef item, ConstStr255Param text) {
  SetControlText(item, Str255ToString(text));
}

void SelectDialogItemText(DialogRef dialog, int16_t itemNo, int16_t start, int16_t end) {
  ControlRef control = nullptr;
  if (GetDialogItemAsControl(dialog, itemNo, &control) != noErr) return;
  const ControlEditTextSelectionRec selection{start, end};
  (void)SetControlData(control, kControlEditTextPart, kControlEditTextSelectionTag, sizeof selection,
                       &selection);
  (void)SetKeyboardFocus(dialog->window, control, kControlFocusNextPart);
}

OSErr SetDialogDefaultItem(DialogRef dialog, int16_t item) {
  if (Checked(dialog) == nullptr) return paramErr;
  dialog->defaultItem = item;
  NoteWindowChanged(dialog->window, WindowChange::kContent);
  return noErr;
}
int16_t GetDialogDefaultItem(DialogRef dialog) {
  return Checked(dialog) != nullptr ? dialog->defaultItem : 0;
}
OSErr SetDialogCancelItem(DialogRef dialog, int16_t item) {
  if (Checked(dialog) == nullptr) return paramErr;
  dialog->cancelItem = item;
  return noErr;
}
int16_t GetDialogKeyboardFocusItem(DialogRef dialog) {
  return Checked(dialog) != nullptr ? GetDialogItemNumber(dialog, dialog->window->focus) : 0;
}

void DrawDialog(DialogRef dialog) {
  if (Checked(dialog) == nullptr) return;
  DrawControls(dialog->window);
}
void UpdateDialog(DialogRef dialog, const void*) {
  DrawDialog(dialog);
}

Boolean IsDialogEvent(const EventRecord* event) {
  if (event == nullptr) return false;
  switch (event->what) {
    case nullEvent:
      return true;
    case updateEvt:
    case activateEvt:
      return IsDialogWindow(reinterpret_cast<WindowRef>(event->message));
    case mouseDown: {
      WindowRef window = nullptr;
      return FindWindow(event->where, &window) == inContent && IsDialogWindow(window);
    }
    case keyDown:
    case autoKey:
      return IsDialogWindow(FrontWindow());
    default:
      return false;
  }
}

Boolean DialogSelect(const EventRecord* event, DialogRef* dialogOut, int16_t* itemHit) {
  if (dialogOut != nullptr) *dialogOut = nullptr;
  if (itemHit != nullptr) *itemHit = 0;
  if (event == nullptr) return false;
  switch (event->what) {
    case nullEvent: {
      DialogRef dialog = GetDialogFromWindow(FrontWindow());
      if (dialog != nullptr) IdleControls(dialog->window);
      return false;
    }
    case keyDown:
    case autoKey: {
      DialogRef dialog = GetDialogFromWindow(FrontWindow());
      ControlRef focus = FocusedEditText(dialog);
      if (focus == nullptr) return false;
      ControlKeyDownRec key{event->modifiers, static_cast<int16_t>((event->message & keyCodeMask) >> 8),
                            static_cast<int16_t>(event->message & charCodeMask)};
      if (SendControlMessage(focus, kControlMsgKeyDown, &key) == 0) return false;
      if (dialogOut != nullptr) *dialogOut = dialog;
      if (itemHit != nullptr) *itemHit = GetDialogItemNumber(dialog, focus);
      return true;
    }
    case mouseDown: {
      WindowRef window = nullptr;
      if (FindWindow(event->where, &window) != inContent) return false;
      DialogRef dialog = GetDialogFromWindow(window);
      if (dialog == nullptr) return false;
      const Point local{static_cast<int16_t>(event->where.v - window->bounds.top),
                        static_cast<int16_t>(event->where.h - window->bounds.left)};
      const int16_t index = FindDialogItem(dialog, local);
      if (index < 0 || (dialog->items[static_cast<size_t>(index)].kind & itemDisable) != 0) return false;
      ControlRef control = dialog->items[static_cast<size_t>(index)].control;
      if (control->kind == ControlKind::kEditText)
        (void)SetKeyboardFocus(window, control, kControlFocusNextPart);
      if (TestControl(control, local) != kControlNoPart &&
          TrackControl(control, local, nullptr) == kControlNoPart) {
        return false;
      }
      if (dialogOut != nullptr) *dialogOut = dialog;
      if (itemHit != nullptr) *itemHit = static_cast<int16_t>(index + 1);
      return true;
    }
    case updateEvt: {
      WindowRef window = reinterpret_cast<WindowRef>(event->message);
      DialogRef dialog = GetDialogFromWindow(window);
      if (dialog == nullptr) return false;
      BeginUpdate(window);
      DrawDialog(dialog);
      EndUpdate(window);
      return false;
    }
    default:
      return false;
  }
}

void DialogCut(DialogRef dialog) {
  ControlRef focus = FocusedEditText(dialog);
  if (focus == nullptr) return;
  const ControlEditTextSelectionRec s = GetEditTextSelection(focus);
  if (s.selStart == s.selEnd) return;
  PutClipboardText(SelectedText(focus));
  HandleControlKey(focus, 0, kBackspaceCharCode, 0);
}

void DialogCopy(DialogRef dialog) {
  ControlRef focus = FocusedEditText(dialog);
  if (focus == nullptr) return;
  const ControlEditTextSelectionRec s = GetEditTextSelection(focus);
  if (s.selStart == s.selEnd) return;
  PutClipboardText(SelectedText(focus));
}

void DialogPaste(DialogRef dialog) {
  ControlRef focus = FocusedEditText(dialog);
  if (focus == nullptr) return;
  ScrapRef scrap;
  (void)GetCurrentScrap(&scrap);
  size_t size = 0;
  if (GetScrapFlavorSize(scrap, kScrapFlavorTypeText, &size) != noErr) return;
  std::string text(size, '\0');
  if (GetScrapFlavorData(scrap, kScrapFlavorTypeText, &size, text.data()) != noErr) return;
  text.resize(size);
  // What a dialog's text box can hold: one line, at most 32767 characters.
  text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }),
             text.end());
  const ControlEditTextSelectionRec s = GetEditTextSelection(focus);
  const size_t room = 32767 - (focus->text.size() - static_cast<size_t>(s.selEnd - s.selStart));
  if (text.size() > room) text.resize(room);
  focus->text.replace(static_cast<size_t>(s.selStart), static_cast<size_t>(s.selEnd - s.selStart), text);
  const int16_t caret = static_cast<int16_t>(s.selStart + static_cast<int32_t>(text.size()));
  focus->selection = ControlEditTextSelectionRec{caret, caret};
  NoteWindowChanged(focus->owner, WindowChange::kContent);
}

void DialogDelete(DialogRef dialog) {
  ControlRef focus = FocusedEditText(dialog);
  if (focus == nullptr) return;
  const ControlEditTextSelectionRec s = GetEditTextSelection(focus);
  if (s.selStart == s.selEnd) return;
  HandleControlKey(focus, 0, kBackspaceCharCode, 0);
}
