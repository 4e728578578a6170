// Which of the two programs a shared routine behaves as. A few shared
// routines differ in small, deliberate ways between Framewright HD and the
// classic Framewright; callers name the variant instead of passing a flag.
#pragma once

#include <cstdint>

enum class ProgramFlavor : uint8_t { kHD, kClassic };
