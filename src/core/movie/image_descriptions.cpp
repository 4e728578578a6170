// Image descriptions and sample description entries.
#include "core/movie/image_descriptions.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <string_view>

#include "core/util/byte_order.h"

using namespace fw;

namespace {

constexpr OSType kColrType = FourCC("colr");
constexpr OSType kNclcType = FourCC("nclc");
constexpr size_t kColrSizeBytes = 18;

void SetName(ImageDescription* d, std::string_view name) {
  const size_t length = std::min<size_t>(name.size(), sizeof(d->name) - 1);
  std::memset(d->name, 0, sizeof(d->name));
  d->name[0] = static_cast<unsigned char>(length);
  std::memcpy(d->name + 1, name.data(), length);
}

// Walks the extension atoms; calls `visit(offset, size, type)` for each
// well-formed one and stops at the first that is not.
template <typename Visit>
void ForEachExtension(const std::vector<uint8_t>& ext, Visit visit) {
  size_t offset = 0;
  while (ext.size() - offset >= 8) {
    const uint32_t size = LoadBE32(ext.data() + offset);
    if (size < 8 || size > ext.size() - offset) return;
    if (!visit(offset, size, LoadBE32(ext.data() + offset + 4))) return;
    offset += size;
  }
}

// Shared by the makers: the fields every description of ours has.
ImageDescriptionHandle NewDescription(OSType type, int16_t width, int16_t height, int16_t depth,
                                      int32_t dataSize, std::string_view name) {
  ImageDescriptionHandle d(new (std::nothrow) ImageDescription());
  if (!d) return d;
  d->cType = type;
  d->spatialQuality = kCodecLosslessQuality;
  d->width = width;
  d->height = height;
  d->hRes = k72dpi;
  d->vRes = k72dpi;
  d->dataSize = dataSize;
  d->frameCount = 1;
  SetName(d.get(), name);
  d->depth = depth;
  d->clutID = kNoColorTable;
  AddColorExtension(d.get());
  return d;
}

}  // namespace

OSErr MakeImageDescriptionForPixMap(const PixMap* pixMap, ImageDescriptionHandle* out) {
  if (pixMap == nullptr || out == nullptr) return paramErr;
  OSType type = kRawCodecType;
  int16_t depth = 0;
  const char* name = nullptr;
  if (IsYUVFormat(pixMap->pixelFormat)) {
    type = pixMap->pixelFormat;
    depth = 16;
    name = "Y'CbCr 8-bit 4:2:2";
  } else {
    switch (pixMap->pixelFormat) {
      case 16:
        depth = 16;
        name = "RGB 16-bit";
        break;
      case 24:
        depth = 24;
        name = "RGB 24-bit";
        break;
      case k32ARGBPixelFormat:
        depth = 32;
        name = "ARGB 32-bit";
        break;
      case 40:
        depth = 40;  // QuickTime's depth for 8-bit grey
        name = "Grey 8-bit";
        break;
      default:
        return paramErr;
    }
  }
  const int32_t width = pixMap->bounds.right - pixMap->bounds.left;
  const int32_t height = pixMap->bounds.bottom - pixMap->bounds.top;
  if (width <= 0 || height <= 0) return paramErr;
  const int64_t bitsPerPixel = depth == 40 ? 8 : depth;
  const int64_t dataSize = int64_t{width} * height * bitsPerPixel / 8;
  if (dataSize > std::numeric_limits<int32_t>::max()) return paramErr;
  ImageDescriptionHandle d = NewDescription(type, static_cast<int16_t>(width), static_cast<int16_t>(height),
                                            depth, static_cast<int32_t>(dataSize), name);
  if (!d) return memFullErr;
  *out = std::move(d);
  return noErr;
}

OSErr MakeDVImageDescription(DVVideoSystem system, ImageDescriptionHandle* out) {
  if (out == nullptr) return paramErr;
  const bool ntsc = system == DVVideoSystem::k525Lines60Hz;
  ImageDescriptionHandle d =
      NewDescription(ntsc ? kDVNTSCCodecType : kDVPALCodecType, 720, ntsc ? 480 : 576, 24,
                     ntsc ? kDVFrameSizeBytes525 : kDVFrameSizeBytes625, ntsc ? "DV - NTSC" : "DV - PAL");
  if (!d) return memFullErr;
  *out = std::move(d);
  return noErr;
}

bool fw::WantsColorExtension(OSType codecType) {
  return IsYUVFormat(codecType) || codecType == kRawCodecType || codecType == kDVNTSCCodecType ||
         codecType == kDVPALCodecType;
}

ColorTags fw::ColorTagsFor(OSType codecType, int width, int height) {
  // nclc code points: primaries 1 BT.709, 5 EBU 3213 (625 lines), 6 SMPTE
  // 170M (525 lines); transfer 1 (shared by BT.601 and BT.709); matrix 0
  // identity (RGB), 1 BT.709, 6 BT.601.
  ColorTags tags;
  const bool hd = IsHDPictureSize(width, height);
  const bool lines625 = height == 576 || height == 288;  // otherwise 525-line sizes (480, 486, 240...)
  tags.primaries = hd ? 1 : (lines625 ? 5 : 6);
  tags.transfer = 1;
  tags.matrix = codecType == kRawCodecType ? 0 : (hd ? 1 : 6);
  return tags;
}

void fw::AddColorExtension(ImageDescription* description) {
  if (!WantsColorExtension(description->cType)) return;
  ColorTags existing;
  if (FindColorTags(*description, &existing)) return;
  // Drop anything malformed at the end first, so the new atom is reachable.
  size_t wellFormed = 0;
  ForEachExtension(description->extensions, [&](size_t offset, uint32_t size, OSType) {
    wellFormed = offset + size;
    return true;
  });
  description->extensions.resize(wellFormed);
  const ColorTags tags = ColorTagsFor(description->cType, description->width, description->height);
  uint8_t colr[kColrSizeBytes];
  StoreBE32(colr, kColrSizeBytes);
  StoreBE32(colr + 4, kColrType);
  StoreBE32(colr + 8, kNclcType);
  StoreBE16(colr + 12, tags.primaries);
  StoreBE16(colr + 14, tags.transfer);
  StoreBE16(colr + 16, tags.matrix);
  description->extensions.insert(description->extensions.end(), colr, colr + kColrSizeBytes);
  description->idSize = static_cast<int32_t>(kImageDescriptionBaseSizeBytes + description->extensions.size());
}

bool fw::FindColorTags(const ImageDescription& description, ColorTags* out) {
  bool found = false;
  const std::vector<uint8_t>& ext = description.extensions;
  ForEachExtension(ext, [&](size_t offset, uint32_t size, OSType type) {
    if (type != kColrType || size < kColrSizeBytes || LoadBE32(ext.data() + offset + 8) != kNclcType)
      return true;
    out->primaries = LoadBE16(ext.data() + offset + 12);
    out->transfer = LoadBE16(ext.data() + offset + 14);
    out->matrix = LoadBE16(ext.data() + offset + 16);
    found = true;
    return false;
  });
  return found;
}

std::vector<uint8_t> fw::SerialiseImageDescription(const ImageDescription& description,
                                                   uint16_t dataRefIndex) {
  ImageDescription d = description;
  AddColorExtension(&d);
  size_t extensionBytes = 0;
  ForEachExtension(d.extensions, [&](size_t offset, uint32_t size, OSType) {
    extensionBytes = offset + size;
    return true;
  });

  std::vector<uint8_t> out(kImageDescriptionBaseSizeBytes + extensionBytes, 0);
  uint8_t* p = out.data();
  StoreBE32(p + 0, static_cast<uint32_t>(out.size()));
  StoreBE32(p + 4, d.cType);
  // Bytes 8 to 13 are reserved and stay 0.
  StoreBE16(p + 14, dataRefIndex);
  StoreBE16(p + 16, static_cast<uint16_t>(d.version));
  StoreBE16(p + 18, static_cast<uint16_t>(d.revisionLevel));
  StoreBE32(p + 20, d.vendor);
  StoreBE32(p + 24, d.temporalQuality);
  StoreBE32(p + 28, d.spatialQuality);
  StoreBE16(p + 32, static_cast<uint16_t>(d.width));
  StoreBE16(p + 34, static_cast<uint16_t>(d.height));
  StoreBE32(p + 36, static_cast<uint32_t>(d.hRes));
  StoreBE32(p + 40, static_cast<uint32_t>(d.vRes));
  StoreBE32(p + 44, static_cast<uint32_t>(d.dataSize));
  StoreBE16(p + 48, static_cast<uint16_t>(d.frameCount));
  // A Pascal string in a 32-byte field: nothing may follow its characters.
  const size_t nameLength = std::min<size_t>(d.name[0], sizeof(d.name) - 1);
  p[50] = static_cast<uint8_t>(nameLength);
  std::memcpy(p + 51, d.name + 1, nameLength);
  StoreBE16(p + 82, static_cast<uint16_t>(d.depth));
  StoreBE16(p + 84, static_cast<uint16_t>(d.clutID));
  std::copy_n(d.extensions.begin(), extensionBytes, out.begin() + kImageDescriptionBaseSizeBytes);
  return out;
}

OSErr fw::ParseImageDescription(const uint8_t* data, size_t sizeBytes, ImageDescription* out) {
  if (data == nullptr || out == nullptr || sizeBytes < kImageDescriptionBaseSizeBytes) return paramErr;
  if (LoadBE32(data) != sizeBytes) return paramErr;
  ImageDescription d;
  d.idSize = static_cast<int32_t>(sizeBytes);
  d.cType = LoadBE32(data + 4);
  d.resvd1 = static_cast<int32_t>(LoadBE32(data + 8));
  d.resvd2 = static_cast<int16_t>(LoadBE16(data + 12));
  d.dataRefIndex = static_cast<int16_t>(LoadBE16(data + 14));
  d.version = static_cast<int16_t>(LoadBE16(data + 16));
  d.revisionLevel = static_cast<int16_t>(LoadBE16(data + 18));
  d.vendor = LoadBE32(data + 20);
  d.temporalQuality = LoadBE32(data + 24);
  d.spatialQuality = LoadBE32(data + 28);
  d.width = static_cast<int16_t>(LoadBE16(data + 32));
  d.height = static_cast<int16_t>(LoadBE16(data + 34));
  d.hRes = static_cast<int32_t>(LoadBE32(data + 36));
  d.vRes = static_cast<int32_t>(LoadBE32(data + 40));
  d.dataSize = static_cast<int32_t>(LoadBE32(data + 44));
  d.frameCount = static_cast<int16_t>(LoadBE16(data + 48));
  std::memcpy(d.name, data + 50, sizeof(d.name));
  if (d.name[0] > sizeof(d.name) - 1) d.name[0] = sizeof(d.name) - 1;
  d.depth = static_cast<int16_t>(LoadBE16(data + 82));
  d.clutID = static_cast<int16_t>(LoadBE16(data + 84));
  d.extensions.assign(data + kImageDescriptionBaseSizeBytes, data + sizeBytes);
  *out = std::move(d);
  return noErr;
}
