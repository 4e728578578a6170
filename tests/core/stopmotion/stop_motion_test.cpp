#include "core/stopmotion/stop_motion.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "core/imaging/blend.h"
#include "core/stopmotion/recent_frames.h"

using namespace fw;

namespace {

using Command = StopMotionCommand;

TEST(StopMotionTest, KeysAndOnionSkinSteps) {
  const std::pair<uint32_t, std::optional<Command>> keys[] = {
      {'o', Command::kToggleOnionSkin},
      {'O', Command::kToggleOnionSkin},
      {'[', Command::kLessOnionSkin},
      {']', Command::kMoreOnionSkin},
      {8, Command::kTakeBackFrame},
      {127, Command::kTakeBackFrame},
      {'p', Command::kReview},
      {'P', Command::kReview},
      {' ', std::nullopt},
      {27, std::nullopt},
      {'q', std::nullopt},
  };
  for (const auto& [character, command] : keys)
    EXPECT_EQ(StopMotionCommandForCharacter(character), command) << character;

  // From the default (off, 50 %): each command and the state after it.
  struct Step {
    Command command;
    bool on;
    int percent;
    uint32_t weight256;
  };
  const Step steps[] = {
      {Command::kMoreOnionSkin, true, 50, 128},  // stepping while off shows it as it was
      {Command::kMoreOnionSkin, true, 75, 192},  {Command::kMoreOnionSkin, true, 75, 192},
      {Command::kToggleOnionSkin, false, 75, 0}, {Command::kToggleOnionSkin, true, 75, 192},
      {Command::kLessOnionSkin, true, 50, 128},  {Command::kLessOnionSkin, true, 25, 64},
      {Command::kLessOnionSkin, true, 25, 64},
  };
  OnionSkin onion;
  EXPECT_FALSE(onion.On());
  EXPECT_EQ(onion.Weight256(), 0u);
  for (const Step& s : steps) {
    EXPECT_TRUE(onion.Apply(s.command));
    EXPECT_EQ(onion.On(), s.on);
    EXPECT_EQ(onion.OpacityPercent(), s.percent);
    EXPECT_EQ(onion.Weight256(), s.weight256);
  }
  EXPECT_FALSE(onion.Apply(Command::kReview));
  EXPECT_FALSE(onion.Apply(Command::kTakeBackFrame));
}

TEST(StopMotionTest, ReviewPlaysTheLastTwelveAtTheMovieRateThenEnds) {
  constexpr uint64_t kMs = 1'000'000;
  ReviewLoop review;
  EXPECT_FALSE(review.Begin(0, 0, 1250));
  EXPECT_FALSE(review.Active());

  // 20 frames kept at 12.5 frames per second: frames 8 to 19, 80 ms each.
  ASSERT_TRUE(review.Begin(1000 * kMs, 20, 1250));
  EXPECT_EQ(review.FirstKeptIndex(), 8u);
  const std::pair<uint64_t, std::optional<size_t>> times[] = {
      {1000 * kMs, 0},
      {1080 * kMs - 1, 0},
      {1080 * kMs, 1},
      {1000 * kMs + 11 * 80 * kMs, 11},
      {1000 * kMs + 12 * 80 * kMs - 1, 11},
      {1000 * kMs + 12 * 80 * kMs, std::nullopt},
  };
  for (const auto& [now, frame] : times) EXPECT_EQ(review.FrameAt(now), frame) << now;
  EXPECT_FALSE(review.Active());
  EXPECT_EQ(review.FrameAt(1000 * kMs), std::nullopt);  // over until begun again

  // Fewer than 12 kept; a rate of 0 plays at 18 frames per second.
  ASSERT_TRUE(review.Begin(0, 3, 0));
  EXPECT_EQ(review.FirstKeptIndex(), 0u);
  EXPECT_EQ(review.FrameAt(3 * (1'000'000'000 / 18) - 1), 2u);
  EXPECT_EQ(review.FrameAt(3 * 55'555'556), std::nullopt);
}

TEST(StopMotionTest, RecentFramesKeepTheNewestWithinBoundsAndReuseMemory) {
  constexpr int32_t kRowBytes = 8, kHeight = 4;
  std::vector<uint8_t> source(kRowBytes * kHeight);
  auto keep = [&](RecentFrames& frames, uint32_t number) {
    std::fill(source.begin(), source.end(), static_cast<uint8_t>(number));
    return frames.Keep(source.data(), kRowBytes, 4, kHeight, number);
  };

  RecentFrames frames;
  EXPECT_EQ(frames.Keep(nullptr, kRowBytes, 4, kHeight, 1), paramErr);
  EXPECT_EQ(frames.Keep(source.data(), kRowBytes, 4, 0, 1), paramErr);
  EXPECT_TRUE(frames.Empty());
  for (uint32_t n = 1; n <= 12; ++n) ASSERT_EQ(keep(frames, n), noErr);
  const uint8_t* oldestMemory = frames.At(0).bytes.data();
  ASSERT_EQ(keep(frames, 13), noErr);
  EXPECT_EQ(frames.Count(), 12u);
  EXPECT_EQ(frames.At(0).frameNumber, 2u);
  EXPECT_EQ(frames.Newest()->frameNumber, 13u);
  EXPECT_EQ(frames.Newest()->bytes.data(), oldestMemory);  // the frame that went lent its memory
  std::fill(source.begin(), source.end(), 0);              // a copy, not the caller's buffer
  EXPECT_EQ(frames.Newest()->bytes, std::vector<uint8_t>(kRowBytes * kHeight, 13));

  frames.DropNewest();
  frames.DropNewest();
  EXPECT_EQ(frames.Newest()->frameNumber, 11u);
  EXPECT_EQ(frames.Count(), 10u);

  // A byte limit of two and a half frames keeps two; a limit below one frame
  // still keeps the newest.
  RecentFrames small(kRowBytes * kHeight * 5 / 2);
  for (uint32_t n = 1; n <= 4; ++n) ASSERT_EQ(keep(small, n), noErr);
  EXPECT_EQ(small.Count(), 2u);
  EXPECT_EQ(small.At(0).frameNumber, 3u);
  RecentFrames tiny(1);
  for (uint32_t n = 1; n <= 3; ++n) ASSERT_EQ(keep(tiny, n), noErr);
  EXPECT_EQ(tiny.Count(), 1u);
  EXPECT_EQ(tiny.Newest()->frameNumber, 3u);
  tiny.DropNewest();
  tiny.DropNewest();  // nothing left: no effect
  EXPECT_EQ(tiny.Newest(), nullptr);
}

TEST(StopMotionTest, BlendWeighsEachChannel) {
  struct Case {
    uint32_t live, over, weight256, expected;
  };
  const Case cases[] = {
      {0xFF102030u, 0xFF90A0B0u, 0, 0xFF102030u},   {0xFF102030u, 0xFF90A0B0u, 256, 0xFF90A0B0u},
      {0xFF102030u, 0xFF90A0B0u, 128, 0xFF506070u}, {0xFF000000u, 0xFFFFFFFFu, 64, 0xFF404040u},
      {0x00FF00FFu, 0xFF00FF00u, 128, 0x80808080u}, {0xFF102030u, 0xFF90A0B0u, 999, 0xFF90A0B0u},
  };
  for (const Case& c : cases) {
    uint32_t live[3] = {c.live, c.live, 0x12345678u};
    const uint32_t over[2] = {c.over, c.over};
    // Two pixels of a three-pixel row: the third is outside the blend.
    BlendRGB32(RGB32ImageView{live, 12, 2, 1}, ConstRGB32ImageView{over, 8, 2, 1}, c.weight256);
    EXPECT_EQ(live[0], c.expected) << std::hex << c.live << " over " << c.over << " at " << std::dec
                                   << c.weight256;
    EXPECT_EQ(live[1], c.expected);
    EXPECT_EQ(live[2], 0x12345678u);
  }
}

}  // namespace
