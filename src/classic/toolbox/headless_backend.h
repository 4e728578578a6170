// The backend with no screen: what the program shows stays in the model
// (windows, controls, port pictures) for tests to read back, and what the
// user does is scripted: events posted ahead, or actions run at a given
// tick while the program waits (a button released during tracking, a click
// arriving during a modal loop), menu and pop-up menu choices queued in
// advance. The clipboard lives in memory; the bell, pointer moves and
// opened addresses are recorded.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "classic/toolbox/backend.h"

namespace fw {

class HeadlessBackend : public ToolboxBackend {
 public:
  // Runs `action` during the first wait at or after `tick` (TickCount).
  void ScheduleAtTick(uint32_t tick, std::function<void()> action);
  // The next MenuSelect chooses this (menu << 16 | item, 0 for none).
  void ChooseNextMenuSelection(int32_t menuResult) { menuChoices_.push_back(menuResult); }
  // The next pop-up menu tracked chooses this item (0: none).
  void ChooseNextPopupItem(int16_t item) { popupChoices_.push_back(item); }
  void SetScreens(std::vector<Rect> screens) { screens_ = std::move(screens); }
  // What OpenURL answers.
  void SetOpenURLResult(OSErr result) { openURLResult_ = result; }

  const std::vector<std::string>& openedURLs() const { return openedURLs_; }
  const std::vector<Point>& pointerMoves() const { return pointerMoves_; }
  CursorShape cursorShape() const { return cursor_; }
  uint32_t menuBarChanges() const { return menuBarChanges_; }
  uint32_t windowChanges() const { return windowChanges_; }
  const std::vector<Point>& menuSelectPoints() const { return menuSelectPoints_; }

  void WaitForInput(int64_t timeoutMs) override;
  void WindowChanged(WindowRef, WindowChange) override { ++windowChanges_; }
  void MenuBarChanged() override { ++menuBarChanges_; }
  int32_t TrackMenuBar(Point where) override;
  int16_t TrackPopupMenu(ControlRef control) override;
  void Beep() override {}
  void MovePointer(Point global) override { pointerMoves_.push_back(global); }
  void SetCursorShape(CursorShape shape) override { cursor_ = shape; }
  [[nodiscard]] OSErr OpenURL(std::string_view url) override;
  std::optional<std::string> ClipboardText() override { return clipboard_; }
  void SetClipboardText(std::optional<std::string_view> text) override;
  std::vector<Rect> ScreenBounds() override { return screens_; }

 private:
  bool RunDueActions();

  struct Scheduled {
    uint32_t tick;
    std::function<void()> action;
  };
  std::vector<Scheduled> scheduled_;
  std::deque<int32_t> menuChoices_;
  std::deque<int16_t> popupChoices_;
  std::vector<Rect> screens_{Rect{0, 0, 1080, 1920}};
  OSErr openURLResult_ = noErr;
  std::vector<std::string> openedURLs_;
  std::vector<Point> pointerMoves_;
  std::vector<Point> menuSelectPoints_;
  CursorShape cursor_ = CursorShape::kArrow;
  std::optional<std::string> clipboard_;
  uint32_t menuBarChanges_ = 0;
  uint32_t windowChanges_ = 0;
};

}  // namespace fw
