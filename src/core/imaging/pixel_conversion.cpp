// '2vuy' conversions and the Motion JPEG decoder (libjpeg-turbo).
#include "core/imaging/pixel_conversion.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace fw {

void CopyUYVYTo2vuy(const uint8_t* src, int32_t srcRowBytes, uint8_t* dst, int32_t dstRowBytes,
                    int32_t widthPixels, int32_t heightPixels) {
  const size_t rowBytes = static_cast<size_t>(widthPixels) * 2;
  for (int32_t y = 0; y < heightPixels; ++y)
    std::memcpy(dst + static_cast<ptrdiff_t>(y) * dstRowBytes, src + static_cast<ptrdiff_t>(y) * srcRowBytes,
                rowBytes);
}

void ConvertYUYVTo2vuy(const uint8_t* src, int32_t srcRowBytes, uint8_t* dst, int32_t dstRowBytes,
                       int32_t widthPixels, int32_t heightPixels) {
  const int32_t rowBytes = widthPixels * 2;
  for (int32_t y = 0; y < heightPixels; ++y) {
    const uint8_t* in = src + static_cast<ptrdiff_t>(y) * srcRowBytes;
    uint8_t* out = dst + static_cast<ptrdiff_t>(y) * dstRowBytes;
    for (int32_t i = 0; i + 1 < rowBytes; i += 2) {
      out[i] = in[i + 1];
      out[i + 1] = in[i];
    }
  }
}

namespace {

struct RangeTables {
  uint8_t luma[256];
  uint8_t chroma[256];
  RangeTables() {
    for (int v = 0; v < 256; ++v) {
      luma[v] = static_cast<uint8_t>(16 + (v * 219 + 127) / 255);
      const int c = (v - 128) * 224;
      chroma[v] = static_cast<uint8_t>(128 + (c >= 0 ? (c + 127) / 255 : -((-c + 127) / 255)));
    }
  }
};

const RangeTables& FullToVideoRange() {
  static const RangeTables tables;
  return tables;
}

}  // namespace

JPEGTo2vuyDecoder::JPEGTo2vuyDecoder() : handle_(tjInitDecompress()) {}

JPEGTo2vuyDecoder::~JPEGTo2vuyDecoder() {
  if (handle_ != nullptr) tjDestroy(static_cast<tjhandle>(handle_));
  std::free(planes_);
}

OSErr JPEGTo2vuyDecoder::Decode(const uint8_t* jpegBytes, size_t sizeBytes,
                                const DestinationFn& destination) {
  if (handle_ == nullptr) return memFullErr;
  if (jpegBytes == nullptr || sizeBytes == 0 || sizeBytes > 0xFFFFFFFFu || !destination) return paramErr;
  tjhandle handle = static_cast<tjhandle>(handle_);
  int width = 0, height = 0, subsampling = 0, colourspace = 0;
  if (tjDecompressHeader3(handle, jpegBytes, static_cast<unsigned long>(sizeBytes), &width, &height,
                          &subsampling, &colourspace) != 0)
    return paramErr;
  if (width <= 0 || height <= 0 || width > kMaxJPEGSideLengthPixels || height > kMaxJPEGSideLengthPixels)
    return paramErr;
  if (colourspace == TJCS_CMYK || colourspace == TJCS_YCCK) return paramErr;

  const bool grey = subsampling == TJSAMP_GRAY;
  const int components = grey ? 1 : 3;
  int planeWidth[3] = {0, 0, 0};
  int planeHeight[3] = {0, 0, 0};
  size_t needed = 0;
  for (int c = 0; c < components; ++c) {
    planeWidth[c] = tjPlaneWidth(c, width, subsampling);
    planeHeight[c] = tjPlaneHeight(c, height, subsampling);
    if (planeWidth[c] <= 0 || planeHeight[c] <= 0) return paramErr;
    needed += static_cast<size_t>(planeWidth[c]) * static_cast<size_t>(planeHeight[c]);
  }
  if (needed > planesSizeBytes_) {
    void* grown = std::realloc(planes_, needed);
    if (grown == nullptr) return memFullErr;
    planes_ = static_cast<uint8_t*>(grown);
    planesSizeBytes_ = needed;
  }
  unsigned char* planes[3] = {planes_, nullptr, nullptr};
  for (int c = 1; c < components; ++c)
    planes[c] =
        planes[c - 1] + static_cast<size_t>(planeWidth[c - 1]) * static_cast<size_t>(planeHeight[c - 1]);
  if (tjDecompressToYUVPlanes(handle, jpegBytes, static_cast<unsigned long>(sizeBytes), planes, width,
                              planeWidth, height, 0) != 0)
    return paramErr;

  const int frameWidth = (width + 1) & ~1;
  const Destination dest = destination(frameWidth, height);
  if (dest.base == nullptr) return memFullErr;
  const RangeTables& range = FullToVideoRange();
  for (int y = 0; y < height; ++y) {
    uint8_t* out = dest.base + static_cast<ptrdiff_t>(y) * dest.rowBytes;
    const uint8_t* luma = planes[0] + static_cast<ptrdiff_t>(y) * planeWidth[0];
    const uint8_t* cb = nullptr;
    const uint8_t* cr = nullptr;
    if (!grey) {
      const int chromaRow = static_cast<int>(static_cast<int64_t>(y) * planeHeight[1] / height);
      cb = planes[1] + static_cast<ptrdiff_t>(chromaRow) * planeWidth[1];
      cr = planes[2] + static_cast<ptrdiff_t>(chromaRow) * planeWidth[2];
    }
    for (int x = 0; x < frameWidth; x += 2) {
      // 4:2:2 chroma sits with the even pixel; take the sample covering it.
      const int chromaColumn = grey ? 0 : static_cast<int>(static_cast<int64_t>(x) * planeWidth[1] / width);
      out[0] = grey ? 128 : range.chroma[cb[chromaColumn]];
      out[1] = range.luma[luma[x]];
      out[2] = grey ? 128 : range.chroma[cr[chromaColumn]];
      out[3] = range.luma[luma[std::min(x + 1, width - 1)]];
      out += 4;
    }
  }
  return noErr;
}

}  // namespace fw
