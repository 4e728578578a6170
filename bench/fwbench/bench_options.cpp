// fwbench's command line.
#include "bench_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

constexpr int32_t kDefaultHundredTimesMovieFPS = 1800;
// The capture core keeps the trimmed size in 16 signed bits.
constexpr int64_t kMaxSidePixels = 0x7FFF;
// The movie's frame count is a signed 32-bit number.
constexpr int64_t kMaxFrames = 0x7FFFFFFF;
constexpr double kMaxRateFramesPerSecond = 1000.0;

// A whole decimal number in [min, max], nothing after it.
bool ParseInteger(const char* text, int64_t min, int64_t max, int64_t* out) {
  if (text == nullptr || *text == '\0' || *text == '-' || *text == '+' || *text == ' ') return false;
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value < min || value > max) return false;
  *out = value;
  return true;
}

bool ParseRate(const char* text, double* out) {
  if (text == nullptr || *text == '\0' || *text == ' ') return false;
  errno = 0;
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (errno != 0 || end == text || *end != '\0' || !std::isfinite(value) || value <= 0.0 ||
      value > kMaxRateFramesPerSecond) {
    return false;
  }
  *out = value;
  return true;
}

}  // namespace

const char* BenchUsage() {
  return "usage: fwbench --width W --height H --frames N [--rate FPS] [--fps100 R] [--handover-log LOG]\n"
         "               --out FILE.mov\n"
         "       fwbench --width W --height H --frames N --emit-raw FILE|-\n"
         "Captures N synthetic '2vuy' frames of W x H pixels through the capture core into\n"
         "FILE.mov and prints one JSON object of timings. Without --rate the frames are fed\n"
         "as fast as the core takes them; with --rate, at FPS frames a second like a device.\n"
         "--fps100 sets the movie's rate x 100 (default: the --rate's, else 1800).\n"
         "--emit-raw writes the very same frames, raw, to FILE (- for standard output).\n"
         "--handover-log writes a line \"NUMBER NANOSECONDS\" to LOG as each frame is handed to\n"
         "the writer (CLOCK_MONOTONIC), so a kill loses none of them.\n"
         "W is even, 2 to 32766; H 1 to 32767; N 1 to 2147483647; FPS up to 1000.\n";
}

bool ParseBenchOptions(int argc, const char* const* argv, BenchOptions* out, std::string* problem) {
  BenchOptions o;
  bool haveWidth = false, haveHeight = false, haveFrames = false, haveFps100 = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view name = argv[i];
    if (name == "--help" || name == "-h") {
      out->mode = BenchMode::kHelp;
      return true;
    }
    if (!name.starts_with("--")) {
      *problem = "unexpected argument " + std::string(name.substr(0, 40));
      return false;
    }
    if (i + 1 >= argc) {
      *problem = std::string(name.substr(0, 40)) + " needs a value";
      return false;
    }
    const char* value = argv[++i];
    int64_t number = 0;
    if (name == "--width") {
      if (!ParseInteger(value, 2, kMaxSidePixels, &number) || number % 2 != 0) {
        *problem = "--width must be an even number of pixels from 2 to 32766";
        return false;
      }
      o.widthPixels = static_cast<int32_t>(number);
      haveWidth = true;
    } else if (name == "--height") {
      if (!ParseInteger(value, 1, kMaxSidePixels, &number)) {
        *problem = "--height must be a number of pixels from 1 to 32767";
        return false;
      }
      o.heightPixels = static_cast<int32_t>(number);
      haveHeight = true;
    } else if (name == "--frames") {
      if (!ParseInteger(value, 1, kMaxFrames, &number)) {
        *problem = "--frames must be a number from 1 to 2147483647";
        return false;
      }
      o.frameCount = static_cast<uint32_t>(number);
      haveFrames = true;
    } else if (name == "--rate") {
      double rate = 0;
      if (!ParseRate(value, &rate)) {
        *problem = "--rate must be a number of frames a second above 0, at most 1000";
        return false;
      }
      o.rateFramesPerSecond = rate;
    } else if (name == "--fps100") {
      if (!ParseInteger(value, 1, 0x7FFFFFFF, &number)) {
        *problem = "--fps100 must be a number from 1 to 2147483647";
        return false;
      }
      o.hundredTimesMovieFPS = static_cast<int32_t>(number);
      haveFps100 = true;
    } else if (name == "--out") {
      if (*value == '\0') {
        *problem = "--out needs a file name";
        return false;
      }
      o.outPath = value;
    } else if (name == "--handover-log") {
      if (*value == '\0') {
        *problem = "--handover-log needs a file name";
        return false;
      }
      o.handoverLogPath = value;
    } else if (name == "--emit-raw") {
      if (*value == '\0') {
        *problem = "--emit-raw needs a file name, or - for standard output";
        return false;
      }
      o.rawOutPath = value;
      o.mode = BenchMode::kEmitRaw;
    } else {
      *problem = "unknown option " + std::string(name.substr(0, 40));
      return false;
    }
  }
  if (!haveWidth || !haveHeight || !haveFrames) {
    *problem = "--width, --height and --frames are required";
    return false;
  }
  if (uint64_t{2} * uint32_t(o.widthPixels) * uint32_t(o.heightPixels) > kMaxBenchFrameBytes) {
    *problem = "frames of more than 128 MiB are not supported";
    return false;
  }
  if (o.mode == BenchMode::kEmitRaw) {
    if (!o.outPath.empty() || o.rateFramesPerSecond || haveFps100 || !o.handoverLogPath.empty()) {
      *problem = "--emit-raw takes no --out, --rate, --fps100 or --handover-log";
      return false;
    }
  } else if (o.outPath.empty()) {
    *problem = "--out is required";
    return false;
  }
  if (!haveFps100) {
    o.hundredTimesMovieFPS = o.rateFramesPerSecond
                                 ? static_cast<int32_t>(std::llround(*o.rateFramesPerSecond * 100.0))
                                 : kDefaultHundredTimesMovieFPS;
    if (o.hundredTimesMovieFPS < 1) o.hundredTimesMovieFPS = 1;
  }
  *out = o;
  return true;
}
