// The bell, cursors, the pointer and web addresses.
#include "classic/toolbox/misc.h"

#include <string>

#include "classic/toolbox/toolbox_state.h"

using namespace fw;

void SysBeep(int16_t) {
  ++TB().beepCount;
  TB().backend->Beep();
}
uint32_t GetSysBeepCount() {
  return TB().beepCount;
}

void InitCursor() {
  TB().cursorID = 0;
  TB().backend->SetCursorShape(CursorShape::kArrow);
}

CursHandle GetCursor(int16_t cursorID) {
  static Cursor pointingHand{kPointingHandCursorID};
  return cursorID == kPointingHandCursorID ? &pointingHand : nullptr;
}

void SetCursor(const Cursor* cursor) {
  if (cursor == nullptr) return;
  TB().cursorID = cursor->resourceID;
  TB().backend->SetCursorShape(cursor->resourceID == kPointingHandCursorID ? CursorShape::kPointingHand
                                                                           : CursorShape::kArrow);
}

void ReleaseResource(void*) {}

int16_t GetCurrentCursorID() {
  return TB().cursorID;
}

void GetMouse(Point* local) {
  if (local == nullptr) return;
  TB().backend->WaitForInput(0);
  *local = TB().mouse;
  GlobalToLocal(local);
}

void SetCursorPos(Point global) {
  TB().mouse = global;
  TB().backend->MovePointer(global);
}

OSErr LaunchURL(ConstStr255Param url) {
  if (url == nullptr || url[0] == 0) return paramErr;
  return TB().backend->OpenURL(Str255ToString(url));
}

void NumToString(int32_t number, Str255 text) {
  CopyToStr255(std::to_string(number), text);
}

void StringToNum(ConstStr255Param text, int32_t* number) {
  if (number == nullptr) return;
  // Unsigned arithmetic: overlong text wraps as it did, without undefined
  // behaviour.
  uint32_t value = 0;
  int index = 1;
  bool negative = false;
  if (text[0] >= 1 && (text[1] == '-' || text[1] == '+')) {
    negative = text[1] == '-';
    index = 2;
  }
  for (; index <= text[0]; ++index) value = value * 10u + static_cast<uint32_t>(text[index] - '0');
  *number = static_cast<int32_t>(negative ? 0u - value : value);
}
