// The Control Manager: every dialog item is a control owned by its window
// and embedded in the window's root control. Controls carry a 32-bit
// reference value, a value with its range, a highlight state and, for edit
// texts, a text with a selection; the keyboard focus is one control per
// window. Rectangles are local to the owning window.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "classic/toolbox/toolbox_types.h"

enum class ControlKind : uint8_t {
  kUserPane,  // user items, icons, pictures: nothing of their own to draw
  kPushButton,
  kCheckBox,
  kStaticText,
  kEditText,
  kPopupMenu,
  kSlider,  // horizontal, minimum at its left end
  kRoot,
};

// Part codes.
constexpr int16_t kControlNoPart = 0;
constexpr int16_t kControlMenuPart = 2;
constexpr int16_t kControlEditTextPart = 5;
constexpr int16_t kControlButtonPart = 10;
constexpr int16_t kControlCheckBoxPart = 11;
constexpr int16_t kControlStaticTextPart = 12;
constexpr int16_t kControlIndicatorPart = 129;  // a slider's thumb (the whole slider tracks it)
constexpr int16_t kControlInactivePart = 255;
constexpr int16_t kControlEntireControl = 0;
// Keyboard focus parts.
constexpr int16_t kControlFocusNoPart = 0;
constexpr int16_t kControlFocusNextPart = -1;
constexpr int16_t kControlFocusPrevPart = -2;

// Control data tags.
using ResType = OSType;
constexpr ResType kControlEditTextTextTag = FourCC("text");
constexpr ResType kControlStaticTextTextTag = FourCC("text");
constexpr ResType kControlEditTextSelectionTag = FourCC("sele");

// The 'sele' data: a selection start and end, in characters. Setting a
// range beyond the text (0 to 32767) selects to its end.
struct ControlEditTextSelectionRec {
  int16_t selStart = 0;
  int16_t selEnd = 0;
};

// Control messages (SendControlMessage).
constexpr int16_t kControlMsgKeyDown = 17;
struct ControlKeyDownRec {
  EventModifiers modifiers = 0;
  int16_t keyCode = 0;
  int16_t charCode = 0;
};

// Action procedures for TrackControl: null for none, or this value for the
// control's own.
using ControlActionUPP = void (*)(ControlRef control, int16_t part);
inline const ControlActionUPP kControlUseOwnAction = reinterpret_cast<ControlActionUPP>(-1);

// Makes a control in `window` (embedded in its root control when it has
// one). `title` is a button's or check box's title, a static text's or edit
// text's text. Pop-up menus take their menu's id as `popupMenuID` and start
// on item 1.
ControlRef NewControlOfKind(WindowRef window, ControlKind kind, const Rect& bounds, std::string_view title,
                            int16_t popupMenuID);
// A horizontal slider with live tracking: while the mouse is pressed on it
// the value follows the pointer, from `minimum` with the thumb's centre
// kSliderThumbWidthPixels / 2 inside the left end to `maximum` as far inside
// the right end.
constexpr int16_t kSliderThumbWidthPixels = 12;
[[nodiscard]] OSErr CreateSliderControl(WindowRef window, const Rect* boundsRect, int32_t value,
                                        int32_t minimum, int32_t maximum, ControlRef* outControl);
// The slider value a pointer at local horizontal position `h` stands for.
int32_t GetSliderValueAt(ControlRef slider, int16_t h);
void DisposeControl(ControlRef control);
ControlKind GetControlKind(ControlRef control);
WindowRef GetControlOwner(ControlRef control);

// Reference values (32 bits, whatever the caller packs in).
int32_t GetControlReference(ControlRef control);
void SetControlReference(ControlRef control, int32_t refCon);
// A pointer-sized companion of the reference value: a program variable the
// control is bound to (a check box's Boolean). The 32-bit reference value
// cannot hold a pointer on a 64-bit system.
void* GetControlDataPointer(ControlRef control);
void SetControlDataPointer(ControlRef control, void* data);

// Values are kept within minimum…maximum. Check boxes: 0…1 (2 mixed);
// pop-up menus: 1…number of items.
int16_t GetControlValue(ControlRef control);
void SetControlValue(ControlRef control, int16_t value);
int32_t GetControl32BitValue(ControlRef control);
void SetControl32BitValue(ControlRef control, int32_t value);
int16_t GetControlMinimum(ControlRef control);
int16_t GetControlMaximum(ControlRef control);
void SetControlMaximum(ControlRef control, int16_t maximum);
int32_t GetControl32BitMinimum(ControlRef control);
int32_t GetControl32BitMaximum(ControlRef control);
void SetControl32BitMinimum(ControlRef control, int32_t minimum);
void SetControl32BitMaximum(ControlRef control, int32_t maximum);

void GetControlTitle(ControlRef control, Str255 title);
void SetControlTitle(ControlRef control, ConstStr255Param title);
Rect* GetControlBounds(ControlRef control, Rect* bounds);
void SetControlBounds(ControlRef control, const Rect* bounds);
MenuRef GetControlPopupMenuHandle(ControlRef control);
// Gives a pop-up menu control a menu the program made (NewMenu): its items
// become the control's range, the value kept within it. The control
// borrows the menu; dispose of the control before the menu.
void SetControlPopupMenuHandle(ControlRef control, MenuRef menu);

// Highlight: 0 none, a part code to show it pressed, 255 inactive.
void HiliteControl(ControlRef control, int16_t hiliteState);
int16_t GetControlHilite(ControlRef control);
// Active: its own highlight is not 255 and its root control is active.
Boolean IsControlActive(ControlRef control);
Boolean IsControlVisible(ControlRef control);
[[nodiscard]] OSErr ActivateControl(ControlRef control);
[[nodiscard]] OSErr DeactivateControl(ControlRef control);
void ShowControl(ControlRef control);
void HideControl(ControlRef control);
// The window's root control: errNoRootControl when it has none (plain
// windows; every dialog has one).
[[nodiscard]] OSErr GetRootControl(WindowRef window, ControlRef* root);
[[nodiscard]] OSErr CreateRootControl(WindowRef window, ControlRef* root);

// Redraws one control / all of a window's controls.
void Draw1Control(ControlRef control);
void DrawControls(WindowRef window);
// How many times a control was drawn (tests read back what was drawn).
uint32_t GetControlDrawCount(ControlRef control);

// The visible, active control under a local point (0 when none), and its part.
ControlRef FindControlUnderMouse(Point local, WindowRef window, int16_t* part);
int16_t TestControl(ControlRef control, Point local);

// Follows the mouse from a press at `startPt` (local) until the button is
// released, highlighting the control while the pointer is over it and
// running timers meanwhile. Returns the part released in, or 0 when the
// mouse was released outside. Pop-up menus show their menu and set their
// value to the chosen item (nothing chosen: 0 is returned and the value
// kept); edit texts put the caret at the press, or select from the press
// to the release after a drag; sliders follow the pointer and end where
// the button is released.
int16_t TrackControl(ControlRef control, Point startPt, ControlActionUPP actionProc);

// Control data: 'text' of static and edit texts, 'sele' of edit texts.
// GetControlData copies at most bufferSize bytes and reports the whole size.
[[nodiscard]] OSErr GetControlData(ControlRef control, int16_t part, ResType tag, size_t bufferSize,
                                   void* buffer, size_t* actualSize);
[[nodiscard]] OSErr SetControlData(ControlRef control, int16_t part, ResType tag, size_t size,
                                   const void* data);
[[nodiscard]] OSErr GetControlDataSize(ControlRef control, int16_t part, ResType tag, size_t* size);

// Plain accessors of the same data for the toolbox's own users.
std::string GetControlText(ControlRef control);
void SetControlText(ControlRef control, std::string_view text);
ControlEditTextSelectionRec GetEditTextSelection(ControlRef control);

// Keyboard focus: one control per window. Part kControlFocusNoPart clears
// it; kControlFocusNextPart (or any other part) gives it to the control when
// it can take it (edit texts and focusable controls, active and visible).
[[nodiscard]] OSErr SetKeyboardFocus(WindowRef window, ControlRef control, int16_t part);
[[nodiscard]] OSErr ClearKeyboardFocus(WindowRef window);
[[nodiscard]] OSErr GetKeyboardFocus(WindowRef window, ControlRef* control);
// Moves the focus to the next (previous) focusable control in the order the
// controls were made, wrapping round; from no focus, to the first (last).
[[nodiscard]] OSErr AdvanceKeyboardFocus(WindowRef window);
[[nodiscard]] OSErr ReverseKeyboardFocus(WindowRef window);
// Lets a non-text control take the focus (Tab reaches it).
void SetControlFocusable(ControlRef control, Boolean focusable);

// kControlMsgKeyDown to an edit text: typed characters replace the
// selection; backspace and forward delete remove it (or one character
// before / after the caret); the left and right arrows move the caret
// (shift extends), up and down go to the start and the end. Returns the
// part handled (kControlEditTextPart) or 0.
int32_t SendControlMessage(ControlRef control, int16_t message, void* param);
int16_t HandleControlKey(ControlRef control, int16_t keyCode, int16_t charCode, EventModifiers modifiers);

// Edit texts: the caret shows (blinks) while the control has the focus.
Boolean IsEditTextCaretVisible(ControlRef control);
// Toggles the focused edit text's caret when the caret time has passed.
void IdleControls(WindowRef window);
