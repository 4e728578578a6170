// Capture health: the disk check on a real folder (slowed through the write
// seam), the per-disk cache, the input's rate and what the window says.
#include "core/capture/capture_health.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <vector>

#include "core/platform/fault_injection.h"
#include "support/temp_dir.h"

namespace {

using namespace fw;

bool FolderIsEmpty(const std::string& folder) {
  return std::filesystem::is_empty(folder);
}

// A disk slowed to a known speed measures at about that speed, in bounded
// time and bytes, and the check leaves nothing behind; one that cannot be
// written to says so and leaves nothing either.
TEST(DiskSpeedTest, MeasuresTheDiskInBoundedTimeAndLeavesNothing) {
  struct Case {
    uint64_t slowdownBytesPerSecond;  // 0: the real disk
    bool folderExists;
    OSErr err;
  };
  const Case cases[] = {
      {8'000'000, true, noErr},
      {40'000'000, true, noErr},
      {0, true, noErr},
      {0, false, fnfErr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.slowdownBytesPerSecond);
    TempDir dir;
    const std::string folder = c.folderExists ? dir.path() : dir.file("gone");
    if (c.slowdownBytesPerSecond != 0)
      InjectWriteSlowdown(WriteSlowdown{dir.path(), c.slowdownBytesPerSecond});
    DiskSpeedMeasurement measured;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(MeasureDiskWriteSpeed(folder, &measured), c.err);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ClearWriteFaults();
    EXPECT_TRUE(FolderIsEmpty(dir.path()));
    if (c.err != noErr) continue;
    EXPECT_LE(measured.bytesWritten, kDiskCheckMaxBytes);
    EXPECT_GE(measured.bytesWritten, kDiskCheckChunkBytes);
    // At most the time limit plus the one chunk under way when it passed.
    const double chunkSeconds =
        c.slowdownBytesPerSecond != 0 ? double(kDiskCheckChunkBytes) / c.slowdownBytesPerSecond : 0.5;
    EXPECT_LT(seconds, 0.3 + chunkSeconds + 0.5);
    if (c.slowdownBytesPerSecond != 0) {
      // Never faster than the disk; slower only by the real disk's syncs.
      EXPECT_LE(measured.BytesPerSecond(), 1.02 * c.slowdownBytesPerSecond);
      EXPECT_GE(measured.BytesPerSecond(), 0.5 * c.slowdownBytesPerSecond);
    } else {
      EXPECT_GT(measured.BytesPerSecond(), 0);
    }
  }
}

// Once per disk for the session: two folders on one disk are measured once;
// a measurement that failed is tried again.
TEST(DiskSpeedTest, KeepsOneMeasurementPerDisk) {
  TempDir dir;
  std::filesystem::create_directory(dir.file("a"));
  std::filesystem::create_directory(dir.file("b"));
  int calls = 0;
  OSErr result = ioErr;
  DiskSpeedCache cache([&](const std::string&, DiskSpeedMeasurement* out) {
    ++calls;
    *out = DiskSpeedMeasurement{50'000'000, 1'000'000'000};
    return result;
  });
  double speed = 0;
  EXPECT_EQ(cache.BytesPerSecondOf(dir.file("a"), &speed), ioErr);
  result = noErr;
  EXPECT_EQ(cache.BytesPerSecondOf(dir.file("a"), &speed), noErr);
  EXPECT_EQ(cache.BytesPerSecondOf(dir.file("b"), &speed), noErr);
  EXPECT_EQ(cache.BytesPerSecondOf(dir.path(), &speed), noErr);
  EXPECT_DOUBLE_EQ(speed, 50e6);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(cache.BytesPerSecondOf(dir.file("missing"), &speed), fnfErr);
  EXPECT_EQ(calls, 2);
}

// The rate from samples of the frames an input delivered: unknown until the
// samples span half a second, then over the last two seconds; a count that
// starts again (another input) starts the rate again.
TEST(FrameRateMeterTest, RateFromTheFramesDelivered) {
  struct Sample {
    uint64_t ticks, frames;
  };
  struct Case {
    const char* name;
    std::vector<Sample> samples;
    double framesPerSecond;
  };
  const Case cases[] = {
      {"none", {}, 0},
      {"one", {{1000, 5}}, 0},
      {"under half a second", {{1000, 0}, {1299, 15}}, 0},
      {"thirty a second", {{1000, 0}, {1300, 15}, {1600, 30}}, 30},
      {"last two seconds only", {{0, 0}, {600, 60}, {1200, 90}, {1800, 120}, {2400, 150}}, 30},
      {"another input", {{1000, 500}, {1600, 560}, {1700, 3}, {1999, 18}}, 0},
      {"another input, later", {{1000, 500}, {1600, 560}, {1700, 3}, {2300, 63}}, 60},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FrameRateMeter meter;
    for (const Sample& s : c.samples) meter.AddSample(s.ticks, s.frames);
    EXPECT_DOUBLE_EQ(meter.FramesPerSecond(), c.framesPerSecond);
  }
}

// What the capture window is told, from the numbers behind it.
TEST(CaptureHealthTest, ReportsDropsMinutesLeftAndASlowDisk) {
  constexpr uint64_t k1080 = 1920 * 1080 * 2;  // 4,147,200 bytes
  struct Case {
    CaptureHealthInputs in;
    uint32_t dropped;
    std::optional<uint64_t> minutes;
    const char* warning;
  };
  const Case cases[] = {
      // 1080p at 30 frames a second needs 124.4 MB/s.
      {{0, 30, k1080, 500e6, uint64_t{100'000'000'000}}, 0, 13, ""},
      {{3, 30, k1080, 40e6, uint64_t{100'000'000'000}},
       3,
       13,
       "This disk writes about 40 MB/s, less than the 125 MB/s this picture needs, so frames will be "
       "dropped."},
      {{0, 30, k1080, 124.5e6, std::nullopt}, 0, std::nullopt, ""},
      {{0, 30, k1080, 124.0e6, uint64_t{60} * 124'416'000 - 1},
       0,
       0,
       "This disk writes about 124 MB/s, less than the 125 MB/s this picture needs, so frames will be "
       "dropped."},
      {{0, 30, k1080, 0, uint64_t{60} * 124'416'000}, 0, 1, ""},            // disk not measured: no judgement
      {{1, 0, k1080, 40e6, uint64_t{1'000'000'000}}, 1, std::nullopt, ""},  // rate not known yet
      {{0, 30, 0, 40e6, uint64_t{1'000'000'000}}, 0, std::nullopt, ""},     // size not known yet
      {{0, 60, 1280 * 720 * 2, 0.4e6, uint64_t{0}},
       0,
       0,
       "This disk writes about 0.4 MB/s, less than the 111 MB/s this picture needs, so frames will be "
       "dropped."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.warning);
    const CaptureHealthReport report = BuildCaptureHealthReport(c.in);
    EXPECT_EQ(report.framesDropped, c.dropped);
    EXPECT_EQ(report.minutesLeft, c.minutes);
    EXPECT_EQ(report.diskWarning, c.warning);
  }
}

TEST(CaptureHealthTest, Texts) {
  struct Case {
    uint64_t n;
    const char* dropped;
    const char* minutes;
  };
  const Case cases[] = {
      {0, "", "Less than a minute left on the disk"},
      {1, "1 frame dropped", "1 minute left on the disk"},
      {2, "2 frames dropped", "2 minutes left on the disk"},
      {1440, "1440 frames dropped", "1440 minutes left on the disk"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DroppedFramesText(static_cast<uint32_t>(c.n)), c.dropped);
    EXPECT_EQ(MinutesLeftText(c.n), c.minutes);
  }
}

TEST(FreeBytesTest, FreeSpaceOfAFolderOrWhyNot) {
  TempDir dir;
  uint64_t freeBytes = 0;
  EXPECT_EQ(GetFreeBytesOfFolder(dir.path(), &freeBytes), noErr);
  EXPECT_GT(freeBytes, 0u);
  EXPECT_EQ(GetFreeBytesOfFolder(dir.file("gone"), &freeBytes), fnfErr);
  EXPECT_EQ(GetFreeBytesOfFolder("", &freeBytes), paramErr);
}

}  // namespace
