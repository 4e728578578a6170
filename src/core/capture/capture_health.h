// Capture health in every-frame captures: whether the disk keeps up with
// the input, how many frames the input had to drop, and how long the disk
// lasts at the input's rate. The numbers come from the device layer and the
// file system; here they become the capture window's texts, so that what
// the user is told is decided (and tested) without a screen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "core/platform/os_errors.h"
#include "core/platform/volumes.h"

namespace fw {

// The short write that tells how fast a disk takes a stream: chunks sent to
// the disk one after the other and waited for (so the page cache cannot make
// a slow disk look fast), until kDiskCheckMaxBytes are written or
// kDiskCheckMaxNanoseconds have passed, then synced.
constexpr uint64_t kDiskCheckMaxBytes = uint64_t{32} << 20;
constexpr uint64_t kDiskCheckMaxNanoseconds = 300'000'000;
constexpr size_t kDiskCheckChunkBytes = size_t{2} << 20;

struct DiskSpeedMeasurement {
  uint64_t bytesWritten = 0;
  uint64_t nanoseconds = 0;
  double BytesPerSecond() const {
    return nanoseconds == 0 ? 0.0
                            : static_cast<double>(bytesWritten) * 1e9 / static_cast<double>(nanoseconds);
  }
};

// Writes the check file in `folder`, measures, and removes the file again
// (also on failure). The folder's write error, or its absence, is returned.
[[nodiscard]] OSErr MeasureDiskWriteSpeed(const std::string& folder, DiskSpeedMeasurement* outMeasurement);

// Disk speeds measured this session, one per disk: a capture folder on a
// disk already measured costs nothing. Volumes with no disk number (network
// and virtual file systems) are each measured once.
class DiskSpeedCache {
 public:
  using Measurer = std::function<OSErr(const std::string& folder, DiskSpeedMeasurement*)>;
  explicit DiskSpeedCache(Measurer measurer = MeasureDiskWriteSpeed);

  // The write speed of the disk that holds `folder`; a failed measurement is
  // returned and not kept, so the next capture tries again.
  [[nodiscard]] OSErr BytesPerSecondOf(const std::string& folder, double* outBytesPerSecond);

 private:
  Measurer measurer_;
  std::map<std::pair<int16_t, VolumeRef>, double> known_;
};

// Frames per second of an input, from the count of frames it delivered,
// sampled now and then: over the last two seconds of samples, once they span
// at least half a second.
class FrameRateMeter {
 public:
  void AddSample(uint64_t ticks600, uint64_t framesArrived);
  // 0 while unknown.
  double FramesPerSecond() const;
  void Reset() { samples_.clear(); }

 private:
  std::deque<std::pair<uint64_t, uint64_t>> samples_;  // ticks, frames arrived
};

enum class DiskVerdict { kUnknown, kKeepsUp, kTooSlow };

// Whether a disk that writes diskBytesPerSecond sustains an input of
// inputBytesPerSecond; unknown when either is not known (0).
DiskVerdict JudgeDisk(double diskBytesPerSecond, double inputBytesPerSecond);

// What the capture window shows of the capture's health.
struct CaptureHealthReport {
  uint32_t framesDropped = 0;
  std::optional<uint64_t> minutesLeft;  // none while the rate is unknown
  std::string diskWarning;              // empty when the disk keeps up (or is not known)
  bool operator==(const CaptureHealthReport&) const = default;
};

struct CaptureHealthInputs {
  uint32_t framesDropped = 0;
  double framesPerSecond = 0;         // the input's; 0 unknown
  uint64_t frameBytes = 0;            // bytes of one written frame; 0 unknown
  double diskBytesPerSecond = 0;      // 0 unknown
  std::optional<uint64_t> freeBytes;  // on the capture's disk
};

CaptureHealthReport BuildCaptureHealthReport(const CaptureHealthInputs& inputs);

// Whole minutes the free bytes last at this rate; none for no rate.
std::optional<uint64_t> MinutesLeft(uint64_t freeBytes, double bytesPerSecond);

// "" for none, "1 frame dropped", "3 frames dropped".
std::string DroppedFramesText(uint32_t framesDropped);
// "Less than a minute left on the disk", "1 minute left on the disk", ...
std::string MinutesLeftText(uint64_t minutes);
// The one sentence that warns of a disk slower than the input.
std::string DiskTooSlowWarning(double diskBytesPerSecond, double inputBytesPerSecond);

}  // namespace fw
