// Rectangle and point helpers.
#include "core/util/rects.h"

#include <cmath>
#include <limits>

namespace {

int16_t ClampToInt16(double v) {
  if (!(v > std::numeric_limits<int16_t>::min())) return std::numeric_limits<int16_t>::min();
  if (v > std::numeric_limits<int16_t>::max()) return std::numeric_limits<int16_t>::max();
  return static_cast<int16_t>(v);  // truncates towards zero
}

void OffsetRect(Rect* r, int dh, int dv) {
  r->left = static_cast<int16_t>(r->left + dh);
  r->right = static_cast<int16_t>(r->right + dh);
  r->top = static_cast<int16_t>(r->top + dv);
  r->bottom = static_cast<int16_t>(r->bottom + dv);
}

}  // namespace

void CenterRectInRect(Rect* r, const Rect* in) {
  const int d = in->top + in->bottom - r->top - r->bottom;
  const int e = in->left + in->right - r->left - r->right;
  OffsetRect(r, e / 2, d / 2);
}

void MoveRect(Rect* r, int16_t left, int16_t top) {
  OffsetRect(r, left - r->left, top - r->top);
}

bool IsPointInRect(Point p, const Rect* r) {
  return r->left <= p.h && p.h <= r->right && r->top <= p.v && p.v <= r->bottom;
}

bool CompareRects(const Rect* a, const Rect* b) {
  return *a == *b;
}

void FitAndCenterRectInRect(Rect* r, const Rect* c) {
  const int width = r->right - r->left;
  const int height = r->bottom - r->top;
  if (width > 0 && height > 0) {
    const float aspect = static_cast<float>(width) / static_cast<float>(height);
    float w = static_cast<float>(c->right - c->left);
    float h = w / aspect;
    if (h > static_cast<float>(c->bottom - c->top)) {
      h = static_cast<float>(c->bottom - c->top);
      w = aspect * h;
    }
    const float rightSum = static_cast<float>(r->left) + w;
    const float bottomSum = static_cast<float>(r->top) + h;
    r->right = ClampToInt16(static_cast<double>(rightSum) + 0.5);
    r->bottom = ClampToInt16(static_cast<double>(bottomSum) + 0.5);
  }
  const int dx = ((c->left + c->right) - r->left - r->right) / 2;
  const int dy = ((c->top + c->bottom) - r->top - r->bottom) / 2;
  OffsetRect(r, dx, dy);
}
