// The software preview's conversion and scaling. Separable bilinear: two
// source rows are blended once per destination row (a loop the compiler
// vectorises), then each destination pixel blends two neighbours of that row.
#include "core/imaging/soft_scaler.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

namespace fw {

namespace {

inline uint32_t Lerp8(uint32_t a, uint32_t b, uint32_t weight) {
  return (a * (256 - weight) + b * weight + 128) >> 8;
}

// Lerp8 of two bytes at once, held in bits 0–7 and 16–23 of a and b.
inline uint32_t Lerp8Pair(uint32_t a, uint32_t b, uint32_t weight) {
  return ((a * (256 - weight) + b * weight + 0x00800080u) >> 8) & 0x00FF00FFu;
}

// The inner loops are built twice on x86-64, for the baseline and for AVX2,
// and the loader picks the one the processor runs best. Not under
// ThreadSanitizer: the loader runs the picking code before the sanitizer's
// runtime is up, and the program crashes at its start.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(FW_NO_TARGET_CLONES)
#define FW_WIDER_VECTORS __attribute__((target_clones("avx2", "default")))
#else
#define FW_WIDER_VECTORS
#endif

// Readable bytes kept behind a source row, so that the last column's loads
// of a sample and the one after it stay inside the buffer.
constexpr size_t kRowPaddingBytes = 8;

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

// Two source rows blended byte by byte. The sums stay below 2^16, so the
// arithmetic is 16-bit: twice the lanes of 32-bit.
FW_WIDER_VECTORS void BlendRows(const uint8_t* first, const uint8_t* second, uint8_t* out, size_t n,
                                uint32_t weight) {
  const auto w = static_cast<uint16_t>(weight);
  const auto inverse = static_cast<uint16_t>(256 - weight);
  for (size_t k = 0; k < n; ++k) {
    const auto sum = static_cast<uint16_t>(first[k] * inverse + second[k] * w + 128);
    out[k] = static_cast<uint8_t>(sum >> 8);
  }
}

// The samples of one destination row, from one (blended) source row held
// with kRowPaddingBytes behind it. Each column blends a sample with the one
// after it, so one 4-byte load gives both lumas ("Y0 x Y1 x") and one
// 8-byte load both chroma pairs ("Cb x Cr x Cb' x Cr' x").
FW_WIDER_VECTORS void SampleRow(const uint8_t* row, const YCbCrScaler::Column* column, uint8_t* luma,
                                uint8_t* cb, uint8_t* cr, int32_t n) {
  for (int32_t x = 0; x < n; ++x, ++column) {
    uint32_t lumas;
    uint64_t chromas;
    std::memcpy(&lumas, row + column->luma0, sizeof lumas);
    std::memcpy(&chromas, row + column->chroma0, sizeof chromas);
    luma[x] = static_cast<uint8_t>(Lerp8(lumas & 0xFF, (lumas >> 16) & 0xFF, column->lumaWeight));
    // Cb and Cr side by side in the two halves of one word, blended at once.
    const uint32_t pair = Lerp8Pair(static_cast<uint32_t>(chromas) & 0x00FF00FFu,
                                    static_cast<uint32_t>(chromas >> 32) & 0x00FF00FFu, column->chromaWeight);
    cb[x] = static_cast<uint8_t>(pair);
    cr[x] = static_cast<uint8_t>(pair >> 16);
  }
}

// One row of Y'CbCr samples to 0xFFRRGGBB words, with the coefficients of
// YCbCrTables in the same 16.16 fixed point (the tables hold each product
// rounded on its own, so a result may differ from them by one code).
FW_WIDER_VECTORS void ConvertRow(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr, uint32_t* out,
                                 int32_t n, const YCbCrFixed& k) {
  for (int32_t x = 0; x < n; ++x) {
    const int32_t l = k.yScale * (int32_t{luma[x]} - 16) + 0x8000;
    const int32_t b8 = int32_t{cb[x]} - 128;
    const int32_t r8 = int32_t{cr[x]} - 128;
    const int32_t r = std::clamp((l + k.crToR * r8) >> 16, 0, 255);
    const int32_t g = std::clamp((l - k.cbToG * b8 - k.crToG * r8) >> 16, 0, 255);
    const int32_t b = std::clamp((l + k.cbToB * b8) >> 16, 0, 255);
    out[x] = 0xFF000000u | (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) |
             static_cast<uint32_t>(b);
  }
}

}  // namespace

YCbCrFixed YCbCrFixed::For(YCbCrMatrix matrix) {
  const YCbCrCoefficients& c = CoefficientsFor(matrix);
  auto fixed = [](float v) { return static_cast<int32_t>(std::lround(static_cast<double>(v) * 65536.0)); };
  return YCbCrFixed{matrix, fixed(c.yScale), fixed(c.crToR), fixed(c.cbToG), fixed(c.crToG), fixed(c.cbToB)};
}

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
  if (fixed_.matrix != matrix) fixed_ = YCbCrFixed::For(matrix);
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
    // A sample held at an edge blends with itself: weight 0 gives the same
    // value while the sample after it is read (and ignored).
    Column& column = columns_[i];
    column.luma0 = static_cast<uint32_t>(2 * luma[i].first + 1);
    column.lumaWeight = luma[i].second == luma[i].first ? 0 : luma[i].weight;
    column.chroma0 = static_cast<uint32_t>(4 * chroma.first);
    column.chromaWeight = chroma.second == chroma.first ? 0 : chroma.weight;
  }
  rows_ = MakeSampleSteps(source.height, dest.height, MirrorsVertically(mirroring));
  blendedRow_.assign(static_cast<size_t>(Row2vuyBytesNeeded(source.width)) + kRowPaddingBytes, 0);
  sampledLuma_.resize(static_cast<size_t>(dest.width));
  sampledCb_.resize(static_cast<size_t>(dest.width));
  sampledCr_.resize(static_cast<size_t>(dest.width));
}

void YCbCrScaler::Draw(const YCbCrImageView& source, const RGB32ImageView& dest, Mirroring mirroring,
                       YCbCrMatrix matrix) {
  if (source.width <= 0 || source.height <= 0 || dest.width <= 0 || dest.height <= 0) return;
  Prepare(source, dest, mirroring, matrix);
  const size_t rowBytesUsed = blendedRow_.size() - kRowPaddingBytes;
  uint8_t* const row = blendedRow_.data();
  for (int32_t y = 0; y < dest.height; ++y) {
    // The row is always taken into the padded buffer, blended or copied: the
    // source may end right after its last row.
    const SampleStep& step = rows_[static_cast<size_t>(y)];
    const uint8_t* first = source.base + static_cast<std::ptrdiff_t>(step.first) * source.rowBytes;
    if (step.weight != 0 && step.second != step.first) {
      const uint8_t* second = source.base + static_cast<std::ptrdiff_t>(step.second) * source.rowBytes;
      BlendRows(first, second, row, rowBytesUsed, step.weight);
    } else {
      std::memcpy(row, first, rowBytesUsed);
    }
    // First the samples of the destination row, then their colours: the
    // conversion runs over plain arrays, which the compiler vectorises.
    uint8_t* const lumaRow = sampledLuma_.data();
    uint8_t* const cbRow = sampledCb_.data();
    uint8_t* const crRow = sampledCr_.data();
    SampleRow(row, columns_.data(), lumaRow, cbRow, crRow, dest.width);
    uint32_t* out = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(dest.base) +
                                                static_cast<std::ptrdiff_t>(y) * dest.rowBytes);
    ConvertRow(lumaRow, cbRow, crRow, out, dest.width, fixed_);
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

}  // namespace fw
