// The backend with no screen.
#include "classic/toolbox/headless_backend.h"

#include <poll.h>

#include <algorithm>
#include <chrono>

#include "classic/toolbox/events.h"
#include "classic/toolbox/toolbox_state.h"

namespace fw {

void HeadlessBackend::ScheduleAtTick(uint32_t tick, std::function<void()> action) {
  scheduled_.push_back({tick, std::move(action)});
}

bool HeadlessBackend::RunDueActions() {
  bool ran = false;
  const uint32_t now = TickCount();
  // An action may schedule more: take the due ones out first.
  std::vector<Scheduled> due;
  for (auto it = scheduled_.begin(); it != scheduled_.end();) {
    if (it->tick <= now) {
      due.push_back(std::move(*it));
      it = scheduled_.erase(it);
    } else {
      ++it;
    }
  }
  std::stable_sort(due.begin(), due.end(), [](const auto& a, const auto& b) { return a.tick < b.tick; });
  for (auto& s : due) {
    s.action();
    ran = true;
  }
  return ran;
}

void HeadlessBackend::WaitForInput(int64_t timeoutMs) {
  if (RunDueActions() || timeoutMs <= 0) return;
  // Sleep until the wait ends or the next scripted action is due; a quit
  // signal wakes the sleep early.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (const auto& s : scheduled_) {
    const auto at = TB().start + std::chrono::microseconds(int64_t{s.tick} * 1000000 / 60 + 1000);
    deadline = std::min(deadline, at);
  }
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  if (left.count() > 0) {
    pollfd fd{GetQuitSignalWakeFd(), POLLIN, 0};
    poll(&fd, fd.fd >= 0 ? 1 : 0, static_cast<int>(left.count()));
  }
  RunDueActions();
}

int32_t HeadlessBackend::TrackMenuBar(Point where) {
  menuSelectPoints_.push_back(where);
  if (menuChoices_.empty()) return 0;
  const int32_t choice = menuChoices_.front();
  menuChoices_.pop_front();
  return choice;
}

int16_t HeadlessBackend::TrackPopupMenu(ControlRef control) {
  if (popupChoices_.empty()) return 0;
  const int16_t choice = popupChoices_.front();
  popupChoices_.pop_front();
  MenuRef menu = GetControlPopupMenuHandle(control);
  // A disabled item cannot be chosen, as on screen.
  return IsMenuItemEnabled(menu, choice) ? choice : 0;
}

OSErr HeadlessBackend::OpenURL(std::string_view url) {
  if (openURLResult_ == noErr) openedURLs_.emplace_back(url);
  return openURLResult_;
}

void HeadlessBackend::SetClipboardText(std::optional<std::string_view> text) {
  clipboard_ = text ? std::optional<std::string>(std::string(*text)) : std::nullopt;
}

}  // namespace fw
