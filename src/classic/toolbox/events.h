// The Event Manager: one queue of EventRecords, fetched with WaitNextEvent
// (which waits, and runs event-loop timers while it does) or GetNextEvent
// (which never waits). Events outside the caller's mask stay queued, in
// order, for a later fetch with another mask.
//
// Also here: event-loop timers, high-level (Apple) events and their
// handlers, the quit requests of the system (signals, session end), and the
// Post… calls through which a backend feeds what the user does.
#pragma once

#include <cstdint>

#include "classic/toolbox/toolbox_types.h"

// Ticks (1/60 s) since InitToolbox.
uint32_t TickCount();
// The double-click interval in ticks (30: half a second).
uint32_t GetDblTime();
// The caret blink interval in ticks.
uint32_t GetCaretTime();

// Returns the first queued event whose kind is in `mask`, removing it. When
// none is there it takes in window-system input and runs the due event-loop
// timers until one arrives or `sleepTicks` have passed; then it returns
// false with a null event (where = the mouse, modifiers = the keys held).
// Activate events come before queued input, update events after it.
Boolean WaitNextEvent(EventMask mask, EventRecord* event, uint32_t sleepTicks, const void* mouseRegion);
// Like WaitNextEvent with a sleep of 0: takes in pending input but never
// waits and runs no timer.
Boolean GetNextEvent(EventMask mask, EventRecord* event);
// The event WaitNextEvent would return, left in the queue.
Boolean EventAvail(EventMask mask, EventRecord* event);
// Removes queued events whose kind is in `whichMask` up to the first whose
// kind is in `stopMask`.
void FlushEvents(EventMask whichMask, EventMask stopMask);

// The mouse button, as the last input taken in says. StillDown: the button
// is down and no mouse-up is queued (the press that began tracking goes on).
Boolean Button();
Boolean StillDown();
// Waits (running timers) while the button stays down; removes the mouse-up
// that ended the press and returns true, or false when none was queued.
Boolean WaitMouseUp();
// The pointer in global coordinates.
Point GetGlobalMouse();

// Waits `ticks`, running due timers and taking in input; *finalTicks gets
// TickCount at the end (null allowed).
void Delay(uint32_t ticks, uint32_t* finalTicks);

// ---- Event-loop timers -------------------------------------------------
// They fire on the main thread whenever the program waits: in WaitNextEvent
// (and so in every modal loop built on it), in Delay, while a control, the
// close box, a drag or a menu is tracked.
struct OpaqueEventLoopTimerRef;
using EventLoopTimerRef = OpaqueEventLoopTimerRef*;
using EventLoopTimerProcPtr = void (*)(EventLoopTimerRef timer, void* userData);
using EventLoopTimerUPP = EventLoopTimerProcPtr;
using EventTimerInterval = double;  // seconds
struct OpaqueEventLoopRef;
using EventLoopRef = OpaqueEventLoopRef*;

constexpr EventTimerInterval kEventDurationSecond = 1.0;

EventLoopRef GetMainEventLoop();
EventLoopRef GetCurrentEventLoop();
inline EventLoopTimerUPP NewEventLoopTimerUPP(EventLoopTimerProcPtr proc) {
  return proc;
}
inline void DisposeEventLoopTimerUPP(EventLoopTimerUPP) {}
// First firing after `firstDelaySeconds`, then every `intervalSeconds` (0:
// once). A timer that falls behind fires once and keeps its rhythm from now.
[[nodiscard]] OSErr InstallEventLoopTimer(EventLoopRef loop, EventTimerInterval firstDelaySeconds,
                                          EventTimerInterval intervalSeconds, EventLoopTimerUPP proc,
                                          void* userData, EventLoopTimerRef* outTimer);
[[nodiscard]] OSErr RemoveEventLoopTimer(EventLoopTimerRef timer);
// Runs the timers that are due now (the waits above call it).
void RunDueEventLoopTimers();

// ---- High-level (Apple) events -----------------------------------------
using AEEventClass = OSType;
using AEEventID = OSType;
constexpr AEEventClass kCoreEventClass = FourCC("aevt");
constexpr AEEventID kAEOpenApplication = FourCC("oapp");
constexpr AEEventID kAEOpenDocuments = FourCC("odoc");
constexpr AEEventID kAEPrintDocuments = FourCC("pdoc");
constexpr AEEventID kAEQuitApplication = FourCC("quit");
constexpr AEEventID kAEShowPreferences = FourCC("pref");

struct AppleEvent {
  AEEventClass eventClass = 0;
  AEEventID eventID = 0;
};
using AEEventHandlerProcPtr = OSErr (*)(const AppleEvent* event, AppleEvent* reply, intptr_t refCon);
using AEEventHandlerUPP = AEEventHandlerProcPtr;
inline AEEventHandlerUPP NewAEEventHandlerUPP(AEEventHandlerProcPtr proc) {
  return proc;
}

// One handler per class and id; a second install replaces the first.
[[nodiscard]] OSErr AEInstallEventHandler(AEEventClass eventClass, AEEventID eventID,
                                          AEEventHandlerUPP handler, intptr_t refCon, Boolean isSysHandler);
[[nodiscard]] OSErr AERemoveEventHandler(AEEventClass eventClass, AEEventID eventID,
                                         AEEventHandlerUPP handler, Boolean isSysHandler);
// Runs the handler of a fetched high-level event: its result, or
// errAEEventNotHandled when no handler is installed.
[[nodiscard]] OSErr AEProcessAppleEvent(const EventRecord* event);
// The class and id a high-level event carries.
AEEventID GetHighLevelEventID(const EventRecord& event);

// Queues a high-level event (tests use it for 'pref' and the others).
void PostHighLevelEvent(AEEventClass eventClass, AEEventID eventID);

// The system asked the program to end: SIGTERM, SIGINT, SIGHUP, or the
// desktop session ending. Each request also queues a 'quit' event. The
// program can ask here to finish a running capture first.
Boolean SystemRequestedQuit();
// Installs the SIGTERM/SIGINT/SIGHUP handlers (InitToolbox does not, so
// tests are not touched); safe to call more than once.
void InstallQuitSignalHandlers();
// Called by a backend when the desktop session ends.
void RequestQuitFromSystem();

// ---- Feeding the queue (backends and tests) ----------------------------
// Each stamps `when` with TickCount. Mouse events also set the button state
// and the pointer; key events keep their modifiers. Ctrl+Q is the desktop's
// quit command: it queues a 'quit' high-level event instead of a key.
void PostMouseEvent(EventKind what, Point globalWhere, EventModifiers modifiers);
void PostKeyEvent(EventKind what, uint8_t charCode, uint8_t keyCode, EventModifiers modifiers);
// The program lost (suspend) or gained (resume) the keyboard focus.
void PostSuspendResumeEvent(Boolean resume);
// The pointer moved without a click (no event is queued).
void SetGlobalMouse(Point globalWhere);
// Any event as it is (when is stamped).
void PostEventRecord(const EventRecord& event);
// The classic call: posts an event of kind `what` with `message`.
[[nodiscard]] OSErr PostEvent(EventKind what, uintptr_t message);
