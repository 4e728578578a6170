// The table of open devices behind qt_capture.h, shared with the DeckLink
// input. Slot i holds the record of the device whose reference is i + 1.
//
// Locking: each slot has one mutex, made with the table and never destroyed
// or re-made. The main thread (open, close, the poll) is the only writer of
// the slot pointers and does so under the slot's mutex; device threads only
// read them under it. A device thread touches nothing of a record but its
// waiting frame, lastFrameTime and error, always under the mutex. No code
// path holds two slot mutexes.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "core/capture/capture_records.h"
#include "hd/video/capture_backend.h"
#include "hd/video/decklink_api.h"
#include "hd/video/frame_queue.h"
#include "hd/video/qt_capture.h"

class BlackMagicCapture;

// Receives a backend device's frames and runtime errors on the device's
// thread and parks them in the slot's record.
class QTCapture final : public FrameSink {
 public:
  void SetDeviceNum(int deviceNum) { deviceNum_ = deviceNum; }
  void FrameArrived(CaptureFrameRef frame) override;
  void RuntimeErrorOccurred(OSErr code) override;

 private:
  int deviceNum_ = -1;
};

struct OpenDeviceRecord {
  // Backend devices (V4L2, the test-pattern camera).
  std::unique_ptr<QTCapture> captureDelegate;
  std::unique_ptr<CaptureDevice> device;
  CaptureFrameRef pixelBuffer;  // newest frame not yet delivered
  FrameQueue frameQueue;        // every frame not yet delivered, while on

  // DeckLink cards; the record holds one reference to each interface.
  std::unique_ptr<BlackMagicCapture> deckLinkCallback;
  IDeckLink* deckLink = nullptr;
  IDeckLinkInput* deckLinkInput = nullptr;
  IDeckLinkVideoInputFrame* deckLinkFrame = nullptr;  // newest frame not yet delivered

  QTCaptureDataProc dataProc = nullptr;
  uint64_t lastFrameTime = 0;  // 1/600 s ticks: the newest frame's arrival, or the open
  int32_t refCon = 0;
  OSErr error = noErr;  // sticky once non-zero
};

extern OpenDeviceRecord* gOpenDevices[kMaxOpenDevices];
extern std::mutex gMutex[kMaxOpenDevices];
