// Feeds arbitrary bytes to the preferences file reader of both programs. Any
// file must read without touching memory outside the record, leave its
// strings safe to use, and read back identically once written out again.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "core/prefs/prefs_file_image.h"

using namespace fw;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

void FuzzFlavor(std::span<const uint8_t> file, ProgramFlavor flavor) {
  PrefsStruct read{};
  SetPreferencesDefaults(&read, flavor);
  if (ParsePreferencesFileImage(file, flavor, &read) != noErr) return;

  Check(read.deviceNameOLD[0] < sizeof read.deviceNameOLD);
  if (flavor == ProgramFlavor::kHD) Check(std::memchr(read.uniqueID, '\0', sizeof read.uniqueID) != nullptr);

  PrefsStruct again{};
  SetPreferencesDefaults(&again, flavor);
  Check(ParsePreferencesFileImage(BuildPreferencesFileImage(read, flavor), flavor, &again) == noErr);
  Check(std::memcmp(&read, &again, PrefsRecordSizeBytes(flavor)) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> file(data, size);
  FuzzFlavor(file, ProgramFlavor::kHD);
  FuzzFlavor(file, ProgramFlavor::kClassic);
  return 0;
}
