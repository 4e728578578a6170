#include "core/stopmotion/stop_motion.h"

#include <algorithm>

namespace fw {

std::optional<StopMotionCommand> StopMotionCommandForCharacter(uint32_t character) {
  switch (character) {
    case 'o':
    case 'O':
      return StopMotionCommand::kToggleOnionSkin;
    case '[':
      return StopMotionCommand::kLessOnionSkin;
    case ']':
      return StopMotionCommand::kMoreOnionSkin;
    case 8:
    case 127:
      return StopMotionCommand::kTakeBackFrame;
    case 'p':
    case 'P':
      return StopMotionCommand::kReview;
    default:
      return std::nullopt;
  }
}

bool OnionSkin::Apply(StopMotionCommand command) {
  switch (command) {
    case StopMotionCommand::kToggleOnionSkin:
      on_ = !on_;
      return true;
    // Stepping shows the onion skin too: the user sees what the step did.
    case StopMotionCommand::kLessOnionSkin:
      opacityPercent_ = on_ ? std::max(kMinPercent, opacityPercent_ - kStepPercent) : opacityPercent_;
      on_ = true;
      return true;
    case StopMotionCommand::kMoreOnionSkin:
      opacityPercent_ = on_ ? std::min(kMaxPercent, opacityPercent_ + kStepPercent) : opacityPercent_;
      on_ = true;
      return true;
    default:
      return false;
  }
}

bool ReviewLoop::Begin(uint64_t nowNanos, size_t frameCount, int32_t hundredTimesMovieFPS) {
  if (frameCount == 0) return false;
  const uint64_t rate = hundredTimesMovieFPS > 0 ? static_cast<uint64_t>(hundredTimesMovieFPS) : 1800;
  frames_ = std::min(frameCount, kMaxFrames);
  firstKept_ = frameCount - frames_;
  frameNanos_ = 100'000'000'000ULL / rate;
  startNanos_ = nowNanos;
  active_ = true;
  return true;
}

std::optional<size_t> ReviewLoop::FrameAt(uint64_t nowNanos) {
  if (!active_) return std::nullopt;
  const uint64_t elapsed = nowNanos > startNanos_ ? nowNanos - startNanos_ : 0;
  const uint64_t index = elapsed / frameNanos_;
  if (index >= frames_) {
    active_ = false;
    return std::nullopt;
  }
  return static_cast<size_t>(index);
}

}  // namespace fw
