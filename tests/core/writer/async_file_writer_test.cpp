// The asynchronous file writer: its buffers, its hand-over, its
// failures and the two mended faults.
#include "core/writer/async_file_writer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "core/platform/clocks.h"
#include "writer_test_support.h"

using namespace fw;

namespace writer_test {
namespace {

using AsyncFileWriterTest = WriterTest;

TEST_F(AsyncFileWriterTest, FirstFrameGoesToBufferZeroIsQueuedAtOnceAndCurrentBecomesOne) {
  FileRef file = NewFile("first.mov");
  AFWRef w = nullptr;
  ASSERT_EQ(AFWOpenFile(&file, true, &w), noErr);
  EXPECT_EQ(w->currentBuffer, 0);
  EXPECT_EQ(w->bufferSize[0], 0x80000);
  EXPECT_EQ(w->bufferSize[1], 0x80000);

  BFWHoldWritesForTesting(true);
  const std::string a = Frame(1, 1000);
  ASSERT_EQ(AFWWriteData(w, a.data(), a.size(), 1), noErr);
  EXPECT_EQ(w->writeStatus.load(), kAFWWriteInFlight) << "queued at once";
  EXPECT_EQ(w->currentBuffer, 1);
  EXPECT_EQ(w->bufferUsed[0], 0);
  EXPECT_EQ(w->bufferUsed[1], 0);
  const uint8_t* buffer0 = w->buffer[0].get();
  EXPECT_EQ(std::memcmp(buffer0, a.data(), a.size()), 0) << "copied into buffer 0";

  BFWHoldWritesForTesting(false);
  ASSERT_TRUE(WaitIdle(w));
  auto writes = ObservedWritesOf(w);
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].data, buffer0);
  EXPECT_EQ(writes[0].count, 1000u);
  EXPECT_EQ(AFWCloseFile(w), noErr);
  AFWDispose(w);
  EXPECT_EQ(ReadAll(file.path), Header() + a);
}

TEST_F(AsyncFileWriterTest, FramesGivenWhileAWriteIsInFlightReachTheDiskAsOneWriteInOrder) {
  FileRef file = NewFile("three.mov");
  AFWRef w = nullptr;
  ASSERT_EQ(AFWOpenFile(&file, true, &w), noErr);
  BFWHoldWritesForTesting(true);
  const std::string a = Frame(1, 3000), b = Frame(2, 1000), c = Frame(3, 2000), d = Frame(4, 500),
                    e = Frame(5, 700);
  ASSERT_EQ(AFWWriteData(w, a.data(), a.size(), 1), noErr);
  for (const std::string* f : {&b, &c, &d}) {
    ASSERT_EQ(AFWWriteData(w, f->data(), f->size(), 1), noErr);
    EXPECT_EQ(w->writeStatus.load(), kAFWWriteInFlight);
  }
  EXPECT_EQ(w->currentBuffer, 1);
  EXPECT_EQ(w->bufferUsed[1], 3500) << "parked in the backup buffer";
  const uint8_t* backup = w->buffer[1].get();

  BFWHoldWritesForTesting(false);
  ASSERT_TRUE(WaitIdle(w));
  EXPECT_EQ(ObservedWritesOf(w).size(), 1u) << "the parked frames wait for the next frame";
  // The next frame is appended behind them and goes in the same write.
  ASSERT_EQ(AFWWriteData(w, e.data(), e.size(), 1), noErr);
  EXPECT_EQ(w->currentBuffer, 0);
  EXPECT_EQ(w->bufferUsed[1], 0);
  ASSERT_TRUE(WaitIdle(w));
  auto writes = ObservedWritesOf(w);
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[1].data, backup);
  EXPECT_EQ(writes[1].count, 3500u + 700u);
  EXPECT_EQ(AFWCloseFile(w), noErr);
  AFWDispose(w);
  EXPECT_EQ(ReadAll(file.path), Header() + a + b + c + d + e);
}

TEST_F(AsyncFileWriterTest, CloseWritesTheParkedFramesAfterTheWriteInFlight) {
  FileRef file = NewFile("close.mov");
  AFWRef w = nullptr;
  ASSERT_EQ(AFWOpenFile(&file, false, &w), noErr);
  BFWHoldWritesForTesting(true);
  const std::string a = Frame(1, 3000), b = Frame(2, 1000), c = Frame(3, 2000);
  ASSERT_EQ(AFWWriteData(w, a.data(), a.size(), 1), noErr);
  ASSERT_EQ(AFWWriteData(w, b.data(), b.size(), 1), noErr);
  ASSERT_EQ(AFWWriteData(w, c.data(), c.size(), 1), noErr);
  std::thread release([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    BFWHoldWritesForTesting(false);
  });
  EXPECT_EQ(AFWCloseFile(w), noErr) << "waits for the held write";
  release.join();
  EXPECT_EQ(ReadAll(file.path), a + b + c);
  AFWDispose(w);
}

TEST_F(AsyncFileWriterTest, AFrameOverHalfAMebibyteGrowsTheBufferToTwiceItsLengthPlusTheMargin) {
  FileRef file = NewFile("large.mov");
  AFWRef w = nullptr;
  ASSERT_EQ(AFWOpenFile(&file, true, &w), noErr);
  const std::string big = Frame(1, 600 * 1024);
  ASSERT_EQ(AFWWriteData(w, big.data(), big.size(), 1), noErr);
  EXPECT_EQ(w->bufferSize[0], 2 * 600 * 1024 + 51200) << "not added to the old size";
  EXPECT_EQ(w->bufferSize[1], 0x80000);

  // Parked behind a write in flight, the backup buffer grows from its size.
  ASSERT_TRUE(WaitIdle(w));
  BFWHoldWritesForTesting(true);
  const std::string small = Frame(2, 100), big2 = Frame(3, 700 * 1024);
  ASSERT_EQ(AFWWriteData(w, small.data(), small.size(), 1), noErr);  // buffer 1, in flight (held)
  ASSERT_EQ(AFWWriteData(w, big2.data(), big2.size(), 1), noErr);    // parked in buffer 0
  EXPECT_EQ(w->bufferSize[0], 2 * 600 * 1024 + 51200) << "fits: no growth";
  const std::string big3 = Frame(4, 900 * 1024);
  ASSERT_EQ(AFWWriteData(w, big3.data(), big3.size(), 1), noErr);
  EXPECT_EQ(w->bufferSize[0], 2 * 600 * 1024 + 51200 + 2 * 900 * 1024 + 51200);
  EXPECT_EQ(w->bufferUsed[0], 1600 * 1024);
  BFWHoldWritesForTesting(false);
  EXPECT_EQ(AFWCloseFile(w), noErr);
  AFWDispose(w);
  EXPECT_EQ(ReadAll(file.path), Header() + big + small + big2 + big3);
}

// Frames of 1 MiB behind a held write: the classic backup buffer stops
// growing past 4 MiB, so the sixth frame makes the parked bytes go out
// synchronously first; Framewright HD grows on instead.
void FillBackupBufferUntilItCannotGrow(ProgramFlavor flavor, const FileRef& file) {
  AFWRef w = nullptr;
  ASSERT_EQ(AFWOpenFile(&file, true, &w, flavor), noErr);
  std::vector<std::string> frames;
  for (int i = 0; i < 6; ++i) frames.push_back(Frame(i, 1 << 20));
  BFWHoldWritesForTesting(true);
  for (int i = 0; i < 5; ++i) ASSERT_EQ(AFWWriteData(w, frames[i].data(), frames[i].size(), 1), noErr);
  EXPECT_EQ(w->bufferUsed[1], 4 << 20);
  EXPECT_GT(w->bufferSize[1], kAFWGrowthLimitClassic);
  const int32_t sizeBefore = w->bufferSize[1];
  BFWHoldWritesForTesting(false);
  ASSERT_TRUE(WaitIdle(w));

  ASSERT_EQ(AFWWriteData(w, frames[5].data(), frames[5].size(), 1), noErr);
  ASSERT_TRUE(WaitIdle(w));
  auto writes = ObservedWritesOf(w);
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0].count, 1u << 20);
  if (flavor == ProgramFlavor::kClassic) {
    EXPECT_EQ(w->bufferSize[1], sizeBefore) << "no growth past the classic limit";
    EXPECT_EQ(writes[1].count, 1u << 20) << "the parked 4 MiB went out synchronously";
  } else {
    EXPECT_GT(w->bufferSize[1], sizeBefore);
    EXPECT_EQ(writes[1].count, 5u << 20) << "parked frames and the new one in one write";
  }
  EXPECT_EQ(AFWCloseFile(w), noErr);
  AFWDispose(w);
  std::string expected = Header();
  for (const std::string& f : frames) expected += f;
  EXPECT_TRUE(ReadAll(file.path) == expected) << "the file's bytes stay in order";
}

TEST_F(AsyncFileWriterTest, ClassicBackupBufferAtItsLimitIsWrittenSynchronouslyFirst) {
  FillBackupBufferUntilItCannotGrow(ProgramFlavor::kClassic, NewFile("classic.mov"));
}

TEST_F(AsyncFileWriterTest, HDBackupBufferGrowsPastTheClassicLimit) {
  FillBackupBufferUntilItCannotGrow(ProgramFlavor::kHD, NewFile("hd.mov"));
}

TEST_F(AsyncFileWriterTest, BackupBufferWithoutMemoryIsWrittenSynchronouslyFirst) {
  FileRef file = NewFile("nomem.mov");
  AFWRef w = nullptr;
  ASSERT_EQ(AFWOpenFile(&file, true, &w), noErr);
  const std::string a = Frame(1, 1000), b = Frame(2, 400 * 1024), c = Frame(3, 300 * 1024);
  BFWHoldWritesForTesting(true);
  ASSERT_EQ(AFWWriteData(w, a.data(), a.size(), 1), noErr);
  ASSERT_EQ(AFWWriteData(w, b.data(), b.size(), 1), noErr);
  EXPECT_EQ(w->bufferUsed[1], 400 * 1024);
  BFWHoldWritesForTesting(false);
  ASSERT_TRUE(WaitIdle(w));
  AFWFailBufferAllocationsForTesting(1);
  ASSERT_EQ(AFWWriteData(w, c.data(), c.size(), 1), noErr) << "a failed growth is no error";
  EXPECT_EQ(w->bufferSize[1], 0x80000);
  ASSERT_TRUE(WaitIdle(w));
  auto writes = ObservedWritesOf(w);
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[1].count, c.size()) << "b went out synchronously, c alone behind it";
  EXPECT_EQ(AFWCloseFile(w), noErr);
  AFWDispose(w);
  EXPECT_TRUE(ReadAll(file.path) == Header() + a + b + c);
}

TEST_F(AsyncFileWriterTest, FailedGrowthAtHandOverReturnsMemFullAndQueuesNothing) {
  FileRef file = NewFile("handover.mov");
  AFWRef w = nullptr;
  ASSERT_EQ(AFWOpenFile(&file, false, &w), noErr);
  const std::string big = Frame(1, 600 * 1024), small = Frame(2, 10);
  AFWFailBufferAllocationsForTesting(1);
  EXPECT_EQ(AFWWriteData(w, big.data(), big.size(), 1), memFullErr);
  EXPECT_EQ(w->writeStatus.load(), noErr);
  EXPECT_EQ(w->currentBuffer, 0);
  EXPECT_TRUE(ObservedWritesOf(w).empty());
  // Not a failed write: the file goes on.
  EXPECT_EQ(AFWWriteData(w, small.data(), small.size(), 1), noErr);
  EXPECT_EQ(AFWCloseFile(w), noErr);
  AFWDispose(w);
  EXPECT_EQ(ReadAll(file.path), small);
}

// Mended fault 2: the failed write left part of its bytes; what was parked
// behind it must not follow them, or every later frame lands shifted.
TEST_F(AsyncFileWriterTest, AfterADiskFullWriteNothingMoreIsAppended) {
  FileRef file = NewFile("full.mov");
  // Write 1 is the header, write 2 the first frame: 100 of its bytes land.
  InjectWriteFault({.path = file.path, .failOnWriteNumber = 2, .partialBytes = 100});
  AFWRef w = nullptr;
  ASSERT_EQ(AFWOpenFile(&file, true, &w), noErr);
  const std::string a = Frame(1, 5000), b = Frame(2, 1000), c = Frame(3, 1000), d = Frame(4, 10);
  BFWHoldWritesForTesting(true);
  ASSERT_EQ(AFWWriteData(w, a.data(), a.size(), 1), noErr);
  ASSERT_EQ(AFWWriteData(w, b.data(), b.size(), 1), noErr);
  ASSERT_EQ(AFWWriteData(w, c.data(), c.size(), 1), noErr);
  BFWHoldWritesForTesting(false);
  ASSERT_TRUE(WaitIdle(w));
  EXPECT_EQ(w->writeStatus.load(), dskFulErr) << "the sign-extended File Manager code";

  for (int i = 0; i < 3; ++i) EXPECT_EQ(AFWWriteData(w, d.data(), d.size(), 1), dskFulErr);
  EXPECT_EQ(ReadAll(file.path), Header() + a.substr(0, 100)) << "writes nothing";
  EXPECT_EQ(AFWFlushBackupBuffer(w), dskFulErr);
  EXPECT_EQ(w->bufferUsed[0] + w->bufferUsed[1], 0) << "the parked bytes are dropped";
  // Mended fault 1: the close hands the error back.
  EXPECT_EQ(AFWCloseFile(w), dskFulErr);
  EXPECT_EQ(ReadAll(file.path), Header() + a.substr(0, 100)) << "closing appends nothing more";
  EXPECT_EQ(std::ifstream(file.path, std::ios::ate | std::ios::binary).tellg(), 116)
      << "the size tells how far the data got";
  AFWDispose(w);
}

TEST_F(AsyncFileWriterTest, CloseReturnsTheErrorOfTheWriteInFlight) {
  FileRef file = NewFile("inflight.mov");
  InjectWriteFault({.path = file.path, .failOnWriteNumber = 1, .partialBytes = 0, .code = ioErr});
  AFWRef w = nullptr;
  ASSERT_EQ(AFWOpenFile(&file, false, &w), noErr);
  const std::string a = Frame(1, 2000), b = Frame(2, 1000);
  BFWHoldWritesForTesting(true);
  ASSERT_EQ(AFWWriteData(w, a.data(), a.size(), 1), noErr);
  ASSERT_EQ(AFWWriteData(w, b.data(), b.size(), 1), noErr);  // parked
  std::thread release([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    BFWHoldWritesForTesting(false);
  });
  EXPECT_EQ(AFWCloseFile(w), ioErr);
  release.join();
  EXPECT_EQ(ReadAll(file.path), "") << "b was not written behind the failed write";
  AFWDispose(w);
}

TEST_F(AsyncFileWriterTest, CloseReturnsTheErrorOfTheFinalFlush) {
  FileRef file = NewFile("flush.mov");
  // Header 1, a 2, the flush of b and c at close 3: 1500 of its 2000 bytes land.
  InjectWriteFault({.path = file.path, .failOnWriteNumber = 3, .partialBytes = 1500});
  AFWRef w = nullptr;
  ASSERT_EQ(AFWOpenFile(&file, true, &w), noErr);
  const std::string a = Frame(1, 2000), b = Frame(2, 1000), c = Frame(3, 1000);
  BFWHoldWritesForTesting(true);
  ASSERT_EQ(AFWWriteData(w, a.data(), a.size(), 1), noErr);
  ASSERT_EQ(AFWWriteData(w, b.data(), b.size(), 1), noErr);
  ASSERT_EQ(AFWWriteData(w, c.data(), c.size(), 1), noErr);
  BFWHoldWritesForTesting(false);
  EXPECT_EQ(AFWCloseFile(w), dskFulErr);
  EXPECT_EQ(ReadAll(file.path), Header() + a + b + c.substr(0, 500));
  EXPECT_EQ(AFWCloseFile(w), noErr) << "a closed writer has nothing left to report";
  AFWDispose(w);
}

TEST_F(AsyncFileWriterTest, AfterAFailedSynchronousFlushNothingMoreIsAppended) {
  FileRef file = NewFile("syncfail.mov");
  AFWRef w = nullptr;
  ASSERT_EQ(AFWOpenFile(&file, false, &w, ProgramFlavor::kClassic), noErr);
  std::vector<std::string> frames;
  for (int i = 0; i < 7; ++i) frames.push_back(Frame(i, 1 << 20));
  BFWHoldWritesForTesting(true);
  for (int i = 0; i < 5; ++i) ASSERT_EQ(AFWWriteData(w, frames[i].data(), frames[i].size(), 1), noErr);
  BFWHoldWritesForTesting(false);
  ASSERT_TRUE(WaitIdle(w));
  // Room for 2.5 MiB: the synchronous write of the four parked frames fails.
  InjectWriteFault({.path = file.path, .sizeLimitBytes = (5u << 20) / 2});
  // The fault applies to descriptors opened after it; reopen by hand.
  int fd = kNoFile;
  ASSERT_EQ(OpenFile(file, OpenMode::kReadWrite, &fd), noErr);
  ASSERT_EQ(MoveMarkToEnd(fd), noErr);
  std::swap(fd, w->forkRefNum);
  ASSERT_EQ(CloseFile(fd), noErr);

  EXPECT_EQ(AFWWriteData(w, frames[5].data(), frames[5].size(), 1), dskFulErr);
  EXPECT_EQ(AFWWriteData(w, frames[6].data(), frames[6].size(), 1), dskFulErr);
  EXPECT_TRUE(ObservedWritesOf(w).size() == 1u) << "nothing queued after the failure";
  EXPECT_EQ(AFWCloseFile(w), dskFulErr);
  const std::string expected = frames[0] + frames[1] + frames[2].substr(0, (1 << 20) / 2);
  EXPECT_TRUE(ReadAll(file.path) == expected);
  AFWDispose(w);
}

TEST_F(AsyncFileWriterTest, AFailedHandOverEndsTheFileToo) {
  FileRef file = NewFile("handover777.mov");
  AFWRef w = nullptr;
  ASSERT_EQ(AFWOpenFile(&file, false, &w), noErr);
  const std::string a = Frame(1, 100), b = Frame(2, 100);
  ASSERT_EQ(AFWWriteData(w, a.data(), a.size(), 1), noErr);
  ASSERT_TRUE(WaitIdle(w));
  const int16_t slot = w->threadIndex;
  w->threadIndex = kBFWMaxThreads;  // a slot without a thread
  EXPECT_EQ(AFWWriteData(w, b.data(), b.size(), 1), kNoWriteThreadErr);
  EXPECT_EQ(w->writeStatus.load(), noErr) << "left as it was";
  w->threadIndex = slot;
  EXPECT_EQ(AFWWriteData(w, b.data(), b.size(), 1), kNoWriteThreadErr) << "nothing after a gap";
  EXPECT_EQ(AFWCloseFile(w), kNoWriteThreadErr);
  AFWDispose(w);
  EXPECT_EQ(ReadAll(file.path), a);
}

// What a benchmark reads to tell whether the capture loop was held up by
// the disk: nothing on the path that does not wait, each wait and each
// synchronous flush counted.
TEST_F(AsyncFileWriterTest, DiskWaitsAreCountedOnlyWhereTheProducerWaits) {
  FileRef file = NewFile("waits.mov");
  AFWRef w = nullptr;
  ASSERT_EQ(AFWOpenFile(&file, true, &w), noErr);
  const std::string a = Frame(1, 1000), b = Frame(2, 2000), c = Frame(3, 3000);
  ASSERT_EQ(AFWWriteData(w, a.data(), a.size(), 1), noErr);
  ASSERT_TRUE(WaitIdle(w));
  BFWHoldWritesForTesting(true);
  ASSERT_EQ(AFWWriteData(w, b.data(), b.size(), 1), noErr);  // in flight, held
  ASSERT_EQ(AFWWriteData(w, c.data(), c.size(), 1), noErr);  // parked
  EXPECT_EQ(w->diskWaitCount, 0u);
  EXPECT_EQ(w->diskWaitNanoseconds, 0u) << "no clock is read where nothing waits";

  std::thread release([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    BFWHoldWritesForTesting(false);
  });
  EXPECT_EQ(AFWFlushBackupBuffer(w), noErr);  // waits for b, then writes c itself
  release.join();
  EXPECT_EQ(w->diskWaitCount, 2u) << "the wait and the synchronous write";
  EXPECT_EQ(w->syncFlushCount, 1u);
  EXPECT_GT(w->diskWaitNanoseconds, 0u);
  EXPECT_EQ(AFWCloseFile(w), noErr);
  AFWDispose(w);
  EXPECT_EQ(ReadAll(file.path), Header() + a + b + c);
}

TEST_F(AsyncFileWriterTest, DisposeOfNullDoesNothing) {
  AFWDispose(nullptr);
}

TEST_F(AsyncFileWriterTest, DisposeRightAfterOpenLeavesTheHeaderOrNothing) {
  FileRef withHeader = NewFile("h.mov"), without = NewFile("n.mov");
  AFWRef w = nullptr;
  ASSERT_EQ(AFWOpenFile(&withHeader, true, &w), noErr);
  AFWDispose(w);
  EXPECT_EQ(ReadAll(withHeader.path), Header());
  EXPECT_EQ(ReadAll(withHeader.path).size(), 16u);
  ASSERT_EQ(AFWOpenFile(&without, false, &w), noErr);
  AFWDispose(w);
  EXPECT_EQ(ReadAll(without.path), "");
}

TEST_F(AsyncFileWriterTest, WithoutHeaderTheWriterAppendsAfterWhatTheFileHolds) {
  FileRef file = NewFile("existing.dv", "existing bytes");
  AFWRef w = nullptr;
  ASSERT_EQ(AFWOpenFile(&file, false, &w), noErr);
  ASSERT_EQ(AFWWriteData(w, "abc", 3, 1), noErr);
  AFWDispose(w);
  EXPECT_EQ(ReadAll(file.path), "existing bytesabc");
}

TEST_F(AsyncFileWriterTest, OpenFailuresUndoEverythingAndLeaveTheOutputUntouched) {
  FileRef missing;
  ASSERT_EQ(MakeFileRef(dir_.file("missing.mov"), &missing), noErr);
  AFWRef w = reinterpret_cast<AFWRef>(0x1234);
  EXPECT_EQ(AFWOpenFile(&missing, true, &w), fnfErr);
  EXPECT_EQ(w, reinterpret_cast<AFWRef>(0x1234));

  FileRef file = NewFile("nomem.mov");
  AFWFailBufferAllocationsForTesting(1);
  EXPECT_EQ(AFWOpenFile(&file, true, &w), memFullErr);
  EXPECT_EQ(w, reinterpret_cast<AFWRef>(0x1234));
  EXPECT_EQ(ReadAll(file.path), "");

  InjectWriteFault({.path = file.path, .failOnWriteNumber = 1});
  EXPECT_EQ(AFWOpenFile(&file, true, &w), dskFulErr) << "a failed header write";
  EXPECT_EQ(w, reinterpret_cast<AFWRef>(0x1234));
}

TEST_F(AsyncFileWriterTest, CopyFlagAndFlavor) {
  FileRef file = NewFile("copy.mov");
  const std::string a = Frame(1, 100), b = Frame(2, 100), c = Frame(3, 100);
  AFWRef hd = nullptr, classic = nullptr;
  ASSERT_EQ(AFWOpenFile(&file, false, &hd), noErr);
  ASSERT_EQ(AFWWriteData(hd, a.data(), a.size(), 2), noErr);  // HD copies only with 1
  ASSERT_TRUE(WaitIdle(hd));
  ASSERT_EQ(AFWWriteData(hd, b.data(), b.size(), 0), noErr);
  ASSERT_TRUE(WaitIdle(hd));
  auto writes = ObservedWritesOf(hd);
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0].data, a.data()) << "the caller's own block";
  EXPECT_EQ(writes[1].data, b.data());
  EXPECT_EQ(hd->currentBuffer, 0);
  AFWDispose(hd);

  ClearObservedWrites();  // the new record may have the old one's address
  ASSERT_EQ(AFWOpenFile(&file, false, &classic, ProgramFlavor::kClassic), noErr);
  ASSERT_EQ(AFWWriteData(classic, c.data(), c.size(), 2), noErr);  // any non-zero value copies
  ASSERT_TRUE(WaitIdle(classic));
  writes = ObservedWritesOf(classic);
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].data, classic->buffer[0].get());
  AFWDispose(classic);
  EXPECT_EQ(ReadAll(file.path), a + b + c);
}

TEST_F(AsyncFileWriterTest, AClosedWriterTakesNoData) {
  FileRef file = NewFile("closed.mov");
  AFWRef w = nullptr;
  ASSERT_EQ(AFWOpenFile(&file, false, &w), noErr);
  EXPECT_EQ(AFWCloseFile(w), noErr);
  EXPECT_EQ(AFWWriteData(w, "x", 1, 1), paramErr);
  EXPECT_EQ(w->buffer[0].get(), nullptr);
  AFWDispose(w);
  EXPECT_EQ(ReadAll(file.path), "");
}

// A clock 1 s further on at every reading: the 50 seconds pass in about 51
// steps of 2 ms.
uint64_t RacingClock() {
  static std::atomic<uint64_t> readings{0};
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return uint64_t(ts.tv_sec) * 1000000000ull + uint64_t(ts.tv_nsec) + readings.fetch_add(1) * 1000000000ull;
}

void WaitForeverOnAStuckWrite(const FileRef& file, ProgramFlavor flavor) {
  AFWRef w = nullptr;
  if (AFWOpenFile(&file, true, &w, flavor) != noErr) return;
  BFWHoldWritesForTesting(true);  // the disk never answers
  const std::string a = Frame(1, 1000), b = Frame(2, 1 << 20);
  // The process is to end inside the second call: neither returns a result
  // worth looking at.
  (void)AFWWriteData(w, a.data(), a.size(), 1);
  SetMonotonicClockForTesting(&RacingClock);
  (void)AFWFlushBackupBuffer(w);  // waits
}

TEST_F(AsyncFileWriterTest, AWriteWaitedForDuringFiftySecondsEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  FileRef file = NewFile("stuck.mov");
  // One line on stderr, naming the file.
  EXPECT_EXIT(WaitForeverOnAStuckWrite(file, ProgramFlavor::kHD), ::testing::ExitedWithCode(1),
              "^Framewright: [^\n]*stuck\\.mov[^\n]*50 seconds[^\n]*\n$");
  EXPECT_EXIT(WaitForeverOnAStuckWrite(file, ProgramFlavor::kClassic), ::testing::ExitedWithCode(1),
              "^Framewright: [^\n]*stuck\\.mov[^\n]*\n$");
}

}  // namespace
}  // namespace writer_test
