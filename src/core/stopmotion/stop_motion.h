// What the capture window offers an animator besides taking frames, as
// plain logic both programs drive from their own keys and draw in their own
// way: the onion skin (the last frame written laid over the live picture),
// taking back the last frame, and the review loop (the last frames played at
// the movie's rate). The keys are ones the capture windows leave unused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace fw {

enum class StopMotionCommand : uint8_t {
  kToggleOnionSkin,  // O
  kLessOnionSkin,    // [
  kMoreOnionSkin,    // ]
  kTakeBackFrame,    // Backspace or Delete
  kReview,           // P
};

// The command of a typed character (case-insensitive; Backspace 8, Delete
// 127), or none.
std::optional<StopMotionCommand> StopMotionCommandForCharacter(uint32_t character);

// The onion skin's state: off by default; when on, the last written frame is
// drawn over the live picture at the opacity, stepped by a quarter between a
// quarter and three quarters (full opacity would hide the live picture it
// exists to line up with).
class OnionSkin {
 public:
  static constexpr int kStepPercent = 25;
  static constexpr int kMinPercent = 25;
  static constexpr int kMaxPercent = 75;

  // Returns whether the command was the onion skin's.
  bool Apply(StopMotionCommand command);
  bool On() const { return on_; }
  int OpacityPercent() const { return opacityPercent_; }
  // The weight of the last frame over the live picture, 0 (off) to 256.
  uint32_t Weight256() const { return on_ ? static_cast<uint32_t>(opacityPercent_) * 256 / 100 : 0; }

 private:
  bool on_ = false;
  int opacityPercent_ = 50;
};

// The review loop: which of the kept frames (0 the oldest of `frameCount`)
// the capture window shows at a time after the review began, at the movie's
// rate; none once every frame had its time, when the live picture returns.
class ReviewLoop {
 public:
  static constexpr size_t kMaxFrames = 12;

  // Begins a review of the last min(frameCount, 12) frames at `moviePlayRate`
  // frames per second x 100 (the preferences' unit; values <= 0 play at 18).
  // Returns false (and changes nothing) when there is no frame to show.
  bool Begin(uint64_t nowNanos, size_t frameCount, int32_t hundredTimesMovieFPS);
  void End() { active_ = false; }
  bool Active() const { return active_; }
  // The frame to show now, counted from the oldest reviewed; ends the review
  // (and returns nothing) once the last frame's time is over.
  std::optional<size_t> FrameAt(uint64_t nowNanos);
  // The index into a list of `frameCount` kept frames of the reviewed frame.
  size_t FirstKeptIndex() const { return firstKept_; }

 private:
  bool active_ = false;
  uint64_t startNanos_ = 0;
  uint64_t frameNanos_ = 0;
  size_t frames_ = 0;
  size_t firstKept_ = 0;
};

}  // namespace fw
