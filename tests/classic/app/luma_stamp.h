// The frame-number stamp of a decoded picture, from its luma alone: the
// stamp (core/util/frame_stamp.h) sits in the first rows, which are made a
// grey '2vuy' picture to be read.
#pragma once

#include <cstdint>
#include <vector>

#include "core/util/frame_stamp.h"

inline bool ReadLumaStamp(const uint8_t* luma, int widthPixels, uint32_t* outNumber) {
  std::vector<uint8_t> picture(static_cast<size_t>(widthPixels) * 2 * fw::kFrameStampHeightPixels);
  for (size_t i = 0; i < picture.size() / 2; ++i) {
    picture[i * 2] = 128;
    picture[i * 2 + 1] = luma[i];
  }
  return fw::ReadFrameStamp(picture.data(), widthPixels * 2, widthPixels, fw::kFrameStampHeightPixels,
                            outNumber);
}
