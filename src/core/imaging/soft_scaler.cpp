// The software preview's conversion and scaling. Separable bilinear: two
// source rows are blended once per destination row (a loop the compiler
// vectorises), then each destination pixel blends two neighbours of that row.
#include "core/imaging/soft_scaler.h"

#include <algorithm>
#include <cstddef>

namespace {

inline uint32_t Lerp8(uint32_t a, uint32_t b, uint32_t weight) {
  return (a * (256 - weight) + b * weight + 128) >> 8;
}

// Blends all four bytes of two 0xAARRGGBB words at once, two lanes at a time.
inline uint32_t Lerp32(uint32_t a, uint32_t b, uint32_t weight) {
  const uint32_t inverse = 256 - weight;
  const uint32_t rb =
      (((a & 0x00FF00FFu) * inverse + (b & 0x00FF00FFu) * weight + 0x00800080u) >> 8) & 0x00FF00FFu;
  const uint32_t ag =
      (((a >> 8) & 0x00FF00FFu) * inverse + ((b >> 8) & 0x00FF00FFu) * weight + 0x00800080u) & 0xFF00FF00u;
  return rb | ag;
}

// Source position of destination sample `logical`, in 16.16:
// (logical + ½)·source/dest − ½.
inline int64_t SourcePosition(int32_t logical, int32_t sourceCount, int32_t destCount) {
  return ((2 * static_cast<int64_t>(logical) + 1) * sourceCount * 65536) /
             (2 * static_cast<int64_t>(destCount)) -
         32768;
}

// The two source samples around a 16.16 position and the second one's
// weight, held inside 0 … sourceCount − 1 at both edges.
inline SampleStep StepAt(int64_t position, int32_t sourceCount) {
  int64_t first = position >> 16;  // floor, also below zero
  uint32_t weight = static_cast<uint32_t>((position >> 8) & 0xFF);
  int64_t second = first + 1;
  if (first < 0) {
    first = second = 0;
    weight = 0;
  }
  if (second >= sourceCount) {
    second = sourceCount - 1;
    if (first > second) first = second;
  }
  return {static_cast<int32_t>(first), static_cast<int32_t>(second), weight};
}

}  // namespace

std::vector<SampleStep> MakeSampleSteps(int32_t sourceCount, int32_t destCount, bool mirrored) {
  std::vector<SampleStep> steps(static_cast<size_t>(std::max(destCount, 0)));
  if (sourceCount <= 0) return steps;
  for (int32_t i = 0; i < destCount; ++i) {
    const int32_t logical = mirrored ? destCount - 1 - i : i;
    steps[static_cast<size_t>(i)] = StepAt(SourcePosition(logical, sourceCount, destCount), sourceCount);
  }
  return steps;
}

void YCbCrScaler::Prepare(const YCbCrImageView& source, const RGB32ImageView& dest, Mirroring mirroring,
                          YCbCrMatrix matrix) {
  if (tables_.matrix() != matrix) tables_ = YCbCrTables(matrix);
  if (source.width == sourceWidth_ && source.height == sourceHeight_ && dest.width == destWidth_ &&
      dest.height == destHeight_ && mirroring == mirroring_) {
    return;
  }
  sourceWidth_ = source.width;
  sourceHeight_ = source.height;
  destWidth_ = dest.width;
  destHeight_ = dest.height;
  mirroring_ = mirroring;

  const bool mirroredH = MirrorsHorizontally(mirroring);
  const int32_t pairs = (source.width + 1) / 2;
  const std::vector<SampleStep> luma = MakeSampleSteps(source.width, dest.width, mirroredH);
  columns_.resize(luma.size());
  for (size_t i = 0; i < luma.size(); ++i) {
    // Chroma sample k sits on luma sample 2k, so a luma position x is the
    // chroma position x / 2.
    const int32_t logical = mirroredH ? dest.width - 1 - static_cast<int32_t>(i) : static_cast<int32_t>(i);
    const SampleStep chroma = StepAt(SourcePosition(logical, source.width, dest.width) >> 1, pairs);
    Column& column = columns_[i];
    column.luma0 = static_cast<uint32_t>(2 * luma[i].first + 1);
    column.luma1 = static_cast<uint32_t>(2 * luma[i].second + 1);
    column.lumaWeight = luma[i].weight;
    column.chroma0 = static_cast<uint32_t>(4 * chroma.first);
    column.chroma1 = static_cast<uint32_t>(4 * chroma.second);
    column.chromaWeight = chroma.weight;
  }
  rows_ = MakeSampleSteps(source.height, dest.height, MirrorsVertically(mirroring));
  blendedRow_.resize(static_cast<size_t>(Row2vuyBytesNeeded(source.width)));
}

void YCbCrScaler::Draw(const YCbCrImageView& source, const RGB32ImageView& dest, Mirroring mirroring,
                       YCbCrMatrix matrix) {
  if (source.width <= 0 || source.height <= 0 || dest.width <= 0 || dest.height <= 0) return;
  Prepare(source, dest, mirroring, matrix);
  const size_t rowBytesUsed = blendedRow_.size();
  for (int32_t y = 0; y < dest.height; ++y) {
    const SampleStep& step = rows_[static_cast<size_t>(y)];
    const uint8_t* first = source.base + static_cast<std::ptrdiff_t>(step.first) * source.rowBytes;
    const uint8_t* row = first;
    if (step.weight != 0 && step.second != step.first) {
      const uint8_t* second = source.base + static_cast<std::ptrdiff_t>(step.second) * source.rowBytes;
      uint8_t* blended = blendedRow_.data();
      const uint32_t w = step.weight;
      for (size_t k = 0; k < rowBytesUsed; ++k)
        blended[k] = static_cast<uint8_t>(Lerp8(first[k], second[k], w));
      row = blended;
    }
    uint32_t* out = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(dest.base) +
                                                static_cast<std::ptrdiff_t>(y) * dest.rowBytes);
    const Column* column = columns_.data();
    for (int32_t x = 0; x < dest.width; ++x, ++column) {
      const uint32_t luma = Lerp8(row[column->luma0], row[column->luma1], column->lumaWeight);
      const uint32_t cb = Lerp8(row[column->chroma0], row[column->chroma1], column->chromaWeight);
      const uint32_t cr = Lerp8(row[column->chroma0 + 2], row[column->chroma1 + 2], column->chromaWeight);
      out[x] = tables_.ToRGB32(luma, cb, cr);
    }
  }
}

void RGB32Scaler::Draw(const ConstRGB32ImageView& source, const RGB32ImageView& dest, Mirroring mirroring) {
  if (source.width <= 0 || source.height <= 0 || dest.width <= 0 || dest.height <= 0) return;
  if (source.width != sourceWidth_ || source.height != sourceHeight_ || dest.width != destWidth_ ||
      dest.height != destHeight_ || mirroring != mirroring_) {
    sourceWidth_ = source.width;
    sourceHeight_ = source.height;
    destWidth_ = dest.width;
    destHeight_ = dest.height;
    mirroring_ = mirroring;
    columns_ = MakeSampleSteps(source.width, dest.width, MirrorsHorizontally(mirroring));
    rows_ = MakeSampleSteps(source.height, dest.height, MirrorsVertically(mirroring));
    blendedRow_.resize(static_cast<size_t>(source.width));
  }
  for (int32_t y = 0; y < dest.height; ++y) {
    const SampleStep& step = rows_[static_cast<size_t>(y)];
    const auto* first =
        reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(source.base) +
                                          static_cast<std::ptrdiff_t>(step.first) * source.rowBytes);
    const uint32_t* row = first;
    if (step.weight != 0 && step.second != step.first) {
      const auto* second =
          reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(source.base) +
                                            static_cast<std::ptrdiff_t>(step.second) * source.rowBytes);
      for (int32_t k = 0; k < source.width; ++k)
        blendedRow_[static_cast<size_t>(k)] = Lerp32(first[k], second[k], step.weight);
      row = blendedRow_.data();
    }
    uint32_t* out = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(dest.base) +
                                                static_cast<std::ptrdiff_t>(y) * dest.rowBytes);
    for (int32_t x = 0; x < dest.width; ++x) {
      const SampleStep& column = columns_[static_cast<size_t>(x)];
      out[x] = Lerp32(row[column.first], row[column.second], column.weight);
    }
  }
}
