// Rectangles of the program's windows.
#include "hd/app/window_rects.h"

#include <QWidget>
#include <algorithm>
#include <limits>

Rect GetWindowRectLocal(const QWidget* window) {
  if (window == nullptr) return Rect{};
  constexpr int kMax = std::numeric_limits<int16_t>::max();
  return Rect{0, 0, static_cast<int16_t>(std::min(window->height(), kMax)),
              static_cast<int16_t>(std::min(window->width(), kMax))};
}
