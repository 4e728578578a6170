// The QuickTime image description: what a movie's sample description says
// about its frames. Serialised big-endian as an 86-byte record followed by
// its extension atoms (the movie module writes and reads it).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/util/types.h"

constexpr int32_t kImageDescriptionBaseSizeBytes = 86;

struct ImageDescription {
  int32_t idSize = kImageDescriptionBaseSizeBytes;  // including extensions
  OSType cType = 0;                                 // codec, e.g. '2vuy'
  int32_t resvd1 = 0;
  int16_t resvd2 = 0;
  int16_t dataRefIndex = 0;
  int16_t version = 0;
  int16_t revisionLevel = 0;
  OSType vendor = 0;
  uint32_t temporalQuality = 0;
  uint32_t spatialQuality = 0;
  int16_t width = 0;
  int16_t height = 0;
  int32_t hRes = 0;  // 16.16 fixed point
  int32_t vRes = 0;
  int32_t dataSize = 0;
  int16_t frameCount = 0;
  unsigned char name[32] = {};  // Str31: a length byte and up to 31 characters
  int16_t depth = 0;
  int16_t clutID = 0;
  // Extension atoms stored after the record, whole (size, type, payload).
  std::vector<uint8_t> extensions;
};
using ImageDescriptionHandle = std::unique_ptr<ImageDescription>;
