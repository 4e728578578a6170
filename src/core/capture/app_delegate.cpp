// The capture spine of Framewright HD.
#include "core/capture/app_delegate.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <new>

#include "core/capture/capture_naming.h"
#include "core/capture/capture_timing.h"
#include "core/capture/error_messages.h"
#include "core/capture/frame_schedule.h"
#include "core/movie/image_descriptions.h"
#include "core/movie/mdat_header.h"
#include "core/movie/movie_resource.h"
#include "core/platform/clocks.h"
#include "core/platform/files.h"
#include "core/prefs/prefs_struct.h"
#include "core/writer/async_file_writer.h"

AppDelegate* gAppDelegate = nullptr;
VideoPreviewRef gVideoPreviewRef = nullptr;
bool gProcessingSuspendedFlag = false;
CaptureTiming gCaptureTiming;

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

}  // namespace

void MyQTCaptureDataProc(int32_t /*refCon*/, void* baseAddr, int32_t rowBytes, int32_t width, int32_t height,
                         uint64_t /*time*/, int32_t err) {
  if (gAppDelegate != nullptr) gAppDelegate->HandleFrame(baseAddr, rowBytes, width, height, err);
}

AppDelegate::AppDelegate(CaptureView& view, PreviewPort& preview) : view_(view), preview_(preview) {
  gAppDelegate = this;
}

AppDelegate::~AppDelegate() {
  if (gAppDelegate == this) gAppDelegate = nullptr;
}

void AppDelegate::startCapture() {
  if (gCapture != nullptr) return;
  if (gPrefs.hundredTimesMovieFPS == 0) gPrefs.hundredTimesMovieFPS = 1800;
  const std::string name = MakeCaptureFileName(LocalDateTimeOf(WallClockSeconds()), gPrefs.dateOrdering);
  std::string folder;
  const OSErr folderErr = GetCaptureFolder(gPrefs.captureLocation, &folder);
  if (folderErr == paramErr) {
    startFileSavePanelWithName(name);
    return;
  }
  if (folderErr != noErr) {
    ShowStartError(folderErr);
    return;
  }
  startCaptureWithURL(UniqueCapturePath(folder, name));
}

void AppDelegate::startFileSavePanelWithName(const std::string& name) {
  view_.ShowSavePanel(name, [this](std::optional<std::string> path) {
    if (path) startCaptureWithURL(*path);
  });
}

void AppDelegate::ShowStartError(int32_t err) {
  view_.ShowAlert(WindowId::kMainWindow, BuildErrorAlertText(ErrorStep::kStartingCapture, err), nullptr);
}

int32_t AppDelegate::startCaptureWithURL(const std::optional<std::string>& path) {
  if (gCapture != nullptr) return 0;
  int32_t err = noErr;
  do {
    if (!path) {
      err = kCannotCreateCaptureFileErr;
      break;
    }
    gCapture = new (std::nothrow) CaptureRecord();
    if (gCapture == nullptr) {
      err = memFullErr;
      break;
    }
    gFrameCaptureScheduleTable.Clear();
    gCapture->incomingFrameNumber = 1;
    FileRef file;
    // Only a regular file may be replaced: truncating a device or opening a
    // FIFO would harm it or hang, and an empty capture deletes its file.
    std::error_code ec;
    const auto existing = std::filesystem::status(*path, ec).type();
    const bool replaceable =
        existing == std::filesystem::file_type::not_found || existing == std::filesystem::file_type::regular;
    if (!replaceable || MakeFileRef(*path, &file) != noErr || CreateEmptyFile(file) != noErr) {
      err = kCannotCreateCaptureFileErr;
      break;
    }
    gCapture->captureFile = file;
    gCapture->fileCreated = true;
    err = AFWOpenFile(&gCapture->captureFile, true, &gCapture->writer);
    if (err != noErr) break;

    DisposePreview(preview_);
    view_.SetFrameCount(0);
    view_.HideWindow(WindowId::kMainWindow);
    view_.HideAuxiliaryWindows();
    view_.ShowWindow(WindowId::kCaptureWindow);
    view_.SetCaptureTrigger(gPrefs.captureTrigger);
    view_.SetAuxiliaryMenuItems(Enablement::kDisabled);
    // Clicks then land in the capture window.
    const WindowFrame frame = view_.FrameOf(WindowId::kCaptureWindow);
    view_.MovePointerTo(frame.x + frame.width / 2, frame.y + frame.height / 2);
    gCapture->running = true;
    gCaptureTiming = CaptureTiming{};
    if (gPrefs.captureTrigger == kCaptureTriggerEveryFrame) SetInputFrameDelivery(FrameDelivery::kEveryFrame);
    return 0;
  } while (false);

  stopCaptureWithErr(0);
  ShowStartError(err);
  return err;
}

uint32_t AppDelegate::CutBackToWholeFrames(const CaptureRecord& capture, OSErr* outErr) {
  // Frames counted as written may never have reached the disk (the frame
  // whose write failed, those lost with a failed background write). A movie
  // indexing them would point past the end of its data, so index only the
  // whole frames the file holds and cut off a partial one.
  *outErr = noErr;
  if (capture.frameDataSize == 0) return 0;
  int fd = kNoFile;
  OSErr err = OpenFile(capture.captureFile, OpenMode::kReadWrite, &fd);
  uint64_t sizeBytes = 0;
  if (err == noErr) err = GetFileSizeBytes(fd, &sizeBytes);
  uint64_t wholeFrames = 0;
  if (err == noErr && sizeBytes > kMdatHeaderSizeBytes) {
    wholeFrames =
        std::min<uint64_t>((sizeBytes - kMdatHeaderSizeBytes) / capture.frameDataSize, capture.framesWritten);
    const uint64_t wholeSize = kMdatHeaderSizeBytes + wholeFrames * capture.frameDataSize;
    if (sizeBytes > wholeSize) err = TruncateFile(fd, wholeSize);
  }
  if (fd != kNoFile) CloseFile(fd);
  *outErr = err;
  return err == noErr ? static_cast<uint32_t>(wholeFrames) : 0;
}

void AppDelegate::stopCaptureWithErr(int32_t err) {
  if (gCapture == nullptr) return;
  CaptureRecord& capture = *gCapture;
  const uint32_t framesDropped = SetInputFrameDelivery(FrameDelivery::kNewestFrame);

  // The first error of the last writes and the close: a capture whose last
  // frames never reached the disk must not end as a success.
  int32_t closeErr = noErr;
  if (capture.writer != nullptr) {
    closeErr = AFWCloseFile(capture.writer);
    AFWDispose(capture.writer);
    capture.writer = nullptr;
  }

  int32_t finishErr = noErr;
  uint32_t framesToIndex = capture.framesWritten;
  if (framesToIndex > 0 && (err != noErr || closeErr != noErr)) {
    OSErr cutErr = noErr;
    framesToIndex = CutBackToWholeFrames(capture, &cutErr);
    if (closeErr == noErr) closeErr = cutErr;
  }
  if (framesToIndex > 0) {
    finishErr = addMovieResourceToFile(&capture.captureFile, static_cast<int32_t>(capture.frameDataSize),
                                       static_cast<int32_t>(framesToIndex));
  } else if (capture.fileCreated) {
    DeleteFile(capture.captureFile);
  }
  if (finishErr == noErr) finishErr = closeErr;

  DisposePreview(preview_);

  delete gCapture;
  gCapture = nullptr;
  if (framesDropped > 0) view_.ReportDroppedFrames(framesDropped);
  if (finishErr == noErr && err == noErr) {
    switchBackToMainWindow();
    return;
  }
  const std::string message = err != noErr ? BuildErrorAlertText(ErrorStep::kDuringCapture, err)
                                           : BuildErrorAlertText(ErrorStep::kFinishingCapture, finishErr);
  gProcessingSuspendedFlag = true;
  view_.ShowAlert(WindowId::kCaptureWindow, message, [this] { switchBackToMainWindow(); });
}

void AppDelegate::scheduleFrameCapture() {
  if (gCapture == nullptr) return;
  gFrameCaptureScheduleTable.Schedule(gCapture->incomingFrameNumber, gPrefs.ignoreFrameCount);
}

void AppDelegate::switchBackToMainWindow() {
  view_.HideWindow(WindowId::kCaptureWindow);
  view_.ShowAuxiliaryWindows();
  view_.ShowWindow(WindowId::kMainWindow);
  view_.SetAuxiliaryMenuItems(Enablement::kEnabled);
  gProcessingSuspendedFlag = false;
}

int32_t AppDelegate::addMovieResourceToFile(const FileRef* file, int32_t frameDataSize, int32_t frameCount) {
  return ::addMovieResourceToFile(file, frameDataSize, frameCount);
}

void AppDelegate::ForgetInputGeometry() {
  frameRowBytes_ = frameWidth_ = frameHeight_ = 0;
  packedFrame_.clear();
  packedFrame_.shrink_to_fit();
}

OSErr AppDelegate::SetUpInputGeometry(int32_t rowBytes, int32_t width, int32_t height) {
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

  const size_t packedRowBytes = 2 * static_cast<size_t>(trimmedWidth);
  const bool oneBlock = packedRowBytes == static_cast<size_t>(rowBytes) || trimmedHeight == 1;
  try {
    packedFrame_.assign(oneBlock ? 0 : packedRowBytes * static_cast<size_t>(trimmedHeight), 0);
  } catch (const std::bad_alloc&) {
    return memFullErr;
  }
  input.pixMap = std::move(pixMap);
  input.imageDescription = std::move(description);
  frameRowBytes_ = rowBytes;
  frameWidth_ = width;
  frameHeight_ = height;
  view_.SetCaptureButton(Enablement::kEnabled);
  return noErr;
}

void AppDelegate::ShowPreviewFrame(WindowId window) {
  if (gVideoPreviewRef == nullptr) {
    Rect rect;
    preview_.CalculatePreviewRect(&rect);
    VideoPreviewRef ref = nullptr;
    if (preview_.VPStartPreview(gInput->pixMap.get(), gInput->imageDescription.get(), window, &rect,
                                gPrefs.flipHFlag != 0, gPrefs.flipVFlag != 0, false, &ref) == noErr) {
      gVideoPreviewRef = ref;
    }
    if (gVideoPreviewRef == nullptr) return;
  }
  preview_.VPDisplayFrame(gVideoPreviewRef);
}

void AppDelegate::HandleFrame(void* baseAddr, int32_t rowBytes, int32_t width, int32_t height, int32_t err) {
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

  if (gCapture == nullptr || !gCapture->running) {
    ShowPreviewFrame(WindowId::kMainWindow);
    return;
  }
  CaptureRecord& capture = *gCapture;
  if (gPrefs.captureTrigger != kCaptureTriggerEveryFrame &&
      !gFrameCaptureScheduleTable.IsDue(capture.incomingFrameNumber)) {
    ++capture.incomingFrameNumber;
    return;
  }

  ++capture.framesWritten;
  ++gCaptureTiming.framesWritten;
  view_.SetFrameCount(capture.framesWritten);
  OSErr writeErr;
  {
    ScopedNanos writeTime(&gCaptureTiming.writeNanos);
    // Exactly the trimmed image, rows packed, is written: that is what the
    // movie says its frames are.
    const size_t packedRowBytes = 2 * static_cast<size_t>(gInput->trimmedWidth);
    capture.frameDataSize = static_cast<uint32_t>(packedRowBytes * gInput->trimmedHeight);
    const uint8_t* block = frame + gInput->trimOffset;
    if (!packedFrame_.empty()) {
      for (size_t row = 0; row < gInput->trimmedHeight; ++row) {
        std::memcpy(packedFrame_.data() + row * packedRowBytes, block + row * static_cast<size_t>(rowBytes),
                    packedRowBytes);
      }
      block = packedFrame_.data();
    }
    writeErr = AFWWriteData(capture.writer, block, capture.frameDataSize, 1);
  }
  if (writeErr != noErr) {
    stopCaptureWithErr(writeErr);
    return;
  }

  if (gPrefs.previewFlag != 0 || gVideoPreviewRef != nullptr) {
    ScopedNanos previewTime(&gCaptureTiming.previewCallNanos);
    ShowPreviewFrame(WindowId::kCaptureWindow);
  }
  gFrameCaptureScheduleTable.ConsumeFirst();
  ++capture.incomingFrameNumber;
}
