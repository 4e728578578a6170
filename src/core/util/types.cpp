// Conversions for the small shared types.
#include "core/util/types.h"

#include <algorithm>
#include <cstring>

using namespace fw;

std::string fw::FourCCToString(OSType code) {
  std::string text(4, '?');
  for (int i = 0; i < 4; ++i) {
    const auto c = static_cast<unsigned char>(code >> (24 - 8 * i));
    if (c >= 0x20 && c < 0x7F) text[i] = static_cast<char>(c);
  }
  return text;
}

void fw::CopyToStr255(std::string_view text, Str255 out) {
  const size_t length = std::min<size_t>(text.size(), 255);
  out[0] = static_cast<unsigned char>(length);
  std::memcpy(out + 1, text.data(), length);
}

std::string fw::Str255ToString(ConstStr255Param s) {
  return std::string(reinterpret_cast<const char*>(s + 1), s[0]);
}
