// The seam between the toolbox model and what shows it. The model (windows,
// controls, menus, the event queue) owns every piece of state; a backend
// only shows the model and feeds it what the user does, by posting events
// through the Post… calls of events.h. Two backends exist: a headless one
// for tests (headless_backend.h) and a Qt one with real windows
// (qt_backend.h).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "classic/toolbox/toolbox_types.h"

namespace fw {

// What changed in a window, so a backend can update only that.
enum class WindowChange : uint8_t {
  kCreated,
  kDisposed,    // the WindowRef is still readable during the call, never after
  kGeometry,    // moved or resized
  kVisibility,  // shown or hidden
  kOrder,       // another window came to the front
  kContent,     // controls or port pixels were drawn
  kTitle,
};

enum class CursorShape : uint8_t { kArrow, kPointingHand };

class ToolboxBackend {
 public:
  virtual ~ToolboxBackend() = default;

  // Takes in pending window-system input, posting events for it, and waits
  // at most `timeoutMs` (0: do not wait) for more. Returns early once
  // something was posted or WakeUp was called.
  virtual void WaitForInput(int64_t timeoutMs) = 0;

  virtual void WindowChanged(WindowRef window, WindowChange change) = 0;
  virtual void MenuBarChanged() = 0;

  // Shows the menu bar's menus for a click at `where` (global) and lets the
  // user choose: menu number << 16 | item, or 0 when nothing was chosen.
  virtual int32_t TrackMenuBar(Point where) = 0;
  // Pops up a pop-up menu control's menu and lets the user choose an item:
  // the item number, or 0 when nothing was chosen.
  virtual int16_t TrackPopupMenu(ControlRef control) = 0;

  // The character offset in an edit text nearest a local point: where a
  // click there puts the caret. The default counts 7 pixels a character
  // from 4 pixels inside the box, the headless backend's fixed font.
  virtual int16_t TextOffsetAt(ControlRef control, Point local);

  virtual void Beep() = 0;
  virtual void MovePointer(Point global) = 0;
  virtual void SetCursorShape(CursorShape shape) = 0;
  // Opens an address in the user's web browser; 0 or an error code.
  [[nodiscard]] virtual OSErr OpenURL(std::string_view url) = 0;

  // The desktop clipboard's text, when it holds text.
  virtual std::optional<std::string> ClipboardText() = 0;
  virtual void SetClipboardText(std::optional<std::string_view> text) = 0;

  // Screen rectangles in global coordinates, the main screen first.
  virtual std::vector<Rect> ScreenBounds() = 0;
};

}  // namespace fw

// Starts the toolbox on a backend: clears every window, menu, timer,
// handler and queued event, resets TickCount to 0 and queues the
// 'oapp' high-level event that a program receives at start.
void InitToolbox(std::unique_ptr<fw::ToolboxBackend> backend);
// Disposes of everything InitToolbox made, the backend last.
void ShutdownToolbox();
namespace fw {

// The running backend (null before InitToolbox).
ToolboxBackend* GetToolboxBackend();

}  // namespace fw
