// Frame-number stamps in '2vuy' pictures.
#include "core/util/frame_stamp.h"

#include <cstddef>
#include <cstdlib>

namespace fw {

namespace {

constexpr int kCell = 8;
constexpr int kOrigin = 8;
constexpr uint8_t kWhite = 235;
constexpr uint8_t kBlack = 16;

void FillCell(uint8_t* base, int32_t rowBytes, int cell, uint8_t luma) {
  const int x0 = kOrigin + cell * kCell;
  for (int y = kOrigin; y < kOrigin + kCell; ++y) {
    uint8_t* row = base + static_cast<std::ptrdiff_t>(y) * rowBytes;
    for (int x = x0; x < x0 + kCell; x += 2) {  // pixel pairs: Cb Y0 Cr Y1
      uint8_t* pair = row + x * 2;
      pair[0] = 128;
      pair[1] = luma;
      pair[2] = 128;
      pair[3] = luma;
    }
  }
}

// The luma at the centre of a cell: 1 for white, 0 for black, -1 otherwise.
int ReadCell(const uint8_t* base, int32_t rowBytes, int cell) {
  const int x = kOrigin + cell * kCell + kCell / 2;
  const int y = kOrigin + kCell / 2;
  const uint8_t luma = base[static_cast<std::ptrdiff_t>(y) * rowBytes + x * 2 + 1];
  if (std::abs(luma - kWhite) <= 24) return 1;
  if (std::abs(luma - kBlack) <= 24) return 0;
  return -1;
}

bool Fits(int width, int height) {
  return width >= kFrameStampWidthPixels && height >= kFrameStampHeightPixels;
}

}  // namespace

void StampFrameNumber(uint8_t* base, int32_t rowBytes, int width, int height, uint32_t number) {
  if (base == nullptr || !Fits(width, height)) return;
  for (int bit = 0; bit < 32; ++bit) FillCell(base, rowBytes, bit, (number >> bit) & 1 ? kWhite : kBlack);
  FillCell(base, rowBytes, 32, kWhite);
  FillCell(base, rowBytes, 33, kBlack);
}

bool ReadFrameStamp(const uint8_t* base, int32_t rowBytes, int width, int height, uint32_t* outNumber) {
  if (base == nullptr || !Fits(width, height)) return false;
  if (ReadCell(base, rowBytes, 32) != 1 || ReadCell(base, rowBytes, 33) != 0) return false;
  uint32_t number = 0;
  for (int bit = 0; bit < 32; ++bit) {
    const int value = ReadCell(base, rowBytes, bit);
    if (value < 0) return false;
    number |= static_cast<uint32_t>(value) << bit;
  }
  *outNumber = number;
  return true;
}

}  // namespace fw
