// Kills fwbench with SIGKILL in the middle of a paced capture, again and
// again, and finishes each capture through fwrecover: every recovered movie
// must be one ffprobe decodes, its frames numbered 1, 2, 3 … without a gap,
// holding at least every frame fwbench handed to the writer more than
// 250 ms before the kill (its hand-over log says which and when).
//
// FW_KILL_RUNS sets the number of runs (12 by default, to fit CI; the full
// check is 100) and FW_KILL_SEED the seed of the random kill times.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/platform/clocks.h"
#include "core/util/frame_stamp.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

using namespace fw;

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr uint64_t kFrameBytes = uint64_t{kWidth} * kHeight * 2;
constexpr uint64_t kHeaderBytes = 16;
constexpr uint64_t kDurableWithinNs = 250'000'000;

int EnvNumber(const char* name, int fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::atoi(value) : fallback;
}

// The frame numbers in the movie's media data, read from their stamps.
std::vector<uint32_t> StampsOf(const std::string& path, uint32_t frames) {
  std::vector<uint32_t> stamps;
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> frame(kFrameBytes);
  for (uint32_t i = 0; i < frames; ++i) {
    in.seekg(static_cast<std::streamoff>(kHeaderBytes + i * kFrameBytes));
    in.read(reinterpret_cast<char*>(frame.data()), static_cast<std::streamsize>(frame.size()));
    uint32_t number = 0;
    stamps.push_back(in && ReadFrameStamp(frame.data(), kWidth * 2, kWidth, kHeight, &number) ? number : 0);
  }
  return stamps;
}

// The last frame handed to the writer before `beforeNs`, from the log.
uint32_t LastHandedOverBefore(const std::string& logPath, uint64_t beforeNs) {
  std::ifstream in(logPath);
  uint32_t number = 0, last = 0;
  unsigned long long atNs = 0;
  while (in >> number >> atNs) {
    if (atNs < beforeNs) last = number;
  }
  return last;
}

TEST(FwbenchKillTest, EveryKilledCaptureIsRecoveredWithAllItsDurableFrames) {
  ASSERT_EQ(RunCommand("command -v ffprobe >/dev/null").status, 0) << "ffprobe is missing";
  const int runs = EnvNumber("FW_KILL_RUNS", 12);
  const unsigned seed = static_cast<unsigned>(EnvNumber("FW_KILL_SEED", static_cast<int>(::time(nullptr))));
  std::printf("%d runs, FW_KILL_SEED=%u\n", runs, seed);
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> killAfterMs(500, 5000);

  TempDir dir;
  const std::string state = dir.file("state");
  ASSERT_EQ(setenv("XDG_STATE_HOME", state.c_str(), 1), 0);
  for (int run = 0; run < runs; ++run) {
    const int waitMs = killAfterMs(random);
    SCOPED_TRACE("run " + std::to_string(run) + ", killed after " + std::to_string(waitMs) + " ms");
    const std::string movie = dir.file("take.mov"), log = dir.file("handover.log");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      execl(FWBENCH_PATH, FWBENCH_PATH, "--width", "640", "--height", "480", "--frames", "100000", "--rate",
            "60", "--handover-log", log.c_str(), "--out", movie.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
    const uint64_t killNs = MonotonicNanoseconds();
    ASSERT_EQ(kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "fwbench ended before the kill, status " << status;

    const CommandResult recovered = RunCommand(std::string(FWRECOVER_PATH) + " 2>&1");
    ASSERT_EQ(recovered.status, 0) << recovered.out;
    ASSERT_NE(recovered.out.find("was recovered as a movie of"), std::string::npos) << recovered.out;
    const CommandResult probe = RunCommand(
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of "
        "csv=p=0 " +
        Quote(movie));
    ASSERT_EQ(probe.status, 0) << "ffprobe refused the recovered movie";
    const uint32_t frames = static_cast<uint32_t>(std::strtoul(probe.out.c_str(), nullptr, 10));
    ASSERT_EQ(std::filesystem::file_size(movie) > kHeaderBytes + frames * kFrameBytes, true);
    const std::vector<uint32_t> stamps = StampsOf(movie, frames);
    for (uint32_t i = 0; i < frames; ++i) ASSERT_EQ(stamps[i], i + 1) << "frame " << i;
    const uint32_t durable = LastHandedOverBefore(log, killNs - kDurableWithinNs);
    EXPECT_GE(frames, durable) << "frames handed over more than 250 ms before the kill are missing";
    std::printf("run %d: killed after %d ms, %u frames recovered, %u handed over by kill - 250 ms\n", run,
                waitMs, frames, durable);
    std::filesystem::remove(movie);
  }
  unsetenv("XDG_STATE_HOME");
}

}  // namespace
