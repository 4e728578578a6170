// Naming and placing capture files: a new file is named after the date and
// time its capture started, in the folder the preferences choose.
#pragma once

#include <cstdint>
#include <string>

#include "core/platform/clocks.h"
#include "core/platform/os_errors.h"
#include "core/util/types.h"

namespace fw {

// "Framewright %d-%d-%d %02d-%02d-%02d.mov": the date fields in the order of
// `dateOrdering` (0 d-m-y, 1 m-d-y, 2 y-m-d, 3 y-d-m; other values as 0),
// month and day without leading zero, then hour, minute and whole seconds.
std::string MakeCaptureFileName(const LocalDateTime& when, uint8_t dateOrdering);

// The folder of captureLocation 1 (the program's folder), 2 (Desktop) or
// 3 (Documents), made when missing. Other values have no fixed folder:
// paramErr (the user is asked instead).
[[nodiscard]] OSErr GetCaptureFolder(uint8_t captureLocation, std::string* outFolder);

// folder/name, or when that exists folder/"name 2.mov", "name 3.mov", …: a
// capture never replaces an earlier one in a fixed folder.
std::string UniqueCapturePath(const std::string& folder, const std::string& name);

}  // namespace fw

// Classic form: appends a compact date and time to a length-prefixed string.
// `secs` counts seconds since 1904-01-01 in local time (the classic clock);
// 0 means now. Flag bits: 1 day and month, 2 year, 4 hour and minute, 8
// seconds (with 4 only). "-" separates with useDash, "/" without.
void AddDateToString(uint32_t secs, Str255 str, uint8_t flags, uint8_t dateOrdering, bool useDash);

namespace fw {

// The classic clock's reading for a local date and time (seconds since
// 1904-01-01 local time).
uint32_t ClassicSecondsOf(const LocalDateTime& when);

}  // namespace fw
