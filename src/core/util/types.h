// Small types the whole system speaks in: length-prefixed strings,
// rectangles, points and four-character codes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// A length byte (0 to 255), then the characters; no terminator.
using Str255 = unsigned char[256];
using ConstStr255Param = const unsigned char*;

// Four signed 16-bit edges, top-left origin, y downwards.
struct Rect {
  int16_t top = 0;
  int16_t left = 0;
  int16_t bottom = 0;
  int16_t right = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Point {
  int16_t v = 0;
  int16_t h = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

// Four-character codes compared as 32-bit numbers, first character most
// significant: FourCC("2vuy") == 0x32767579.
using OSType = uint32_t;

constexpr OSType FourCC(const char (&code)[5]) {
  return (static_cast<OSType>(static_cast<unsigned char>(code[0])) << 24) |
         (static_cast<OSType>(static_cast<unsigned char>(code[1])) << 16) |
         (static_cast<OSType>(static_cast<unsigned char>(code[2])) << 8) |
         static_cast<OSType>(static_cast<unsigned char>(code[3]));
}

namespace fw {

// "2vuy" for 0x32767579; unprintable bytes become '?'.
std::string FourCCToString(OSType code);

// Str255 ↔ std::string. The conversion to Str255 keeps at most 255 bytes.
void CopyToStr255(std::string_view text, Str255 out);
std::string Str255ToString(ConstStr255Param s);

}  // namespace fw
