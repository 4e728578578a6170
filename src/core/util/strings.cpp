// Length-prefixed string helpers and hexadecimal conversions.
#include "core/util/strings.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace fw;

void AddString(ConstStr255Param src, Str255 dst) {
  const size_t room = 255 - dst[0];
  const size_t count = std::min<size_t>(src[0], room);
  std::memmove(dst + 1 + dst[0], src + 1, count);
  dst[0] = static_cast<unsigned char>(dst[0] + count);
}

void AddNumberToString(int16_t n, Str255 dst, bool twoDigits) {
  char digits[16];
  int length = std::snprintf(digits, sizeof digits, "%d", n);
  Str255 number;
  number[0] = 0;
  if (twoDigits && length == 1) {
    number[0] = 1;
    number[1] = '0';
  }
  std::memcpy(number + 1 + number[0], digits, static_cast<size_t>(length));
  number[0] = static_cast<unsigned char>(number[0] + length);
  AddString(number, dst);
}

bool CompareStrings(ConstStr255Param a, ConstStr255Param b) {
  return a[0] == b[0] && std::memcmp(a + 1, b + 1, a[0]) == 0;
}

bool CompareStringsBeginning(ConstStr255Param s, ConstStr255Param prefix) {
  return prefix[0] != 0 && s[0] >= prefix[0] && std::memcmp(s + 1, prefix + 1, prefix[0]) == 0;
}

uint8_t CountPeriodsInString(ConstStr255Param s) {
  return static_cast<uint8_t>(std::count(s + 1, s + 1 + s[0], '.'));
}

float StringToFloat(Str255 s) {
  const size_t length = s[0];
  std::memmove(s, s + 1, length);
  s[length] = '\0';
  return static_cast<float>(std::atof(reinterpret_cast<const char*>(s)));
}

void MyFloatToString(float x, Str255 out, int decimals, bool trimZeros) {
  decimals = std::clamp(decimals, 1, 9);
  char text[512];
  int length = std::snprintf(text, sizeof text, "%.*f", decimals, static_cast<double>(x));
  if (length < 0) length = 0;
  length = std::min(length, static_cast<int>(sizeof text) - 1);
  if (trimZeros && std::memchr(text, '.', static_cast<size_t>(length)) != nullptr) {
    while (length > 0 && text[length - 1] == '0') --length;
    if (length > 0 && text[length - 1] == '.') --length;
  }
  CopyToStr255(std::string_view(text, static_cast<size_t>(length)), out);
}

uint64_t StringToNumHex64(ConstStr255Param s) {
  uint64_t value = 0;
  for (int distance = 0; distance < s[0]; ++distance) {
    const unsigned char c = s[s[0] - distance];
    uint64_t digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else {
      break;
    }
    // 16^distance is 0 modulo 2^64 from the 17th digit on.
    if (distance < 16) value += digit << (4 * distance);
  }
  return value;
}

namespace {
void NumToStringHex(uint64_t v, int digits, Str255 out) {
  static const char kHex[] = "0123456789ABCDEF";
  out[0] = static_cast<unsigned char>(digits);
  for (int i = 0; i < digits; ++i) out[digits - i] = kHex[(v >> (4 * i)) & 0xF];
}
}  // namespace

void NumToStringHex64(uint64_t v, Str255 out) {
  NumToStringHex(v, 16, out);
}
void NumToStringHex32(uint32_t v, Str255 out) {
  NumToStringHex(v, 8, out);
}
