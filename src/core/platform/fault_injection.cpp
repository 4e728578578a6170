// Injected write faults for tests.
#include "core/platform/fault_injection.h"

#include <algorithm>
#include <atomic>
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

void ClearWriteFaults() {
  std::lock_guard<std::mutex> lock(gMutex);
  gFaults.clear();
  gReadFaults.clear();
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
