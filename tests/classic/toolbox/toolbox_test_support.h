// A headless toolbox for each test, and small helpers to play the user.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "classic/toolbox/toolbox.h"

class ToolboxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto backend = std::make_unique<fw::HeadlessBackend>();
    backend_ = backend.get();
    InitToolbox(std::move(backend));
    FlushEvents(everyEvent, 0);  // the 'oapp' every start queues
  }
  void TearDown() override { ShutdownToolbox(); }

  static void Click(Point global, EventModifiers modifiers = 0) {
    PostMouseEvent(mouseDown, global, modifiers);
    PostMouseEvent(mouseUp, global, modifiers);
  }
  static void Type(uint8_t charCode, uint8_t keyCode = 0, EventModifiers modifiers = 0) {
    PostKeyEvent(keyDown, charCode, keyCode, modifiers);
  }
  static Point CentreOf(WindowRef window, const Rect& local) {
    const Rect content = GetWindowContentRectGlobal(window);
    return Point{static_cast<int16_t>(content.top + (local.top + local.bottom) / 2),
                 static_cast<int16_t>(content.left + (local.left + local.right) / 2)};
  }

  fw::HeadlessBackend* backend_ = nullptr;
};
