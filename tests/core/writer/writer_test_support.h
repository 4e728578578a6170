// Shared helpers of the writer tests: simulated disks, a record of the
// background writes, waits with a deadline, file contents.
#pragma once

#include <gtest/gtest.h>
#include <sched.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/platform/fault_injection.h"
#include "core/platform/files.h"
#include "core/platform/volumes.h"
#include "core/writer/async_file_writer.h"
#include "core/writer/async_file_writer_record.h"
#include "core/writer/background_file_writer.h"
#include "core/writer/file_durability.h"
#include "support/temp_dir.h"

namespace writer_test {

// The disk every file opened on this thread is on (the resolver ignores the
// volume: all test files share one). Tests that need a slot of their own
// take a FreshDisk(); the others share this one, so that the 20 slots last
// for a run of the whole binary in one process.
constexpr int16_t kSharedTestDisk = 30000;
inline thread_local int16_t tSimulatedDisk = kSharedTestDisk;
inline int16_t SimulatedDisk(VolumeRef) {
  return tSimulatedDisk;
}

// A disk number no other test of this process has used.
inline int16_t FreshDisk() {
  static std::atomic<int16_t> next{1000};
  return next.fetch_add(1);
}

struct ObservedWrite {
  const AFWRecord* file;
  const void* data;
  uint32_t count;
};

inline std::mutex gObservedMutex;
inline std::vector<ObservedWrite> gObserved;

inline void RecordWrite(const AFWRecord* file, const void* data, uint32_t count) {
  std::lock_guard<std::mutex> lock(gObservedMutex);
  gObserved.push_back({file, data, count});
}

inline void ClearObservedWrites() {
  std::lock_guard<std::mutex> lock(gObservedMutex);
  gObserved.clear();
}

// The background writes of one file so far, in order.
inline std::vector<ObservedWrite> ObservedWritesOf(const AFWRecord* file) {
  std::lock_guard<std::mutex> lock(gObservedMutex);
  std::vector<ObservedWrite> out;
  for (const ObservedWrite& w : gObserved)
    if (w.file == file) out.push_back(w);
  return out;
}

// Waits until the record has no write in flight; false after 10 s.
inline bool WaitIdle(const AFWRecord* w) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (w->writeStatus.load(std::memory_order_acquire) == kAFWWriteInFlight) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline const std::string& Header() {
  static const std::string header("\0\0\0\x08wide\0\0\0\0mdat", 16);
  return header;
}

// n bytes that differ from frame to frame and from byte to byte.
inline std::string Frame(int tag, size_t n) {
  std::string s(n, '\0');
  uint32_t x = 0x9E3779B9u * static_cast<uint32_t>(tag + 1);
  for (size_t i = 0; i < n; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    s[i] = static_cast<char>(x);
  }
  return s;
}

inline int UsedSlots() {
  BFWThreadTable* table = gBFileThreadStruct.load();
  if (table == nullptr) return 0;
  int used = 0;
  for (const BFWThreadRecord& slot : table->slots) used += slot.used.load() ? 1 : 0;
  return used;
}

// Undoes every seam a test may have set.
class WriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fw::SetDiskNumberResolverForTesting(&SimulatedDisk);
    tSimulatedDisk = kSharedTestDisk;
    ClearObservedWrites();
    fw::BFWSetWriteObserverForTesting(&RecordWrite);
  }
  void TearDown() override {
    fw::BFWHoldWritesForTesting(false);
    fw::BFWSetWriteObserverForTesting(nullptr);
    fw::BFWSuppressSignalsForTesting(false);
    fw::BFWSetPollIntervalForTesting(0);
    fw::BFWSetWriteBehindWindowForTesting(0);
    fw::BFWSetSyncObserverForTesting(nullptr);
    fw::BFWSetSyncIntervalForTesting(0);
    fw::AFWFailBufferAllocationsForTesting(0);
    fw::ClearWriteFaults();
    fw::SetDiskNumberResolverForTesting(nullptr);
  }

  // A new file in the test's folder, holding `contents`.
  fw::FileRef NewFile(const std::string& name, const std::string& contents = "") {
    fw::FileRef ref;
    EXPECT_EQ(fw::MakeFileRef(dir_.file(name), &ref), noErr);
    std::ofstream(ref.path, std::ios::binary) << contents;
    return ref;
  }

  TempDir dir_;
};

}  // namespace writer_test
