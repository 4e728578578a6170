// The program's own dialog toolkit on top of the toolbox's Dialog and
// Control Managers: control tables by item number, text boxes that know
// their content type and maximum length (packed into the control's
// reference value), check boxes bound to a Boolean, the click and key rules
// every dialog shares, the modal (-6) and link (-3) window conventions, and
// a standard loop for simple modal dialogs. The Edit commands and the one
// acceptance test for typed and pasted text are in dialog_edit_menu.h.
#pragma once

#include <cstdint>
#include <memory>

#include "classic/toolbox/toolbox.h"

// Text box content types (bits 16 to 23 of the box's reference value).
constexpr uint8_t kContentTypeAny = 0;
constexpr uint8_t kContentTypeInteger = 1;  // digits only; up/down arrows step the value
constexpr uint8_t kContentTypeDecimal = 2;  // digits and at most one period

// Window reference values (GetWRefCon of the dialog's window).
constexpr intptr_t kModalDialogRefCon = -6;  // clicks outside the dialog beep
constexpr intptr_t kLinkDialogRefCon = -3;   // "www."/"http://" static texts are links

// Item result: the close box was clicked or command-W typed.
constexpr int16_t kCloseDialogItem = -3210;

// How long Return/Escape flash the button they hit, and the bell's length.
constexpr uint32_t kButtonFlashTicks = 8;
constexpr int16_t kDialogBeepTicks = 30;
constexpr uint32_t kDialogSleepTicks = 60;

// The last click that hit an item (double-click detection).
extern uint32_t gLastMouseDownTime;
extern ControlRef gLastMouseDownControl;

// Where a dragged dialog may go (the main loop sets it to the desktop).
extern Rect gBigRect;

// The main loop's handlers for update and activate events of windows other
// than the dialog. Without them, an update of another window is begun and
// ended (so it does not repeat) and an activate is dropped.
using DialogOtherWindowEventProc = void (*)(const EventRecord& event);
extern DialogOtherWindowEventProc gDialogOtherWindowUpdateProc;
extern DialogOtherWindowEventProc gDialogOtherWindowActivateProc;

// A dialog's controls by item number: entry i is item i's control, entry 0
// is unused; CountDITL + 1 entries. Free it after disposing the dialog.
using ControlTable = std::unique_ptr<ControlRef[]>;

// Shows the window, makes its port current, clears its pending update and
// draws the whole dialog.
void MyShowDialog(DialogRef dialog);
// The dialog's control table, or null when it cannot be allocated.
ControlTable GetControlHandles(DialogRef dialog);
// The box's text into `text` (a Str255), at most 254 characters.
void MyGetEditTextBoxText(ControlRef control, Str255 text);
// Bits 24 to 31 (maximum characters, 0: no limit) and 16 to 23 (content
// type) of the box's reference value; the other bits are kept.
void SetTextBoxMaxCharacters(ControlRef control, uint8_t maxCharacters);
void SetTextBoxContentType(ControlRef control, uint8_t contentType);
uint8_t GetTextBoxMaxCharacters(ControlRef control);
uint8_t GetTextBoxContentType(ControlRef control);
// Binds a check box to a Boolean (null: unbound) and sets its value from it.
void SetCheckBoxDataPointer(ControlRef control, Boolean* data);

// A mouse-down in a dialog's content: the item hit, or 0.
int16_t MyDialogContentClickHandler(const EventRecord* event);
// A key-down or auto-key in a dialog: the item result.
int16_t HandleStandardKeyPressesInDialog(DialogRef dialog, const EventRecord* event);
// Any event while the dialog runs: the item result.
int16_t ProcessEventInDialog(DialogRef dialog, const EventRecord* event);
// Suspend/resume: *inBackground (may be null) becomes true on suspend,
// false on resume.
void HandleOSEvtInDialog(DialogRef dialog, const EventRecord* event, Boolean* inBackground);
// One round of a modal dialog: the item result of one event, or 0.
int16_t MyDoAllDialogEvents(DialogRef dialog, uint8_t unused);
// Focuses and selects the first usable text box (from item 2), or clears
// the focus when there is none.
void SelectFirstTextBoxInDialog(DialogRef dialog);
// Runs the dialog until item 1, or item 2 when it is a push button.
int16_t StandardDialogEventLoop(DialogRef dialog, uint8_t flag);
