// Off-screen graphics worlds.
#include "core/util/gworld.h"

#include <new>

#include "core/util/rects.h"

namespace {

thread_local GWorldPtr gCurrentWorld = nullptr;

}  // namespace

GWorldPtr GetGWorld() {
  return gCurrentWorld;
}
void SetGWorld(GWorldPtr world) {
  gCurrentWorld = world;
}

CTabHandle GetGrayColorTable(int bits) {
  auto table = std::make_unique<ColorTable>();
  const int count = 1 << bits;
  table->entries.resize(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const auto level = static_cast<uint16_t>(0xFFFF - (0xFFFF * i) / (count - 1));
    table->entries[static_cast<size_t>(i)] = {level, level, level};
  }
  return table;
}

OSErr NewGWorld(std::unique_ptr<GWorld>* out, int16_t depth, const Rect& bounds, const ColorTable* table) {
  if (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16 && depth != 32) return cDepthErr;
  const int width = bounds.right - bounds.left;
  const int height = bounds.bottom - bounds.top;
  if (width <= 0 || height <= 0) return paramErr;
  std::unique_ptr<GWorld> world(new (std::nothrow) GWorld());
  if (!world) return memFullErr;
  const int32_t rowBytes = ((width * depth + 127) / 128) * 16;
  try {
    world->pixels.assign(static_cast<size_t>(rowBytes) * static_cast<size_t>(height), 0);
  } catch (const std::bad_alloc&) {
    return memFullErr;
  }
  PixMap& pm = world->pixMap;
  pm.baseAddr = world->pixels.data();
  pm.rowBytes = rowBytes;
  pm.bounds = bounds;
  pm.pmVersion = 4;
  pm.hRes = k72dpi;
  pm.vRes = k72dpi;
  pm.pixelSize = depth;
  pm.pixelFormat = static_cast<OSType>(depth);
  if (depth >= 16) {
    pm.pixelType = kRGBDirect;
    pm.cmpCount = 3;
    pm.cmpSize = depth == 16 ? 5 : 8;
  } else {
    pm.cmpCount = 1;
    pm.cmpSize = depth;
    world->colorTable = table != nullptr ? std::make_unique<ColorTable>(*table) : GetGrayColorTable(depth);
    pm.pmTable = world->colorTable.get();
  }
  *out = std::move(world);
  return noErr;
}

OSErr MyNewGWorld(std::unique_ptr<GWorld>* out, int16_t depth, Rect* bounds, CTabHandle table) {
  MoveRect(bounds, 0, 0);
  if (depth == 24 || depth < 1 || depth > 40) {
    depth = 32;
  } else if (depth > 32) {
    if (!table) table = GetGrayColorTable(depth - 32);
    depth = static_cast<int16_t>(depth - 32);
  }
  std::unique_ptr<GWorld> world;
  OSErr err = NewGWorld(&world, depth, *bounds, table.get());
  table.reset();
  if (!world) return err != noErr ? err : 4;
  GWorldPtr previous = GetGWorld();
  SetGWorld(world.get());
  world->foreColor = 1;
  world->backColor = 0;
  world->pixelsLocked = true;
  SetGWorld(previous);
  *out = std::move(world);
  return err;
}
