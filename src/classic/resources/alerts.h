// The classic program's alert texts. An alert's text holds the placeholders
// ^0 to ^3, which the four alert parameters fill when it is shown.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

struct AlertTemplate {
  int16_t alertID;
  std::string_view text;
  std::string_view buttonTitle;  // the one button, also the default
};

// nullptr for an alert the program does not have.
const AlertTemplate* GetAlertTemplate(int16_t alertID);

namespace fw {

// `text` with ^0 to ^3 replaced by params[0] to params[3]; a placeholder
// without a parameter becomes empty. Parameters are inserted as they are,
// so a caret inside one is not taken for a placeholder.
std::string SubstituteAlertParams(std::string_view text, std::span<const std::string> params);

}  // namespace fw
