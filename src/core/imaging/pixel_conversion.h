// Turning what cameras deliver into '2vuy' (Cb Y0 Cr Y1): packed 4:2:2 in
// the other byte orders, and Motion JPEG for cameras that offer nothing else.
// Both programs' V4L2 inputs use these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "core/platform/os_errors.h"

namespace fw {

// Rows of packed 4:2:2 pixels; widthPixels is even. The source and the
// destination may have different row lengths (drivers pad rows).
void CopyUYVYTo2vuy(const uint8_t* src, int32_t srcRowBytes, uint8_t* dst, int32_t dstRowBytes,
                    int32_t widthPixels, int32_t heightPixels);
// YUYV is Y0 Cb Y1 Cr: each pair of bytes swaps.
void ConvertYUYVTo2vuy(const uint8_t* src, int32_t srcRowBytes, uint8_t* dst, int32_t dstRowBytes,
                       int32_t widthPixels, int32_t heightPixels);

// Largest picture a JPEG may declare before we decline to decode it: a
// corrupt header must not make us allocate gigabytes.
constexpr int32_t kMaxJPEGSideLengthPixels = 8192;

// Decodes JPEG pictures (baseline or progressive, any chroma subsampling,
// greyscale) into '2vuy' frames. JPEG (JFIF) Y'CbCr is full range; the frames
// are video range (luma 16..235, chroma 16..240) like every other source.
// One decoder per thread.
class JPEGTo2vuyDecoder {
 public:
  JPEGTo2vuyDecoder();
  ~JPEGTo2vuyDecoder();
  JPEGTo2vuyDecoder(const JPEGTo2vuyDecoder&) = delete;
  JPEGTo2vuyDecoder& operator=(const JPEGTo2vuyDecoder&) = delete;

  // Where a decoded picture goes: rows of widthPixels '2vuy' pixels.
  struct Destination {
    uint8_t* base = nullptr;  // null: no memory for the picture
    int32_t rowBytes = 0;
  };
  // Asked once the picture's size is known (an odd width gains one column,
  // a copy of the last, so widthPixels is even); only for data that decodes.
  using DestinationFn = std::function<Destination(int32_t widthPixels, int32_t heightPixels)>;

  // Decodes into what `destination` gives. Returns paramErr for data that is
  // not a JPEG picture we can decode, memFullErr when memory runs out (or the
  // destination has none).
  OSErr Decode(const uint8_t* jpegBytes, size_t sizeBytes, const DestinationFn& destination);

 private:
  void* handle_;               // the turbojpeg decompressor
  uint8_t* planes_ = nullptr;  // decoded Y, Cb, Cr planes, reused between frames
  size_t planesSizeBytes_ = 0;
};

}  // namespace fw
