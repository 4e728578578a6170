// The texts of the classic program's alerts.
#include "classic/resources/alerts.h"

#include <array>

#include "core/capture/classic_error_message.h"

using namespace fw;

namespace {

constexpr std::array<AlertTemplate, 4> kAlerts{{
    // The error alert: the failed task, then the step and the code, then what
    // the code means (empty when nothing is known about it).
    {kErrorAlertID, "^0\n\nStep and error code: ^1\n^2", "OK"},
    // A QuickTime movie needs a frame rate to play at.
    {203,
     "The movie frame rate is 0. Choose a frame rate above 0 in the Preferences before capturing a movie.",
     "OK"},
    // Without a video channel there is nothing the program can do.
    {204, "Sorry, no video input could be opened, so Framewright cannot run. It will now quit.", "OK"},
    // Captures cut short by a crash, a kill or a power cut, finished at this
    // start: one sentence each, composed by the recovery.
    {205, "^0", "OK"},
}};

}  // namespace

const AlertTemplate* GetAlertTemplate(int16_t alertID) {
  for (const AlertTemplate& alert : kAlerts)
    if (alert.alertID == alertID) return &alert;
  return nullptr;
}

std::string fw::SubstituteAlertParams(std::string_view text, std::span<const std::string> params) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '^' && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '3') {
      const auto which = static_cast<size_t>(text[i + 1] - '0');
      if (which < params.size()) out += params[which];
      ++i;
      continue;
    }
    out += text[i];
  }
  return out;
}
