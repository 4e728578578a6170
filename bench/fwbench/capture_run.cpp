// One benchmark capture through the capture core.
#include "capture_run.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <exception>
#include <vector>

#include "core/capture/capture_movie.h"
#include "core/capture/capture_records.h"
#include "core/movie/mdat_header.h"
#include "core/platform/clocks.h"
#include "core/platform/files.h"
#include "core/prefs/prefs_struct.h"
#include "core/util/byte_order.h"
#include "core/writer/async_file_writer_record.h"
#include "hd/app/capture_controller.h"

using namespace fw;

volatile sig_atomic_t gBenchStopSignal = 0;

namespace {

// The screen of a benchmark: nothing is shown; the one thing kept is the
// alert, since its text is the error fwbench reports.
class QuietCaptureView : public CaptureView {
 public:
  void ShowWindow(WindowId) override {}
  void HideWindow(WindowId) override {}
  void HideAuxiliaryWindows() override {}
  void ShowAuxiliaryWindows() override {}
  void SetCaptureTrigger(uint8_t) override {}
  void SetAuxiliaryMenuItems(Enablement) override {}
  void SetCaptureButton(Enablement) override {}
  void SetFrameCount(uint32_t) override {}
  WindowFrame FrameOf(WindowId) override { return {}; }
  void MovePointerTo(int, int) override {}
  void ShowAlert(WindowId, const std::string& message, std::function<void()> onDismissed) override {
    if (alert.empty()) alert = message;
    // Dismissed at once, so the core returns to idle as after a click on OK.
    if (onDismissed) onDismissed();
  }
  void ShowSavePanel(const std::string&, std::function<void(std::optional<std::string>)> onDone) override {
    onDone(std::nullopt);
  }

  std::string alert;  // the first alert shown
};

class QuietPreview : public PreviewPort {
 public:
  void CalculatePreviewRect(Rect* outRect) override { *outRect = Rect{}; }
  OSErr VPStartPreview(const PixMap*, const ImageDescription*, WindowId, const Rect*, bool, bool, bool,
                       VideoPreviewRef* outRef) override {
    *outRef = nullptr;
    return noErr;
  }
  OSErr VPDisplayFrame(VideoPreviewRef) override { return noErr; }
  void VPDisposePreview(VideoPreviewRef) override {}
  OSErr VPSetOverlay(VideoPreviewRef, const uint8_t*, int32_t, uint32_t) override { return noErr; }
};

// The open input the capture core expects, for the length of one run.
class InputScope {
 public:
  InputScope() {
    gInput = new VideoInputRecord();
    gInput->deviceRef = 1;
  }
  ~InputScope() {
    delete gInput;
    gInput = nullptr;
  }
  InputScope(const InputScope&) = delete;
  InputScope& operator=(const InputScope&) = delete;
};

// Sleeps until the deadline, or until a stop signal arrives.
void SleepUntil(uint64_t deadlineNanoseconds) {
  struct timespec deadline {};
  deadline.tv_sec = static_cast<time_t>(deadlineNanoseconds / 1000000000ull);
  deadline.tv_nsec = static_cast<long>(deadlineNanoseconds % 1000000000ull);
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR &&
         gBenchStopSignal == 0) {
  }
}

double Milliseconds(uint64_t nanoseconds) {
  return static_cast<double>(nanoseconds) / 1e6;
}

CallTimeSpread SpreadOf(std::vector<uint64_t> nanoseconds) {
  CallTimeSpread spread;
  if (nanoseconds.empty()) return spread;
  std::sort(nanoseconds.begin(), nanoseconds.end());
  const size_t n = nanoseconds.size();
  const double median = n % 2 != 0 ? static_cast<double>(nanoseconds[n / 2])
                                   : (static_cast<double>(nanoseconds[n / 2 - 1]) + nanoseconds[n / 2]) / 2;
  // Nearest rank: the smallest time that 99 % of the calls do not exceed.
  const size_t p99Rank = static_cast<size_t>(std::ceil(0.99 * static_cast<double>(n)));
  spread.medianMicroseconds = median / 1e3;
  spread.p99Microseconds = static_cast<double>(nanoseconds[std::max<size_t>(p99Rank, 1) - 1]) / 1e3;
  spread.maxMicroseconds = static_cast<double>(nanoseconds.back()) / 1e3;
  return spread;
}

// Forces the file's data to the disk and measures the finished file: its
// size, and the movie resource that must start right after the frames.
bool SyncAndMeasure(const std::string& path, uint64_t framesEndBytes, CaptureRunResult* result,
                    std::string* error) {
  FileRef file;
  int fd = kNoFile;
  OSErr err = MakeFileRef(path, &file);
  if (err == noErr) err = OpenFile(file, OpenMode::kReadOnly, &fd);
  const uint64_t syncStart = MonotonicNanoseconds();
  if (err == noErr) err = SyncFileData(fd);
  result->fdatasyncMilliseconds = Milliseconds(MonotonicNanoseconds() - syncStart);
  uint8_t atomHeader[8] = {};
  if (err == noErr) err = GetFileSizeBytes(fd, &result->fileBytes);
  if (err == noErr) err = ReadAtOffset(fd, framesEndBytes, atomHeader, sizeof atomHeader);
  if (fd != kNoFile) (void)CloseFile(fd);  // read-only: nothing can be lost at close
  if (err != noErr) {
    *error = "cannot sync or read back " + path + ": error " + std::to_string(err);
    return false;
  }
  const uint32_t atomSize = LoadBE32(atomHeader);
  if (std::memcmp(atomHeader + 4, "moov", 4) != 0 || framesEndBytes + atomSize != result->fileBytes) {
    *error = "the movie resource does not follow the frames in " + path;
    return false;
  }
  result->movieResourceBytes = atomSize;
  return true;
}

// One line per frame handed to the writer, straight to the file: a kill
// loses none that were handed over. Not timed: after the call's end.
void NoteHandover(int fd, uint32_t number) {
  char line[48];
  const int n = std::snprintf(line, sizeof line, "%u %llu\n", number,
                              static_cast<unsigned long long>(MonotonicNanoseconds()));
  ssize_t ignored = ::write(fd, line, static_cast<size_t>(n));
  (void)ignored;
}

struct LogCloser {
  int fd;
  ~LogCloser() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

bool RunBenchCapture(const BenchOptions& options, SyntheticFrames& frames, CaptureRunResult* result,
                     std::string* error) {
  std::memset(&gPrefs, 0, sizeof gPrefs);
  gPrefs.captureTrigger = kCaptureTriggerEveryFrame;
  gPrefs.hundredTimesMovieFPS = options.hundredTimesMovieFPS;
  gPrefs.previewFlag = 0;

  InputScope input;
  QuietCaptureView view;
  QuietPreview preview;
  // The capture core as the program has it, with the movie resource's
  // finishing timed.
  uint64_t finishNanoseconds = 0;
  CaptureController app(view, preview,
                        [&finishNanoseconds](const FileRef& file, int32_t frameDataSize, int32_t frameCount) {
                          const uint64_t finishStart = MonotonicNanoseconds();
                          const OSErr err = addMovieResourceToFile(&file, frameDataSize, frameCount);
                          finishNanoseconds = MonotonicNanoseconds() - finishStart;
                          return err;
                        });

  const uint32_t frameCount = options.frameCount;
  std::vector<uint64_t> callNanoseconds;
  try {
    callNanoseconds.reserve(frameCount);  // no allocation inside the timed loop
  } catch (const std::exception&) {
    *error = "not enough memory to keep the times of " + std::to_string(frameCount) + " calls";
    return false;
  }
  const bool paced = options.rateFramesPerSecond.has_value();
  const double periodNanoseconds = paced ? 1e9 / *options.rateFramesPerSecond : 0.0;
  uint64_t waitNanoseconds = 0, longestWaitNanoseconds = 0;
  uint32_t callsThatWaited = 0, waitsOverPeriod = 0, framesLate = 0;

  int handoverLog = -1;
  if (!options.handoverLogPath.empty()) {
    handoverLog = ::open(options.handoverLogPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (handoverLog < 0) {
      *error = "cannot create " + options.handoverLogPath + ": " + std::strerror(errno);
      return false;
    }
  }
  const LogCloser closeLog{handoverLog};
  // The program shows the input before any capture: the input's geometry
  // is known when the capture starts, as it is here after one frame.
  MyQTCaptureDataProc(0, frames.Frame(1), frames.rowBytes(), frames.widthPixels(), frames.heightPixels(), 0,
                      noErr);
  const uint64_t start = MonotonicNanoseconds();
  if (app.startCaptureWithURL(options.outPath) != noErr || gCapture == nullptr) {
    *error = view.alert.empty() ? "the capture did not start" : view.alert;
    return false;
  }
  const AFWRecord* writer = gCapture->writer;
  const uint64_t feedStart = MonotonicNanoseconds();
  for (uint32_t number = 1; number <= frameCount && gBenchStopSignal == 0; ++number) {
    uint8_t* frame = frames.Frame(number);
    if (paced) {
      // Absolute deadlines from the first frame: a late frame does not push
      // the ones after it back.
      const uint64_t due = feedStart + static_cast<uint64_t>(std::llround((number - 1) * periodNanoseconds));
      SleepUntil(due);
      if (gBenchStopSignal != 0) break;
      if (static_cast<double>(MonotonicNanoseconds() - due) > periodNanoseconds) ++framesLate;
    }
    const uint64_t waitBefore = writer->diskWaitNanoseconds;
    const uint64_t callStart = MonotonicNanoseconds();
    MyQTCaptureDataProc(0, frame, frames.rowBytes(), frames.widthPixels(), frames.heightPixels(), 0, noErr);
    callNanoseconds.push_back(MonotonicNanoseconds() - callStart);
    if (gCapture == nullptr) {
      // An error ended the capture (and freed the writer).
      *error = (view.alert.empty() ? std::string("the capture ended") : view.alert) + " (at frame " +
               std::to_string(number) + " of " + std::to_string(frameCount) + ")";
      return false;
    }
    if (handoverLog >= 0) NoteHandover(handoverLog, number);
    const uint64_t waited = writer->diskWaitNanoseconds - waitBefore;
    if (waited > 0) {
      waitNanoseconds += waited;
      ++callsThatWaited;
      longestWaitNanoseconds = std::max(longestWaitNanoseconds, waited);
      if (paced && static_cast<double>(waited) > periodNanoseconds) ++waitsOverPeriod;
    }
  }
  const uint64_t feedEnd = MonotonicNanoseconds();
  const uint32_t framesWritten = gCapture->framesWritten;
  const uint64_t frameBytes = gCapture->frameDataSize;
  result->syncFlushes = writer->syncFlushCount;

  // A stop signal ends the capture as Escape or the programs' quit does:
  // the frames written so far become a finished movie.
  const int stopSignal = gBenchStopSignal;
  app.stopCaptureWithErr(noErr);
  const uint64_t stopEnd = MonotonicNanoseconds();
  if (!view.alert.empty()) {
    *error = view.alert;
    return false;
  }
  if (stopSignal != 0) {
    // Not a measurement; the movie is checked like any other all the same.
    result->stopSignal = stopSignal;
    if (framesWritten > 0 &&
        !SyncAndMeasure(options.outPath, kMdatHeaderSizeBytes + uint64_t{framesWritten} * frameBytes, result,
                        error)) {
      return false;
    }
    *error = std::string(stopSignal == SIGINT ? "SIGINT" : "SIGTERM") + " after " +
             std::to_string(framesWritten) + " of " + std::to_string(frameCount) +
             " frames; the movie holds them";
    return false;
  }
  if (framesWritten != frameCount || frameBytes != frames.frameBytes()) {
    *error = "the capture core wrote " + std::to_string(framesWritten) + " frames of " +
             std::to_string(frameBytes) + " bytes, not " + std::to_string(frameCount) + " of " +
             std::to_string(frames.frameBytes());
    return false;
  }
  result->framesWritten = framesWritten;
  result->frameDataBytes = uint64_t{framesWritten} * frameBytes;
  if (!SyncAndMeasure(options.outPath, kMdatHeaderSizeBytes + result->frameDataBytes, result, error))
    return false;
  const uint64_t end = MonotonicNanoseconds();

  result->seconds = static_cast<double>(end - start) / 1e9;
  result->feedSeconds = static_cast<double>(feedEnd - feedStart) / 1e9;
  result->writeCall = SpreadOf(std::move(callNanoseconds));
  result->diskWaitMilliseconds = Milliseconds(waitNanoseconds);
  result->callsThatWaited = callsThatWaited;
  result->longestWaitMilliseconds = Milliseconds(longestWaitNanoseconds);
  if (paced) {
    result->waitsOverFramePeriod = waitsOverPeriod;
    result->framesLate = framesLate;
  }
  result->stopMilliseconds = Milliseconds(stopEnd - feedEnd);
  result->finishMilliseconds = Milliseconds(finishNanoseconds);
  return true;
}
