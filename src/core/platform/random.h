// Random slot choice for the background writer.
#pragma once

#include <cstdint>

#include "core/platform/program_flavor.h"

// HD: n × random() / 2^31, truncated: 0 to n − 1.
// Classic: (r + 32767) × n / 65536 + 0.5, truncated, r uniform in
// −32767…32767: 0 to n, the two end values half as likely.
int32_t MyPositiveRandomNumber(int32_t n, ProgramFlavor flavor = ProgramFlavor::kHD);
