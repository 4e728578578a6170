// Framewright HD's captures: starting one on a new file (named after the
// date and time, in the preferred folder or through the save panel),
// handing each incoming frame to the preview and, when the capture session
// says it is due, to the file, and ending with a finished movie or one
// alert on the capture window. The mechanics of a capture (file, writer,
// schedule, packing, finishing) are the shared CaptureSession's; this is the
// program's surface over it: the windows, the pointer, the alerts and the
// open input's trimmed geometry. It knows no toolkit: it talks to the screen
// through CaptureView and PreviewPort.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/capture/capture_health.h"
#include "core/capture/capture_records.h"
#include "core/capture/capture_session.h"
#include "core/capture/capture_view.h"
#include "core/stopmotion/recent_frames.h"
#include "core/stopmotion/stop_motion.h"
#include "hd/video/qt_capture.h"

namespace fw {

// How the open input hands over its frames: each one in order while an
// every-frame capture runs (none may be lost), otherwise only the newest
// (latency matters, and a trigger's delay counts the frames seen).
enum class FrameDelivery : uint8_t { kNewestFrame, kEveryFrame };

// Switches the open input's delivery; returns how many frames the input had
// to drop since the previous switch (none without an input).
using FrameDeliverySwitch = std::function<uint32_t(FrameDelivery)>;

// Reads the open input's frame counts; false without an input.
using FrameStatsReader = std::function<bool(fw::QTFrameStats*)>;

class CaptureController {
 public:
  // `finisher` adds the movie resource at the end of a capture; by default
  // addMovieResourceToFile (the open input's description, the settings'
  // rate and flips). `switchDelivery` switches the open input between every
  // frame and the newest frame; by default the open device's. `readStats`
  // reads the open input's frame counts; by default the open device's.
  CaptureController(CaptureView& view, PreviewPort& preview, MovieFinisher finisher = {},
                    FrameDeliverySwitch switchDelivery = {}, FrameStatsReader readStats = {});
  ~CaptureController();
  CaptureController(const CaptureController&) = delete;
  CaptureController& operator=(const CaptureController&) = delete;

  // The user's command: names the file after the current date and time and
  // starts the capture in the preferred folder, or asks in the save panel.
  void startCapture();
  void startFileSavePanelWithName(const std::string& name);
  // Starts a capture into a new file at `path` (nothing: no file chosen).
  // 0 on success; on failure the start is undone and an alert shown.
  int32_t startCaptureWithURL(const std::optional<std::string>& path);
  // Ends the running capture; `err` is 0 for an ordinary end.
  void stopCaptureWithErr(int32_t err);
  // A trigger from the capture window.
  void scheduleFrameCapture();
  // A stop-motion key of the capture window, in a capture that takes frames
  // on triggers: the onion skin (the last frame written laid over the live
  // picture, which the capture window shows while it is on), taking back
  // the last frame, and the review of the last frames at the movie's rate.
  // A key with nothing to act on (no frame to take back or review, an
  // every-frame capture) beeps.
  void stopMotionCommand(StopMotionCommand command);
  const OnionSkin& onionSkin() const { return onionSkin_; }
  bool Reviewing() const { return review_.Active(); }
  // Test seam: the review's clock (monotonic nanoseconds).
  void SetClockForTesting(std::function<uint64_t()> clock) { clock_ = std::move(clock); }
  // Ends the capture display: back to the main window.
  void switchBackToMainWindow();

  // One call of the device's data callback (see MyQTCaptureDataProc).
  void HandleFrame(void* baseAddr, int32_t rowBytes, int32_t width, int32_t height, int32_t err);

  // On every tick of the frame timer: follows the input's rate and, during
  // an every-frame capture, shows the capture's health (frames dropped,
  // minutes left on the disk, a disk too slow for the input) about twice a
  // second.
  void UpdateHealth();

  // Forgets the trimmed geometry of the open input, so the next frame works
  // it out again (called when an input is closed).
  void ForgetInputGeometry();
  void ShowStartError(int32_t err);

 private:
  [[nodiscard]] OSErr SetUpInputGeometry(int32_t rowBytes, int32_t width, int32_t height);
  void ShowPreviewFrame(WindowId window);
  // The stop-motion picture of the capture window.
  void KeepWrittenFrame(const uint8_t* firstRow, int32_t rowBytes);
  void UpdateOverlay();
  void ShowKeptFrame(const KeptFrame& frame);
  // What the window shows when no live frame is at hand: the last frame
  // written, or nothing before the first.
  void ShowNewestKeptFrame();
  // Moves the review on with an incoming frame (in gInput's pixel map);
  // once it is over, the window's usual picture returns.
  void AdvanceReview();
  void ShowHealth(uint64_t nowTicks);

  CaptureView& view_;
  PreviewPort& preview_;
  MovieFinisher finisher_;
  FrameDeliverySwitch switchDelivery_;
  FrameStatsReader readStats_;
  fw::FrameRateMeter inputRate_;
  fw::DiskSpeedCache diskSpeeds_;  // for the whole run: each disk is measured once
  // Of the running every-frame capture (none in other captures).
  bool showHealth_ = false;
  std::string captureFolder_;
  double diskBytesPerSecond_ = 0;  // 0: could not be measured
  std::string diskWarning_;        // once given, kept for the capture
  bool diskJudged_ = false;        // disk and input compared (and said so in the timing log)
  uint64_t healthShownTicks_ = 0;
  std::unique_ptr<CaptureSession> session_;  // while a capture runs; gCapture is its record
  int handoverLogFd_ = -1;                   // kHandoverLogVariable's file while a capture runs; -1 for none
  // Geometry of the first frame of the open input; later frames that differ
  // cannot be framed by it and are passed over.
  int32_t frameRowBytes_ = 0;
  int32_t frameWidth_ = 0;
  int32_t frameHeight_ = 0;

  // Stop motion: only in captures that take frames on triggers.
  bool stopMotion_ = false;
  RecentFrames recentFrames_;  // the last frames written, as written
  OnionSkin onionSkin_;        // kept from one capture to the next
  ReviewLoop review_;
  std::vector<uint32_t> reviewNumbers_;  // the reviewed frames' numbers, oldest first
  std::optional<size_t> reviewShown_;    // index into reviewNumbers_ on the screen
  // A kept frame laid out as a frame of the device, so the preview draws it
  // as it draws live frames.
  std::vector<uint8_t> keptFrameLayout_;
  std::function<uint64_t()> clock_;
};

// When this environment variable is set, the end of each capture prints
// where the main thread's time went (for the capture benchmark).
constexpr char kCaptureTimingVariable[] = "FRAMEWRIGHT_CAPTURE_TIMING";
// When set to a file name, each frame handed to the writer adds a line
// "FRAMES-WRITTEN NANOSECONDS" (CLOCK_MONOTONIC) to that file as it happens,
// so that a test that kills the program knows what it had handed over.
constexpr char kHandoverLogVariable[] = "FRAMEWRIGHT_HANDOVER_LOG";

// Main-thread globals of the capture.
extern CaptureController* gCaptureController;  // receives the data callback's frames

}  // namespace fw

extern VideoPreviewRef gVideoPreviewRef;
extern bool gProcessingSuspendedFlag;

// The data callback of the open device (a QTCaptureDataProc): one frame, or
// with err non-zero the device's error.
void MyQTCaptureDataProc(int32_t refCon, void* baseAddr, int32_t rowBytes, int32_t width, int32_t height,
                         uint64_t time, int32_t err);
