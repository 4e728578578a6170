// A small List Manager: a grid of text cells in a view rectangle of a
// window, with the cell stepping the program's list helpers rely on, and
// those helpers (CountRowsInList, CountColumnsInList, DrawListBorder).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "classic/toolbox/toolbox_types.h"

using Cell = Point;  // h column, v row
struct ListBounds {
  int16_t top = 0;  // first row (0)
  int16_t left = 0;
  int16_t bottom = 0;  // rows
  int16_t right = 0;   // columns
};
struct ListRec {
  Rect rView;  // local to `port`
  WindowRef port = nullptr;
  ListBounds dataBounds;
  Point cellSize;
  std::vector<std::string> cells;  // row-major
};
using ListHandle = ListRec*;

ListHandle LNew(const Rect* rView, const ListBounds* dataBounds, Point cellSize, int16_t theProc,
                WindowRef window, Boolean drawIt, Boolean hasGrow, Boolean scrollHoriz, Boolean scrollVert);
void LDispose(ListHandle list);
// Adds rows (columns) before row (column) `before`; returns the first new one.
int16_t LAddRow(int16_t count, int16_t before, ListHandle list);
int16_t LAddColumn(int16_t count, int16_t before, ListHandle list);
void LSetCell(const void* data, int16_t sizeBytes, Cell cell, ListHandle list);
// Steps *cell to the next cell to the right (hNext, wrapping to the next
// row's first cell when vNext too) or downwards (vNext); false at the end.
Boolean LNextCell(Boolean hNext, Boolean vNext, Cell* cell, ListHandle list);

// 0 when the list holds no cells, else the rows counted by stepping down
// from cell (0, 0).
int16_t CountRowsInList(ListHandle list);
// The columns counted by stepping right from cell (0, 0); at least 1.
int16_t CountColumnsInList(ListHandle list);
// Frames the view rectangle enlarged by 1 pixel on each side with a 1 × 1
// pen; the pen state is saved and restored.
void DrawListBorder(ListHandle list);
