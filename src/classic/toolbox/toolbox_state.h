// The toolbox model's state, shared by the toolbox's own source files and
// by its backends (which read it to show windows and controls). Not for the
// program: it goes through the calls of the public headers.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "classic/toolbox/backend.h"
#include "classic/toolbox/controls.h"
#include "classic/toolbox/dialogs.h"
#include "classic/toolbox/events.h"
#include "classic/toolbox/lists.h"
#include "classic/toolbox/menus.h"
#include "classic/toolbox/misc.h"
#include "classic/toolbox/windows.h"

struct OpaqueControlRef {
  ControlKind kind = ControlKind::kUserPane;
  WindowRef owner = nullptr;
  Rect bounds;
  std::string text;  // title or text, Mac Roman bytes
  int32_t value = 0;
  int32_t minimum = 0;
  int32_t maximum = 0;
  int32_t refCon = 0;
  void* dataPointer = nullptr;  // SetControlDataPointer
  int16_t hilite = 0;
  bool visible = true;
  bool focusable = false;
  int16_t popupMenuID = 0;
  MenuRef popupMenu = nullptr;
  ControlEditTextSelectionRec selection;
  bool caretVisible = false;
  uint32_t lastBlinkTicks = 0;
  uint32_t drawCount = 0;
};

struct OpaqueDialogPtr {
  WindowRef window = nullptr;
  struct Item {
    int16_t kind = 0;  // with itemDisable when disabled
    ControlRef control = nullptr;
  };
  std::vector<Item> items;  // item 1 at index 0
  int16_t defaultItem = 0;
  int16_t cancelItem = 0;
};

struct OpaqueWindowPtr {
  uint64_t serial = 0;
  Rect bounds;  // content, global
  std::string title;
  bool visible = false;
  int16_t kind = kApplicationWindowKind;
  intptr_t refCon = 0;
  bool closeBox = true;
  std::vector<std::unique_ptr<OpaqueControlRef>> controls;  // in the order made
  ControlRef root = nullptr;
  ControlRef focus = nullptr;
  Rect updateRect;  // pending update, local; empty when none
  bool updating = false;
  std::vector<uint32_t> pixels;  // the port's picture
  PenState pen;
  std::unique_ptr<OpaqueDialogPtr> dialog;
  void* backendData = nullptr;  // the backend's own per-window record
};

struct OpaqueMenuRef {
  int16_t id = 0;
  std::string title;
  struct Item {
    std::string text;
    char commandKey = 0;
    bool enabled = true;
  };
  std::vector<Item> items;
  bool enabled = true;
};

struct OpaqueEventLoopTimerRef {
  EventLoopTimerUPP proc = nullptr;
  void* userData = nullptr;
  std::chrono::steady_clock::time_point due;
  std::chrono::nanoseconds interval{0};
  bool removed = false;
};

class DecompressionSequence;

namespace fw {

struct ToolboxState {
  std::unique_ptr<ToolboxBackend> backend;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  uint64_t nextWindowSerial = 1;

  // Events.
  std::deque<EventRecord> queue;
  std::deque<EventRecord> activateQueue;  // generated when the front window changes
  WindowRef activeWindow = nullptr;
  Point mouse;
  bool buttonDown = false;
  EventModifiers heldModifiers = 0;

  // Timers, run only from the main thread's waits.
  std::vector<std::unique_ptr<OpaqueEventLoopTimerRef>> timers;
  bool runningTimers = false;

  std::map<std::pair<AEEventClass, AEEventID>, std::pair<AEEventHandlerUPP, intptr_t>> aeHandlers;

  // Windows, front first.
  std::vector<std::unique_ptr<OpaqueWindowPtr>> windows;
  GrafPtr currentPort = nullptr;

  // Menus.
  std::vector<std::unique_ptr<OpaqueMenuRef>> menus;  // every menu made
  std::vector<MenuRef> menuBar;
  bool menuBarSet = false;
  MenuRef helpMenu = nullptr;
  WindowRef menuBarWindow = nullptr;
  int16_t hilitedMenu = 0;

  // Misc.
  uint32_t beepCount = 0;
  int16_t cursorID = 0;
  std::vector<GDevice> screens;
  std::vector<std::unique_ptr<ListRec>> lists;
};

// The running toolbox; InitToolbox must have been called.
ToolboxState& TB();
bool ToolboxIsRunning();

// Shared helpers of the toolbox's source files.
WindowRef CheckedWindow(WindowRef window);  // the window when it exists, else null
void NoteWindowChanged(WindowRef window, WindowChange change);
void NoteFrontWindowMayHaveChanged();
void DisposeControlsOf(WindowRef window);
void ForgetMenuBarWindow(WindowRef window);
void EndSequencesDrawingInto(WindowRef window);
void ResetImageCompression();
void ResetMenus();
// Runs timers and takes in input for at most `timeoutMs` (the waits' core).
void PumpEvents(int64_t timeoutMs);
// The quit signals' wake-up descriptor (−1 before InstallQuitSignalHandlers):
// readable after a signal. Backends wait on it with their input.
int GetQuitSignalWakeFd();
// Turns pending quit signals into queued 'quit' events.
void CheckQuitSignals();

}  // namespace fw
