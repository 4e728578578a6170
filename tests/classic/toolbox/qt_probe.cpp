// A small program on the Qt backend for the tests on a real X server. It
// prints what the toolbox hands it, one line each, so a script driving it
// with xdotool can compare:
//   qt_probe keys    a window with the menu bar; prints every key event as
//                    "key what=W char=C code=K cmd=0|1 shift=0|1" and ends
//                    on the quit high-level event ("quit").
//   qt_probe dialog  the sample dialog; prints its item results.
// "ready" is printed once the window is on screen, with the window's
// content rectangle and, for the dialog, the items' global centres.
#include <QApplication>
#include <cstdio>
#include <cstring>

#include "classic/toolbox/qt_backend.h"
#include "sample_dialog.h"

using namespace fw;

namespace {

int gTicks = 0;
void CountTick(EventLoopTimerRef, void*) {
  ++gTicks;
}

void PrintReady(WindowRef window) {
  const Rect r = GetWindowContentRectGlobal(window);
  std::printf("ready top=%d left=%d bottom=%d right=%d\n", r.top, r.left, r.bottom, r.right);
  std::fflush(stdout);
}

// Waits for the first update of the window (it is then on screen).
void WaitUntilShown(WindowRef window) {
  for (;;) {
    EventRecord event;
    if (WaitNextEvent(updateMask | activMask, &event, 10, nullptr) && event.what == updateEvt) {
      BeginUpdate(window);
      DrawControls(window);
      EndUpdate(window);
      return;
    }
  }
}

int RunKeys() {
  RegisterSampleResources();
  const Rect bounds{120, 100, 320, 500};
  Str255 title;
  CopyToStr255("Probe", title);
  WindowRef window = NewCWindow(nullptr, &bounds, title, WindowVisibility::kVisible, 0, kFirstWindowOfClass,
                                WindowCloseBox::kPresent, 0);
  SetMenuBar(GetNewMBar(kSampleMenuBarID));
  SetMenuBarWindow(window);
  WaitUntilShown(window);
  PrintReady(window);
  for (;;) {
    EventRecord event;
    if (!WaitNextEvent(everyEvent, &event, 300, nullptr)) continue;
    if (event.what == keyDown || event.what == autoKey || event.what == keyUp) {
      std::printf("key what=%d char=%d code=%d cmd=%d shift=%d\n", event.what,
                  static_cast<int>(event.message & charCodeMask),
                  static_cast<int>((event.message & keyCodeMask) >> 8), (event.modifiers & cmdKey) != 0,
                  (event.modifiers & shiftKey) != 0);
    } else if (event.what == kHighLevelEvent && GetHighLevelEventID(event) == kAEQuitApplication) {
      std::printf("quit\n");
      return 0;
    } else if (event.what == updateEvt) {
      BeginUpdate(window);
      EndUpdate(window);
    }
    std::fflush(stdout);
  }
}

int RunDialog() {
  RegisterSampleResources();
  DialogRef dialog = GetNewDialog(kSampleDialogID, nullptr, kFirstWindowOfClass);
  WindowRef window = GetDialogWindow(dialog);
  ShowWindow(window);
  EventLoopTimerRef timer;
  if (InstallEventLoopTimer(GetMainEventLoop(), 0, 1.0 / 60, CountTick, nullptr, &timer) != noErr) return 1;
  WaitUntilShown(window);
  PrintReady(window);
  for (int16_t item = 1; item <= CountDITL(dialog); ++item) {
    Rect box;
    GetDialogItem(dialog, item, nullptr, nullptr, &box);
    const Rect content = GetWindowContentRectGlobal(window);
    std::printf("item%d x=%d y=%d\n", item, content.left + (box.left + box.right) / 2,
                content.top + (box.top + box.bottom) / 2);
  }
  std::fflush(stdout);
  std::printf("%s\n", RunSampleDialog(dialog).c_str());
  std::printf("timer ticks %s\n", gTicks > 0 ? "ran" : "did not run");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  InitToolbox(MakeQtToolboxBackend());
  InstallQuitSignalHandlers();
  const int result = argc > 1 && std::strcmp(argv[1], "dialog") == 0 ? RunDialog() : RunKeys();
  ShutdownToolbox();
  return result;
}
