// Framewright HD's captures over the shared capture session.
#include "hd/app/capture_controller.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/capture/capture_movie.h"
#include "core/capture/capture_naming.h"
#include "core/capture/capture_timing.h"
#include "core/capture/error_messages.h"
#include "core/capture/frame_schedule.h"
#include "core/movie/image_descriptions.h"
#include "core/platform/clocks.h"
#include "core/prefs/prefs_struct.h"
#include "core/recovery/recovery_journal.h"
#include "hd/video/qt_capture.h"

using namespace fw;

CaptureController* fw::gCaptureController = nullptr;
CaptureTiming fw::gCaptureTiming;
VideoPreviewRef gVideoPreviewRef = nullptr;
bool gProcessingSuspendedFlag = false;

namespace {

void DisposePreview(PreviewPort& preview) {
  if (gVideoPreviewRef != nullptr) preview.VPDisposePreview(gVideoPreviewRef);
  gVideoPreviewRef = nullptr;
}

// A trim as applied: negative values (a damaged preferences file) trim
// nothing rather than reach outside the frame.
int32_t AppliedTrim(int16_t trim) {
  return std::max<int32_t>(trim, 0);
}

// The movie's time scale. 0 (never set) and values below it (a damaged
// file, or one the other program never writes) would leave a capture whose
// frames no movie can index, so they become 18 frames per second before
// the first frame is written.
void UseDefaultMovieRateWhenUnset() {
  if (gPrefs.hundredTimesMovieFPS <= 0) gPrefs.hundredTimesMovieFPS = 1800;
}

// One line per frame handed to the writer, straight to the file, so that a
// kill loses none of them.
void NoteHandover(int fd, uint32_t framesWritten) {
  char line[48];
  const int n = std::snprintf(line, sizeof line, "%u %llu\n", framesWritten,
                              static_cast<unsigned long long>(MonotonicNanoseconds()));
  ssize_t ignored = ::write(fd, line, static_cast<size_t>(n));
  (void)ignored;
}

// Where the main thread's time went in the capture now ending, on the error
// stream when kCaptureTimingVariable is set (for the capture benchmark).
void ReportCaptureTiming(uint32_t framesDropped) {
  const char* wanted = std::getenv(kCaptureTimingVariable);
  if (wanted == nullptr || *wanted == '\0') return;
  const CaptureTiming& t = gCaptureTiming;
  const double frames = t.framesWritten > 0 ? t.framesWritten : 1;
  const double previewNanos = static_cast<double>(t.previewCallNanos + t.previewPaintNanos);
  std::fprintf(stderr,
               "framewright-hd: capture timing: frames_written=%u frames_dropped=%u write_ms_per_frame=%.3f "
               "preview_ms_per_frame=%.3f preview_call_ms_per_frame=%.3f preview_paint_ms_per_frame=%.3f "
               "paints=%u\n",
               t.framesWritten, framesDropped, static_cast<double>(t.writeNanos) / frames / 1e6,
               previewNanos / frames / 1e6, static_cast<double>(t.previewCallNanos) / frames / 1e6,
               static_cast<double>(t.previewPaintNanos) / frames / 1e6, t.previewPaints);
}

// How the disk compared with the input, once both are known, for the
// capture benchmark and the tests (with kCaptureTimingVariable set): the
// window's text cannot be read from outside.
void ReportDiskJudgement(double diskBytesPerSecond, double inputBytesPerSecond, bool tooSlow) {
  const char* wanted = std::getenv(kCaptureTimingVariable);
  if (wanted == nullptr || *wanted == '\0') return;
  std::fprintf(stderr,
               "framewright-hd: capture health: disk_too_slow=%d disk_bytes_per_second=%.0f "
               "input_bytes_per_second=%.0f\n",
               tooSlow ? 1 : 0, diskBytesPerSecond, inputBytesPerSecond);
}

// The open device's delivery.
uint32_t SwitchOpenInputDelivery(FrameDelivery delivery) {
  if (gInput == nullptr || gInput->deviceRef == 0) return 0;
  return QTCaptureSetFrameDelivery(gInput->deviceRef, delivery == FrameDelivery::kEveryFrame
                                                          ? QTFrameDelivery::kEveryFrame
                                                          : QTFrameDelivery::kNewestFrame);
}

// The open device's frame counts.
bool ReadOpenInputStats(fw::QTFrameStats* stats) {
  if (gInput == nullptr || gInput->deviceRef == 0) return false;
  return fw::QTCaptureGetFrameStats(gInput->deviceRef, stats);
}

// The health line is redrawn at most this often (1/600 s ticks).
constexpr uint64_t kHealthIntervalTicks = 300;

}  // namespace

void MyQTCaptureDataProc(int32_t /*refCon*/, void* baseAddr, int32_t rowBytes, int32_t width, int32_t height,
                         uint64_t /*time*/, int32_t err) {
  if (gCaptureController != nullptr) gCaptureController->HandleFrame(baseAddr, rowBytes, width, height, err);
}

fw::CaptureController::CaptureController(CaptureView& view, PreviewPort& preview, MovieFinisher finisher,
                                         FrameDeliverySwitch switchDelivery, FrameStatsReader readStats)
    : view_(view),
      preview_(preview),
      finisher_(std::move(finisher)),
      switchDelivery_(std::move(switchDelivery)),
      readStats_(std::move(readStats)),
      clock_(MonotonicNanoseconds) {
  if (!switchDelivery_) switchDelivery_ = SwitchOpenInputDelivery;
  if (!readStats_) readStats_ = ReadOpenInputStats;
  if (!finisher_) {
    finisher_ = [](const FileRef& file, int32_t frameDataSize, int32_t frameCount) {
      return addMovieResourceToFile(&file, frameDataSize, frameCount);
    };
  }
  gCaptureController = this;
}

fw::CaptureController::~CaptureController() {
  if (handoverLogFd_ >= 0) ::close(handoverLogFd_);
  if (session_) {
    session_->Finish(noErr);
    session_.reset();
    gCapture = nullptr;
  }
  if (gCaptureController == this) gCaptureController = nullptr;
}

void fw::CaptureController::startCapture() {
  if (gCapture != nullptr) return;
  UseDefaultMovieRateWhenUnset();
  const std::string name = MakeCaptureFileName(LocalDateTimeOf(WallClockSeconds()), gPrefs.dateOrdering);
  std::string folder;
  const OSErr folderErr = GetCaptureFolder(gPrefs.captureLocation, &folder);
  if (folderErr == paramErr) {
    startFileSavePanelWithName(name);
    return;
  }
  if (folderErr != noErr) {
    // The folder could not be found or made: the file cannot be created.
    ShowStartError(kCannotCreateCaptureFileErr);
    return;
  }
  startCaptureWithURL(UniqueCapturePath(folder, name));
}

void fw::CaptureController::startFileSavePanelWithName(const std::string& name) {
  view_.ShowSavePanel(name, [this](std::optional<std::string> path) {
    if (path) startCaptureWithURL(*path);
  });
}

void fw::CaptureController::ShowStartError(int32_t err) {
  view_.ShowAlert(WindowId::kMainWindow, BuildErrorAlertText(ErrorStep::kStartingCapture, err), nullptr);
}

int32_t fw::CaptureController::startCaptureWithURL(const std::optional<std::string>& path) {
  if (session_) return 0;
  UseDefaultMovieRateWhenUnset();
  CaptureSessionSettings settings;
  settings.mode =
      gPrefs.captureTrigger == kCaptureTriggerEveryFrame ? CaptureMode::kEveryFrame : CaptureMode::kScheduled;
  settings.ignoreFrameCount = gPrefs.ignoreFrameCount;
  // The trimmed picture, rows packed, two bytes a pixel: what each frame
  // written holds.
  if (gInput != nullptr && gInput->trimmedWidth > 0 && gInput->trimmedHeight > 0)
    settings.expectedFrameSizeBytes =
        2 * static_cast<uint32_t>(gInput->trimmedWidth) * static_cast<uint32_t>(gInput->trimmedHeight);
  // A capture cut short by a crash or a kill is finished at the next start.
  settings.journal = MakeRecoveryJournalFactory(ProgramFlavor::kHD, settings.format, &DescribeHDCaptureMovie);
  diskBytesPerSecond_ = 0;
  diskWarning_.clear();
  diskJudged_ = false;
  captureFolder_.clear();
  if (path && settings.mode == CaptureMode::kEveryFrame) {
    // Before the file exists, so the check has the disk to itself. A disk
    // that cannot be measured is not judged; the capture's own start then
    // tells what is wrong with the folder.
    FileRef file;
    if (MakeFileRef(*path, &file) == noErr) {
      captureFolder_ = FolderOf(file);
      if (diskSpeeds_.BytesPerSecondOf(captureFolder_, &diskBytesPerSecond_) != noErr)
        diskBytesPerSecond_ = 0;
    }
  }
  const OSErr err =
      path ? CaptureSession::Start(*path, settings, gFrameCaptureScheduleTable, finisher_, &session_)
           : kCannotCreateCaptureFileErr;
  if (err != noErr) {
    DisposePreview(preview_);
    switchBackToMainWindow();
    ShowStartError(err);
    return err;
  }
  gCapture = &session_->record();
  gCaptureTiming = CaptureTiming{};
  if (const char* log = std::getenv(kHandoverLogVariable); log != nullptr && *log != '\0')
    handoverLogFd_ = ::open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (settings.mode == CaptureMode::kEveryFrame) switchDelivery_(FrameDelivery::kEveryFrame);
  stopMotion_ = settings.mode == CaptureMode::kScheduled;
  recentFrames_.Clear();
  review_.End();
  reviewShown_.reset();

  DisposePreview(preview_);
  view_.SetFrameCount(0);
  showHealth_ = settings.mode == CaptureMode::kEveryFrame;
  view_.SetCaptureHealth(fw::CaptureHealthReport{});
  if (showHealth_) ShowHealth(GetTicks600());
  view_.HideWindow(WindowId::kMainWindow);
  view_.HideAuxiliaryWindows();
  view_.ShowWindow(WindowId::kCaptureWindow);
  view_.SetCaptureTrigger(gPrefs.captureTrigger);
  view_.SetAuxiliaryMenuItems(Enablement::kDisabled);
  // Clicks then land in the capture window.
  const WindowFrame frame = view_.FrameOf(WindowId::kCaptureWindow);
  view_.MovePointerTo(frame.x + frame.width / 2, frame.y + frame.height / 2);
  gCapture->running = true;
  return 0;
}

void fw::CaptureController::stopCaptureWithErr(int32_t err) {
  if (!session_) return;
  showHealth_ = false;
  const uint32_t framesDropped = switchDelivery_(FrameDelivery::kNewestFrame);
  ReportCaptureTiming(framesDropped);
  if (framesDropped > 0) view_.ReportDroppedFrames(framesDropped);
  const CaptureEnd end = session_->Finish(err);
  if (handoverLogFd_ >= 0) ::close(handoverLogFd_);
  handoverLogFd_ = -1;
  DisposePreview(preview_);
  session_.reset();
  gCapture = nullptr;
  stopMotion_ = false;
  review_.End();
  reviewShown_.reset();
  recentFrames_.Clear();  // their memory goes back between captures
  const std::optional<ErrorStep> step = end.AlertStep();
  if (!step) {
    switchBackToMainWindow();
    return;
  }
  gProcessingSuspendedFlag = true;
  view_.ShowAlert(WindowId::kCaptureWindow, BuildErrorAlertText(*step, end.AlertCode()),
                  [this] { switchBackToMainWindow(); });
}

void fw::CaptureController::scheduleFrameCapture() {
  if (session_) session_->ScheduleTrigger();
}

void fw::CaptureController::stopMotionCommand(StopMotionCommand command) {
  if (!session_ || !stopMotion_ || gProcessingSuspendedFlag) {
    view_.Beep();
    return;
  }
  switch (command) {
    case StopMotionCommand::kToggleOnionSkin:
    case StopMotionCommand::kLessOnionSkin:
    case StopMotionCommand::kMoreOnionSkin:
      (void)onionSkin_.Apply(command);
      UpdateOverlay();
      // Off, the window goes back to the last frame written; on, the next
      // live frame shows with it (the frame the device lent is gone by now).
      if (!onionSkin_.On() && !review_.Active()) ShowNewestKeptFrame();
      return;
    case StopMotionCommand::kTakeBackFrame: {
      if (gCapture->framesWritten == 0) {
        view_.Beep();
        return;
      }
      if (const OSErr err = session_->TakeBackLastFrame(); err != noErr) {
        stopCaptureWithErr(err);
        return;
      }
      recentFrames_.DropNewest();
      review_.End();
      reviewShown_.reset();
      view_.SetFrameCount(gCapture->framesWritten);
      UpdateOverlay();
      if (!onionSkin_.On()) ShowNewestKeptFrame();
      return;
    }
    case StopMotionCommand::kReview:
      if (!review_.Begin(clock_(), recentFrames_.Count(), gPrefs.hundredTimesMovieFPS)) {
        view_.Beep();
        return;
      }
      reviewNumbers_.clear();
      for (size_t i = review_.FirstKeptIndex(); i < recentFrames_.Count(); ++i)
        reviewNumbers_.push_back(recentFrames_.At(i).frameNumber);
      reviewShown_ = 0;
      UpdateOverlay();  // the frames play alone
      ShowKeptFrame(recentFrames_.At(review_.FirstKeptIndex()));
      return;
  }
}

void fw::CaptureController::KeepWrittenFrame(const uint8_t* firstRow, int32_t rowBytes) {
  const int32_t width = gInput->trimmedWidth, height = gInput->trimmedHeight;
  // Without room for this copy the newest kept frame would not be the last
  // one written: keep none rather than lay the wrong frame over the picture.
  if (recentFrames_.Keep(firstRow, rowBytes, 2 * width, width, height, gCapture->framesWritten) != noErr)
    recentFrames_.Clear();
}

void fw::CaptureController::UpdateOverlay() {
  if (gVideoPreviewRef == nullptr) return;
  const KeptFrame* newest = recentFrames_.Newest();
  const uint32_t weight = newest != nullptr && !review_.Active() ? onionSkin_.Weight256() : 0;
  // An onion skin the preview cannot take is only not shown.
  (void)preview_.VPSetOverlay(gVideoPreviewRef, weight > 0 ? newest->bytes.data() : nullptr,
                              weight > 0 ? newest->rowBytes : 0, weight);
}

void fw::CaptureController::ShowKeptFrame(const KeptFrame& kept) {
  // Laid out where the device puts the trimmed image, with its row pitch:
  // the preview was set up for those.
  if (gInput == nullptr || !gInput->pixMap) return;  // the input went away
  const size_t layoutBytes = static_cast<size_t>(frameRowBytes_) * static_cast<size_t>(frameHeight_);
  if (kept.height != gInput->trimmedHeight || kept.width != gInput->trimmedWidth || layoutBytes == 0) return;
  if (keptFrameLayout_.size() != layoutBytes) keptFrameLayout_.assign(layoutBytes, 0);
  uint8_t* image = keptFrameLayout_.data() + gInput->trimOffset;
  for (int32_t y = 0; y < kept.height; ++y) {
    std::memcpy(image + static_cast<size_t>(y) * static_cast<size_t>(frameRowBytes_),
                kept.bytes.data() + static_cast<size_t>(y) * static_cast<size_t>(kept.rowBytes),
                static_cast<size_t>(kept.rowBytes));
  }
  gInput->pixMap->baseAddr = image;
  ShowPreviewFrame(WindowId::kCaptureWindow);
}

void fw::CaptureController::ShowNewestKeptFrame() {
  if (const KeptFrame* newest = recentFrames_.Newest(); newest != nullptr) {
    ShowKeptFrame(*newest);
  } else {
    DisposePreview(preview_);  // as before the first frame: no picture
  }
}

void fw::CaptureController::AdvanceReview() {
  const std::optional<size_t> index = review_.FrameAt(clock_());
  if (!index) {
    // Over: the usual picture again, with the onion skin if it is on.
    reviewShown_.reset();
    UpdateOverlay();
    if (onionSkin_.On())
      ShowPreviewFrame(WindowId::kCaptureWindow);
    else
      ShowNewestKeptFrame();
    return;
  }
  if (reviewShown_ == index || *index >= reviewNumbers_.size()) return;
  reviewShown_ = index;
  // Frames written since the review began may have pushed the oldest out.
  for (size_t i = 0; i < recentFrames_.Count(); ++i) {
    if (recentFrames_.At(i).frameNumber == reviewNumbers_[*index]) {
      ShowKeptFrame(recentFrames_.At(i));
      return;
    }
  }
}

void fw::CaptureController::switchBackToMainWindow() {
  view_.HideWindow(WindowId::kCaptureWindow);
  view_.ShowAuxiliaryWindows();
  view_.ShowWindow(WindowId::kMainWindow);
  view_.SetAuxiliaryMenuItems(Enablement::kEnabled);
  gProcessingSuspendedFlag = false;
}

void fw::CaptureController::ForgetInputGeometry() {
  frameRowBytes_ = frameWidth_ = frameHeight_ = 0;
  inputRate_.Reset();
}

void fw::CaptureController::UpdateHealth() {
  const uint64_t now = GetTicks600();
  fw::QTFrameStats stats;
  if (readStats_(&stats)) inputRate_.AddSample(now, stats.framesArrived);
  if (showHealth_ && session_ && now - healthShownTicks_ >= kHealthIntervalTicks) ShowHealth(now);
}

void fw::CaptureController::ShowHealth(uint64_t nowTicks) {
  healthShownTicks_ = nowTicks;
  fw::CaptureHealthInputs inputs;
  fw::QTFrameStats stats;
  if (readStats_(&stats)) inputs.framesDropped = stats.framesDropped;
  inputs.framesPerSecond = inputRate_.FramesPerSecond();
  if (gInput != nullptr && gInput->pixMap)
    inputs.frameBytes = 2 * uint64_t{gInput->trimmedWidth} * gInput->trimmedHeight;
  inputs.diskBytesPerSecond = diskBytesPerSecond_;
  uint64_t freeBytes = 0;
  if (!captureFolder_.empty() && fw::GetFreeBytesOfFolder(captureFolder_, &freeBytes) == noErr)
    inputs.freeBytes = freeBytes;
  fw::CaptureHealthReport report = fw::BuildCaptureHealthReport(inputs);
  // The warning, once given, stays: the input's measured rate wobbles, the
  // disk does not get faster.
  if (diskWarning_.empty())
    diskWarning_ = report.diskWarning;
  else
    report.diskWarning = diskWarning_;
  const double inputBytesPerSecond = inputs.framesPerSecond * static_cast<double>(inputs.frameBytes);
  if (!diskJudged_ && fw::JudgeDisk(diskBytesPerSecond_, inputBytesPerSecond) != fw::DiskVerdict::kUnknown) {
    diskJudged_ = true;
    ReportDiskJudgement(diskBytesPerSecond_, inputBytesPerSecond, !diskWarning_.empty());
  }
  view_.SetCaptureHealth(report);
}

OSErr fw::CaptureController::SetUpInputGeometry(int32_t rowBytes, int32_t width, int32_t height) {
  VideoInputRecord& input = *gInput;
  int32_t left = AppliedTrim(gPrefs.trimLeft), right = AppliedTrim(gPrefs.trimRight);
  int32_t top = AppliedTrim(gPrefs.trimTop), bottom = AppliedTrim(gPrefs.trimBottom);
  if (left + right >= width) left = right = 0;
  if (top + bottom >= height) top = bottom = 0;
  // '2vuy' holds pixels in pairs that share their chroma: the trimmed image
  // must start on a pair and hold whole pairs, or every player shows it with
  // its colours swapped or garbled.
  left &= ~1;
  int32_t trimmedWidth = (width - left - right) & ~1;
  if (trimmedWidth <= 0) {
    left = 0;
    trimmedWidth = width & ~1;
  }
  const int32_t trimmedHeight = height - top - bottom;
  if (trimmedWidth <= 0 || trimmedHeight <= 0 || trimmedWidth > 0x7FFF || trimmedHeight > 0x7FFF ||
      rowBytes < 2 * width) {
    return paramErr;
  }
  input.trimOffset = static_cast<uint32_t>(top * rowBytes + 2 * left);
  input.trimmedWidth = static_cast<uint16_t>(trimmedWidth);
  input.trimmedHeight = static_cast<uint16_t>(trimmedHeight);

  PixMapHandle pixMap;
  OSErr err = MyNewPixMapWithoutStorage(
      k2vuyPixelFormat, Rect{0, 0, static_cast<int16_t>(trimmedHeight), static_cast<int16_t>(trimmedWidth)},
      rowBytes, &pixMap);
  if (err != noErr) return err;
  ImageDescriptionHandle description;
  err = MakeImageDescriptionForPixMap(pixMap.get(), &description);
  if (err != noErr) return err;

  input.pixMap = std::move(pixMap);
  input.imageDescription = std::move(description);
  frameRowBytes_ = rowBytes;
  frameWidth_ = width;
  frameHeight_ = height;
  view_.SetCaptureButton(Enablement::kEnabled);
  return noErr;
}

void fw::CaptureController::ShowPreviewFrame(WindowId window) {
  if (gVideoPreviewRef == nullptr) {
    Rect rect;
    preview_.CalculatePreviewRect(&rect);
    VideoPreviewRef ref = nullptr;
    if (preview_.VPStartPreview(gInput->pixMap.get(), gInput->imageDescription.get(), window, &rect,
                                gPrefs.flipHFlag != 0, gPrefs.flipVFlag != 0, false, &ref) == noErr) {
      gVideoPreviewRef = ref;
    }
    if (gVideoPreviewRef == nullptr) return;
    if (window == WindowId::kCaptureWindow) UpdateOverlay();
  }
  // A frame the preview cannot draw is only not shown; the capture goes on.
  (void)preview_.VPDisplayFrame(gVideoPreviewRef);
}

void fw::CaptureController::HandleFrame(void* baseAddr, int32_t rowBytes, int32_t width, int32_t height,
                                        int32_t err) {
  if (gInput == nullptr || gProcessingSuspendedFlag) return;
  if (err != noErr) {
    stopCaptureWithErr(err);
    return;
  }
  if (baseAddr == nullptr || width <= 0 || height <= 0) return;
  if (!gInput->pixMap) {
    const OSErr setUpErr = SetUpInputGeometry(rowBytes, width, height);
    if (setUpErr != noErr) {
      stopCaptureWithErr(setUpErr);
      return;
    }
  } else if (rowBytes != frameRowBytes_ || width != frameWidth_ || height != frameHeight_) {
    // The trimmed image, the preview and the movie are set up for the first
    // frame's geometry; a frame of another shape would be read out of bounds.
    return;
  }
  auto* frame = static_cast<uint8_t*>(baseAddr);
  gInput->pixMap->baseAddr = frame + gInput->trimOffset;

  if (!session_ || !gCapture->running) {
    ShowPreviewFrame(WindowId::kMainWindow);
    return;
  }
  if (!session_->IsFrameDue()) {
    session_->SkipFrame();
    // Not written: shown only by the review, or live under the onion skin.
    if (review_.Active())
      AdvanceReview();
    else if (onionSkin_.On() && stopMotion_)
      ShowPreviewFrame(WindowId::kCaptureWindow);
    return;
  }
  view_.SetFrameCount(gCapture->framesWritten + 1);
  ++gCaptureTiming.framesWritten;
  OSErr writeErr;
  {
    ScopedNanos writeTime(&gCaptureTiming.writeNanos);
    // Exactly the trimmed image, rows packed, is written: that is what the
    // movie says its frames are.
    writeErr = session_->WriteFrame(frame + gInput->trimOffset, static_cast<size_t>(rowBytes),
                                    2 * static_cast<size_t>(gInput->trimmedWidth), gInput->trimmedHeight);
  }
  if (writeErr != noErr) {
    stopCaptureWithErr(writeErr);
    return;
  }
  if (handoverLogFd_ >= 0) NoteHandover(handoverLogFd_, gCapture->framesWritten);
  if (stopMotion_) {
    KeepWrittenFrame(frame + gInput->trimOffset, rowBytes);
    // The review keeps the window until it is over; the frame is written.
    if (review_.Active()) {
      AdvanceReview();
      return;
    }
    UpdateOverlay();
  }
  if (gPrefs.previewFlag != 0 || gVideoPreviewRef != nullptr) {
    ScopedNanos previewTime(&gCaptureTiming.previewCallNanos);
    ShowPreviewFrame(WindowId::kCaptureWindow);
  }
}
