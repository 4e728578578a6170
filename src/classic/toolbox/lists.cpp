// A grid of text cells and the program's list helpers.
#include "classic/toolbox/lists.h"

#include <algorithm>

#include "classic/toolbox/toolbox_state.h"
#include "classic/toolbox/windows.h"

using namespace fw;

namespace {
size_t CellIndex(const ListRec& list, Cell cell) {
  return static_cast<size_t>(cell.v) * static_cast<size_t>(list.dataBounds.right) +
         static_cast<size_t>(cell.h);
}
}  // namespace

ListHandle LNew(const Rect* rView, const ListBounds* dataBounds, Point cellSize, int16_t, WindowRef window,
                Boolean, Boolean, Boolean, Boolean) {
  if (rView == nullptr || dataBounds == nullptr || dataBounds->bottom < 0 || dataBounds->right < 0)
    return nullptr;
  auto list = std::make_unique<ListRec>();
  list->rView = *rView;
  list->port = window;
  list->dataBounds = ListBounds{0, 0, dataBounds->bottom, dataBounds->right};
  list->cellSize = cellSize;
  list->cells.resize(static_cast<size_t>(dataBounds->bottom) * static_cast<size_t>(dataBounds->right));
  TB().lists.push_back(std::move(list));
  return TB().lists.back().get();
}

void LDispose(ListHandle list) {
  std::erase_if(TB().lists, [&](const auto& l) { return l.get() == list; });
}

int16_t LAddRow(int16_t count, int16_t before, ListHandle list) {
  if (list == nullptr || count <= 0) return 0;
  const int16_t at = std::clamp<int16_t>(before, 0, list->dataBounds.bottom);
  const auto pos = list->cells.begin() + static_cast<ptrdiff_t>(at) * list->dataBounds.right;
  list->cells.insert(pos, static_cast<size_t>(count) * static_cast<size_t>(list->dataBounds.right),
                     std::string());
  list->dataBounds.bottom = static_cast<int16_t>(list->dataBounds.bottom + count);
  return at;
}

int16_t LAddColumn(int16_t count, int16_t before, ListHandle list) {
  if (list == nullptr || count <= 0) return 0;
  const int16_t at = std::clamp<int16_t>(before, 0, list->dataBounds.right);
  const int16_t columns = static_cast<int16_t>(list->dataBounds.right + count);
  std::vector<std::string> cells(static_cast<size_t>(list->dataBounds.bottom) * static_cast<size_t>(columns));
  for (int16_t row = 0; row < list->dataBounds.bottom; ++row) {
    for (int16_t col = 0; col < list->dataBounds.right; ++col) {
      const int16_t to = col < at ? col : static_cast<int16_t>(col + count);
      cells[static_cast<size_t>(row) * static_cast<size_t>(columns) + static_cast<size_t>(to)] =
          std::move(list->cells[CellIndex(*list, Cell{row, col})]);
    }
  }
  list->cells = std::move(cells);
  list->dataBounds.right = columns;
  return at;
}

void LSetCell(const void* data, int16_t sizeBytes, Cell cell, ListHandle list) {
  if (list == nullptr || cell.v < 0 || cell.h < 0 || cell.v >= list->dataBounds.bottom ||
      cell.h >= list->dataBounds.right) {
    return;
  }
  list->cells[CellIndex(*list, cell)].assign(static_cast<const char*>(data),
                                             data != nullptr ? std::max<int16_t>(0, sizeBytes) : 0);
}

Boolean LNextCell(Boolean hNext, Boolean vNext, Cell* cell, ListHandle list) {
  if (list == nullptr || cell == nullptr) return false;
  const ListBounds& b = list->dataBounds;
  if (hNext) {
    if (cell->h + 1 < b.right) {
      ++cell->h;
      return true;
    }
    if (vNext && cell->v + 1 < b.bottom) {
      cell->h = 0;
      ++cell->v;
      return true;
    }
    return false;
  }
  if (vNext && cell->v + 1 < b.bottom) {
    ++cell->v;
    return true;
  }
  return false;
}

int16_t CountRowsInList(ListHandle list) {
  if (list == nullptr || list->dataBounds.bottom <= 0 || list->dataBounds.right <= 0) return 0;
  Cell cell{0, 0};
  int16_t rows = 1;
  while (LNextCell(false, true, &cell, list)) ++rows;
  return rows;
}

int16_t CountColumnsInList(ListHandle list) {
  Cell cell{0, 0};
  int16_t columns = 1;
  while (LNextCell(true, false, &cell, list)) ++columns;
  return columns;
}

void DrawListBorder(ListHandle list) {
  if (list == nullptr) return;
  GrafPtr saved;
  GetPort(&saved);
  if (list->port != nullptr) SetPort(list->port);
  PenState pen;
  GetPenState(&pen);
  PenSize(1, 1);
  Rect border = list->rView;
  InsetRect(&border, -1, -1);
  FrameRect(&border);
  SetPenState(&pen);
  SetPort(saved);
}
