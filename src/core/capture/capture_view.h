// What the capture logic needs of the screen: windows shown and hidden, one-
// button alerts, the pointer, the capture button, the frame count, the save
// panel, and the live preview. The Qt shell implements these; tests use
// recording fakes. Everything here is called on the main thread.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/capture/capture_health.h"
#include "core/platform/os_errors.h"
#include "core/util/image_description.h"
#include "core/util/pixmap.h"
#include "core/util/types.h"

struct VideoPreviewRecord;
using VideoPreviewRef = VideoPreviewRecord*;

namespace fw {

enum class WindowId { kMainWindow, kCaptureWindow };
enum class Enablement { kDisabled, kEnabled };

// A window's frame in screen coordinates, origin at the top left.
struct WindowFrame {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

class CaptureView {
 public:
  virtual ~CaptureView() = default;

  // Makes a window key and brings it to the front / orders it out.
  virtual void ShowWindow(WindowId window) = 0;
  virtual void HideWindow(WindowId window) = 0;
  // The preferences window and the about box, where they are open: hidden
  // while a capture runs and shown again after it.
  virtual void HideAuxiliaryWindows() = 0;
  virtual void ShowAuxiliaryWindows() = 0;
  // The trigger the capture window obeys (mouse up, mouse down, every frame).
  virtual void SetCaptureTrigger(uint8_t trigger) = 0;
  // The about-box and preferences menu items.
  virtual void SetAuxiliaryMenuItems(Enablement enablement) = 0;
  virtual void SetCaptureButton(Enablement enablement) = 0;
  virtual void SetFrameCount(uint32_t framesWritten) = 0;
  // At the end of an every-frame capture in which the input had to drop
  // frames (it could not hand them over in time): how many, for the user.
  virtual void ReportDroppedFrames(uint32_t /*framesDropped*/) {}
  // The system's alert sound: a key that has nothing to act on.
  virtual void Beep() {}
  // During an every-frame capture: frames dropped so far, minutes left on
  // the disk and the warning of a disk slower than the input. An empty
  // report clears the line (at the start of every capture).
  virtual void SetCaptureHealth(const fw::CaptureHealthReport& /*report*/) {}
  virtual WindowFrame FrameOf(WindowId window) = 0;
  virtual void MovePointerTo(int screenX, int screenY) = 0;
  // A one-button ("OK") alert attached to a window; `onDismissed` (may be
  // empty) runs once the user has dismissed it.
  virtual void ShowAlert(WindowId window, const std::string& message, std::function<void()> onDismissed) = 0;
  // The save panel attached to the main window with the name filled in;
  // `onDone` gets the chosen path, or nothing when the user cancelled.
  virtual void ShowSavePanel(const std::string& suggestedName,
                             std::function<void(std::optional<std::string> path)> onDone) = 0;
};

// The live preview as the capture logic uses it.
class PreviewPort {
 public:
  virtual ~PreviewPort() = default;
  // The preview rectangle of the window in use (the capture window while a
  // capture runs, else the main window).
  virtual void CalculatePreviewRect(Rect* outRect) = 0;
  [[nodiscard]] virtual OSErr VPStartPreview(const PixMap* pixMap, const ImageDescription* imageDescription,
                                             WindowId window, const Rect* previewRect, bool flipH, bool flipV,
                                             bool useClientStorage, VideoPreviewRef* outRef) = 0;
  [[nodiscard]] virtual OSErr VPDisplayFrame(VideoPreviewRef ref) = 0;
  virtual void VPDisposePreview(VideoPreviewRef ref) = 0;
  // The onion skin: `image` (the preview's image size, '2vuy' rows of
  // `rowBytes`, copied) laid over every frame drawn from now on at
  // weight256 / 256; null or weight 0 for none.
  [[nodiscard]] virtual OSErr VPSetOverlay(VideoPreviewRef ref, const uint8_t* image, int32_t rowBytes,
                                           uint32_t weight256) = 0;
};

}  // namespace fw
