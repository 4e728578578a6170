// Small platform calls the classic program relies on: the bell, the
// cursor, the pointer, and opening web addresses.
#pragma once

#include <cstdint>

#include "classic/toolbox/toolbox_types.h"

// Rings the bell (the desktop's) and counts it, so tests can see it.
void SysBeep(int16_t durationTicks);
uint32_t GetSysBeepCount();

// Cursors: the arrow, and resource 128, the pointing hand over web links.
struct Cursor {
  int16_t resourceID = 0;
};
using CursHandle = Cursor*;
constexpr int16_t kPointingHandCursorID = 128;
void InitCursor();  // the arrow
// Null for a cursor the program does not have.
CursHandle GetCursor(int16_t cursorID);
void SetCursor(const Cursor* cursor);
void ReleaseResource(void* resource);
// 0 for the arrow, else the resource id of the cursor shown.
int16_t GetCurrentCursorID();

// The pointer in the current port's local coordinates.
void GetMouse(Point* local);
// Moves the real pointer to a global point.
void SetCursorPos(Point global);

// Decimal text of a number (a minus sign for negatives), and back. The
// reading takes an optional sign and then each character's distance from
// '0' as a digit, as the platform always did: text that is not a number
// gives a number all the same, so callers filter what users type.
void NumToString(int32_t number, Str255 text);
void StringToNum(ConstStr255Param text, int32_t* number);

// Opens the address (a Str255) in the user's web browser. paramErr for an
// empty address; the backend's error when the browser cannot be started.
[[nodiscard]] OSErr LaunchURL(ConstStr255Param url);
