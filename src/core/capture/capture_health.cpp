// Capture health: the disk check, the input's rate and the texts.
#include "core/capture/capture_health.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "core/platform/files.h"

namespace fw {

namespace {

constexpr uint64_t kRateWindowTicks = 1200;  // two seconds of 1/600 s
constexpr uint64_t kRateMinSpanTicks = 300;  // half a second

uint64_t SteadyNanoseconds() {
  // Real time, not the tests' clock: this measures a real disk.
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

// The check file, removed whatever happens.
class CheckFile {
 public:
  explicit CheckFile(FileRef file) : file_(std::move(file)) {}
  ~CheckFile() {
    if (fd_ != kNoFile) (void)CloseFile(fd_);
    if (created_) (void)DeleteFile(file_);
  }
  CheckFile(const CheckFile&) = delete;
  CheckFile& operator=(const CheckFile&) = delete;

  [[nodiscard]] OSErr Open() {
    OSErr err = CreateEmptyFile(file_);
    if (err != noErr) return err;
    created_ = true;
    return OpenFile(file_, OpenMode::kReadWrite, &fd_);
  }
  int fd() const { return fd_; }

 private:
  FileRef file_;
  int fd_ = kNoFile;
  bool created_ = false;
};

// Bytes that no file system compresses or skips (zeros would be).
std::vector<uint8_t> CheckBytes() {
  std::vector<uint8_t> bytes(kDiskCheckChunkBytes);
  uint32_t x = 0x9E3779B9u;
  for (uint8_t& b : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<uint8_t>(x);
  }
  return bytes;
}

enum class Rounding { kDown, kUp };

// Megabytes a second, to a tenth below 10: the disk's speed rounded down and
// the input's rounded up, so a disk just too slow never reads as fast enough.
std::string MegabytesText(double bytesPerSecond, Rounding rounding) {
  const double megabytes = bytesPerSecond / 1e6;
  const double steps = megabytes < 10 ? 10 : 1;
  double shown =
      (rounding == Rounding::kDown ? std::floor(megabytes * steps) : std::ceil(megabytes * steps)) / steps;
  shown = std::max(shown, 0.1);
  char text[32];
  std::snprintf(text, sizeof text, shown < 10 ? "%.1f MB/s" : "%.0f MB/s", shown);
  return text;
}

}  // namespace

OSErr MeasureDiskWriteSpeed(const std::string& folder, DiskSpeedMeasurement* outMeasurement) {
  if (outMeasurement == nullptr || folder.empty()) return paramErr;
  FileRef ref;
  OSErr err = MakeFileRef(folder + "/.framewright-disk-check-" + std::to_string(::getpid()), &ref);
  if (err != noErr) return err;
  CheckFile file(ref);
  err = file.Open();
  if (err != noErr) return err;
  static const std::vector<uint8_t> kBytes = CheckBytes();
  DiskSpeedMeasurement measured;
  const uint64_t start = SteadyNanoseconds();
  // As a capture streams: each chunk is sent to the disk as soon as it is
  // written, and the one before it waited for, so the disk is never idle
  // and the page cache never holds more than two chunks.
  while (measured.bytesWritten < kDiskCheckMaxBytes && measured.nanoseconds < kDiskCheckMaxNanoseconds) {
    const uint64_t at = measured.bytesWritten;
    err = WriteAtMark(file.fd(), kBytes.data(), kBytes.size());
    if (err != noErr) return err;
    // A file system that cannot start or wait for a range (some FUSE ones)
    // is still measured: by the sync at the end.
    (void)StartWriteback(file.fd(), at, kBytes.size());
    if (at > 0) (void)WaitWritebackAndDropPages(file.fd(), at - kBytes.size(), kBytes.size());
    measured.bytesWritten += kBytes.size();
    measured.nanoseconds = std::max<uint64_t>(SteadyNanoseconds() - start, 1);
  }
  err = SyncFileData(file.fd());
  if (err != noErr) return err;
  measured.nanoseconds = std::max<uint64_t>(SteadyNanoseconds() - start, 1);
  *outMeasurement = measured;
  return noErr;
}

DiskSpeedCache::DiskSpeedCache(Measurer measurer) : measurer_(std::move(measurer)) {}

OSErr DiskSpeedCache::BytesPerSecondOf(const std::string& folder, double* outBytesPerSecond) {
  if (outBytesPerSecond == nullptr) return paramErr;
  FileRef ref;
  OSErr err = MakeFileRef(folder, &ref);
  if (err != noErr) return err;
  VolumeRef volume = 0;
  err = MyGetFSRefInfo(&ref, &volume, nullptr, nullptr);
  if (err != noErr) return err;
  const int16_t disk = MyGetDiskNumberFromVolumeRef(volume);
  // A numbered disk is one disk whichever partition; the others go by volume.
  const std::pair<int16_t, VolumeRef> key{disk, disk >= 0 ? VolumeRef{0} : volume};
  if (auto known = known_.find(key); known != known_.end()) {
    *outBytesPerSecond = known->second;
    return noErr;
  }
  DiskSpeedMeasurement measured;
  err = measurer_(ref.path, &measured);
  if (err != noErr) return err;
  *outBytesPerSecond = known_[key] = measured.BytesPerSecond();
  return noErr;
}

void FrameRateMeter::AddSample(uint64_t ticks600, uint64_t framesArrived) {
  // A count that goes back, or a clock that does, is another input.
  if (!samples_.empty() && (framesArrived < samples_.back().second || ticks600 < samples_.back().first))
    samples_.clear();
  samples_.emplace_back(ticks600, framesArrived);
  while (samples_.size() > 2 && ticks600 - samples_[1].first >= kRateWindowTicks) samples_.pop_front();
}

double FrameRateMeter::FramesPerSecond() const {
  if (samples_.size() < 2) return 0;
  const auto& [firstTicks, firstFrames] = samples_.front();
  const auto& [lastTicks, lastFrames] = samples_.back();
  if (lastTicks - firstTicks < kRateMinSpanTicks) return 0;
  return static_cast<double>(lastFrames - firstFrames) * 600.0 / static_cast<double>(lastTicks - firstTicks);
}

DiskVerdict JudgeDisk(double diskBytesPerSecond, double inputBytesPerSecond) {
  if (!(diskBytesPerSecond > 0) || !(inputBytesPerSecond > 0)) return DiskVerdict::kUnknown;
  // No margin on top: the check waits for the disk at the end, which a
  // capture does only every quarter of a second, so it errs on the slow
  // side already.
  return diskBytesPerSecond < inputBytesPerSecond ? DiskVerdict::kTooSlow : DiskVerdict::kKeepsUp;
}

std::optional<uint64_t> MinutesLeft(uint64_t freeBytes, double bytesPerSecond) {
  if (!(bytesPerSecond > 0)) return std::nullopt;
  return static_cast<uint64_t>(static_cast<double>(freeBytes) / bytesPerSecond / 60.0);
}

CaptureHealthReport BuildCaptureHealthReport(const CaptureHealthInputs& inputs) {
  CaptureHealthReport report;
  report.framesDropped = inputs.framesDropped;
  const double inputBytesPerSecond = inputs.framesPerSecond * static_cast<double>(inputs.frameBytes);
  if (inputs.freeBytes) report.minutesLeft = MinutesLeft(*inputs.freeBytes, inputBytesPerSecond);
  if (JudgeDisk(inputs.diskBytesPerSecond, inputBytesPerSecond) == DiskVerdict::kTooSlow)
    report.diskWarning = DiskTooSlowWarning(inputs.diskBytesPerSecond, inputBytesPerSecond);
  return report;
}

std::string DroppedFramesText(uint32_t framesDropped) {
  if (framesDropped == 0) return {};
  if (framesDropped == 1) return "1 frame dropped";
  return std::to_string(framesDropped) + " frames dropped";
}

std::string MinutesLeftText(uint64_t minutes) {
  if (minutes == 0) return "Less than a minute left on the disk";
  if (minutes == 1) return "1 minute left on the disk";
  return std::to_string(minutes) + " minutes left on the disk";
}

std::string DiskTooSlowWarning(double diskBytesPerSecond, double inputBytesPerSecond) {
  return "This disk writes about " + MegabytesText(diskBytesPerSecond, Rounding::kDown) + ", less than the " +
         MegabytesText(inputBytesPerSecond, Rounding::kUp) +
         " this picture needs, so frames will be dropped.";
}

}  // namespace fw
