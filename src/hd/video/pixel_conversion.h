// Turning what cameras deliver into '2vuy' (Cb Y0 Cr Y1), the one pixel
// format of every frame Framewright HD receives: packed 4:2:2 in the other
// byte orders, and Motion JPEG for cameras that offer nothing else.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/platform/os_errors.h"
#include "hd/video/capture_backend.h"

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

  // A frame of the JPEG's own size (an odd width gains one column, a copy of
  // the last) from `pool`. Returns paramErr for data that is not a JPEG
  // picture we can decode, memFullErr when memory runs out.
  OSErr Decode(const uint8_t* jpegBytes, size_t sizeBytes, FramePool& pool, CaptureFrameRef* outFrame);

 private:
  void* handle_;               // the turbojpeg decompressor
  uint8_t* planes_ = nullptr;  // decoded Y, Cb, Cr planes, reused between frames
  size_t planesSizeBytes_ = 0;
};
