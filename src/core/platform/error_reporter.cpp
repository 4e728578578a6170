// The classic error report hook.
#include "core/platform/error_reporter.h"

namespace fw {

namespace {
ClassicErrorReporter gReporter = nullptr;
}

void SetClassicErrorReporter(ClassicErrorReporter reporter) {
  gReporter = reporter;
}

void ReportClassicError(int16_t messageIndex, int32_t location, int32_t err) {
  if (gReporter != nullptr) gReporter(messageIndex, location, err);
}

}  // namespace fw
