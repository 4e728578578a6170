// The memory behind the writer's buffers: growth in place, and a second
// capture that finds its buffers' memory ready instead of faulting it in.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstring>

#include "writer_test_support.h"

using namespace fw;

namespace writer_test {
namespace {

using AFWBlockTest = WriterTest;

// A sanitizer's shadow memory is faulted in by the copies themselves, so
// counts of faults say nothing about the writer's memory there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kShadowMemory = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kShadowMemory = true;
#else
constexpr bool kShadowMemory = false;
#endif
#else
constexpr bool kShadowMemory = false;
#endif

long MinorFaults(int who = RUSAGE_SELF) {
  rusage usage{};
  getrusage(who, &usage);
  return usage.ru_minflt;
}

TEST_F(AFWBlockTest, GrowsInPlaceKeepingItsContents) {
  AFWBlock block;
  ASSERT_EQ(block.Resize(1000), noErr);
  uint8_t* const start = block.get();
  ASSERT_NE(start, nullptr);
  for (int i = 0; i < 1000; ++i) start[i] = static_cast<uint8_t>(i * 7);
  const size_t firstCommitted = block.committedBytes();
  EXPECT_EQ(firstCommitted % kAFWCommitStepBytes, 0u);

  constexpr int64_t kGrown = 5 * (1 << 20) + 3;
  ASSERT_EQ(block.Resize(kGrown), noErr);
  EXPECT_EQ(block.get(), start) << "growing neither moves nor copies";
  EXPECT_GE(block.committedBytes(), static_cast<size_t>(kGrown));
  start[kGrown - 1] = 0xA5;  // the whole size is usable
  bool kept = true;
  for (int i = 0; i < 1000; ++i) kept = kept && start[i] == static_cast<uint8_t>(i * 7);
  EXPECT_TRUE(kept);

  // Refused sizes and the seam leave the block as it was.
  EXPECT_EQ(block.Resize(-1), memFullErr);
  EXPECT_EQ(block.Resize(int64_t{INT32_MAX} + 1), memFullErr);
  AFWFailBufferAllocationsForTesting(1);
  EXPECT_EQ(block.Resize(8 << 20), memFullErr);
  EXPECT_EQ(block.get(), start);
  EXPECT_EQ(start[kGrown - 1], 0xA5);

  block.Free();
  EXPECT_EQ(block.get(), nullptr);
  EXPECT_EQ(block.committedBytes(), 0u);
}

// One capture that outruns its disk: 1 MiB frames parked behind a held
// write make the backup buffer grow well past its first size.
void CaptureOutrunningTheDisk(const FileRef& file, const std::vector<std::string>& frames) {
  AFWRef w = nullptr;
  ASSERT_EQ(AFWOpenFile(&file, true, &w), noErr);
  BFWHoldWritesForTesting(true);
  for (const std::string& f : frames) ASSERT_EQ(AFWWriteData(w, f.data(), f.size(), 1), noErr);
  EXPECT_GT(w->bufferSize[1], 8 << 20);
  BFWHoldWritesForTesting(false);
  EXPECT_EQ(AFWCloseFile(w), noErr);
  AFWDispose(w);
}

TEST_F(AFWBlockTest, TheNextCaptureFindsItsBuffersFaultedIn) {
  std::vector<std::string> frames;
  for (int i = 0; i < 10; ++i) frames.push_back(Frame(i, 1 << 20));
  const FileRef first = NewFile("first.mov"), second = NewFile("second.mov");
  CaptureOutrunningTheDisk(first, frames);

  const long before = MinorFaults();
  CaptureOutrunningTheDisk(second, frames);
  const long faults = MinorFaults() - before;
  // Memory taken afresh would cost one fault per 4 KiB page of the ~20 MiB
  // the buffers hold; what remains is the test's own bookkeeping.
  EXPECT_LT(faults, (10 << 20) / 4096 / 10);

  std::string expected = Header();
  for (const std::string& f : frames) expected += f;
  EXPECT_TRUE(ReadAll(second.path) == expected);
}

// A writer readied for 4 MiB frames: the first frames, parked behind a
// held write through two growths of the backup buffer, fault no memory
// in on the producer's thread, and the growth rule still sets the sizes.
TEST_F(AFWBlockTest, AWriterReadiedForItsFrameSizeFaultsNothingInWhileTheFirstFramesPark) {
  constexpr uint32_t kFrameBytes = 4 << 20;
  std::vector<std::string> frames;
  for (int i = 0; i < 5; ++i) frames.push_back(Frame(i, kFrameBytes));
  const FileRef file = NewFile("readied.mov");
  AFWRef w = nullptr;
  ASSERT_EQ(AFWOpenFile(&file, true, &w), noErr);
  AFWPrepareForFrames(w, kFrameBytes);
  const size_t twoGrowths = kAFWInitialBufferSize + 2 * (2 * size_t{kFrameBytes} + kAFWGrowthMargin);
  for (int i = 0; i < 2; ++i) {
    EXPECT_GE(w->buffer[i].committedBytes(), twoGrowths) << "buffer " << i;
    EXPECT_EQ(w->bufferSize[i], kAFWInitialBufferSize) << "buffer " << i;
  }

  BFWHoldWritesForTesting(true);
  const long before = MinorFaults(RUSAGE_THREAD);
  for (const std::string& f : frames) ASSERT_EQ(AFWWriteData(w, f.data(), kFrameBytes, 1), noErr);
  const long faults = MinorFaults(RUSAGE_THREAD) - before;
  EXPECT_EQ(w->bufferSize[1], static_cast<int32_t>(twoGrowths)) << "grown twice by the rule";
  // Memory faulted in as the buffers grow would cost a fault per page (one
  // per 2 MiB with huge pages): at least 8 for the 16 MiB parked.
  if (!kShadowMemory) EXPECT_LE(faults, 2);
  BFWHoldWritesForTesting(false);
  EXPECT_EQ(AFWCloseFile(w), noErr);
  AFWDispose(w);

  std::string expected = Header();
  for (const std::string& f : frames) expected += f;
  EXPECT_TRUE(ReadAll(file.path) == expected);
}

}  // namespace
}  // namespace writer_test
