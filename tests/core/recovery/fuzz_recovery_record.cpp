// Fuzz target: the recovery record reader, which reads files any earlier run
// (or a damaged disk) left behind. A record it accepts must store back to
// the very bytes it came from.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/recovery/recovery_record.h"

using namespace fw;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CaptureRecoveryRecord record;
  std::string problem;
  if (ParseRecoveryRecord(data, size, &record, &problem) == noErr) {
    CaptureRecoveryRecord again;
    const std::vector<uint8_t> stored = SerialiseRecoveryRecord(record);
    if (ParseRecoveryRecord(stored.data(), stored.size(), &again, &problem) != noErr) std::abort();
    if (SerialiseRecoveryRecord(again) != stored) std::abort();
  }
  return 0;
}
