// Rectangles of the program's windows in the system's own terms.
#pragma once

#include "core/util/types.h"

class QWidget;

// The window's drawing area moved to the origin: {0, 0, height, width}.
Rect GetWindowRectLocal(const QWidget* window);

// The strips the live preview leaves free for the controls (the preview
// rectangle's insets): the main window's bar above the picture and the one
// below it with the capture button, and the capture window's bar above.
constexpr int kMainWindowTopBarHeight = 36;
constexpr int kMainWindowBottomBarHeight = 54;
constexpr int kCaptureWindowTopBarHeight = 70;
constexpr int kPreviewSideMargin = 10;
