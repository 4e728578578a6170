// Many producers at once: 4 threads, each with 2 files (one on a disk of its
// own, one on a disk all of them share), write 2,000 frames each of random
// sizes from 1 byte to 2 MiB with random pauses; every file must end up
// exactly the concatenation of its frames. Runs under ThreadSanitizer in CI.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "writer_test_support.h"

using namespace fw;

namespace writer_test {
namespace {

constexpr int kProducers = 4;
constexpr int kFilesPerProducer = 2;
constexpr int kFramesPerProducer = 2000;
constexpr uint32_t kMaxFrameBytes = 2u << 20;

// The bytes of one frame, from its file and number alone, so that the check
// needs no copy of what was written.
void FillFrame(int fileId, int frame, uint8_t* out, size_t n) {
  uint64_t x = (uint64_t(fileId) << 32 | uint32_t(frame)) * 0x9E3779B97F4A7C15ull + 1;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    std::memcpy(out + i, &x, 8);
  }
  for (; i < n; ++i) out[i] = static_cast<uint8_t>(x >> (8 * (i % 8)));
}

struct FrameLog {
  std::vector<uint32_t> sizes;
};

// Log-uniform sizes: as many tiny frames as frames of megabytes, so the
// test stays fast while every path (idle hand-over, parking, growth,
// synchronous flush) is taken.
uint32_t RandomFrameSize(std::mt19937& rng) {
  std::uniform_real_distribution<double> exponent(0.0, std::log2(double(kMaxFrameBytes)));
  return std::min<uint32_t>(kMaxFrameBytes, uint32_t(std::exp2(exponent(rng))));
}

void Produce(int producer, const std::vector<FileRef>& files, std::vector<FrameLog>& logs,
             std::vector<OSErr>& results) {
  std::mt19937 rng(1234 + producer);
  AFWRef writers[kFilesPerProducer] = {};
  for (int f = 0; f < kFilesPerProducer; ++f) {
    // File 0 on the producer's own disk, file 1 on the disk they all share.
    tSimulatedDisk = static_cast<int16_t>(f == 0 ? 20000 + producer : 20100);
    const int id = producer * kFilesPerProducer + f;
    results[id] = AFWOpenFile(&files[id], f == 0, &writers[f],
                              producer % 2 == 0 ? ProgramFlavor::kHD : ProgramFlavor::kClassic);
    if (results[id] != noErr) return;
  }
  std::vector<uint8_t> frame(kMaxFrameBytes);
  std::uniform_int_distribution<int> pick(0, kFilesPerProducer - 1), pause(0, 15), micros(0, 400);
  for (int n = 0; n < kFramesPerProducer; ++n) {
    const int f = pick(rng);
    const int id = producer * kFilesPerProducer + f;
    FrameLog& log = logs[id];
    const uint32_t size = RandomFrameSize(rng);
    FillFrame(id, int(log.sizes.size()), frame.data(), size);
    const OSErr err = AFWWriteData(writers[f], frame.data(), size, 1);
    if (err != noErr) {
      results[id] = err;
      break;
    }
    log.sizes.push_back(size);
    if (pause(rng) == 0) std::this_thread::sleep_for(std::chrono::microseconds(micros(rng)));
  }
  for (int f = 0; f < kFilesPerProducer; ++f) {
    const int id = producer * kFilesPerProducer + f;
    const OSErr closed = AFWCloseFile(writers[f]);
    if (results[id] == noErr) results[id] = closed;
    AFWDispose(writers[f]);
  }
}

// Compares the file with the frames it should hold, in chunks.
::testing::AssertionResult FileHoldsFrames(const std::string& path, bool header, int fileId,
                                           const FrameLog& log) {
  FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) return ::testing::AssertionFailure() << "cannot open " << path;
  std::vector<uint8_t> expected(kMaxFrameBytes), actual(kMaxFrameBytes);
  ::testing::AssertionResult result = ::testing::AssertionSuccess();
  if (header) {
    std::string h(16, '\0');
    if (std::fread(h.data(), 1, 16, in) != 16 || h != Header())
      result = ::testing::AssertionFailure() << "header";
  }
  for (size_t n = 0; result && n < log.sizes.size(); ++n) {
    const uint32_t size = log.sizes[n];
    FillFrame(fileId, int(n), expected.data(), size);
    if (std::fread(actual.data(), 1, size, in) != size) {
      result = ::testing::AssertionFailure() << "file " << fileId << " ends inside frame " << n;
    } else if (std::memcmp(actual.data(), expected.data(), size) != 0) {
      result = ::testing::AssertionFailure() << "file " << fileId << " frame " << n << " differs";
    }
  }
  if (result && std::fgetc(in) != EOF)
    result = ::testing::AssertionFailure() << "file " << fileId << " too long";
  std::fclose(in);
  return result;
}

TEST(WriterStressTest, ManyProducersManyFilesEveryByteInOrder) {
  SetDiskNumberResolverForTesting(&SimulatedDisk);
  // The build folder: a real disk, where /tmp may be memory.
  TempDir dir(".");
  ASSERT_FALSE(dir.path().empty());
  std::vector<FileRef> files(kProducers * kFilesPerProducer);
  for (size_t i = 0; i < files.size(); ++i) {
    ASSERT_EQ(MakeFileRef(dir.file("stress" + std::to_string(i) + ".mov"), &files[i]), noErr);
    ASSERT_EQ(CreateEmptyFile(files[i]), noErr);
  }
  std::vector<FrameLog> logs(files.size());
  std::vector<OSErr> results(files.size(), noErr);
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p) {
    producers.emplace_back(Produce, p, std::cref(files), std::ref(logs), std::ref(results));
  }
  for (std::thread& t : producers) t.join();
  SetDiskNumberResolverForTesting(nullptr);

  size_t frames = 0;
  uint64_t bytes = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(results[i], noErr) << "file " << i;
    frames += logs[i].sizes.size();
    for (uint32_t size : logs[i].sizes) bytes += size;
    EXPECT_TRUE(FileHoldsFrames(files[i].path, i % kFilesPerProducer == 0, int(i), logs[i]));
  }
  EXPECT_EQ(frames, size_t(kProducers) * kFramesPerProducer);
  std::printf("%zu frames, %.1f MiB\n", frames, double(bytes) / (1 << 20));
}

}  // namespace
}  // namespace writer_test
