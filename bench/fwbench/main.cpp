// fwbench: capture throughput of the whole capture core, from frames handed
// to the data procedure to a finished movie on the disk. Prints one JSON
// object; bench/compare.sh sets it against dd and ffmpeg.
//
//   fwbench --width W --height H --frames N [--rate FPS] [--fps100 R] --out FILE.mov
//   fwbench --width W --height H --frames N --emit-raw FILE|-
//
// Exit status: 0 done, 1 the capture failed (its message on stderr), 2 a bad
// command line, 128 + the signal's number when SIGTERM or SIGINT stopped the
// capture (its movie is finished first, as the programs finish one).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "bench_options.h"
#include "capture_run.h"
#include "core/platform/files.h"
#include "synthetic_frames.h"

using namespace fw;

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int UsageError(const std::string& problem) {
  std::fprintf(stderr, "fwbench: %s\n%s", problem.c_str(), BenchUsage());
  return kExitUsage;
}

// A capture replaces the file it is given and deletes it when no frame
// could be written: only a regular file, or none, may stand there. (A path
// that cannot be looked at is left to the capture, which reports why it
// cannot create the file.)
bool OutPathIsSafe(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return true;
  return S_ISREG(st.st_mode);
}

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (const char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string JsonNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

template <typename T>
std::string OptionalNumber(const std::optional<T>& value) {
  return value ? std::to_string(*value) : std::string("null");
}

void PrintResult(const BenchOptions& o, const CaptureRunResult& r) {
  const std::string rate = o.rateFramesPerSecond ? JsonNumber(*o.rateFramesPerSecond) : "null";
  const std::string period = o.rateFramesPerSecond ? JsonNumber(1e3 / *o.rateFramesPerSecond) : "null";
  std::printf(
      "{\"out\":%s,\"width\":%d,\"height\":%d,\"frames\":%u,\"frameBytes\":%llu,\"bytes\":%llu,"
      "\"fileBytes\":%llu,\"hundredTimesMovieFPS\":%d,\"rateFramesPerSecond\":%s,\"framePeriodMilliseconds\":"
      "%s,"
      "\"seconds\":%.6f,\"framesPerSecond\":%.3f,\"megabytesPerSecond\":%.3f,\"feedSeconds\":%.6f,"
      "\"writeDataMicroseconds\":{\"median\":%.3f,\"p99\":%.3f,\"max\":%.3f},"
      "\"diskWait\":{\"totalMilliseconds\":%.3f,\"callsThatWaited\":%u,\"longestMilliseconds\":%.3f,"
      "\"syncFlushes\":%u,\"overFramePeriod\":%s},\"framesLate\":%s,"
      "\"stopMilliseconds\":%.3f,\"fdatasyncMilliseconds\":%.3f,"
      "\"movieResourceFinishMilliseconds\":%.3f,\"movieResourceBytes\":%llu}\n",
      JsonString(o.outPath).c_str(), o.widthPixels, o.heightPixels, r.framesWritten,
      static_cast<unsigned long long>(r.frameDataBytes / (r.framesWritten ? r.framesWritten : 1)),
      static_cast<unsigned long long>(r.frameDataBytes), static_cast<unsigned long long>(r.fileBytes),
      o.hundredTimesMovieFPS, rate.c_str(), period.c_str(), r.seconds, r.framesWritten / r.seconds,
      static_cast<double>(r.frameDataBytes) / r.seconds / 1e6, r.feedSeconds, r.writeCall.medianMicroseconds,
      r.writeCall.p99Microseconds, r.writeCall.maxMicroseconds, r.diskWaitMilliseconds, r.callsThatWaited,
      r.longestWaitMilliseconds, r.syncFlushes, OptionalNumber(r.waitsOverFramePeriod).c_str(),
      OptionalNumber(r.framesLate).c_str(), r.stopMilliseconds, r.fdatasyncMilliseconds, r.finishMilliseconds,
      static_cast<unsigned long long>(r.movieResourceBytes));
}

void OnStopSignal(int signalNumber) {
  gBenchStopSignal = signalNumber;
}

// SIGTERM and SIGINT stop the feed; the capture is then ended and its movie
// finished. A second one ends the program at once, for a disk that hangs.
// A file size limit fails writes as a full disk does, rather than killing
// the program with its movie unfinished.
void HandleSignals() {
  struct sigaction action = {};
  action.sa_handler = &OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  TreatFileSizeLimitAsFullDisk();
}

int EmitRaw(const BenchOptions& o, SyntheticFrames& frames) {
  const bool toStdout = o.rawOutPath == "-";
  const int fd =
      toStdout ? STDOUT_FILENO : ::open(o.rawOutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    std::fprintf(stderr, "fwbench: cannot create %s: %s\n", o.rawOutPath.c_str(), std::strerror(errno));
    return kExitFailed;
  }
  int err = WriteRawFrames(frames, o.frameCount, fd);
  if (!toStdout && ::close(fd) != 0 && err == 0) err = errno;
  if (err != 0) {
    std::fprintf(stderr, "fwbench: writing the raw frames to %s: %s\n", o.rawOutPath.c_str(),
                 std::strerror(err));
    return kExitFailed;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  BenchOptions options;
  std::string problem;
  if (!ParseBenchOptions(argc, argv, &options, &problem)) return UsageError(problem);
  if (options.mode == BenchMode::kHelp) {
    std::fputs(BenchUsage(), stdout);
    return 0;
  }
  if (options.mode == BenchMode::kCapture && !OutPathIsSafe(options.outPath)) {
    return UsageError(options.outPath + " exists and is not a regular file");
  }

  SyntheticFrames frames(options.widthPixels, options.heightPixels);
  if (options.mode == BenchMode::kEmitRaw) return EmitRaw(options, frames);

  HandleSignals();
  CaptureRunResult result;
  std::string error;
  if (!RunBenchCapture(options, frames, &result, &error)) {
    std::fprintf(stderr, "fwbench: %s\n", error.c_str());
    return result.stopSignal != 0 ? 128 + result.stopSignal : kExitFailed;
  }
  PrintResult(options, result);
  return std::fflush(stdout) == 0 ? 0 : kExitFailed;
}
