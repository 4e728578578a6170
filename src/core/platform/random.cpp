// Random numbers in the two programs' forms.
#include "core/platform/random.h"

#include <cstdlib>

int32_t MyPositiveRandomNumber(int32_t n, ProgramFlavor flavor) {
  if (flavor == ProgramFlavor::kHD) {
    return static_cast<int32_t>(static_cast<int64_t>(n) * ::random() / 2147483648LL);
  }
  // The classic generator gives a signed 16-bit value other than -32768.
  const int64_t r = ::random() % 65535 - 32767;
  return static_cast<int32_t>(static_cast<double>((r + 32767) * n) / 65536.0 + 0.5);
}
