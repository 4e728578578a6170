// One benchmark capture: the real capture core (the data procedure, the
// frame schedule in every-frame mode, the asynchronous writer and its disk
// thread, the movie resource) fed with synthetic frames, the screen replaced
// by quiet stand-ins, timed from the start of the capture to the data on
// the disk.
#pragma once

#include <csignal>
#include <cstdint>
#include <optional>
#include <string>

#include "bench_options.h"
#include "synthetic_frames.h"

// Spread of the per-call times of one measure.
struct CallTimeSpread {
  double medianMicroseconds = 0;
  double p99Microseconds = 0;
  double maxMicroseconds = 0;
};

struct CaptureRunResult {
  uint32_t framesWritten = 0;
  uint64_t frameDataBytes = 0;  // frames × bytes of one frame
  uint64_t fileBytes = 0;       // the finished movie file
  // From the start of the capture (the file created) until fdatasync returned.
  double seconds = 0;
  // From the first frame handed over until the last call returned.
  double feedSeconds = 0;
  // Each call of the data procedure: with no preview and no trims, one
  // AFWWriteData and a few comparisons.
  CallTimeSpread writeCall;
  // Time the capture loop spent waiting for the disk (in the writer's wait
  // for the write in flight, or writing the backup buffer itself).
  double diskWaitMilliseconds = 0;
  uint32_t callsThatWaited = 0;
  double longestWaitMilliseconds = 0;
  uint32_t syncFlushes = 0;
  // Paced runs only: calls whose wait for the disk exceeded one frame
  // period, and frames handed over more than one period after they were due
  // (a device would have replaced them by the next one).
  std::optional<uint32_t> waitsOverFramePeriod;
  std::optional<uint32_t> framesLate;
  double stopMilliseconds = 0;    // ending the capture: the writer drained, the movie finished
  double finishMilliseconds = 0;  // adding the movie resource alone
  double fdatasyncMilliseconds = 0;
  uint64_t movieResourceBytes = 0;
  // The signal that stopped the run early (its capture then ended as the
  // programs end one, its movie finished); 0 when none did.
  int stopSignal = 0;
};

// Set by fwbench's SIGTERM and SIGINT handler to the signal's number: the
// feed stops at the next frame (or wait) and the capture is ended.
extern volatile sig_atomic_t gBenchStopSignal;

// Runs the capture into options.outPath. Returns false with `*error` set
// when the capture failed (its alert text) or the file could not be
// finished; what reached the file stays there.
bool RunBenchCapture(const BenchOptions& options, SyntheticFrames& frames, CaptureRunResult* result,
                     std::string* error);
