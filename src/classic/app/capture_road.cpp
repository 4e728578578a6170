// Framewright's capture road: the video channel opened at start, its live
// preview in the setup window, the 60 Hz poll, and one capture session from
// the file's creation to its end, run by the core's capture session.
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>

#include "classic/app/app_resources.h"
#include "classic/app/framewright_app.h"
#include "classic/capture/new_capture_file.h"
#include "classic/grabber/dv_camera.h"
#include "classic/grabber/sequence_grabber.h"
#include "classic/grabber/settings_panels.h"
#include "core/capture/capture_movie.h"
#include "core/capture/capture_session.h"
#include "core/platform/error_reporter.h"
#include "core/prefs/prefs_file.h"
#include "core/recovery/recovery_journal.h"
#include "core/stopmotion/recent_frames.h"
#include "core/stopmotion/stop_motion.h"
#include "core/util/rects.h"
#include "core/util/strings.h"

using namespace fw;

int16_t gVideoChannel = 0;
uint8_t gVdigType = 0;
ImageDescriptionHandle gImageDesc;
Rect gGrabberRect;
ImageSequence gDecompressionSeq = 0;

namespace {

constexpr EventTimerInterval kIdleIntervalSeconds = 0.016666666666666666;
constexpr uint32_t kCaptureLoopSleepTicks = 300;
constexpr uint8_t kPeriodCharCode = 46;
// An application-defined event kind: the data procedure posts it when a
// write error ended the capture, so the capture loop stops waiting at once.
constexpr EventKind kCaptureEndedEvent = 12;
constexpr int16_t kCaptureWindowBandHeight = 40;
constexpr int16_t kCaptureWindowExtraWidth = 20;
constexpr int16_t kCaptureWindowExtraHeight = 60;

FrameSchedule gClassicFrameSchedule(ProgramFlavor::kClassic);

// The onion skin's state lasts from one capture to the next, for the
// program's run: an animator who works with it wants it back.
OnionSkin gOnionSkin;

// The running capture: the data procedure's refCon while capturing.
struct ClassicCaptureRecord {
  DialogRef dialog = nullptr;
  ControlTable controls;
  int32_t framesWritten = 0;
  CaptureSession* session = nullptr;
  int32_t frameDataSize = 0;
  OSErr captureErr = noErr;                                 // the first write error: it ends the capture
  int32_t captureErrLocation = kCaptureWriteErrorLocation;  // where it came from, for the alert
  // The animator's tools. The last frames as they were written (the
  // frames' own bytes, each kept as one row), for the onion skin, the
  // review and taking a frame back.
  RecentFrames kept;
  ReviewLoop review;
  std::optional<size_t> reviewShown;  // the kept frame the review shows
  // The window shows a frame taken back, with none kept to show instead:
  // the next incoming frame replaces it.
  bool showNextIncomingFrame = false;
};

// What the movie is made from: the channel's current frames.
class ChannelCaptureSource : public ClassicCaptureSource {
 public:
  Rect GrabberRect() const override { return gGrabberRect; }
  OSErr GetImageDescription(ImageDescriptionHandle* out) override {
    return NGGetImageDescription(gVideoChannel, out);
  }
};

void EndDecompressionSequence() {
  if (gDecompressionSeq != 0) (void)CDSequenceEnd(gDecompressionSeq);
  gDecompressionSeq = 0;
}

void DrawFrame(const uint8_t* data, int32_t sizeBytes) {
  if (gDecompressionSeq != 0)
    (void)DecompressSequenceFrameWhen(gDecompressionSeq, data, sizeBytes, 0, nullptr, nullptr, nullptr);
}

void SetFrameCountText(ClassicCaptureRecord& capture) {
  Str255 text;
  NumToString(capture.framesWritten, text);
  ControlRef item = capture.controls[kCaptureFrameCountItem];
  (void)SetControlData(item, 0, kControlStaticTextTextTag, text[0], text + 1);
  Draw1Control(item);
}

uint64_t NowNanos() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

void DrawKeptFrame(const KeptFrame& frame) {
  DrawFrame(frame.bytes.data(), static_cast<int32_t>(frame.bytes.size()));
}

// The onion skin over the picture: the newest kept frame at the skin's
// opacity, none while it is off, no frame is kept or a review plays.
void RefreshOnionSkin(const ClassicCaptureRecord& capture) {
  if (gDecompressionSeq == 0) return;
  const KeptFrame* newest = capture.kept.Newest();
  const bool shown = gOnionSkin.On() && newest != nullptr && !capture.review.Active();
  // A frame the sequence cannot draw leaves no skin, which is all the
  // animator loses.
  (void)fw::SetDecompressionSequenceOverlay(gDecompressionSeq, shown ? newest->bytes.data() : nullptr,
                                            shown ? static_cast<int32_t>(newest->bytes.size()) : 0,
                                            gOnionSkin.Weight256());
}

// What the capture window shows between written frames when no review
// plays: the live picture under the onion skin while the skin is on, else
// the last frame written (frames passed over are not drawn).
void ShowWindowAtRest(ClassicCaptureRecord& capture) {
  if (gOnionSkin.On()) return;  // the next incoming frame is drawn
  if (const KeptFrame* newest = capture.kept.Newest()) {
    DrawKeptFrame(*newest);
  } else {
    capture.showNextIncomingFrame = true;  // rather than a frame taken back
  }
}

void EndReview(ClassicCaptureRecord& capture) {
  if (!capture.review.Active() && !capture.reviewShown) return;
  capture.review.End();
  capture.reviewShown.reset();
  RefreshOnionSkin(capture);
}

// An incoming frame that is not written: a review's frame is shown in its
// place while a review plays, else the frame itself when the onion skin is
// on.
void ShowPassedOverFrame(ClassicCaptureRecord& capture, const uint8_t* data, int32_t sizeBytes) {
  if (capture.review.Active()) {
    if (const std::optional<size_t> index = capture.review.FrameAt(NowNanos())) {
      const size_t kept = capture.review.FirstKeptIndex() + *index;
      if (capture.reviewShown != kept) {
        capture.reviewShown = kept;
        DrawKeptFrame(capture.kept.At(kept));
      }
      return;
    }
    EndReview(capture);  // every frame had its time
    ShowWindowAtRest(capture);
  }
  if (gOnionSkin.On() || capture.showNextIncomingFrame) {
    capture.showNextIncomingFrame = false;
    DrawFrame(data, sizeBytes);
  }
}

// A frame just written joins the kept ones; a review stops, since the
// animator wants to see what was taken.
void KeepWrittenFrame(ClassicCaptureRecord& capture, const uint8_t* data, int32_t sizeBytes) {
  EndReview(capture);
  capture.showNextIncomingFrame = false;
  // The classic channel hands over frames as bytes (compressed ones
  // included), drawn by the sequence as they come: each is kept whole.
  if (capture.kept.Keep(data, sizeBytes, sizeBytes, 1, static_cast<uint32_t>(capture.framesWritten)) !=
      noErr) {
    // No copy could be made: the kept frames no longer end with the
    // file's last frame, so none is kept (the skin and the review go
    // without until the next frame).
    capture.kept.Clear();
  }
  RefreshOnionSkin(capture);
}

// Ends the capture at its next look at the queue, with the error alert.
void EndCaptureWithError(ClassicCaptureRecord& capture, OSErr err, int32_t location) {
  capture.captureErr = err;
  capture.captureErrLocation = location;
  (void)PostEvent(kCaptureEndedEvent, 0);
}

// Backspace or Delete: the last frame written leaves the file, the count
// goes down and the window shows the frame before (or the live picture
// under the skin); with no frame written there is nothing to take.
void TakeBackLastFrame(ClassicCaptureRecord& capture) {
  if (capture.framesWritten == 0) {
    SysBeep(1);
    return;
  }
  EndReview(capture);
  if (const OSErr err = capture.session->TakeBackLastFrame(); err != noErr) {
    // The file may hold the frame still: like a failed write, the capture
    // ends and is finished with the whole frames the file holds.
    EndCaptureWithError(capture, err, kCaptureTakeBackErrorLocation);
    return;
  }
  --capture.framesWritten;
  SetFrameCountText(capture);
  capture.kept.DropNewest();
  RefreshOnionSkin(capture);
  ShowWindowAtRest(capture);
}

void BeginReview(ClassicCaptureRecord& capture) {
  EndReview(capture);
  if (!capture.review.Begin(NowNanos(), capture.kept.Count(), gPrefs.hundredTimesMovieFPS)) {
    SysBeep(1);  // nothing to play
    return;
  }
  RefreshOnionSkin(capture);  // the frames play as they were written
  capture.reviewShown = capture.review.FirstKeptIndex();
  DrawKeptFrame(capture.kept.At(*capture.reviewShown));
}

void ApplyStopMotionCommand(ClassicCaptureRecord& capture, StopMotionCommand command) {
  if (command == StopMotionCommand::kReview) {
    BeginReview(capture);
    return;
  }
  if (command == StopMotionCommand::kTakeBackFrame) {
    TakeBackLastFrame(capture);
    return;
  }
  const bool wasOn = gOnionSkin.On();
  (void)gOnionSkin.Apply(command);
  RefreshOnionSkin(capture);
  if (wasOn && !gOnionSkin.On() && !capture.review.Active()) ShowWindowAtRest(capture);
}

// A reversed rectangle makes the matrix mirror the picture; the DV stream
// format shows the frames as they are written, unmirrored.
void ApplyFlips(Rect* view) {
  if (gPrefs.captureFormatOLD != 0) return;
  if (gPrefs.flipHFlag != 0) std::swap(view->left, view->right);
  if (gPrefs.flipVFlag != 0) std::swap(view->top, view->bottom);
}

Rect ViewSize(int16_t width, int16_t height) {
  Rect view{0, 0, height, width};
  if (gPrefs.previewSizeOLD == 0) {
    view.right = static_cast<int16_t>(view.right / 2);
    view.bottom = static_cast<int16_t>(view.bottom / 2);
  }
  return view;
}

// Lays out the capture window around the trimmed preview, centres it on
// the main screen and begins drawing into it.
void BeginCapturePreview(ClassicCaptureRecord& capture) {
  WindowRef window = GetDialogWindow(capture.dialog);
  const Rect screen = GetGDeviceBounds(GetMainDevice());
  const Rect crop{static_cast<int16_t>(gGrabberRect.top + gPrefs.trimTop),
                  static_cast<int16_t>(gGrabberRect.left + gPrefs.trimLeft),
                  static_cast<int16_t>(gGrabberRect.bottom - gPrefs.trimBottom),
                  static_cast<int16_t>(gGrabberRect.right - gPrefs.trimRight)};
  Rect view = ViewSize(static_cast<int16_t>(gGrabberRect.right - (gPrefs.trimLeft + gPrefs.trimRight)),
                       static_cast<int16_t>(gGrabberRect.bottom - (gPrefs.trimTop + gPrefs.trimBottom)));
  const Rect win = GetWindowRectLocal(window);
  const auto width = static_cast<int16_t>(std::max<int>(win.right, view.right + kCaptureWindowExtraWidth));
  const auto height =
      static_cast<int16_t>(std::max<int>(win.bottom, view.bottom + kCaptureWindowExtraHeight));
  SizeWindow(window, width, height, false);
  Rect box{kCaptureWindowBandHeight, 0, height, width};
  CenterRectInRect(&view, &box);
  ApplyFlips(&view);
  MatrixRecord matrix;
  RectMatrix(&matrix, &crop, &view);
  CenterRectInRect(&box, &screen);
  MoveWindow(window, box.left, box.top, false);
  SetCursorPos(Point{static_cast<int16_t>((box.top + box.bottom) / 2),
                     static_cast<int16_t>((box.left + box.right) / 2)});
  if (DecompressSequenceBeginS(&gDecompressionSeq, gImageDesc.get(), nullptr, 0,
                               GetDialogPort(capture.dialog), nullptr, &crop, &matrix, srcCopy, nullptr, 0,
                               codecHighQuality, nullptr) != noErr)
    gDecompressionSeq = 0;  // the capture goes on without a picture
}

bool IsCaptureEndKey(const EventRecord& event) {
  if (event.what != keyDown) return false;
  const auto ch = static_cast<uint8_t>(event.message & charCodeMask);
  return ch == kEscapeCharCode || (ch == kPeriodCharCode && (event.modifiers & cmdKey) != 0);
}

// The capture's own loop: until Escape or Ctrl+period, a write error, or a
// quit the system asks for (which is then carried out once the capture is
// finished). Trigger events stay queued for the data procedure.
void RunCaptureLoop(ClassicCaptureRecord& capture) {
  const EventMask mask = gPrefs.captureTrigger == kCaptureTriggerMouseUp ? 0xFFFB : 0xFFFD;
  for (;;) {
    if (capture.captureErr != noErr) return;
    if (SystemRequestedQuit()) {
      gMainLoop = false;
      return;
    }
    EventRecord event;
    if (!WaitNextEvent(mask, &event, kCaptureLoopSleepTicks, nullptr)) continue;
    if (IsCaptureEndKey(event)) return;
    if (event.what == updateEvt) HandleUpdateEvent(event);
    // The animator's keys: ones the capture leaves unused. Auto-repeats
    // are dropped, so a held key acts once.
    if (event.what == keyDown && (event.modifiers & cmdKey) == 0) {
      if (const auto command = StopMotionCommandForCharacter(event.message & charCodeMask))
        ApplyStopMotionCommand(capture, *command);
    }
  }
}

// Shows the one alert a capture's end deserves: a write error during the
// capture first, else what the finishing reported (the movie's own alert,
// held back until now), else a failed close.
void ReportCaptureEnd(const CaptureEnd& end, int32_t captureErrLocation, bool finisherReported,
                      int16_t finisherIndex, int32_t finisherLocation, OSErr finisherErr) {
  if (end.captureErr != noErr)
    ShowErrorAlert(3, captureErrLocation, end.captureErr);
  else if (finisherReported)
    ShowErrorAlert(finisherIndex, finisherLocation, finisherErr);
  else if (end.finishErr != noErr)
    ShowErrorAlert(3, kCaptureFinishErrorLocation, end.finishErr);
}

// The movie assembly reports its own failures; while a capture finishes
// they are held so that the capture ends with one alert.
struct HeldReport {
  bool reported = false;
  int16_t messageIndex = 0;
  int32_t location = 0;
  OSErr err = noErr;
};
HeldReport gHeldReport;
void HoldReport(int16_t messageIndex, int32_t location, int32_t err) {
  if (gHeldReport.reported) return;
  gHeldReport = HeldReport{true, messageIndex, location, static_cast<OSErr>(err)};
}

}  // namespace

void MyEventLoopTimerProcPtr(EventLoopTimerRef /*timer*/, void* /*userData*/) {
  int16_t stage = 0;
  (void)NGIdleChannel(gVideoChannel, &stage);
}

void fw::InstallMainIdleTimer() {
  if (gMainIdleTimer != nullptr) return;
  if (InstallEventLoopTimer(GetCurrentEventLoop(), 0, kIdleIntervalSeconds,
                            NewEventLoopTimerUPP(MyEventLoopTimerProcPtr), nullptr, &gMainIdleTimer) != noErr)
    gMainIdleTimer = nullptr;
}

void fw::RemoveMainIdleTimer() {
  if (gMainIdleTimer != nullptr) (void)RemoveEventLoopTimer(gMainIdleTimer);
  gMainIdleTimer = nullptr;
}

OSErr InitVideoInput() {
  RegisterBuiltInGrabberComponents();
  if (const OSErr err = NGNewVideoChannel(&gVideoChannel); err != noErr) {
    gVideoChannel = 0;
    ShowFramewrightAlert(kNoVideoChannelAlertID);
    return err;
  }
  SGDeviceList list;
  if (NGGetChannelDeviceList(gVideoChannel, &list) == noErr && list) {
    Str255 dvName;
    CopyToStr255(kDVCameraName, dvName);
    bool savedFound = false;
    bool dvFound = false;
    for (const SGDeviceName& device : list->entry) {
      if ((device.flags & sgDeviceNameFlagDeviceUnavailable) != 0) continue;
      if (CompareStrings(device.name, gPrefs.deviceNameOLD)) savedFound = true;
      if (CompareStrings(device.name, dvName)) dvFound = true;
    }
    if (savedFound)
      (void)NGSetChannelDevice(gVideoChannel, gPrefs.deviceNameOLD);
    else if (dvFound)
      (void)NGSetChannelDevice(gVideoChannel, dvName);
  }
  NGDisposeDeviceList(std::move(list));
  return StartVideoPreview();
}

OSErr StartVideoPreview() {
  gImageDesc.reset();
  if (gVideoChannel == 0) return 1;
  gVdigType = NGGetVDIGTypeCode(gVideoChannel);
  if (const OSErr err = NGSetUpChannelForCapture(gVideoChannel); err != noErr) {
    ShowErrorAlert(1, 50, err);
    return err;
  }
  if (const OSErr err = NGGetImageDescription(gVideoChannel, &gImageDesc); err != noErr) {
    gImageDesc.reset();
    ShowErrorAlert(1, 55, err);
    return err;
  }
  gGrabberRect = Rect{0, 0, gImageDesc->height, gImageDesc->width};
  (void)NGSetDataProc(gVideoChannel, MainDataProc, 0);
  (void)NGStartOneChannel(gVideoChannel);
  SizeSetupWindow();
  return noErr;
}

OSErr MainDataProc(int16_t /*channel*/, const uint8_t* data, int32_t sizeBytes, const TimeRecord* /*time*/,
                   intptr_t refCon) {
  if (refCon == 0) {
    DrawFrame(data, sizeBytes);
    return noErr;
  }
  auto& capture = *reinterpret_cast<ClassicCaptureRecord*>(refCon);
  CaptureSession& session = *capture.session;
  // After a write error nothing more is written; the capture loop ends.
  if (capture.captureErr != noErr) return capture.captureErr;

  EventRecord event;
  if (GetNextEvent(gPrefs.captureTrigger == kCaptureTriggerMouseUp ? mUpMask : mDownMask, &event))
    session.ScheduleTrigger();
  if (!session.IsFrameDue()) {
    session.SkipFrame();
    ShowPassedOverFrame(capture, data, sizeBytes);
    return noErr;
  }
  ++capture.framesWritten;
  SetFrameCountText(capture);
  const OSErr err =
      session.WriteFrame(data, static_cast<size_t>(sizeBytes), static_cast<size_t>(sizeBytes), 1);
  capture.frameDataSize = sizeBytes;
  if (err == noErr) KeepWrittenFrame(capture, data, sizeBytes);
  DrawFrame(data, sizeBytes);
  if (capture.framesWritten == 1) DrawFrame(data, sizeBytes);  // so the first frame surely shows
  if (err != noErr) {
    EndCaptureWithError(capture, err, kCaptureWriteErrorLocation);
    return err;
  }
  return noErr;
}

OSErr DoCapture() {
  if (gVdigType != kDigitizerTypeDV) gPrefs.captureFormatOLD = 0;
  if (gPrefs.captureFormatOLD == 0 && gPrefs.hundredTimesMovieFPS == 0) {
    ShowFramewrightAlert(kZeroFrameRateAlertID);
    return noErr;
  }
  FileRef file;
  if (const OSErr err = GetFileSpecForNewCapture(&file); err != noErr) {
    if (err != userCanceledErr) ShowErrorAlert(2, kCaptureChooseFileLocation, err);
    return err;
  }

  CaptureSessionSettings settings;
  settings.flavor = ProgramFlavor::kClassic;
  settings.format =
      gPrefs.captureFormatOLD == 1 ? CaptureFileFormat::kDVStream : CaptureFileFormat::kQuickTimeMovie;
  settings.ignoreFrameCount = gPrefs.ignoreFrameCount;
  if (gImageDesc && gImageDesc->dataSize > 0)
    settings.expectedFrameSizeBytes = static_cast<uint32_t>(gImageDesc->dataSize);
  ChannelCaptureSource source;
  MovieFinisher finisher = [&source](const FileRef& movieFile, int32_t frameDataSize, int32_t frameCount) {
    return AddMovieResourceToFile2(&movieFile, frameDataSize, frameCount, source);
  };
  // A record of the running capture, so that the next start finishes it
  // should this run be cut short.
  settings.journal = MakeRecoveryJournalFactory(
      ProgramFlavor::kClassic, settings.format,
      [&source](RecoveryMovieFacts* facts) { return DescribeClassicCaptureMovie(source, facts); });
  // The session makes the file and removes it again when the writer cannot
  // be opened: a capture that never began leaves no empty file behind.
  std::unique_ptr<CaptureSession> session;
  if (const OSErr err = CaptureSession::Start(file.path, settings, gClassicFrameSchedule, finisher, &session);
      err != noErr) {
    ShowErrorAlert(
        3, err == kCannotCreateCaptureFileErr ? kCaptureCreateFileLocation : kCaptureOpenWriterLocation, err);
    return err;
  }

  ClassicCaptureRecord capture;
  capture.session = session.get();
  HideWindow(GetDialogWindow(gSetupDialog));
  capture.dialog = GetNewDialog(kCaptureDialogID, nullptr, kFirstWindowOfClass);
  if (capture.dialog != nullptr) capture.controls = GetControlHandles(capture.dialog);
  if (capture.dialog == nullptr || !capture.controls) {
    if (capture.dialog != nullptr) DisposeDialog(capture.dialog);
    (void)session->Finish(noErr);  // no frame: the file goes
    MyShowDialog(gSetupDialog);
    ShowErrorAlert(3, kCaptureCreateFileLocation, capture.dialog == nullptr ? resNotFound : memFullErr);
    return memFullErr;
  }
  (void)NGSetDataProc(gVideoChannel, MainDataProc, reinterpret_cast<intptr_t>(&capture));
  EndDecompressionSequence();
  if (gPrefs.previewFlag != 0) BeginCapturePreview(capture);
  gClassicFrameSchedule.Clear();
  MyShowDialog(capture.dialog);

  RunCaptureLoop(capture);

  (void)NGSetDataProc(gVideoChannel, MainDataProc, 0);
  gHeldReport = HeldReport{};
  SetClassicErrorReporter(HoldReport);
  const CaptureEnd end = session->Finish(capture.captureErr);
  SetClassicErrorReporter(ShowErrorAlert);
  session.reset();
  ReportCaptureEnd(end, capture.captureErrLocation, gHeldReport.reported, gHeldReport.messageIndex,
                   gHeldReport.location, gHeldReport.err);

  EndDecompressionSequence();
  DisposeDialog(capture.dialog);
  capture.controls.reset();
  MyShowDialog(gSetupDialog);
  (void)StartVideoPreview();
  return noErr;
}

void CleanUp(Boolean writePreferences) {
  RemoveMainIdleTimer();
  if (writePreferences) (void)WritePreferences(ProgramFlavor::kClassic);  // reports its own failure
  NGClose();
  gVideoChannel = 0;
  SetPreferencesWindowGeometrySource(nullptr);
  SetPreferencesDeviceNameSource(nullptr);
  if (gSetupDialog != nullptr) DisposeDialog(gSetupDialog);
  gSetupDialog = nullptr;
  EndDecompressionSequence();
  gImageDesc.reset();
  gOnionSkin = OnionSkin{};
}
