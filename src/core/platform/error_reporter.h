// The classic program shows an error as one alert naming the failed task, the
// step and the code. Shared code that runs in it reports here; the classic
// shell installs the routine that puts the alert up. Without one installed,
// reports are dropped (Framewright HD reports through return codes instead).
#pragma once

#include <cstdint>

namespace fw {

using ClassicErrorReporter = void (*)(int16_t messageIndex, int32_t location, int32_t err);

void SetClassicErrorReporter(ClassicErrorReporter reporter);
void ReportClassicError(int16_t messageIndex, int32_t location, int32_t err);

}  // namespace fw
