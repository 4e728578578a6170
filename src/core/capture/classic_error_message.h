// How the classic program composes its error alert (alert 200) from a
// message index, a step number and a code: the sentence naming the failed
// task, "step,code", and an explanation of the code. The texts are the
// classic program's resources; this decides which of them to show, and its
// shell puts the alert up.
#pragma once

#include <cstdint>
#include <optional>

#include "core/util/types.h"

namespace fw {

// String lists of the classic program's resources that the alert draws on.
constexpr int16_t kErrorTaskStringListID = 129;   // one sentence per failed task
constexpr int16_t kErrorCodeStringListID = 130;   // explanations of single codes
constexpr int16_t kErrorRangeStringListID = 133;  // explanations of ranges of codes
constexpr int16_t kErrorAlertID = 200;

// One string of a string list; index 0 for none.
struct IndStringRef {
  int16_t listID = 0;
  int16_t index = 0;
  friend bool operator==(const IndStringRef&, const IndStringRef&) = default;
};

// The string that explains `err`: the single codes of list 130 first, then
// the ranges of list 133 in their order; none for 0 and for unknown codes.
IndStringRef GetErrorExplanationRef(int32_t err);

// Looks up string `index` of string list `listID`; an empty string when
// there is none (GetIndString of the classic program's resources).
using IndStringSource = void (*)(Str255 out, int16_t listID, int16_t index);

// The three parameters of alert 200.
struct ClassicErrorAlertParams {
  Str255 task;         // string messageIndex of list 129
  Str255 stepAndCode;  // location and err in decimal, joined by a comma: "1030,-108"
  Str255 explanation;  // empty when no string explains err
};

// Nothing when the user cancelled (-128): there is nothing to tell them.
std::optional<ClassicErrorAlertParams> ComposeClassicErrorMessage(int16_t messageIndex, int32_t location,
                                                                  int32_t err, IndStringSource getString);

}  // namespace fw
