// The background write threads: slots per disk, the ring, the
// ways a thread is woken.
//
// The slot table lives as long as the process. ctest runs each case in a
// process of its own; run together in one process, the cases that need slots
// of their own come before the one that uses up all 20 (and would skip
// themselves, rather than fail, if run after it).
#include "core/writer/background_file_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/magic.h>
#include <sys/mman.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "core/platform/clocks.h"
#include "writer_test_support.h"

using namespace fw;

namespace writer_test {
namespace {

using BackgroundFileWriterTest = WriterTest;

BFWThreadRecord& Slot(int index) {
  return gBFileThreadStruct.load()->slots[index];
}

#define NEED_FREE_SLOTS(n)                \
  if (UsedSlots() > kBFWMaxThreads - (n)) \
  GTEST_SKIP() << "needs " << (n) << " free thread slots; run it alone (ctest does)"

struct ObservedSync {
  uint64_t identity;
  uint64_t durableSizeBytes;
  uint64_t atNanoseconds;
};
std::mutex gSyncMutex;
std::vector<ObservedSync> gSyncs;

void RecordSync(uint64_t identity, uint64_t durableSizeBytes) {
  std::lock_guard<std::mutex> lock(gSyncMutex);
  gSyncs.push_back({identity, durableSizeBytes, MonotonicNanoseconds()});
}

// The first sync of the file that made at least `sizeBytes` durable; false
// after 10 s.
bool WaitForSync(uint64_t identity, uint64_t sizeBytes, ObservedSync* out) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    {
      std::lock_guard<std::mutex> lock(gSyncMutex);
      for (const ObservedSync& s : gSyncs) {
        if (s.identity == identity && s.durableSizeBytes >= sizeBytes) {
          *out = s;
          return true;
        }
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

TEST_F(BackgroundFileWriterTest, TwoFilesOnOneDiskShareASlotAndAFileOnAnotherDiskGetsTheNext) {
  NEED_FREE_SLOTS(2);
  tSimulatedDisk = FreshDisk();
  const int firstFree = UsedSlots();
  FileRef a = NewFile("a.mov"), b = NewFile("b.mov"), c = NewFile("c.mov");
  AFWRef wa = nullptr, wb = nullptr, wc = nullptr;
  const int16_t firstDisk = tSimulatedDisk;
  ASSERT_EQ(AFWOpenFile(&a, false, &wa), noErr);
  ASSERT_EQ(AFWOpenFile(&b, false, &wb), noErr);
  tSimulatedDisk = FreshDisk();
  ASSERT_EQ(AFWOpenFile(&c, false, &wc), noErr);
  EXPECT_EQ(wa->threadIndex, firstFree);
  EXPECT_EQ(wb->threadIndex, firstFree);
  EXPECT_EQ(wc->threadIndex, firstFree + 1);
  EXPECT_EQ(Slot(firstFree).diskNumber, static_cast<uint16_t>(firstDisk));
  EXPECT_EQ(Slot(firstFree + 1).diskNumber, static_cast<uint16_t>(tSimulatedDisk));
  EXPECT_EQ(UsedSlots(), firstFree + 2);

  int16_t index = -1;
  EXPECT_EQ(BFWGetThreadForVolume(0, &index), noErr);
  EXPECT_EQ(index, firstFree + 1) << "the index is the one returned";

  const std::string fa = Frame(1, 5000), fb = Frame(2, 6000), fc = Frame(3, 7000);
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(AFWWriteData(wa, fa.data(), fa.size(), 1), noErr);
    ASSERT_EQ(AFWWriteData(wb, fb.data(), fb.size(), 1), noErr);
    ASSERT_EQ(AFWWriteData(wc, fc.data(), fc.size(), 1), noErr);
  }
  for (AFWRef w : {wa, wb, wc}) {
    EXPECT_EQ(AFWCloseFile(w), noErr);
    AFWDispose(w);
  }
  EXPECT_EQ(ReadAll(a.path), fa + fa + fa);
  EXPECT_EQ(ReadAll(b.path), fb + fb + fb);
  EXPECT_EQ(ReadAll(c.path), fc + fc + fc);
}

TEST_F(BackgroundFileWriterTest, VolumesWithoutADiskNumberShareTheSlotOfDisk0xFFFF) {
  if (UsedSlots() == kBFWMaxThreads) GTEST_SKIP() << "all slots used; run it alone (ctest does)";
  tSimulatedDisk = -1;
  int16_t first = -1, second = -1;
  ASSERT_EQ(BFWGetThreadForVolume(0, &first), noErr);
  ASSERT_EQ(BFWGetThreadForVolume(0, &second), noErr);
  EXPECT_EQ(first, second);
  EXPECT_EQ(Slot(first).diskNumber, 0xFFFF);
}

TEST_F(BackgroundFileWriterTest, TheRingWrapsAfter256Requests) {
  NEED_FREE_SLOTS(1);
  tSimulatedDisk = FreshDisk();
  FileRef file = NewFile("ring.mov");
  AFWRef w = nullptr;
  ASSERT_EQ(AFWOpenFile(&file, false, &w), noErr);
  BFWThreadRecord& slot = Slot(w->threadIndex);
  auto nextRequest = [&slot] {
    std::lock_guard<std::mutex> lock(slot.mutex);
    return slot.nextRequest;
  };
  ASSERT_EQ(nextRequest(), 0) << "a new thread's ring";
  std::string expected;
  for (int i = 0; i < 300; ++i) {
    const std::string f = Frame(i, 1 + i % 97);
    expected += f;
    ASSERT_EQ(AFWWriteData(w, f.data(), f.size(), 1), noErr);
    ASSERT_TRUE(WaitIdle(w));  // one request per frame
    if (i == 255) {
      EXPECT_EQ(nextRequest(), 0) << "wrapped to 0";
    }
  }
  EXPECT_EQ(nextRequest(), 300 - 256);
  EXPECT_EQ(slot.nextToWrite.load(), 300 - 256);
  EXPECT_EQ(AFWCloseFile(w), noErr);
  AFWDispose(w);
  EXPECT_EQ(ReadAll(file.path), expected);
}

TEST_F(BackgroundFileWriterTest, WithAFullRingTheNextRequestWaitsForAFreeEntry) {
  NEED_FREE_SLOTS(1);
  tSimulatedDisk = FreshDisk();
  constexpr int kFiles = kBFWRingSize + 1;
  std::vector<FileRef> files;
  std::vector<AFWRef> writers(kFiles, nullptr);
  for (int i = 0; i < kFiles; ++i) {
    files.push_back(NewFile("f" + std::to_string(i)));
    ASSERT_EQ(AFWOpenFile(&files[i], false, &writers[i]), noErr);
  }
  BFWHoldWritesForTesting(true);
  for (int i = 0; i < kBFWRingSize; ++i) {
    const std::string f = Frame(i, 64);
    ASSERT_EQ(AFWWriteData(writers[i], f.data(), f.size(), 1), noErr);
  }
  std::atomic<bool> returned{false};
  std::thread last([&] {
    const std::string f = Frame(kFiles - 1, 64);
    EXPECT_EQ(AFWWriteData(writers[kFiles - 1], f.data(), f.size(), 1), noErr);
    returned = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(returned.load()) << "256 requests outstanding: no entry is free";
  BFWHoldWritesForTesting(false);
  last.join();
  EXPECT_TRUE(returned.load());
  for (int i = 0; i < kFiles; ++i) {
    EXPECT_EQ(AFWCloseFile(writers[i]), noErr);
    AFWDispose(writers[i]);
    EXPECT_EQ(ReadAll(files[i].path), Frame(i, 64)) << i;
  }
}

TEST_F(BackgroundFileWriterTest, ARequestQueuedBeforeTheThreadWaitsIsWrittenAtOnce) {
  NEED_FREE_SLOTS(1);
  // With a one-minute poll, only the thread's first look or the signal can
  // find the request within the deadline of WaitIdle.
  BFWSetPollIntervalForTesting(60000);
  BFWHoldWritesForTesting(true);  // the new thread stops before its first look
  tSimulatedDisk = FreshDisk();
  FileRef file = NewFile("early.mov");
  AFWRef w = nullptr;
  ASSERT_EQ(AFWOpenFile(&file, false, &w), noErr);
  const std::string a = Frame(1, 4096);
  ASSERT_EQ(AFWWriteData(w, a.data(), a.size(), 1), noErr);
  BFWHoldWritesForTesting(false);
  ASSERT_TRUE(WaitIdle(w));
  EXPECT_EQ(AFWCloseFile(w), noErr);
  AFWDispose(w);
  EXPECT_EQ(ReadAll(file.path), a);
}

TEST_F(BackgroundFileWriterTest, ASignalWakesTheThreadAtOnce) {
  NEED_FREE_SLOTS(1);
  BFWSetPollIntervalForTesting(60000);
  tSimulatedDisk = FreshDisk();
  FileRef file = NewFile("signal.mov");
  AFWRef w = nullptr;
  ASSERT_EQ(AFWOpenFile(&file, false, &w), noErr);
  std::string expected;
  for (int i = 0; i < 20; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));  // let the thread fall asleep
    const std::string f = Frame(i, 1000);
    expected += f;
    ASSERT_EQ(AFWWriteData(w, f.data(), f.size(), 1), noErr);
    ASSERT_TRUE(WaitIdle(w)) << "not woken by the signal";
  }
  EXPECT_EQ(AFWCloseFile(w), noErr);
  AFWDispose(w);
  EXPECT_EQ(ReadAll(file.path), expected);
}

TEST_F(BackgroundFileWriterTest, WithoutSignalsThePollFindsTheRequests) {
  BFWSuppressSignalsForTesting(true);
  FileRef file = NewFile("poll.mov");
  AFWRef w = nullptr;
  ASSERT_EQ(AFWOpenFile(&file, false, &w), noErr);
  std::string expected;
  for (int i = 0; i < 3; ++i) {
    const std::string f = Frame(i, 1000);
    expected += f;
    ASSERT_EQ(AFWWriteData(w, f.data(), f.size(), 1), noErr);
    ASSERT_TRUE(WaitIdle(w)) << "the 0.2 s poll did not find it";
  }
  EXPECT_EQ(AFWCloseFile(w), noErr);
  AFWDispose(w);
  EXPECT_EQ(ReadAll(file.path), expected);
}

TEST_F(BackgroundFileWriterTest, ASlotWithoutAThreadGives777AndLeavesTheStatus) {
  int16_t any = -1;
  ASSERT_EQ(BFWGetThreadForVolume(0, &any), noErr);  // the table exists
  AFWRecord record;
  record.writeStatus = -36;
  record.threadIndex = kBFWMaxThreads;
  EXPECT_EQ(BFWWriteDataAsync(&record, "x", 1), kNoWriteThreadErr);
  EXPECT_EQ(record.writeStatus.load(), -36);
  if (UsedSlots() < kBFWMaxThreads) {
    record.threadIndex = static_cast<int16_t>(UsedSlots());
    EXPECT_EQ(BFWWriteDataAsync(&record, "x", 1), kNoWriteThreadErr);
    EXPECT_EQ(record.writeStatus.load(), -36);
  }
}

// Last, since it takes every free slot.
TEST_F(BackgroundFileWriterTest, ATwentyFirstDiskSharesAnExistingSlot) {
  while (UsedSlots() < kBFWMaxThreads) {
    tSimulatedDisk = FreshDisk();
    int16_t index = -1;
    ASSERT_EQ(BFWGetThreadForVolume(0, &index), noErr);
    ASSERT_EQ(index, UsedSlots() - 1) << "slots are taken in order";
  }
  for (ProgramFlavor flavor : {ProgramFlavor::kHD, ProgramFlavor::kClassic}) {
    std::set<int16_t> seen;
    for (int i = 0; i < 400; ++i) {
      tSimulatedDisk = FreshDisk();
      int16_t index = -1;
      ASSERT_EQ(BFWGetThreadForVolume(0, &index, flavor), noErr);
      ASSERT_GE(index, 0);
      ASSERT_LT(index, kBFWMaxThreads);
      seen.insert(index);
    }
    EXPECT_GT(seen.size(), 10u) << "a random slot";
  }
  EXPECT_EQ(UsedSlots(), kBFWMaxThreads) << "no slot beyond 20";

  // Its writes go through that slot's thread.
  tSimulatedDisk = FreshDisk();
  FileRef file = NewFile("21st.mov");
  AFWRef w = nullptr;
  ASSERT_EQ(AFWOpenFile(&file, true, &w), noErr);
  EXPECT_TRUE(Slot(w->threadIndex).used.load());
  const std::string a = Frame(1, 1000), b = Frame(2, 2000);
  ASSERT_EQ(AFWWriteData(w, a.data(), a.size(), 1), noErr);
  ASSERT_EQ(AFWWriteData(w, b.data(), b.size(), 1), noErr);
  EXPECT_EQ(AFWCloseFile(w), noErr);
  AFWDispose(w);
  EXPECT_EQ(ReadAll(file.path), Header() + a + b);
}

// Pages of the file in the page cache, one flag per page.
std::vector<bool> ResidentPages(const std::string& path, size_t sizeBytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  void* map = ::mmap(nullptr, sizeBytes, PROT_READ, MAP_SHARED, fd, 0);
  ::close(fd);
  if (map == MAP_FAILED) return {};
  const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  std::vector<unsigned char> flags((sizeBytes + page - 1) / page);
  const bool ok = ::mincore(map, sizeBytes, flags.data()) == 0;
  ::munmap(map, sizeBytes);
  std::vector<bool> resident;
  if (ok)
    for (unsigned char f : flags) resident.push_back((f & 1) != 0);
  return resident;
}

// A capture of hours must not fill the page cache: the data more than the
// window behind the end are on the disk, and their pages are let go.
TEST_F(BackgroundFileWriterTest, WriteBehindLetsThePagesOfDataOnTheDiskGo) {
  struct statfs fs {};
  ASSERT_EQ(::statfs(dir_.path().c_str(), &fs), 0);
  if (fs.f_type == TMPFS_MAGIC || fs.f_type == RAMFS_MAGIC)
    GTEST_SKIP() << dir_.path() << " is in memory: its pages cannot be let go";
  constexpr size_t kFrameBytes = 256 * 1024;
  constexpr int kFrames = 24;
  BFWSetWriteBehindWindowForTesting(4 * kFrameBytes);
  FileRef file = NewFile("behind.mov");
  AFWRef w = nullptr;
  ASSERT_EQ(AFWOpenFile(&file, true, &w), noErr);
  BFWSetSyncObserverForTesting(&RecordSync);
  std::string expected = Header();
  for (int i = 0; i < kFrames; ++i) {
    const std::string f = Frame(i, kFrameBytes);
    ASSERT_EQ(AFWWriteData(w, f.data(), f.size(), 1), noErr);
    ASSERT_TRUE(WaitIdle(w));  // each frame through the thread on its own
    expected += f;
  }
  // The pages go once the syncing thread has them on the disk.
  ObservedSync sync{};
  ASSERT_TRUE(WaitForSync(w->syncIdentity, expected.size(), &sync));
  const std::vector<bool> resident = ResidentPages(file.path, expected.size());
  ASSERT_FALSE(resident.empty());
  // The last sync left everything up to the window behind the end (down to
  // a 64 KiB boundary) on the disk and out of the cache.
  const size_t droppedBytes = (expected.size() - 4 * kFrameBytes) & ~size_t{0xFFFF};
  const size_t droppedPages = droppedBytes / static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  size_t stillCached = 0;
  for (size_t page = 0; page < droppedPages; ++page) stillCached += resident[page] ? 1 : 0;
  EXPECT_EQ(stillCached, 0u) << "of " << droppedPages << " pages";
  EXPECT_EQ(AFWCloseFile(w), noErr);
  AFWDispose(w);
  EXPECT_TRUE(ReadAll(file.path) == expected) << "every byte, in order";
}

// Where the file system refuses write-behind (a device here), the writes go
// on as before.
TEST_F(BackgroundFileWriterTest, WithoutWriteBehindTheWritesGoOn) {
  FileRef devNull{"/dev/null"};
  AFWRef w = nullptr;
  ASSERT_EQ(AFWOpenFile(&devNull, false, &w), noErr);
  const std::string a = Frame(1, 4096), b = Frame(2, 4096);
  ASSERT_EQ(AFWWriteData(w, a.data(), a.size(), 1), noErr);
  ASSERT_TRUE(WaitIdle(w));
  ASSERT_EQ(AFWWriteData(w, b.data(), b.size(), 1), noErr);
  ASSERT_TRUE(WaitIdle(w));
  EXPECT_EQ(w->writeStatus.load(), noErr);
  EXPECT_TRUE(w->writeBehindRefused);
  EXPECT_EQ(ObservedWritesOf(w).size(), 2u);
  EXPECT_EQ(AFWCloseFile(w), noErr);
  AFWDispose(w);
}

// The data written reach the disk on the thread's own pace: the first write
// at once, later ones no sooner than the interval after, the last ones
// before a pause as soon as the interval has passed, even once the file is
// closed. Read back through a descriptor of its own, the file then holds
// every byte the sync covered.
TEST_F(BackgroundFileWriterTest, WrittenDataAreMadeDurableOnTheThreadsPaceAlsoAfterThePause) {
  BFWSetSyncObserverForTesting(&RecordSync);
  tSimulatedDisk = FreshDisk();
  FileRef file = NewFile("durable.mov");
  AFWRef w = nullptr;
  ASSERT_EQ(AFWOpenFile(&file, true, &w), noErr);
  const uint64_t identity = w->syncIdentity;
  constexpr size_t kFrameBytes = 64 * 1024;
  std::string expected = Header();
  const auto writeFrame = [&](int tag) {
    const std::string f = Frame(tag, kFrameBytes);
    ASSERT_EQ(AFWWriteData(w, f.data(), f.size(), 1), noErr);
    expected += f;
  };
  writeFrame(1);
  ObservedSync first{}, last{};
  ASSERT_TRUE(WaitForSync(identity, expected.size(), &first)) << "the first frame at once";
  EXPECT_EQ(first.durableSizeBytes, expected.size());
  writeFrame(2);
  writeFrame(3);
  ASSERT_TRUE(WaitIdle(w));
  AFWDispose(w);  // closed before the interval has passed
  ASSERT_TRUE(WaitForSync(identity, expected.size(), &last)) << "the last frames after the pause";
  EXPECT_EQ(last.durableSizeBytes, expected.size());
  EXPECT_GE(last.atNanoseconds - first.atNanoseconds, uint64_t{kBFWSyncIntervalMs - 10} * 1000000)
      << "no sooner than the interval after the one before";
  const int fd = ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  std::string read(expected.size(), '\0');
  EXPECT_EQ(::pread(fd, read.data(), read.size(), 0), static_cast<ssize_t>(read.size()));
  ::close(fd);
  EXPECT_TRUE(read == expected);
}

// With the interval out of reach, 64 MiB written make a sync of their own.
TEST_F(BackgroundFileWriterTest, SixtyFourMebibytesWrittenAreMadeDurableBeforeTheInterval) {
  BFWSetSyncObserverForTesting(&RecordSync);
  BFWSetSyncIntervalForTesting(3600 * 1000);
  tSimulatedDisk = FreshDisk();
  FileRef file = NewFile("bulk.mov");
  AFWRef w = nullptr;
  ASSERT_EQ(AFWOpenFile(&file, true, &w), noErr);
  const std::string f = Frame(7, 4 << 20);
  for (int i = 0; i < 17; ++i) {
    ASSERT_EQ(AFWWriteData(w, f.data(), f.size(), 1), noErr);
    ASSERT_TRUE(WaitIdle(w));  // each through the thread on its own
  }
  ObservedSync sync{};
  // The first write is synced at once; the next sync comes with the write
  // that makes 64 MiB since.
  EXPECT_TRUE(WaitForSync(w->syncIdentity, 16 + 17 * f.size(), &sync));
  EXPECT_EQ(sync.durableSizeBytes, 16 + 17 * f.size());
  AFWDispose(w);
}

}  // namespace
}  // namespace writer_test
