// Off-screen graphics worlds: a pixel map with pixel storage of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/platform/os_errors.h"
#include "core/util/pixmap.h"

struct GWorld {
  PixMap pixMap;                // baseAddr points into `pixels`
  std::vector<uint8_t> pixels;  // rowBytes × height bytes, rows 16-byte aligned
  CTabHandle colorTable;        // indexed depths only
  int16_t foreColor = 0;        // QuickDraw colour indexes in force in the world
  int16_t backColor = 0;
  bool pixelsLocked = false;
};
using GWorldPtr = GWorld*;

// Depths 1, 2, 4, 8, 16 and 32 are supported; others give cDepthErr, an
// empty bounds rectangle paramErr, a failed allocation memFullErr. The world
// keeps a copy of `table` (indexed depths only).
[[nodiscard]] OSErr NewGWorld(std::unique_ptr<GWorld>* out, int16_t depth, const Rect& bounds,
                              const ColorTable* table);

// The world drawing goes to on this thread (null: the screen).
GWorldPtr GetGWorld();
void SetGWorld(GWorldPtr world);

// A grey ramp of 2^bits entries, white first, as the system's grey tables.
CTabHandle GetGrayColorTable(int bits);

// Moves `bounds` to the origin in place; depth 24 → 32, outside 1…40 → 32,
// 33…40 → grey of depth − 32 (with the system grey table when `table` is
// null); makes the world, sets its fore and back colours, locks its pixels
// and leaves the current world as it was. `table` is consumed either way.
// Returns NewGWorld's error, or 4 when no world was made without one.
[[nodiscard]] OSErr MyNewGWorld(std::unique_ptr<GWorld>* out, int16_t depth, Rect* bounds, CTabHandle table);
