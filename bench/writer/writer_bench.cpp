// The cost of one AFWWriteData for a 1080p and a 2160p '2vuy' frame, against
// a plain memcpy of the same size in the same run. The writer writes to
// /dev/null, so its thread never holds the producer up: what is timed is
// the call alone (copy, hand-over, wake-up), as the capture loop pays it.
//
//   BM_Memcpy             memcpy into one of two warm buffers, alternating
//   BM_AFWWriteData       nothing in flight: copy into a buffer and queue it
//   BM_AFWWriteDataParked a write in flight: copy behind it into the backup
//                         buffer, nothing queued
//
// Between timed calls the state is reset with the timer paused, and every
// benchmark, the baseline too, then sleeps 1 ms: each timed call starts
// right after a wake-up, so that other load on the machine, which preempts
// a busy loop more than a thread that has just slept, treats all alike.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "core/writer/async_file_writer.h"
#include "core/writer/async_file_writer_record.h"
#include "core/writer/background_file_writer.h"

using namespace fw;

namespace {

constexpr int64_t k1080p = 1920 * 1080 * 2;
constexpr int64_t k2160p = 3840 * 2160 * 2;

std::vector<uint8_t> RandomFrame(size_t n) {
  std::vector<uint8_t> frame(n);
  std::mt19937_64 rng(42);
  for (size_t i = 0; i + 8 <= n; i += 8) {
    const uint64_t x = rng();
    std::memcpy(&frame[i], &x, 8);
  }
  return frame;
}

void WaitIdle(AFWRef w) {
  while (w->writeStatus.load(std::memory_order_acquire) == kAFWWriteInFlight) {
  }
}

void Settle() {
  ::usleep(1000);
}

void BM_Memcpy(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const std::vector<uint8_t> frame = RandomFrame(n);
  std::vector<uint8_t> target[2] = {std::vector<uint8_t>(n, 1), std::vector<uint8_t>(n, 1)};
  int i = 0;
  for (auto _ : state) {
    std::memcpy(target[i].data(), frame.data(), n);
    benchmark::DoNotOptimize(target[i].data());
    benchmark::ClobberMemory();
    i ^= 1;
    state.PauseTiming();
    Settle();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

AFWRef OpenDevNull() {
  const FileRef devNull{"/dev/null"};
  AFWRef w = nullptr;
  if (AFWOpenFile(&devNull, false, &w) != noErr) return nullptr;
  return w;
}

void BM_AFWWriteData(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const std::vector<uint8_t> frame = RandomFrame(n);
  AFWRef w = OpenDevNull();
  if (w == nullptr) {
    state.SkipWithError("cannot open /dev/null");
    return;
  }
  // Both buffers grown and touched, as after the first frames of a capture.
  for (int i = 0; i < 4; ++i) {
    if (AFWWriteData(w, frame.data(), static_cast<uint32_t>(n), 1) != noErr) {
      state.SkipWithError("AFWWriteData failed");
      AFWDispose(w);
      return;
    }
    WaitIdle(w);
  }
  for (auto _ : state) {
    const OSErr err = AFWWriteData(w, frame.data(), static_cast<uint32_t>(n), 1);
    state.PauseTiming();
    if (err != noErr) state.SkipWithError("AFWWriteData failed");
    WaitIdle(w);
    Settle();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
  AFWDispose(w);
}

void BM_AFWWriteDataParked(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const std::vector<uint8_t> frame = RandomFrame(n);
  AFWRef w = OpenDevNull();
  if (w == nullptr) {
    state.SkipWithError("cannot open /dev/null");
    return;
  }
  auto writeInFlightBackupEmpty = [&] {
    BFWHoldWritesForTesting(false);
    OSErr err = AFWFlushBackupBuffer(w);  // waits, then writes what was parked
    BFWHoldWritesForTesting(true);
    if (err == noErr) err = AFWWriteData(w, frame.data(), static_cast<uint32_t>(n), 1);  // held in flight
    return err;
  };
  // Warm: the backup buffers grown and touched.
  OSErr warmErr = noErr;
  for (int i = 0; i < 4 && warmErr == noErr; ++i) {
    warmErr = writeInFlightBackupEmpty();
    if (warmErr == noErr) warmErr = AFWWriteData(w, frame.data(), static_cast<uint32_t>(n), 1);
  }
  if (warmErr == noErr) warmErr = writeInFlightBackupEmpty();
  if (warmErr != noErr) {
    state.SkipWithError("AFWWriteData failed");
    BFWHoldWritesForTesting(false);
    AFWDispose(w);
    return;
  }
  for (auto _ : state) {
    OSErr err = AFWWriteData(w, frame.data(), static_cast<uint32_t>(n), 1);
    state.PauseTiming();
    if (err == noErr) err = writeInFlightBackupEmpty();
    if (err != noErr) state.SkipWithError("AFWWriteData failed");
    Settle();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
  BFWHoldWritesForTesting(false);
  AFWDispose(w);
}

BENCHMARK(BM_Memcpy)->Arg(k1080p)->Arg(k2160p)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AFWWriteData)->Arg(k1080p)->Arg(k2160p)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AFWWriteDataParked)->Arg(k1080p)->Arg(k2160p)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
