// Injected write faults for tests.
#include "core/platform/fault_injection.h"

#include <time.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <map>
#include <mutex>
#include <vector>

namespace fw {

namespace {

struct FaultState {
  WriteFault fault;
  int writesSeen = 0;
};

std::atomic<bool> gArmed{false};
std::mutex gMutex;
std::vector<FaultState> gFaults;
std::vector<ReadFault> gReadFaults;
std::map<int, std::string> gOpenPaths;

struct SlowdownState {
  WriteSlowdown slowdown;
  uint64_t busyUntilNanos = 0;  // CLOCK_MONOTONIC: when the simulated disk is free
};
std::vector<SlowdownState> gSlowdowns;

uint64_t RealMonotonicNanos() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1'000'000'000u + static_cast<uint64_t>(now.tv_nsec);
}

bool IsUnder(const std::string& path, const std::string& folder) {
  if (folder.empty()) return false;
  if (folder == "/") return true;
  const std::string prefix = folder.back() == '/' ? folder : folder + '/';
  return path.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

void InjectWriteFault(const WriteFault& fault) {
  std::lock_guard<std::mutex> lock(gMutex);
  gFaults.push_back({fault, 0});
  gArmed.store(true, std::memory_order_release);
}

void InjectReadFault(const ReadFault& fault) {
  std::lock_guard<std::mutex> lock(gMutex);
  gReadFaults.push_back(fault);
  gArmed.store(true, std::memory_order_release);
}

void InjectWriteSlowdown(const WriteSlowdown& slowdown) {
  if (slowdown.bytesPerSecond == 0) return;
  std::lock_guard<std::mutex> lock(gMutex);
  gSlowdowns.push_back({slowdown, 0});
  gArmed.store(true, std::memory_order_release);
}

void ClearWriteFaults() {
  std::lock_guard<std::mutex> lock(gMutex);
  gFaults.clear();
  gReadFaults.clear();
  gSlowdowns.clear();
  gOpenPaths.clear();
  gArmed.store(false, std::memory_order_release);
}

namespace fault_injection_detail {

bool Armed() {
  return gArmed.load(std::memory_order_relaxed);
}

void NoteOpened(int fd, const std::string& path) {
  std::lock_guard<std::mutex> lock(gMutex);
  gOpenPaths[fd] = path;
}

void NoteClosed(int fd) {
  std::lock_guard<std::mutex> lock(gMutex);
  gOpenPaths.erase(fd);
}

OSErr CheckWrite(int fd, uint64_t offsetBytes, size_t sizeBytes, size_t* allowedBytes) {
  std::lock_guard<std::mutex> lock(gMutex);
  auto open = gOpenPaths.find(fd);
  if (open == gOpenPaths.end()) return noErr;
  for (FaultState& state : gFaults) {
    if (state.fault.path != open->second) continue;
    ++state.writesSeen;
    if (state.fault.failOnWriteNumber != 0 && state.writesSeen == state.fault.failOnWriteNumber) {
      *allowedBytes = std::min(sizeBytes, state.fault.partialBytes);
      return state.fault.code;
    }
    const uint64_t limit = state.fault.sizeLimitBytes;
    if (offsetBytes + sizeBytes > limit) {
      *allowedBytes = offsetBytes >= limit ? 0 : static_cast<size_t>(limit - offsetBytes);
      return state.fault.code;
    }
  }
  return noErr;
}

void WaitAsSlowDisk(int fd, size_t sizeBytes) {
  uint64_t until = 0;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    auto open = gOpenPaths.find(fd);
    if (open == gOpenPaths.end()) return;
    for (SlowdownState& state : gSlowdowns) {
      if (!IsUnder(open->second, state.slowdown.folder)) continue;
      // One disk: this write starts when the one before it is done.
      const uint64_t start = std::max(RealMonotonicNanos(), state.busyUntilNanos);
      const auto takes = static_cast<uint64_t>(static_cast<double>(sizeBytes) * 1e9 /
                                               static_cast<double>(state.slowdown.bytesPerSecond));
      state.busyUntilNanos = start + takes;
      until = std::max(until, state.busyUntilNanos);
    }
  }
  if (until == 0) return;
  const timespec at{static_cast<time_t>(until / 1'000'000'000u), static_cast<long>(until % 1'000'000'000u)};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
  }
}

OSErr CheckRead(int fd) {
  std::lock_guard<std::mutex> lock(gMutex);
  auto open = gOpenPaths.find(fd);
  if (open == gOpenPaths.end()) return noErr;
  for (const ReadFault& fault : gReadFaults) {
    if (fault.path == open->second) return fault.code;
  }
  return noErr;
}

}  // namespace fault_injection_detail

}  // namespace fw
