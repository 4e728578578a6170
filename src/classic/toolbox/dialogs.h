// The Dialog Manager: dialogs made from the program's own resource tables
// (dialog number → title, bounds, window reference value, item list), items
// reached by number, each item a control of the dialog's window. A
// dialog's window is of kind 2 (kDialogWindowKind) and has a root control.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "classic/toolbox/controls.h"
#include "classic/toolbox/toolbox_types.h"
#include "classic/toolbox/windows.h"

// Dialog item kinds, as the item lists number them.
constexpr int16_t userItem = 0;
constexpr int16_t ctrlItem = 4;  // with btnCtrl: push button
constexpr int16_t btnCtrl = 0;
constexpr int16_t kButtonDialogItem = 4;
constexpr int16_t kCheckBoxDialogItem = 5;
constexpr int16_t kResourceControlDialogItem = 7;
constexpr int16_t kStaticTextDialogItem = 8;
constexpr int16_t kEditTextDialogItem = 16;
constexpr int16_t kIconDialogItem = 32;
constexpr int16_t kPictureDialogItem = 64;
constexpr int16_t itemDisable = 128;  // added to a kind: clicks on the item report nothing

// One item of a dialog resource. Resource controls (kind 7) are pop-up menus
// when they name a menu, else user panes that can take the keyboard focus.
struct DialogItemTemplate {
  int16_t kind = userItem;
  Rect bounds;  // local to the dialog's window
  std::string_view text;
  int16_t popupMenuID = 0;
};

struct DialogTemplate {
  int16_t id = 0;
  std::string_view title;
  Rect bounds;  // content rectangle, global
  intptr_t refCon = 0;
  WindowCloseBox closeBox = WindowCloseBox::kPresent;
  int16_t defaultItem = 0;  // 0: none
  std::span<const DialogItemTemplate> items;
};

// Makes the program's dialog resources known. Templates are referred to,
// not copied: they must outlive the toolbox (static tables). Later tables
// add to and override earlier ones.
void RegisterDialogTemplates(std::span<const DialogTemplate> templates);
const DialogTemplate* GetDialogTemplate(int16_t dialogID);

// Makes a dialog from its resource, hidden, in front of all windows
// (behind == kFirstWindowOfClass) or at the back (behind == null). Null
// when the resource does not exist.
DialogRef GetNewDialog(int16_t dialogID, void* storage, WindowRef behind);
void DisposeDialog(DialogRef dialog);
// Dialogs whose items depend on what they show: a control the program made
// in the dialog's window becomes the next item (its number; 0 when the
// control is not that window's or is an item already), and ShortenDITL
// removes the items after the first `numberItems`, disposing of their
// controls.
int16_t AppendDialogItemControl(DialogRef dialog, int16_t kind, ControlRef control);
void ShortenDITL(DialogRef dialog, int16_t numberItems);

WindowRef GetDialogWindow(DialogRef dialog);
CGrafPtr GetDialogPort(DialogRef dialog);
// The dialog whose window this is, or null for a plain window.
DialogRef GetDialogFromWindow(WindowRef window);
Boolean IsDialogWindow(WindowRef window);

int16_t CountDITL(DialogRef dialog);
// Item 1 upward. kind gets the item's kind (with itemDisable), item its
// control, box its rectangle; any may be null.
void GetDialogItem(DialogRef dialog, int16_t itemNo, int16_t* kind, ControlRef* item, Rect* box);
void SetDialogItem(DialogRef dialog, int16_t itemNo, int16_t kind, ControlRef item, const Rect* box);
[[nodiscard]] OSErr GetDialogItemAsControl(DialogRef dialog, int16_t itemNo, ControlRef* control);
// The item (counting from 0) whose rectangle holds the local point, the
// first in item order; −1 when none.
int16_t FindDialogItem(DialogRef dialog, Point local);
// The item number (from 1) of a control of the dialog, or 0.
int16_t GetDialogItemNumber(DialogRef dialog, ControlRef control);

void GetDialogItemText(ControlRef item, Str255 text);
void SetDialogItemText(ControlRef item, ConstStr255Param text);
// Selects characters start…end of an edit text item (32767: to the end).
void SelectDialogItemText(DialogRef dialog, int16_t itemNo, int16_t start, int16_t end);

[[nodiscard]] OSErr SetDialogDefaultItem(DialogRef dialog, int16_t item);
int16_t GetDialogDefaultItem(DialogRef dialog);
[[nodiscard]] OSErr SetDialogCancelItem(DialogRef dialog, int16_t item);
int16_t GetDialogKeyboardFocusItem(DialogRef dialog);

// Draws every item of the dialog.
void DrawDialog(DialogRef dialog);
void UpdateDialog(DialogRef dialog, const void* updateRegion);

// Whether an event concerns a dialog (null events always do).
Boolean IsDialogEvent(const EventRecord* event);
// Handles one event in the front dialog: null events blink the focused
// edit text's caret; a key goes to the focused edit text; a click on an
// enabled item is tracked. True with the dialog and item when an item was
// hit.
Boolean DialogSelect(const EventRecord* event, DialogRef* dialog, int16_t* itemHit);

// Edit commands on the dialog's focused edit text, through the clipboard.
void DialogCut(DialogRef dialog);
void DialogCopy(DialogRef dialog);
void DialogPaste(DialogRef dialog);
void DialogDelete(DialogRef dialog);
