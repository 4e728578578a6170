// The event queue, the waits that run event-loop timers, high-level events
// and the system's quit requests; also the toolbox's start and end.
#include "classic/toolbox/events.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>

#include "classic/toolbox/toolbox_state.h"

using namespace fw;

namespace {

std::unique_ptr<ToolboxState> gState;

// Signals only set a flag and write a byte to a pipe: the waits see the
// byte, and the main thread turns the flag into a 'quit' event.
std::atomic<int> gPendingQuitSignals{0};
std::atomic<bool> gSystemRequestedQuit{false};
int gSignalPipe[2] = {-1, -1};

void OnQuitSignal(int) {
  const int savedErrno = errno;
  gPendingQuitSignals.fetch_add(1, std::memory_order_relaxed);
  gSystemRequestedQuit.store(true, std::memory_order_relaxed);
  if (gSignalPipe[1] >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(gSignalPipe[1], &byte, 1);
  }
  errno = savedErrno;
}

EventMask MaskBitOf(EventKind what) {
  if (what == kHighLevelEvent) return highLevelEventMask;
  if (what > 15) return 0;
  return static_cast<EventMask>(1u << what);
}

EventModifiers CurrentModifiers() {
  ToolboxState& tb = TB();
  return static_cast<EventModifiers>(tb.heldModifiers | (tb.buttonDown ? 0 : btnState));
}

void MakeNullEvent(EventRecord* event) {
  *event = EventRecord{};
  event->what = nullEvent;
  event->when = TickCount();
  event->where = TB().mouse;
  event->modifiers = CurrentModifiers();
}

// The event a fetch with `mask` gets: activate events first, then queued
// input in order, then update events of visible windows front to back.
bool FindEvent(EventMask mask, bool remove, EventRecord* event) {
  ToolboxState& tb = TB();
  if ((mask & activMask) != 0 && !tb.activateQueue.empty()) {
    *event = tb.activateQueue.front();
    if (remove) tb.activateQueue.pop_front();
    return true;
  }
  for (auto it = tb.queue.begin(); it != tb.queue.end(); ++it) {
    if ((MaskBitOf(it->what) & mask) == 0) continue;
    *event = *it;
    if (remove) tb.queue.erase(it);
    return true;
  }
  if ((mask & updateMask) != 0) {
    for (const auto& window : tb.windows) {
      const Rect& r = window->updateRect;
      if (!window->visible || r.right <= r.left || r.bottom <= r.top) continue;
      *event = EventRecord{};
      event->what = updateEvt;
      event->message = reinterpret_cast<uintptr_t>(window.get());
      event->when = TickCount();
      event->where = tb.mouse;
      event->modifiers = CurrentModifiers();
      return true;  // BeginUpdate clears it
    }
  }
  return false;
}

std::chrono::nanoseconds SecondsToDuration(double seconds) {
  if (!(seconds > 0)) return std::chrono::nanoseconds(0);
  return std::chrono::nanoseconds(static_cast<int64_t>(std::llround(seconds * 1e9)));
}

int64_t MillisecondsUntil(std::chrono::steady_clock::time_point when) {
  const auto left = when - std::chrono::steady_clock::now();
  if (left <= std::chrono::steady_clock::duration::zero()) return 0;
  return std::chrono::duration_cast<std::chrono::milliseconds>(left + std::chrono::microseconds(999)).count();
}

// How long a wait may sleep before the next timer is due.
std::chrono::steady_clock::time_point NextTimerDue(std::chrono::steady_clock::time_point limit) {
  // Inside a timer procedure the timers do not run: they must not cut a
  // wait there into a busy loop either.
  if (TB().runningTimers) return limit;
  for (const auto& timer : TB().timers) {
    if (!timer->removed && timer->due < limit) limit = timer->due;
  }
  return limit;
}

}  // namespace

ToolboxState& fw::TB() {
  return *gState;
}
bool fw::ToolboxIsRunning() {
  return gState != nullptr;
}
ToolboxBackend* fw::GetToolboxBackend() {
  return gState ? gState->backend.get() : nullptr;
}

void InitToolbox(std::unique_ptr<ToolboxBackend> backend) {
  ShutdownToolbox();
  gState = std::make_unique<ToolboxState>();
  gState->backend = std::move(backend);
  gPendingQuitSignals.store(0);
  gSystemRequestedQuit.store(false);
  PostHighLevelEvent(kCoreEventClass, kAEOpenApplication);
}

void ShutdownToolbox() {
  if (!gState) return;
  while (!gState->windows.empty()) DisposeWindow(gState->windows.front().get());
  ResetImageCompression();
  ResetMenus();
  gState->lists.clear();
  gState->timers.clear();
  gState->backend.reset();
  gState.reset();
}

uint32_t TickCount() {
  if (!gState) return 0;
  const auto elapsed = std::chrono::steady_clock::now() - gState->start;
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count() * 60 /
                               1000000);
}
uint32_t GetDblTime() {
  return 30;
}
uint32_t GetCaretTime() {
  return 30;
}

void RunDueEventLoopTimers() {
  ToolboxState& tb = TB();
  // A timer procedure that waits (a dialog opened from a timer) must not
  // fire the timers again underneath itself.
  if (tb.runningTimers) return;
  tb.runningTimers = true;
  const auto now = std::chrono::steady_clock::now();
  // Index loop: a procedure may install timers (appended) as it runs.
  for (size_t i = 0; i < tb.timers.size(); ++i) {
    OpaqueEventLoopTimerRef* timer = tb.timers[i].get();
    if (timer->removed || timer->due > now) continue;
    if (timer->interval.count() > 0) {
      timer->due += timer->interval;
      if (timer->due <= now) timer->due = now + timer->interval;
    } else {
      timer->removed = true;  // a one-shot timer fires once; its reference stays valid
      timer->due = std::chrono::steady_clock::time_point::max();
    }
    timer->proc(timer, timer->userData);
  }
  tb.runningTimers = false;
}

void fw::PumpEvents(int64_t timeoutMs) {
  ToolboxState& tb = TB();
  CheckQuitSignals();
  RunDueEventLoopTimers();
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max<int64_t>(0, timeoutMs));
  const int64_t waitMs = timeoutMs <= 0 ? 0 : MillisecondsUntil(NextTimerDue(deadline));
  tb.backend->WaitForInput(waitMs);
  CheckQuitSignals();
  RunDueEventLoopTimers();
}

Boolean WaitNextEvent(EventMask mask, EventRecord* event, uint32_t sleepTicks, const void*) {
  ToolboxState& tb = TB();
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::microseconds(int64_t{sleepTicks} * 1000000 / 60);
  PumpEvents(0);
  for (;;) {
    if (FindEvent(mask, true, event)) return true;
    const int64_t leftMs = MillisecondsUntil(deadline);
    if (leftMs <= 0) break;
    tb.backend->WaitForInput(MillisecondsUntil(NextTimerDue(deadline)));
    CheckQuitSignals();
    RunDueEventLoopTimers();
  }
  MakeNullEvent(event);
  return false;
}

Boolean GetNextEvent(EventMask mask, EventRecord* event) {
  CheckQuitSignals();
  TB().backend->WaitForInput(0);
  if (FindEvent(mask, true, event)) return true;
  MakeNullEvent(event);
  return false;
}

Boolean EventAvail(EventMask mask, EventRecord* event) {
  if (FindEvent(mask, false, event)) return true;
  MakeNullEvent(event);
  return false;
}

void FlushEvents(EventMask whichMask, EventMask stopMask) {
  ToolboxState& tb = TB();
  for (auto it = tb.queue.begin(); it != tb.queue.end();) {
    const EventMask bit = MaskBitOf(it->what);
    if ((bit & stopMask) != 0) break;
    it = (bit & whichMask) != 0 ? tb.queue.erase(it) : it + 1;
  }
  if ((whichMask & activMask) != 0) tb.activateQueue.clear();
}

Boolean Button() {
  TB().backend->WaitForInput(0);
  return TB().buttonDown;
}

Boolean StillDown() {
  ToolboxState& tb = TB();
  tb.backend->WaitForInput(0);
  if (!tb.buttonDown) return false;
  return std::none_of(tb.queue.begin(), tb.queue.end(),
                      [](const EventRecord& e) { return e.what == mouseUp; });
}

Boolean WaitMouseUp() {
  ToolboxState& tb = TB();
  while (StillDown()) PumpEvents(10);
  for (auto it = tb.queue.begin(); it != tb.queue.end(); ++it) {
    if (it->what == mouseUp) {
      tb.mouse = it->where;
      tb.queue.erase(it);
      return true;
    }
  }
  return false;
}

Point GetGlobalMouse() {
  return TB().mouse;
}

void Delay(uint32_t ticks, uint32_t* finalTicks) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::microseconds(int64_t{ticks} * 1000000 / 60);
  for (int64_t left = MillisecondsUntil(deadline); left > 0; left = MillisecondsUntil(deadline))
    PumpEvents(left);
  if (finalTicks != nullptr) *finalTicks = TickCount();
}

// ---- Timers ---------------------------------------------------------------

EventLoopRef GetMainEventLoop() {
  static int mainLoop;
  return reinterpret_cast<EventLoopRef>(&mainLoop);
}
EventLoopRef GetCurrentEventLoop() {
  return GetMainEventLoop();
}

OSErr InstallEventLoopTimer(EventLoopRef loop, EventTimerInterval firstDelaySeconds,
                            EventTimerInterval intervalSeconds, EventLoopTimerUPP proc, void* userData,
                            EventLoopTimerRef* outTimer) {
  if (loop == nullptr || proc == nullptr || outTimer == nullptr) return paramErr;
  auto timer = std::make_unique<OpaqueEventLoopTimerRef>();
  timer->proc = proc;
  timer->userData = userData;
  timer->interval = SecondsToDuration(intervalSeconds);
  timer->due = std::chrono::steady_clock::now() + SecondsToDuration(firstDelaySeconds);
  *outTimer = timer.get();
  TB().timers.push_back(std::move(timer));
  return noErr;
}

OSErr RemoveEventLoopTimer(EventLoopTimerRef timer) {
  ToolboxState& tb = TB();
  auto it = std::find_if(tb.timers.begin(), tb.timers.end(), [&](const auto& t) { return t.get() == timer; });
  if (it == tb.timers.end()) return paramErr;
  if (tb.runningTimers) {
    // The run in progress walks the list: mark it and let it go later.
    (*it)->removed = true;
    return noErr;
  }
  tb.timers.erase(it);
  std::erase_if(tb.timers, [](const auto& t) { return t->removed && t->interval.count() > 0; });
  return noErr;
}

// ---- High-level events ----------------------------------------------------

OSErr AEInstallEventHandler(AEEventClass eventClass, AEEventID eventID, AEEventHandlerUPP handler,
                            intptr_t refCon, Boolean) {
  if (handler == nullptr) return paramErr;
  TB().aeHandlers[{eventClass, eventID}] = {handler, refCon};
  return noErr;
}

OSErr AERemoveEventHandler(AEEventClass eventClass, AEEventID eventID, AEEventHandlerUPP handler, Boolean) {
  auto& handlers = TB().aeHandlers;
  auto it = handlers.find({eventClass, eventID});
  if (it == handlers.end() || it->second.first != handler) return errAEHandlerNotFound;
  handlers.erase(it);
  return noErr;
}

AEEventID GetHighLevelEventID(const EventRecord& event) {
  return (static_cast<uint32_t>(static_cast<uint16_t>(event.where.h)) << 16) |
         static_cast<uint16_t>(event.where.v);
}

OSErr AEProcessAppleEvent(const EventRecord* event) {
  if (event == nullptr || event->what != kHighLevelEvent) return paramErr;
  AppleEvent ae{static_cast<AEEventClass>(event->message), GetHighLevelEventID(*event)};
  auto& handlers = TB().aeHandlers;
  auto it = handlers.find({ae.eventClass, ae.eventID});
  if (it == handlers.end()) return errAEEventNotHandled;
  AppleEvent reply;
  return it->second.first(&ae, &reply, it->second.second);
}

void PostHighLevelEvent(AEEventClass eventClass, AEEventID eventID) {
  EventRecord event;
  event.what = kHighLevelEvent;
  event.message = eventClass;
  event.where.v = static_cast<int16_t>(eventID & 0xFFFF);
  event.where.h = static_cast<int16_t>(eventID >> 16);
  PostEventRecord(event);
}

Boolean SystemRequestedQuit() {
  return gSystemRequestedQuit.load(std::memory_order_relaxed);
}

void InstallQuitSignalHandlers() {
  if (gSignalPipe[0] < 0) {
    if (pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) gSignalPipe[0] = gSignalPipe[1] = -1;
  }
  struct sigaction action {};
  action.sa_handler = OnQuitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
}

int fw::GetQuitSignalWakeFd() {
  return gSignalPipe[0];
}

void RequestQuitFromSystem() {
  gSystemRequestedQuit.store(true, std::memory_order_relaxed);
  PostHighLevelEvent(kCoreEventClass, kAEQuitApplication);
}

void fw::CheckQuitSignals() {
  if (gSignalPipe[0] >= 0) {
    char drain[64];
    while (read(gSignalPipe[0], drain, sizeof drain) > 0) {
    }
  }
  for (int n = gPendingQuitSignals.exchange(0); n > 0; --n) {
    PostHighLevelEvent(kCoreEventClass, kAEQuitApplication);
  }
}

// ---- Feeding the queue ----------------------------------------------------

void PostEventRecord(const EventRecord& event) {
  EventRecord stamped = event;
  stamped.when = TickCount();
  TB().queue.push_back(stamped);
}

OSErr PostEvent(EventKind what, uintptr_t message) {
  EventRecord event;
  event.what = what;
  event.message = message;
  event.where = TB().mouse;
  event.modifiers = CurrentModifiers();
  PostEventRecord(event);
  return noErr;
}

void SetGlobalMouse(Point globalWhere) {
  TB().mouse = globalWhere;
}

void PostMouseEvent(EventKind what, Point globalWhere, EventModifiers modifiers) {
  ToolboxState& tb = TB();
  tb.mouse = globalWhere;
  if (what == mouseDown) tb.buttonDown = true;
  if (what == mouseUp) tb.buttonDown = false;
  tb.heldModifiers = static_cast<EventModifiers>(modifiers & ~(btnState | activeFlag));
  EventRecord event;
  event.what = what;
  event.where = globalWhere;
  event.modifiers = static_cast<EventModifiers>(tb.heldModifiers | (tb.buttonDown ? 0 : btnState));
  PostEventRecord(event);
}

void PostKeyEvent(EventKind what, uint8_t charCode, uint8_t keyCode, EventModifiers modifiers) {
  ToolboxState& tb = TB();
  tb.heldModifiers = static_cast<EventModifiers>(modifiers & ~(btnState | activeFlag));
  // The desktop's quit command, whatever window has the focus.
  if ((modifiers & cmdKey) != 0 && (charCode == 'q' || charCode == 'Q')) {
    if (what == keyDown) PostHighLevelEvent(kCoreEventClass, kAEQuitApplication);
    return;
  }
  EventRecord event;
  event.what = what;
  event.message = static_cast<uintptr_t>(charCode) | (static_cast<uintptr_t>(keyCode) << 8);
  event.where = tb.mouse;
  event.modifiers = static_cast<EventModifiers>(tb.heldModifiers | (tb.buttonDown ? 0 : btnState));
  PostEventRecord(event);
}

void PostSuspendResumeEvent(Boolean resume) {
  EventRecord event;
  event.what = osEvt;
  event.message = (uintptr_t{suspendResumeMessage} << 24) | (resume ? resumeFlag : 0);
  event.where = TB().mouse;
  event.modifiers = CurrentModifiers();
  PostEventRecord(event);
}
