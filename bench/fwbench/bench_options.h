// fwbench's command line: what to capture, how fast, and where.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

enum class BenchMode { kCapture, kEmitRaw, kHelp };

struct BenchOptions {
  BenchMode mode = BenchMode::kCapture;
  int32_t widthPixels = 0;
  int32_t heightPixels = 0;
  uint32_t frameCount = 0;
  // Frames a second of the paced feed; none: as fast as the core takes them.
  std::optional<double> rateFramesPerSecond;
  // The movie's rate × 100; by default the paced rate's, else Framewright
  // HD's default of 18 frames a second.
  int32_t hundredTimesMovieFPS = 0;
  std::string outPath;     // the movie (capture mode)
  std::string rawOutPath;  // the raw frames, "-" for standard output (emit mode)
  // One line per frame handed to the writer, "NUMBER NANOSECONDS" on the
  // monotonic clock, written as it happens (a kill loses none of them).
  std::string handoverLogPath;
};

// Largest frame fwbench prepares: it keeps a few of them in memory.
constexpr uint64_t kMaxBenchFrameBytes = 128ull << 20;

// Parses argv. On a bad command line returns false with `*problem` saying
// what is wrong (for the usage message).
bool ParseBenchOptions(int argc, const char* const* argv, BenchOptions* out, std::string* problem);

const char* BenchUsage();
