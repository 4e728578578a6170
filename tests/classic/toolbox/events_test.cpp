// The event queue, its masks, the waits and the timers that run in them,
// and high-level events.
#include <signal.h>

#include "toolbox_test_support.h"

using namespace fw;

namespace {

int gFirings = 0;
void CountFiring(EventLoopTimerRef, void*) {
  ++gFirings;
}

// Installs a 1/60 s timer, runs `body`, and returns how many times the
// timer fired per second of `body`'s run.
template <typename Body>
double FiringsPerSecond(Body body) {
  gFirings = 0;
  EventLoopTimerRef timer = nullptr;
  EXPECT_EQ(InstallEventLoopTimer(GetMainEventLoop(), 0, 0.016666666666666666, CountFiring, nullptr, &timer),
            noErr);
  const uint32_t start = TickCount();
  body();
  const uint32_t elapsed = TickCount() - start;
  (void)RemoveEventLoopTimer(timer);
  return elapsed == 0 ? 0 : gFirings * 60.0 / elapsed;
}

// About 60 a second. A busy machine wakes the wait late and a late timer
// skips what it missed (a preview wants the newest frame, not a burst), so
// the lower bound is loose; more than the clock allows never happens.
void ExpectAbout60(double rate) {
  EXPECT_GT(rate, 20.0);
  EXPECT_LT(rate, 63.0);
}

}  // namespace

using EventsTest = ToolboxTest;

TEST_F(EventsTest, WaitNextEventReturnsAQueuedEventAtOnce) {
  Type('a', 0);
  EventRecord event;
  const uint32_t start = TickCount();
  ASSERT_TRUE(WaitNextEvent(everyEvent, &event, 300, nullptr));
  EXPECT_LE(TickCount() - start, 2u);
  EXPECT_EQ(event.what, keyDown);
  EXPECT_EQ(event.message & charCodeMask, 'a');
}

TEST_F(EventsTest, TimerFiresSixtyTimesASecondWhileWaitNextEventWaits) {
  EventRecord event;
  ExpectAbout60(FiringsPerSecond([&] { EXPECT_FALSE(WaitNextEvent(everyEvent, &event, 30, nullptr)); }));
  EXPECT_EQ(event.what, nullEvent);
}

TEST_F(EventsTest, TimerKeepsFiringInAModalLoopAndWhileAControlIsTracked) {
  const Rect bounds{100, 100, 300, 400};
  WindowRef window = NewCWindow(nullptr, &bounds, nullptr, WindowVisibility::kVisible, 0, kFirstWindowOfClass,
                                WindowCloseBox::kPresent, 0);
  ControlRef button = NewControlOfKind(window, ControlKind::kPushButton, Rect{10, 10, 30, 90}, "OK", 0);
  // A modal loop: rounds of WaitNextEvent with a short sleep, drawing the
  // window when it asks.
  ExpectAbout60(FiringsPerSecond([&] {
    EventRecord event;
    for (int round = 0; round < 15; ++round) {
      if (WaitNextEvent(everyEvent, &event, 2, nullptr) && event.what == updateEvt) {
        BeginUpdate(window);
        EndUpdate(window);
      }
    }
  }));
  // Tracking: the button is held for half a second.
  const Point inside = CentreOf(window, Rect{10, 10, 30, 90});
  int16_t part = -1;
  ExpectAbout60(FiringsPerSecond([&] {
    PostMouseEvent(mouseDown, inside, 0);
    backend_->ScheduleAtTick(TickCount() + 30, [&] { PostMouseEvent(mouseUp, inside, 0); });
    EventRecord event;
    ASSERT_TRUE(GetNextEvent(mDownMask, &event));
    part = TrackControl(button, Point{20, 50}, nullptr);
  }));
  EXPECT_EQ(part, kControlButtonPart);
  EXPECT_EQ(GetControlHilite(button), 0);
}

TEST_F(EventsTest, MasksLeaveOtherEventsQueuedInOrder) {
  Type('k', 40);
  PostMouseEvent(mouseUp, Point{5, 5}, 0);
  EventRecord event;
  ASSERT_TRUE(GetNextEvent(mUpMask, &event));
  EXPECT_EQ(event.what, mouseUp);
  // All but mouse-up: the key comes, a later mouse-up is left for the data
  // procedure's GetNextEvent.
  PostMouseEvent(mouseUp, Point{6, 6}, 0);
  ASSERT_TRUE(WaitNextEvent(0xFFFB, &event, 0, nullptr));
  EXPECT_EQ(event.what, keyDown);
  EXPECT_FALSE(WaitNextEvent(0xFFFB, &event, 3, nullptr));
  ASSERT_TRUE(GetNextEvent(mUpMask, &event));
  EXPECT_EQ(event.where, (Point{6, 6}));
  EXPECT_FALSE(GetNextEvent(everyEvent, &event));
}

TEST_F(EventsTest, FlushEventsStopsAtTheStopMask) {
  Type('a');
  PostMouseEvent(mouseDown, Point{1, 1}, 0);
  Type('b');
  FlushEvents(keyDownMask, mDownMask);
  EventRecord event;
  ASSERT_TRUE(GetNextEvent(everyEvent, &event));
  EXPECT_EQ(event.what, mouseDown);
  ASSERT_TRUE(GetNextEvent(everyEvent, &event));
  EXPECT_EQ(event.message & charCodeMask, 'b');
}

TEST_F(EventsTest, StillDownEndsWithTheQueuedMouseUp) {
  PostMouseEvent(mouseDown, Point{1, 1}, 0);
  EXPECT_TRUE(Button());
  EXPECT_TRUE(StillDown());
  PostMouseEvent(mouseUp, Point{2, 2}, 0);
  EXPECT_FALSE(StillDown());
  EXPECT_TRUE(WaitMouseUp());
  EventRecord event;
  ASSERT_TRUE(GetNextEvent(everyEvent, &event));
  EXPECT_EQ(event.what, mouseDown);
  EXPECT_EQ(event.modifiers & btnState, 0);
  EXPECT_FALSE(GetNextEvent(everyEvent, &event));
  EXPECT_NE(event.modifiers & btnState, 0);  // the button is up now
}

namespace {
std::vector<AEEventID> gHandled;
OSErr Record(const AppleEvent* event, AppleEvent*, intptr_t refCon) {
  gHandled.push_back(event->eventID);
  return static_cast<OSErr>(refCon);
}
}  // namespace

TEST_F(EventsTest, HighLevelEventsReachTheirHandlers) {
  gHandled.clear();
  // A fresh start queues 'oapp'.
  InitToolbox(std::make_unique<HeadlessBackend>());
  ASSERT_EQ(AEInstallEventHandler(kCoreEventClass, kAEOpenApplication, Record, 0, false), noErr);
  ASSERT_EQ(AEInstallEventHandler(kCoreEventClass, kAEQuitApplication, Record, 0, false), noErr);
  ASSERT_EQ(AEInstallEventHandler(kCoreEventClass, kAEShowPreferences, Record, 7, false), noErr);
  PostHighLevelEvent(kCoreEventClass, kAEShowPreferences);
  // Ctrl+Q is the desktop's quit command.
  Type('q', 12, cmdKey);
  PostHighLevelEvent(kCoreEventClass, kAEPrintDocuments);
  std::vector<OSErr> results;
  EventRecord event;
  while (GetNextEvent(highLevelEventMask, &event)) results.push_back(AEProcessAppleEvent(&event));
  EXPECT_EQ(gHandled, (std::vector<AEEventID>{kAEOpenApplication, kAEShowPreferences, kAEQuitApplication}));
  EXPECT_EQ(results, (std::vector<OSErr>{noErr, 7, noErr, errAEEventNotHandled}));
  EXPECT_FALSE(GetNextEvent(everyEvent, &event));  // no key was queued for Ctrl+Q
  EXPECT_FALSE(SystemRequestedQuit());
}

TEST_F(EventsTest, TerminationSignalQueuesQuitAndIsRemembered) {
  InstallQuitSignalHandlers();
  raise(SIGTERM);
  EventRecord event;
  ASSERT_TRUE(WaitNextEvent(everyEvent, &event, 60, nullptr));
  EXPECT_EQ(event.what, kHighLevelEvent);
  EXPECT_EQ(event.message, kCoreEventClass);
  EXPECT_EQ(GetHighLevelEventID(event), kAEQuitApplication);
  EXPECT_TRUE(SystemRequestedQuit());
  signal(SIGTERM, SIG_DFL);
  signal(SIGINT, SIG_DFL);
  signal(SIGHUP, SIG_DFL);
}

TEST_F(EventsTest, ActivateUpdateAndSuspendEvents) {
  Rect bounds{100, 100, 200, 300};
  WindowRef back = NewCWindow(nullptr, &bounds, nullptr, WindowVisibility::kVisible, 0, kFirstWindowOfClass,
                              WindowCloseBox::kPresent, 0);
  OffsetRect(&bounds, 50, 50);
  WindowRef front = NewCWindow(nullptr, &bounds, nullptr, WindowVisibility::kVisible, 0, kFirstWindowOfClass,
                               WindowCloseBox::kPresent, 0);
  PostSuspendResumeEvent(false);
  EventRecord event;
  struct Seen {
    EventKind what;
    uintptr_t message;
    EventModifiers active;
  };
  std::vector<Seen> seen;
  while (GetNextEvent(everyEvent, &event)) {
    seen.push_back({event.what, event.message, static_cast<EventModifiers>(event.modifiers & activeFlag)});
    if (event.what == updateEvt) {
      BeginUpdate(reinterpret_cast<WindowRef>(event.message));
      EndUpdate(reinterpret_cast<WindowRef>(event.message));
    }
  }
  const auto w = [](WindowRef r) { return reinterpret_cast<uintptr_t>(r); };
  // Activations first (back, then back out and front in), then the queued
  // suspend, then the updates front to back.
  ASSERT_EQ(seen.size(), 6u);
  const Seen expected[] = {{activateEvt, w(back), activeFlag},
                           {activateEvt, w(back), 0},
                           {activateEvt, w(front), activeFlag},
                           {osEvt, uintptr_t{suspendResumeMessage} << 24, 0},
                           {updateEvt, w(front), 0},
                           {updateEvt, w(back), 0}};
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].what, expected[i].what) << i;
    EXPECT_EQ(seen[i].message, expected[i].message) << i;
    EXPECT_EQ(seen[i].active, expected[i].active) << i;
  }
  // Bringing the back window forward swaps them again.
  SelectWindow(back);
  ASSERT_TRUE(GetNextEvent(activMask, &event));
  EXPECT_EQ(event.message, w(front));
  ASSERT_TRUE(GetNextEvent(activMask, &event));
  EXPECT_EQ(event.message, w(back));
  EXPECT_EQ(FrontWindow(), back);
}

TEST_F(EventsTest, DelayRunsTimersAndOneShotTimersFireOnce) {
  EventLoopTimerRef once = nullptr;
  gFirings = 0;
  ASSERT_EQ(InstallEventLoopTimer(GetMainEventLoop(), 0.05, 0, CountFiring, nullptr, &once), noErr);
  uint32_t final = 0;
  const uint32_t start = TickCount();
  Delay(12, &final);
  EXPECT_GE(final - start, 12u);
  EXPECT_EQ(gFirings, 1);
  EXPECT_EQ(RemoveEventLoopTimer(once), noErr);
  EXPECT_EQ(RemoveEventLoopTimer(once), paramErr);
}
