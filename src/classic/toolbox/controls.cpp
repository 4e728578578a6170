// Controls: values, reference values, highlighting, tracking, edit text
// with its selection, and the keyboard focus.
#include "classic/toolbox/controls.h"

#include <algorithm>
#include <cstring>

#include "classic/toolbox/toolbox_state.h"

using namespace fw;

namespace {

ControlRef Checked(ControlRef control) {
  if (control == nullptr || !ToolboxIsRunning()) return nullptr;
  for (const auto& window : TB().windows) {
    for (const auto& c : window->controls) {
      if (c.get() == control) return control;
    }
  }
  return nullptr;
}

int16_t Clamp16(int32_t v) {
  return static_cast<int16_t>(std::clamp<int32_t>(v, INT16_MIN, INT16_MAX));
}

void Changed(ControlRef control) {
  NoteWindowChanged(control->owner, WindowChange::kContent);
}

bool CanTakeFocus(ControlRef control) {
  return control->kind != ControlKind::kRoot &&
         (control->kind == ControlKind::kEditText || control->focusable) && IsControlActive(control) &&
         IsControlVisible(control);
}

void ClampSelection(ControlRef control) {
  const int32_t length = static_cast<int32_t>(control->text.size());
  auto& s = control->selection;
  s.selStart = Clamp16(std::clamp<int32_t>(s.selStart, 0, length));
  s.selEnd = Clamp16(std::clamp<int32_t>(s.selEnd, 0, length));
  if (s.selEnd < s.selStart) std::swap(s.selStart, s.selEnd);
}

void ReplaceSelection(ControlRef control, std::string_view with) {
  ClampSelection(control);
  auto& s = control->selection;
  control->text.replace(static_cast<size_t>(s.selStart), static_cast<size_t>(s.selEnd - s.selStart), with);
  s.selStart = s.selEnd = Clamp16(s.selStart + static_cast<int32_t>(with.size()));
  ClampSelection(control);
}

void ShowCaretNow(ControlRef control) {
  control->caretVisible = true;
  control->lastBlinkTicks = TickCount();
}

}  // namespace

int16_t fw::ToolboxBackend::TextOffsetAt(ControlRef control, Point local) {
  const int32_t length = static_cast<int32_t>(control->text.size());
  return Clamp16(std::clamp<int32_t>((local.h - control->bounds.left - 4 + 3) / 7, 0, length));
}

void fw::DisposeControlsOf(WindowRef window) {
  window->focus = nullptr;
  window->root = nullptr;
  window->controls.clear();
}

ControlRef NewControlOfKind(WindowRef window, ControlKind kind, const Rect& bounds, std::string_view title,
                            int16_t popupMenuID) {
  if (CheckedWindow(window) == nullptr) return nullptr;
  auto control = std::make_unique<OpaqueControlRef>();
  control->kind = kind;
  control->owner = window;
  control->bounds = bounds;
  control->text = std::string(title);
  switch (kind) {
    case ControlKind::kCheckBox:
      control->maximum = 2;
      break;
    case ControlKind::kPopupMenu:
      control->popupMenuID = popupMenuID;
      control->popupMenu = GetMenu(popupMenuID);
      control->minimum = 1;
      control->maximum =
          control->popupMenu != nullptr ? std::max<int16_t>(1, CountMenuItems(control->popupMenu)) : 1;
      control->value = 1;
      break;
    default:
      break;
  }
  ControlRef ref = control.get();
  window->controls.push_back(std::move(control));
  Changed(ref);
  return ref;
}

OSErr CreateSliderControl(WindowRef window, const Rect* boundsRect, int32_t value, int32_t minimum,
                          int32_t maximum, ControlRef* outControl) {
  if (outControl != nullptr) *outControl = nullptr;
  if (boundsRect == nullptr || outControl == nullptr) return paramErr;
  if (CheckedWindow(window) == nullptr) return errInvalidWindowRef;
  ControlRef slider = NewControlOfKind(window, ControlKind::kSlider, *boundsRect, {}, 0);
  slider->minimum = minimum;
  slider->maximum = std::max(minimum, maximum);
  slider->value = std::clamp(value, slider->minimum, slider->maximum);
  *outControl = slider;
  return noErr;
}

int32_t GetSliderValueAt(ControlRef slider, int16_t h) {
  if (Checked(slider) == nullptr) return 0;
  const int32_t first = slider->bounds.left + kSliderThumbWidthPixels / 2;
  const int32_t span = slider->bounds.right - slider->bounds.left - kSliderThumbWidthPixels;
  if (span <= 0) return slider->minimum;
  const int64_t offset = std::clamp<int64_t>(h - first, 0, span);
  const int64_t range = int64_t{slider->maximum} - slider->minimum;
  // Rounded to the nearest value, so both ends are reachable exactly.
  return static_cast<int32_t>(slider->minimum + (offset * range + span / 2) / span);
}

void DisposeControl(ControlRef control) {
  if (Checked(control) == nullptr) return;
  WindowRef window = control->owner;
  if (window->focus == control) window->focus = nullptr;
  if (window->root == control) window->root = nullptr;
  std::erase_if(window->controls, [&](const auto& c) { return c.get() == control; });
  NoteWindowChanged(window, WindowChange::kContent);
}

ControlKind GetControlKind(ControlRef control) {
  return Checked(control) != nullptr ? control->kind : ControlKind::kUserPane;
}
WindowRef GetControlOwner(ControlRef control) {
  return Checked(control) != nullptr ? control->owner : nullptr;
}

int32_t GetControlReference(ControlRef control) {
  return Checked(control) != nullptr ? control->refCon : 0;
}
void SetControlReference(ControlRef control, int32_t refCon) {
  if (Checked(control) != nullptr) control->refCon = refCon;
}
void* GetControlDataPointer(ControlRef control) {
  return Checked(control) != nullptr ? control->dataPointer : nullptr;
}
void SetControlDataPointer(ControlRef control, void* data) {
  if (Checked(control) != nullptr) control->dataPointer = data;
}

int16_t GetControlValue(ControlRef control) {
  return Clamp16(GetControl32BitValue(control));
}
void SetControlValue(ControlRef control, int16_t value) {
  SetControl32BitValue(control, value);
}
int32_t GetControl32BitValue(ControlRef control) {
  return Checked(control) != nullptr ? control->value : 0;
}
void SetControl32BitValue(ControlRef control, int32_t value) {
  if (Checked(control) == nullptr) return;
  const int32_t clamped = std::clamp(value, control->minimum, std::max(control->minimum, control->maximum));
  if (clamped == control->value) return;
  control->value = clamped;
  Changed(control);
}
int16_t GetControlMinimum(ControlRef control) {
  return Checked(control) != nullptr ? Clamp16(control->minimum) : 0;
}
int16_t GetControlMaximum(ControlRef control) {
  return Checked(control) != nullptr ? Clamp16(control->maximum) : 0;
}
void SetControlMaximum(ControlRef control, int16_t maximum) {
  if (Checked(control) == nullptr) return;
  control->maximum = maximum;
  control->value = std::clamp(control->value, control->minimum, std::max(control->minimum, control->maximum));
  Changed(control);
}

int32_t GetControl32BitMinimum(ControlRef control) {
  return Checked(control) != nullptr ? control->minimum : 0;
}
int32_t GetControl32BitMaximum(ControlRef control) {
  return Checked(control) != nullptr ? control->maximum : 0;
}
void SetControl32BitMinimum(ControlRef control, int32_t minimum) {
  if (Checked(control) == nullptr) return;
  control->minimum = minimum;
  control->value = std::clamp(control->value, control->minimum, std::max(control->minimum, control->maximum));
  Changed(control);
}
void SetControl32BitMaximum(ControlRef control, int32_t maximum) {
  if (Checked(control) == nullptr) return;
  control->maximum = maximum;
  control->value = std::clamp(control->value, control->minimum, std::max(control->minimum, control->maximum));
  Changed(control);
}

void GetControlTitle(ControlRef control, Str255 title) {
  CopyToStr255(Checked(control) != nullptr ? control->text : std::string(), title);
}
void SetControlTitle(ControlRef control, ConstStr255Param title) {
  if (Checked(control) == nullptr) return;
  control->text = Str255ToString(title);
  ClampSelection(control);
  Changed(control);
}
Rect* GetControlBounds(ControlRef control, Rect* bounds) {
  if (bounds != nullptr) *bounds = Checked(control) != nullptr ? control->bounds : Rect{};
  return bounds;
}
void SetControlBounds(ControlRef control, const Rect* bounds) {
  if (Checked(control) == nullptr || bounds == nullptr) return;
  control->bounds = *bounds;
  Changed(control);
}
MenuRef GetControlPopupMenuHandle(ControlRef control) {
  return Checked(control) != nullptr ? control->popupMenu : nullptr;
}
void SetControlPopupMenuHandle(ControlRef control, MenuRef menu) {
  if (Checked(control) == nullptr || control->kind != ControlKind::kPopupMenu) return;
  control->popupMenu = menu;
  control->popupMenuID = menu != nullptr ? GetMenuID(menu) : 0;
  control->minimum = 1;
  control->maximum = menu != nullptr ? std::max<int16_t>(1, CountMenuItems(menu)) : 1;
  control->value = std::clamp(control->value, control->minimum, control->maximum);
  Changed(control);
}

void HiliteControl(ControlRef control, int16_t hiliteState) {
  if (Checked(control) == nullptr || control->hilite == hiliteState) return;
  control->hilite = hiliteState;
  if (hiliteState == kControlInactivePart && control->owner->focus == control)
    control->owner->focus = nullptr;
  Changed(control);
}
int16_t GetControlHilite(ControlRef control) {
  return Checked(control) != nullptr ? control->hilite : 0;
}

Boolean IsControlActive(ControlRef control) {
  if (Checked(control) == nullptr || control->hilite == kControlInactivePart) return false;
  ControlRef root = control->owner->root;
  return root == nullptr || root == control || root->hilite != kControlInactivePart;
}
Boolean IsControlVisible(ControlRef control) {
  return Checked(control) != nullptr && control->visible;
}
OSErr ActivateControl(ControlRef control) {
  if (Checked(control) == nullptr) return errUnknownControl;
  if (control->hilite == kControlInactivePart) HiliteControl(control, 0);
  if (control == control->owner->root) NoteWindowChanged(control->owner, WindowChange::kContent);
  return noErr;
}
OSErr DeactivateControl(ControlRef control) {
  if (Checked(control) == nullptr) return errUnknownControl;
  HiliteControl(control, kControlInactivePart);
  return noErr;
}
void ShowControl(ControlRef control) {
  if (Checked(control) == nullptr || control->visible) return;
  control->visible = true;
  Changed(control);
}
void HideControl(ControlRef control) {
  if (Checked(control) == nullptr || !control->visible) return;
  control->visible = false;
  if (control->owner->focus == control) control->owner->focus = nullptr;
  Changed(control);
}

OSErr GetRootControl(WindowRef window, ControlRef* root) {
  if (root != nullptr) *root = nullptr;
  if (CheckedWindow(window) == nullptr) return errInvalidWindowRef;
  if (window->root == nullptr) return errNoRootControl;
  if (root != nullptr) *root = window->root;
  return noErr;
}

OSErr CreateRootControl(WindowRef window, ControlRef* root) {
  if (CheckedWindow(window) == nullptr) return errInvalidWindowRef;
  if (window->root == nullptr) {
    window->root = NewControlOfKind(window, ControlKind::kRoot, GetWindowRectLocal(window), {}, 0);
  }
  if (root != nullptr) *root = window->root;
  return noErr;
}

void Draw1Control(ControlRef control) {
  if (Checked(control) == nullptr) return;
  ++control->drawCount;
  Changed(control);
}
void DrawControls(WindowRef window) {
  if (CheckedWindow(window) == nullptr) return;
  for (const auto& c : window->controls) ++c->drawCount;
  NoteWindowChanged(window, WindowChange::kContent);
}
uint32_t GetControlDrawCount(ControlRef control) {
  return Checked(control) != nullptr ? control->drawCount : 0;
}

int16_t TestControl(ControlRef control, Point local) {
  if (Checked(control) == nullptr || !control->visible || !IsControlActive(control)) return kControlNoPart;
  if (!PtInRect(local, &control->bounds)) return kControlNoPart;
  switch (control->kind) {
    case ControlKind::kPushButton:
      return kControlButtonPart;
    case ControlKind::kCheckBox:
      return kControlCheckBoxPart;
    case ControlKind::kPopupMenu:
      return kControlMenuPart;
    case ControlKind::kSlider:
      return kControlIndicatorPart;
    case ControlKind::kEditText:
      return kControlEditTextPart;
    case ControlKind::kStaticText:
      return kControlStaticTextPart;
    case ControlKind::kUserPane:
      return 1;
    case ControlKind::kRoot:
      return kControlNoPart;
  }
  return kControlNoPart;
}

ControlRef FindControlUnderMouse(Point local, WindowRef window, int16_t* part) {
  if (part != nullptr) *part = kControlNoPart;
  if (CheckedWindow(window) == nullptr) return nullptr;
  // The latest made lies on top.
  for (auto it = window->controls.rbegin(); it != window->controls.rend(); ++it) {
    const int16_t hit = TestControl(it->get(), local);
    if (hit == kControlNoPart) continue;
    if (part != nullptr) *part = hit;
    return it->get();
  }
  return nullptr;
}

int16_t TrackControl(ControlRef control, Point startPt, ControlActionUPP actionProc) {
  if (Checked(control) == nullptr) return kControlNoPart;
  const int16_t part = TestControl(control, startPt);
  if (part == kControlNoPart) return kControlNoPart;
  ToolboxState& tb = TB();
  WindowRef window = control->owner;
  auto localMouse = [&] {
    return Point{Clamp16(tb.mouse.v - window->bounds.top), Clamp16(tb.mouse.h - window->bounds.left)};
  };
  if (control->kind == ControlKind::kEditText) {
    // The caret goes where the press was; a drag selects from there to
    // where the button is released.
    const int16_t anchor = tb.backend->TextOffsetAt(control, startPt);
    WaitMouseUp();
    const int16_t end = tb.backend->TextOffsetAt(control, localMouse());
    control->selection = ControlEditTextSelectionRec{std::min(anchor, end), std::max(anchor, end)};
    ShowCaretNow(control);
    Changed(control);
    return part;
  }
  if (control->kind == ControlKind::kPopupMenu) {
    WaitMouseUp();
    const int16_t item = tb.backend->TrackPopupMenu(control);
    if (item <= 0) return kControlNoPart;
    SetControlValue(control, item);
    return part;
  }
  if (control->kind == ControlKind::kSlider) {
    // Live tracking: the value follows the pointer wherever it goes, and the
    // press counts even when released outside, as a slider's always did.
    HiliteControl(control, part);
    SetControl32BitValue(control, GetSliderValueAt(control, startPt.h));
    while (StillDown()) {
      SetControl32BitValue(control, GetSliderValueAt(control, localMouse().h));
      if (actionProc != nullptr && actionProc != kControlUseOwnAction) actionProc(control, part);
      PumpEvents(10);
    }
    WaitMouseUp();
    SetControl32BitValue(control, GetSliderValueAt(control, localMouse().h));
    HiliteControl(control, 0);
    return part;
  }
  while (StillDown()) {
    const bool inside = PtInRect(localMouse(), &control->bounds);
    HiliteControl(control, inside ? part : 0);
    if (inside && actionProc != nullptr && actionProc != kControlUseOwnAction) actionProc(control, part);
    PumpEvents(10);
  }
  WaitMouseUp();
  HiliteControl(control, 0);
  return PtInRect(localMouse(), &control->bounds) ? part : kControlNoPart;
}

// ---- Data -----------------------------------------------------------------

OSErr GetControlDataSize(ControlRef control, int16_t, ResType tag, size_t* size) {
  if (Checked(control) == nullptr) return errUnknownControl;
  if (tag == kControlEditTextTextTag &&
      (control->kind == ControlKind::kEditText || control->kind == ControlKind::kStaticText)) {
    *size = control->text.size();
    return noErr;
  }
  if (tag == kControlEditTextSelectionTag && control->kind == ControlKind::kEditText) {
    *size = sizeof(ControlEditTextSelectionRec);
    return noErr;
  }
  return errDataNotSupported;
}

OSErr GetControlData(ControlRef control, int16_t part, ResType tag, size_t bufferSize, void* buffer,
                     size_t* actualSize) {
  size_t size = 0;
  if (OSErr err = GetControlDataSize(control, part, tag, &size); err != noErr) return err;
  if (actualSize != nullptr) *actualSize = size;
  if (buffer == nullptr) return noErr;
  if (tag == kControlEditTextSelectionTag) {
    if (bufferSize < sizeof(ControlEditTextSelectionRec)) return paramErr;
    ClampSelection(control);
    std::memcpy(buffer, &control->selection, sizeof(ControlEditTextSelectionRec));
    return noErr;
  }
  std::memcpy(buffer, control->text.data(), std::min(bufferSize, control->text.size()));
  return noErr;
}

OSErr SetControlData(ControlRef control, int16_t, ResType tag, size_t size, const void* data) {
  if (Checked(control) == nullptr) return errUnknownControl;
  if (tag == kControlEditTextTextTag &&
      (control->kind == ControlKind::kEditText || control->kind == ControlKind::kStaticText)) {
    control->text.assign(static_cast<const char*>(data), data != nullptr ? size : 0);
    // New text is all selected, as edit texts behave.
    control->selection = ControlEditTextSelectionRec{0, Clamp16(static_cast<int32_t>(control->text.size()))};
    Changed(control);
    return noErr;
  }
  if (tag == kControlEditTextSelectionTag && control->kind == ControlKind::kEditText) {
    if (data == nullptr || size < sizeof(ControlEditTextSelectionRec)) return paramErr;
    std::memcpy(&control->selection, data, sizeof(ControlEditTextSelectionRec));
    ClampSelection(control);
    Changed(control);
    return noErr;
  }
  return errDataNotSupported;
}

std::string GetControlText(ControlRef control) {
  return Checked(control) != nullptr ? control->text : std::string();
}
void SetControlText(ControlRef control, std::string_view text) {
  (void)SetControlData(control, 0, kControlEditTextTextTag, text.size(), text.data());
}
ControlEditTextSelectionRec GetEditTextSelection(ControlRef control) {
  if (Checked(control) == nullptr) return {};
  ClampSelection(control);
  return control->selection;
}

// ---- Keyboard focus -------------------------------------------------------

OSErr SetKeyboardFocus(WindowRef window, ControlRef control, int16_t part) {
  if (CheckedWindow(window) == nullptr) return errInvalidWindowRef;
  if (part == kControlFocusNoPart) return ClearKeyboardFocus(window);
  if (Checked(control) == nullptr || control->owner != window) return errUnknownControl;
  if (!CanTakeFocus(control)) return errControlIsNotEmbedder;
  if (window->focus != control) {
    if (window->focus != nullptr) window->focus->caretVisible = false;
    window->focus = control;
  }
  ShowCaretNow(control);
  Changed(control);
  return noErr;
}

OSErr ClearKeyboardFocus(WindowRef window) {
  if (CheckedWindow(window) == nullptr) return errInvalidWindowRef;
  if (window->focus != nullptr) {
    window->focus->caretVisible = false;
    Changed(window->focus);
    window->focus = nullptr;
  }
  return noErr;
}

OSErr GetKeyboardFocus(WindowRef window, ControlRef* control) {
  if (control != nullptr) *control = nullptr;
  if (CheckedWindow(window) == nullptr) return errInvalidWindowRef;
  if (control != nullptr) *control = window->focus;
  return noErr;
}

namespace {
OSErr MoveFocus(WindowRef window, int step) {
  if (CheckedWindow(window) == nullptr) return errInvalidWindowRef;
  std::vector<ControlRef> order;
  for (const auto& c : window->controls) {
    if (CanTakeFocus(c.get())) order.push_back(c.get());
  }
  if (order.empty()) return ClearKeyboardFocus(window);
  auto it = std::find(order.begin(), order.end(), window->focus);
  size_t next;
  if (it == order.end()) {
    next = step > 0 ? 0 : order.size() - 1;
  } else {
    const size_t at = static_cast<size_t>(it - order.begin());
    const int count = static_cast<int>(order.size());
    next = static_cast<size_t>((static_cast<int>(at) + step + count) % count);
  }
  ControlRef target = order[next];
  // Moving the focus into a text selects all of it, so typing replaces it.
  if (target->kind == ControlKind::kEditText) {
    target->selection = ControlEditTextSelectionRec{0, Clamp16(static_cast<int32_t>(target->text.size()))};
  }
  return SetKeyboardFocus(window, target, kControlFocusNextPart);
}
}  // namespace

OSErr AdvanceKeyboardFocus(WindowRef window) {
  return MoveFocus(window, 1);
}
OSErr ReverseKeyboardFocus(WindowRef window) {
  return MoveFocus(window, -1);
}
void SetControlFocusable(ControlRef control, Boolean focusable) {
  if (Checked(control) != nullptr) control->focusable = focusable;
}

// ---- Keys in edit texts ---------------------------------------------------

int16_t HandleControlKey(ControlRef control, int16_t keyCode, int16_t charCode, EventModifiers modifiers) {
  (void)keyCode;
  if (Checked(control) == nullptr || control->kind != ControlKind::kEditText) return kControlNoPart;
  ClampSelection(control);
  auto& s = control->selection;
  const int16_t length = Clamp16(static_cast<int32_t>(control->text.size()));
  const bool shift = (modifiers & shiftKey) != 0;
  // The anchor of a shift-extended selection is the end not moving.
  switch (static_cast<uint8_t>(charCode)) {
    case kBackspaceCharCode:
      if (s.selStart == s.selEnd && s.selStart > 0) --s.selStart;
      ReplaceSelection(control, {});
      break;
    case kDeleteCharCode:
      if (s.selStart == s.selEnd && s.selEnd < length) ++s.selEnd;
      ReplaceSelection(control, {});
      break;
    case kLeftArrowCharCode:
      if (shift) {
        s.selStart = static_cast<int16_t>(std::max(0, s.selStart - 1));
      } else {
        s.selStart = s.selEnd =
            s.selStart != s.selEnd ? s.selStart : static_cast<int16_t>(std::max(0, s.selStart - 1));
      }
      break;
    case kRightArrowCharCode:
      if (shift) {
        s.selEnd = std::min(length, static_cast<int16_t>(s.selEnd + 1));
      } else {
        s.selStart = s.selEnd =
            s.selStart != s.selEnd ? s.selEnd : std::min(length, static_cast<int16_t>(s.selEnd + 1));
      }
      break;
    case kUpArrowCharCode:
      s.selStart = 0;
      if (!shift) s.selEnd = 0;
      break;
    case kDownArrowCharCode:
      s.selEnd = length;
      if (!shift) s.selStart = length;
      break;
    default:
      // Return, Enter, Escape, Tab and the other control characters are the
      // dialog's business, not text.
      if (static_cast<uint8_t>(charCode) < 32) return kControlNoPart;
      {
        const char c = static_cast<char>(charCode);
        ReplaceSelection(control, std::string_view(&c, 1));
      }
      break;
  }
  ShowCaretNow(control);
  Changed(control);
  return kControlEditTextPart;
}

int32_t SendControlMessage(ControlRef control, int16_t message, void* param) {
  if (message != kControlMsgKeyDown || param == nullptr) return 0;
  const auto* key = static_cast<const ControlKeyDownRec*>(param);
  return HandleControlKey(control, key->keyCode, key->charCode, key->modifiers);
}

Boolean IsEditTextCaretVisible(ControlRef control) {
  return Checked(control) != nullptr && control->owner->focus == control && control->caretVisible;
}

void IdleControls(WindowRef window) {
  if (CheckedWindow(window) == nullptr || window->focus == nullptr) return;
  ControlRef focus = window->focus;
  if (focus->kind != ControlKind::kEditText) return;
  const uint32_t now = TickCount();
  if (now - focus->lastBlinkTicks < GetCaretTime()) return;
  focus->caretVisible = !focus->caretVisible;
  focus->lastBlinkTicks = now;
  Changed(focus);
}
