// fwbench's synthetic frames.
#include "synthetic_frames.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/util/frame_stamp.h"

using namespace fw;

namespace {

// xorshift64*: fast, and its bytes do not compress.
class NoiseSource {
 public:
  explicit NoiseSource(uint64_t seed) : state_(seed | 1) {}
  uint64_t Next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 0x2545F4914F6CDD1Dull;
  }

 private:
  uint64_t state_;
};

}  // namespace

SyntheticFrames::SyntheticFrames(int32_t widthPixels, int32_t heightPixels)
    : widthPixels_(widthPixels), heightPixels_(heightPixels) {
  frames_.resize(kDistinctFrames);
  for (int i = 0; i < kDistinctFrames; ++i) {
    std::vector<uint8_t>& frame = frames_[static_cast<size_t>(i)];
    frame.resize(frameBytes());
    NoiseSource noise(0x9E3779B97F4A7C15ull * static_cast<uint64_t>(i + 1));
    for (size_t at = 0; at < frame.size(); at += 8) {
      const uint64_t word = noise.Next();
      std::memcpy(frame.data() + at, &word, std::min<size_t>(8, frame.size() - at));
    }
  }
}

uint8_t* SyntheticFrames::Frame(uint32_t number) {
  std::vector<uint8_t>& frame = frames_[(number - 1) % kDistinctFrames];
  StampFrameNumber(frame.data(), rowBytes(), widthPixels_, heightPixels_, number);
  return frame.data();
}

int WriteRawFrames(SyntheticFrames& frames, uint32_t frameCount, int fd) {
  for (uint32_t number = 1; number <= frameCount; ++number) {
    const uint8_t* bytes = frames.Frame(number);
    size_t done = 0;
    while (done < frames.frameBytes()) {
      const ssize_t n = ::write(fd, bytes + done, frames.frameBytes() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return n < 0 ? errno : EIO;
      done += static_cast<size_t>(n);
    }
  }
  return 0;
}
