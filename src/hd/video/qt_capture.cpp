// The device list, device sessions and frame delivery.
#include "hd/video/qt_capture.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "hd/video/capture_backend.h"
#include "hd/video/frame_queue.h"

using namespace fw;

namespace {

// Receives a device's frames and runtime errors on the device's thread and
// parks them in the slot's record.
class QTCapture final : public FrameSink {
 public:
  void SetDeviceNum(int deviceNum) { deviceNum_ = deviceNum; }
  void FrameArrived(CaptureFrameRef frame) override;
  void RuntimeErrorOccurred(OSErr code) override;

 private:
  int deviceNum_ = -1;
};

struct OpenDeviceRecord {
  std::unique_ptr<QTCapture> captureDelegate;
  std::unique_ptr<CaptureDevice> device;
  CaptureFrameRef pixelBuffer;  // newest frame not yet delivered
  FrameQueue frameQueue;        // every frame not yet delivered, while on
  QTCaptureDataProc dataProc = nullptr;
  uint64_t lastFrameTime = 0;  // 1/600 s ticks: the newest frame's arrival, or the open
  uint64_t framesArrived = 0;  // every frame the device handed over since the open
  int32_t refCon = 0;
  OSErr error = noErr;  // sticky once non-zero
};

// The table of open devices. Slot i holds the record of the device whose
// reference is i + 1.
//
// Locking: each slot has one mutex, made with the table and never destroyed
// or re-made. The main thread (open, close, the poll) is the only writer of
// the slot pointers and does so under the slot's mutex; device threads only
// read them under it. A device thread touches nothing of a record but its
// waiting frame, lastFrameTime and error, always under the mutex. No code
// path holds two slot mutexes.
OpenDeviceRecord* gOpenDevices[kMaxOpenDevices];
std::mutex gMutex[kMaxOpenDevices];

void FillRecord(const CaptureDeviceDescription& device, uint8_t mediaKind, CaptureListing listing,
                CaptureDevices& record) {
  CopyUTF8ToField(device.name, record.name, sizeof record.name);
  CopyUTF8ToField(device.uniqueID, record.uniqueID, sizeof record.uniqueID);
  record.mediaKind = mediaKind;
  record.isDeckLink = device.isDeckLink;
  const size_t inputs = std::min<size_t>(device.inputSources.size(), kMaxDeviceInputs);
  record.inputCount = static_cast<uint8_t>(inputs);
  for (size_t i = 0; i < inputs; ++i) {
    char* name = record.inputs[i].name;
    CopyUTF8ToField(device.inputSources[i], name, sizeof record.inputs[i].name);
    // Input sources of the passes by media kind are numbered when unnamed.
    if (name[0] == '\0' && listing == CaptureListing::kByMediaKind)
      std::snprintf(name, sizeof record.inputs[i].name, "Input %d", static_cast<int>(i) + 1);
  }
}

// Leaves out the capture cards that the DeckLink pass lists under their own IDs.
bool IsDeckLinkCardSeenByBackend(const std::string& name) {
  return name.find("Blackmagic") != std::string::npos || name.find("Intensity") != std::string::npos;
}

OSErr OpenBackendDevice(int deviceNum, OpenDeviceRecord& record, const char* uniqueID, bool videoEnabled,
                        uint16_t inputNum, int16_t width, int16_t height, int16_t frameRate) {
  record.captureDelegate.reset(new (std::nothrow) QTCapture);
  if (record.captureDelegate == nullptr) return kCannotOpenVideoInputErr;
  record.captureDelegate->SetDeviceNum(deviceNum);

  const std::string id(uniqueID);
  for (CaptureBackend* backend : CaptureBackends()) {
    record.device = backend->FindDevice(id);
    if (record.device != nullptr) break;
  }
  if (record.device == nullptr) return kVideoDeviceNotFoundErr;

  CaptureStreamRequest request;
  // An input beyond the device's list leaves the device on its current one.
  if (inputNum < record.device->Description().inputSources.size()) request.inputSource = inputNum;
  request.video = videoEnabled ? VideoConnection::kEnabled : VideoConnection::kDisabled;
  if (width > 0 && height > 0) {  // both, or the device's own size
    request.widthPixels = width;
    request.heightPixels = height;
  }
  if (frameRate > 0) request.framesPerSecond = frameRate;
  return record.device->Start(request, *record.captureDelegate);
}

}  // namespace

void QTCapture::FrameArrived(CaptureFrameRef frame) {
  if (deviceNum_ < 0 || deviceNum_ >= kMaxOpenDevices) return;
  CaptureFrameRef replaced;
  {
    std::lock_guard<std::mutex> lock(gMutex[deviceNum_]);
    OpenDeviceRecord* record = gOpenDevices[deviceNum_];
    if (record == nullptr || record->error != noErr) return;  // frame released outside the lock
    ++record->framesArrived;
    if (record->frameQueue.Enabled()) {
      // An every-frame capture: kept in order (a full queue leaves it here).
      record->lastFrameTime = QTCaptureGetCurrentTime();
      record->frameQueue.Push(frame, record->lastFrameTime);
      return;
    }
    // The newest frame wins: one the poll did not fetch in time is dropped.
    replaced = std::move(record->pixelBuffer);
    record->pixelBuffer = std::move(frame);
    record->lastFrameTime = QTCaptureGetCurrentTime();
  }
}

void QTCapture::RuntimeErrorOccurred(OSErr code) {
  if (deviceNum_ < 0 || deviceNum_ >= kMaxOpenDevices) return;
  std::lock_guard<std::mutex> lock(gMutex[deviceNum_]);
  OpenDeviceRecord* record = gOpenDevices[deviceNum_];
  // The first error sticks; a code of 0 must still read as a failure.
  if (record != nullptr && record->error == noErr) record->error = code != noErr ? code : ioErr;
}

OSErr QTCaptureGetListOfDevices(uint8_t mediaFlags, int32_t* outCount, CaptureDevices** outDevices) {
  if (outCount == nullptr) return paramErr;
  if (mediaFlags == 0) {
    *outCount = 0;
    return noErr;
  }
  if (outDevices == nullptr) return paramErr;
  auto* devices = static_cast<CaptureDevices*>(std::calloc(kMaxListedDevices, sizeof(CaptureDevices)));
  if (devices == nullptr) return memFullErr;
  int32_t count = 0;

  std::vector<CaptureDeviceDescription> found;
  for (CaptureBackend* backend : CaptureBackends())
    if (backend->Listing() == CaptureListing::kByMediaKind) backend->ListDevices(found);
  // Video, then sound, then muxed devices; a device of two kinds would be
  // listed twice, once per pass.
  std::vector<uint8_t> passes;
  if ((mediaFlags & kListVideoDevices) != 0) passes.push_back(kMediaKindVideo);
  if ((mediaFlags & kListSoundDevices) != 0) passes.push_back(kMediaKindSound);
  passes.push_back(kMediaKindMuxed);
  for (const uint8_t pass : passes) {
    for (const CaptureDeviceDescription& device : found) {
      if (count >= kMaxListedDevices) break;
      if (static_cast<uint8_t>(device.mediaKind) != pass || !device.connected) continue;
      if (IsDeckLinkCardSeenByBackend(device.name)) continue;
      FillRecord(device, pass, CaptureListing::kByMediaKind, devices[count]);
      ++count;
    }
  }
  for (CaptureBackend* backend : CaptureBackends()) {
    if (backend->Listing() != CaptureListing::kAfterMediaKinds || count >= kMaxListedDevices) continue;
    std::vector<CaptureDeviceDescription> listed;
    backend->ListDevices(listed);
    for (const CaptureDeviceDescription& device : listed) {
      if (count >= kMaxListedDevices) break;
      FillRecord(device, static_cast<uint8_t>(device.mediaKind), CaptureListing::kAfterMediaKinds,
                 devices[count]);
      ++count;
    }
  }

  *outCount = count;
  *outDevices = devices;
  return noErr;
}

void QTCaptureDisposeListOfDevices(CaptureDevices* devices) {
  std::free(devices);
}

OSErr QTCaptureOpenDevice(const char* uniqueID, bool videoEnabled, uint16_t inputNum, int16_t width,
                          int16_t height, int16_t frameRate, QTCaptureDataProc dataProc, int32_t refCon,
                          int32_t* outDeviceRef) {
  // Without a callback the poll would have nowhere to go.
  if (uniqueID == nullptr || dataProc == nullptr || outDeviceRef == nullptr) return paramErr;
  int deviceNum = 0;
  while (deviceNum < kMaxOpenDevices && gOpenDevices[deviceNum] != nullptr) ++deviceNum;
  if (deviceNum == kMaxOpenDevices) return kAllDeviceSlotsInUseErr;

  auto* record = new (std::nothrow) OpenDeviceRecord;
  if (record == nullptr) return memFullErr;
  record->dataProc = dataProc;
  record->refCon = refCon;
  // The six-second watch starts now.
  record->lastFrameTime = QTCaptureGetCurrentTime();
  {
    std::lock_guard<std::mutex> lock(gMutex[deviceNum]);
    gOpenDevices[deviceNum] = record;
  }

  const OSErr err =
      OpenBackendDevice(deviceNum, *record, uniqueID, videoEnabled, inputNum, width, height, frameRate);
  if (err != noErr) {
    QTCaptureCloseDevice(deviceNum + 1);  // the slot is free again
    return err;
  }
  *outDeviceRef = deviceNum + 1;
  return noErr;
}

void QTCaptureCloseDevice(int32_t deviceRef) {
  if (deviceRef < 1 || deviceRef > kMaxOpenDevices) return;
  const int deviceNum = deviceRef - 1;
  OpenDeviceRecord* record = gOpenDevices[deviceNum];
  if (record == nullptr) return;
  // Delivery stops before anything the device threads touch goes away.
  if (record->device != nullptr) record->device->Stop();
  {
    std::lock_guard<std::mutex> lock(gMutex[deviceNum]);
    gOpenDevices[deviceNum] = nullptr;
  }
  delete record;  // the device, its delegate and any waiting frame
}

uint32_t QTCaptureSetFrameDelivery(int32_t deviceRef, QTFrameDelivery delivery) {
  if (deviceRef < 1 || deviceRef > kMaxOpenDevices) return 0;
  const int deviceNum = deviceRef - 1;
  std::deque<FrameQueue::Entry> released;  // let go of after the lock
  std::lock_guard<std::mutex> lock(gMutex[deviceNum]);
  OpenDeviceRecord* record = gOpenDevices[deviceNum];
  if (record == nullptr) return 0;
  if (delivery == QTFrameDelivery::kEveryFrame) {
    record->frameQueue.Enable();
    // The frame waiting now arrived before the switch; it goes first.
    if (record->pixelBuffer != nullptr) record->frameQueue.Push(record->pixelBuffer, record->lastFrameTime);
    return 0;
  }
  released = record->frameQueue.TakeAll();
  return record->frameQueue.Disable();
}

namespace fw {

bool QTCaptureGetFrameStats(int32_t deviceRef, QTFrameStats* outStats) {
  if (deviceRef < 1 || deviceRef > kMaxOpenDevices || outStats == nullptr) return false;
  const int deviceNum = deviceRef - 1;
  std::lock_guard<std::mutex> lock(gMutex[deviceNum]);
  const OpenDeviceRecord* record = gOpenDevices[deviceNum];
  if (record == nullptr) return false;
  outStats->framesArrived = record->framesArrived;
  outStats->framesDropped = record->frameQueue.FramesDropped();
  return true;
}

}  // namespace fw

void QTCaptureIdle() {
  const uint64_t now = QTCaptureGetCurrentTime();
  for (int deviceNum = 0; deviceNum < kMaxOpenDevices; ++deviceNum) {
    OpenDeviceRecord* record = gOpenDevices[deviceNum];  // only this thread writes the slots
    if (record == nullptr) continue;
    QTCaptureDataProc dataProc;
    int32_t refCon;
    OSErr error;
    uint64_t frameTime;
    CaptureFrameRef frame;
    std::deque<FrameQueue::Entry> queued;
    {
      std::lock_guard<std::mutex> lock(gMutex[deviceNum]);
      dataProc = record->dataProc;
      refCon = record->refCon;
      error = record->error;
      frameTime = record->lastFrameTime;
      if (error == noErr && now <= frameTime + kFrameTimeoutTicks) {
        if (record->frameQueue.Enabled()) queued = record->frameQueue.TakeAll();
        frame = std::move(record->pixelBuffer);
      }
    }
    // From here on the record may be freed by the callback; only the copies
    // above are used.
    if (error != noErr) {
      dataProc(refCon, nullptr, 0, 0, 0, 0, error);
    } else if (now > frameTime + kFrameTimeoutTicks) {
      // Not stored: the next poll tests again, and a new frame ends it.
      dataProc(refCon, nullptr, 0, 0, 0, 0, kDeviceTimedOutErr);
    } else if (!queued.empty()) {
      // An every-frame capture: all frames since the last poll, in order,
      // for as long as the callback keeps the device open.
      for (const FrameQueue::Entry& entry : queued) {
        if (gOpenDevices[deviceNum] != record) break;
        const CaptureFrame& f = *entry.frame;
        dataProc(refCon, f.BaseAddress(), f.RowBytes(), f.Width(), f.Height(), entry.arrivalTime, noErr);
      }
    } else if (frame != nullptr) {
      dataProc(refCon, frame->BaseAddress(), frame->RowBytes(), frame->Width(), frame->Height(), frameTime,
               noErr);
    }
  }
}
