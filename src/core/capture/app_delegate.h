// The capture spine of Framewright HD: starting a capture on a new file,
// handing each incoming frame to the preview and, as the frame schedule says,
// to the file writer, and ending the capture with a finished movie or one
// alert. It knows no toolkit: it talks to the screen through CaptureView and
// PreviewPort. The application layer derives from it and adds start-up,
// the device and the windows' own logic.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/capture/capture_records.h"
#include "core/capture/capture_view.h"

// How the open input hands over its frames: each one in order while an
// every-frame capture runs (none may be lost), otherwise only the newest
// (latency matters, and a trigger's delay counts the frames seen).
enum class FrameDelivery : uint8_t { kNewestFrame, kEveryFrame };

class AppDelegate {
 public:
  AppDelegate(CaptureView& view, PreviewPort& preview);
  virtual ~AppDelegate();
  AppDelegate(const AppDelegate&) = delete;
  AppDelegate& operator=(const AppDelegate&) = delete;

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

  // One call of the device's data callback (see MyQTCaptureDataProc).
  void HandleFrame(void* baseAddr, int32_t rowBytes, int32_t width, int32_t height, int32_t err);

  // Appends the movie resource for `frameCount` frames; virtual so tests can
  // make it fail.
  virtual int32_t addMovieResourceToFile(const FileRef* file, int32_t frameDataSize, int32_t frameCount);
  // Ends the capture display: back to the main window.
  virtual void switchBackToMainWindow();

  // Forgets the trimmed geometry of the open input, so the next frame works
  // it out again (called when an input is closed).
  void ForgetInputGeometry();

 protected:
  // Switches the open input's delivery; returns how many frames the input
  // had to drop since the previous switch (none without an input).
  virtual uint32_t SetInputFrameDelivery(FrameDelivery /*delivery*/) { return 0; }
  CaptureView& view() { return view_; }
  PreviewPort& preview() { return preview_; }
  void ShowStartError(int32_t err);

 private:
  OSErr SetUpInputGeometry(int32_t rowBytes, int32_t width, int32_t height);
  void ShowPreviewFrame(WindowId window);
  // After an error, indexes only the whole frames that reached the file.
  uint32_t CutBackToWholeFrames(const CaptureRecord& capture, OSErr* outErr);

  CaptureView& view_;
  PreviewPort& preview_;
  // Geometry of the first frame of the open input; later frames that differ
  // cannot be framed by it and are passed over.
  int32_t frameRowBytes_ = 0;
  int32_t frameWidth_ = 0;
  int32_t frameHeight_ = 0;
  // The trimmed image, rows packed, when it is not already one block in the
  // frame (made once per input, not per frame).
  std::vector<uint8_t> packedFrame_;
};

// Main-thread globals of the capture.
extern AppDelegate* gAppDelegate;
extern VideoPreviewRef gVideoPreviewRef;
extern bool gProcessingSuspendedFlag;

// The data callback of the open device (a QTCaptureDataProc): one frame, or
// with err non-zero the device's error.
void MyQTCaptureDataProc(int32_t refCon, void* baseAddr, int32_t rowBytes, int32_t width, int32_t height,
                         uint64_t time, int32_t err);
