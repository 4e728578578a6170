// Choosing the texts of the classic program's error alert.
#include "core/capture/classic_error_message.h"

#include <array>
#include <string>

#include "core/platform/os_errors.h"

namespace fw {

namespace {

struct CodeExplanation {
  int32_t code;
  int16_t index;  // in list 130
};

// Codes common enough to deserve their own words. They are tried before the
// ranges, so a code here wins over the range it falls in (-108 is "out of
// memory", not just "a memory problem").
constexpr std::array<CodeExplanation, 15> kCodeExplanations{{
    {-108, 11},   // out of memory
    {-41, 11},    // not enough memory to open a file
    {-34, 12},    // disk full
    {-37, 13},    // bad file name
    {-48, 14},    // file already exists
    {-120, 15},   // folder not found
    {-192, 16},   // resource not found
    {-47, 17},    // file busy
    {-2005, 18},  // wrong kind of component
    {-50, 19},    // bad parameter
    {-8973, 20},  // codec could not be opened
    {-43, 21},    // file not found
    {-8961, 23},  // no codec
    {-2048, 25},  // not a movie
    {-8960, 26},  // codec failure
}};

struct RangeExplanation {
  int32_t lowest;
  int32_t highest;
  int16_t index;  // in list 133
};

// First match wins.
constexpr std::array<RangeExplanation, 8> kRangeExplanations{{
    {-61, -33, 1},      // file system
    {-127, -120, 2},    // folders and catalog
    {-1305, -1300, 2},  // file IDs
    {-199, -185, 3},    // resources
    {-232, -200, 4},    // sound
    {-1719, -1700, 5},  // events between programs
    {-117, -108, 6},    // memory
    {-2209, -2000, 7},  // movies and components
}};

}  // namespace

IndStringRef GetErrorExplanationRef(int32_t err) {
  if (err == noErr) return {};
  for (const CodeExplanation& e : kCodeExplanations)
    if (e.code == err) return {kErrorCodeStringListID, e.index};
  for (const RangeExplanation& r : kRangeExplanations)
    if (err >= r.lowest && err <= r.highest) return {kErrorRangeStringListID, r.index};
  return {};
}

std::optional<ClassicErrorAlertParams> ComposeClassicErrorMessage(int16_t messageIndex, int32_t location,
                                                                  int32_t err, IndStringSource getString) {
  if (err == userCanceledErr) return std::nullopt;

  ClassicErrorAlertParams params{};
  getString(params.task, kErrorTaskStringListID, messageIndex);

  CopyToStr255(std::to_string(location) + "," + std::to_string(err), params.stepAndCode);

  const IndStringRef explanation = GetErrorExplanationRef(err);
  if (explanation.index != 0) getString(params.explanation, explanation.listID, explanation.index);
  return params;
}

}  // namespace fw
