// Rectangle and point helpers.
#pragma once

#include "core/util/types.h"

// Moves r, keeping its size, so that it is centred in `in` (halves truncate
// towards zero).
void CenterRectInRect(Rect* r, const Rect* in);

// Moves r so that its top-left corner is (left, top), keeping its size.
void MoveRect(Rect* r, int16_t left, int16_t top);

// All four edges count as inside.
bool IsPointInRect(Point p, const Rect* r);

bool CompareRects(const Rect* a, const Rect* b);

// Scales r to the largest size with its aspect ratio that fits c, and centres
// it in c (single-precision arithmetic, as the preview has always placed its
// picture). An empty r is only centred.
void FitAndCenterRectInRect(Rect* r, const Rect* c);
