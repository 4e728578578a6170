// Pixel maps without storage of their own.
#include "core/util/pixmap.h"

#include <new>

using namespace fw;

namespace {

struct FormatLayout {
  int16_t pixelSize;
  int16_t cmpCount;
  int16_t cmpSize;
};

bool LayoutOf(OSType format, FormatLayout* out) {
  switch (format) {
    case 16:
    case FourCC("5551"):
    case FourCC("B565"):
    case FourCC("L555"):
    case FourCC("L565"):
      *out = {16, 3, 5};
      return true;
    case 24:
    case FourCC("24BG"):
      *out = {24, 3, 8};
      return true;
    case 32:
    case FourCC("BGRA"):
      *out = {32, 4, 8};
      return true;
    case 40:
      *out = {8, 1, 8};
      return true;
    case FourCC("2vuy"):
    case FourCC("UYVY"):
    case FourCC("YVYU"):
    case FourCC("yuv2"):
    case FourCC("yuvs"):
    case FourCC("yuvu"):
      *out = {16, 4, 8};
      return true;
    default:
      return false;
  }
}

}  // namespace

OSErr MyNewPixMapWithoutStorage(OSType pixelFormat, Rect bounds, int32_t rowBytes, PixMapHandle* out) {
  FormatLayout layout{};
  if (!LayoutOf(pixelFormat, &layout)) return paramErr;
  PixMapHandle pixMap(new (std::nothrow) PixMap());
  if (!pixMap) return memFullErr;
  pixMap->rowBytes = rowBytes != 0 ? rowBytes : bounds.right * layout.pixelSize / 8;
  pixMap->bounds = bounds;
  pixMap->pmVersion = 4;
  pixMap->hRes = k72dpi;
  pixMap->vRes = k72dpi;
  pixMap->pixelType = kRGBDirect;
  pixMap->pixelSize = layout.pixelSize;
  pixMap->cmpCount = layout.cmpCount;
  pixMap->cmpSize = layout.cmpSize;
  pixMap->pixelFormat = pixelFormat;
  *out = std::move(pixMap);
  return noErr;
}

bool IsYUVFormat(OSType format) {
  return format == FourCC("2vuy") || format == FourCC("yuvs") || format == FourCC("yuvu") ||
         format == FourCC("yuv2");
}

bool fw::IsHDPictureSize(int widthPixels, int heightPixels) {
  return widthPixels > 1024 || heightPixels > 576;
}
