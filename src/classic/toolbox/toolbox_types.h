// The classic toolbox's basic types and constants: event records, event
// codes and masks, modifier bits, window part codes, and the references the
// program holds to windows, dialogs, controls and menus. The numbers are the
// classic platform's, so the program's logic reads as it always has.
#pragma once

#include <cstdint>

#include "core/platform/os_errors.h"
#include "core/util/types.h"

using Boolean = bool;
using EventKind = uint16_t;
using EventMask = uint16_t;
using EventModifiers = uint16_t;

// Event codes (EventRecord::what).
constexpr EventKind nullEvent = 0;
constexpr EventKind mouseDown = 1;
constexpr EventKind mouseUp = 2;
constexpr EventKind keyDown = 3;
constexpr EventKind keyUp = 4;
constexpr EventKind autoKey = 5;
constexpr EventKind updateEvt = 6;
constexpr EventKind diskEvt = 7;
constexpr EventKind activateEvt = 8;
constexpr EventKind osEvt = 15;
constexpr EventKind kHighLevelEvent = 23;

// Event masks: bit n stands for event code n.
constexpr EventMask mDownMask = 1 << mouseDown;
constexpr EventMask mUpMask = 1 << mouseUp;
constexpr EventMask keyDownMask = 1 << keyDown;
constexpr EventMask keyUpMask = 1 << keyUp;
constexpr EventMask autoKeyMask = 1 << autoKey;
constexpr EventMask updateMask = 1 << updateEvt;
constexpr EventMask diskMask = 1 << diskEvt;
constexpr EventMask activMask = 1 << activateEvt;
constexpr EventMask highLevelEventMask = 0x0400;  // the classic platform's bit for code 23
constexpr EventMask osMask = static_cast<EventMask>(1u << osEvt);
constexpr EventMask everyEvent = 0xFFFF;

// Modifier bits (EventRecord::modifiers). On Linux the Ctrl key plays the
// command key and Alt the option key.
constexpr EventModifiers activeFlag = 0x0001;  // activate events: the window becomes active
constexpr EventModifiers btnState = 0x0080;    // set while the mouse button is UP
constexpr EventModifiers cmdKey = 0x0100;
constexpr EventModifiers shiftKey = 0x0200;
constexpr EventModifiers alphaLock = 0x0400;
constexpr EventModifiers optionKey = 0x0800;
constexpr EventModifiers controlKey = 0x1000;

// Key-down messages: character code in bits 0-7, key code in bits 8-15.
constexpr uint32_t charCodeMask = 0x000000FF;
constexpr uint32_t keyCodeMask = 0x0000FF00;

// Operating-system events: the message's top byte says what happened.
constexpr uint32_t suspendResumeMessage = 0x01;
constexpr uint32_t mouseMovedMessage = 0xFA;
constexpr uint32_t osEvtMessageMask = 0xFF000000;
constexpr uint32_t resumeFlag = 1;  // bit 0 of a suspend/resume message: resume

// Character codes the program tests.
constexpr uint8_t kEnterCharCode = 3;
constexpr uint8_t kBackspaceCharCode = 8;
constexpr uint8_t kTabCharCode = 9;
constexpr uint8_t kReturnCharCode = 13;
constexpr uint8_t kEscapeCharCode = 27;
constexpr uint8_t kLeftArrowCharCode = 28;
constexpr uint8_t kRightArrowCharCode = 29;
constexpr uint8_t kUpArrowCharCode = 30;
constexpr uint8_t kDownArrowCharCode = 31;
constexpr uint8_t kDeleteCharCode = 127;  // forward delete

struct OpaqueWindowPtr;
struct OpaqueDialogPtr;
struct OpaqueControlRef;
struct OpaqueMenuRef;
using WindowRef = OpaqueWindowPtr*;
using WindowPtr = WindowRef;
using DialogRef = OpaqueDialogPtr*;
using DialogPtr = DialogRef;
using ControlRef = OpaqueControlRef*;
using ControlHandle = ControlRef;
using MenuRef = OpaqueMenuRef*;
using MenuHandle = MenuRef;
// A window's drawing port is the window itself: ports and windows convert
// freely, as they did on the classic platform.
using GrafPtr = WindowRef;
using CGrafPtr = WindowRef;

struct EventRecord {
  EventKind what = nullEvent;
  // Key events: character code | key code << 8. Update and activate events:
  // the window (reinterpret_cast<WindowRef>(message)), which is why the field
  // is pointer-sized. Operating-system events: see osEvtMessageMask.
  // High-level events: the event class.
  uintptr_t message = 0;
  uint32_t when = 0;  // ticks (1/60 s) since the toolbox started
  Point where;        // global coordinates; high-level events: the event id (v low, h high half)
  EventModifiers modifiers = 0;
};

// Window part codes of FindWindow.
constexpr int16_t inDesk = 0;
constexpr int16_t inMenuBar = 1;
constexpr int16_t inContent = 3;
constexpr int16_t inDrag = 4;
constexpr int16_t inGrow = 5;
constexpr int16_t inGoAway = 6;

// Window kinds.
constexpr int16_t kDialogWindowKind = 2;
constexpr int16_t kApplicationWindowKind = 8;

// Toolbox error codes.
constexpr OSErr errInvalidWindowRef = -5600;
constexpr OSErr errControlIsNotEmbedder = -30590;
constexpr OSErr errDataNotSupported = -30581;
constexpr OSErr errNoRootControl = -30596;
constexpr OSErr errUnknownControl = -30584;
constexpr OSErr errAEEventNotHandled = -1708;
constexpr OSErr errAEHandlerNotFound = -1717;
constexpr OSErr noScrapErr = -100;
constexpr OSErr noTypeErr = -102;
constexpr OSErr resNotFound = -192;
constexpr OSErr codecErr = -8960;
constexpr OSErr noCodecErr = -8961;
constexpr OSErr codecBadDataErr = -8969;
