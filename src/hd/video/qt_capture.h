// Framewright HD's video input: the list of capture devices, opening and
// closing a device, and the poll that hands each open device's newest frame
// to its data callback on the main thread.
//
// Devices come from the capture backends (V4L2 cameras, the built-in
// test-pattern camera and DeckLink cards, see capture_backend.h). Frames arrive on the devices' own
// threads; they only ever park the newest frame in the device's slot, and
// QTCaptureIdle(), called by the application's 60 Hz timer, delivers it.
#pragma once

#include <cstdint>

#include "core/capture/capture_records.h"
#include "core/capture/error_messages.h"
#include "core/platform/clocks.h"
#include "core/platform/os_errors.h"

constexpr int kMaxOpenDevices = 64;
constexpr int kMaxListedDevices = 64;
constexpr int kMaxDeviceInputs = 16;
constexpr int kDeviceNameBytes = 64;
constexpr int kDeviceUniqueIDBytes = 128;
constexpr int kDeviceInputNameBytes = 32;

// More than this many 1/600 s ticks without a frame is reported as 800.
constexpr uint64_t kFrameTimeoutTicks = 3600;

// Bits of the mediaFlags argument of QTCaptureGetListOfDevices.
constexpr uint8_t kListVideoDevices = 1 << 0;
constexpr uint8_t kListSoundDevices = 1 << 1;

// Values of CaptureDevices::mediaKind: the pass that found the device.
constexpr uint8_t kMediaKindVideo = 1;
constexpr uint8_t kMediaKindSound = 2;
constexpr uint8_t kMediaKindMuxed = 3;

struct DeviceInput {
  char name[kDeviceInputNameBytes];  // zero-terminated UTF-8
};

// One device of the list (the name is plural, the record is one device).
struct CaptureDevices {
  char name[kDeviceNameBytes];          // display name, zero-terminated UTF-8
  char uniqueID[kDeviceUniqueIDBytes];  // what QTCaptureOpenDevice takes
  uint8_t mediaKind;                    // kMediaKind...; 1 for DeckLink cards
  uint8_t inputCount;                   // valid entries of inputs, 0..16
  bool isDeckLink;
  DeviceInput inputs[kMaxDeviceInputs];  // position = inputNum that opens it
};

static_assert(sizeof(bool) == 1);
static_assert(sizeof(CaptureDevices) == 64 + 128 + 3 + 16 * 32);

// Lists the connected devices: the backends' devices (video, then sound, then
// muxed), then the DeckLink cards, at most 64 in all. With mediaFlags 0 only
// *outCount is written (0). Otherwise *outDevices receives an array with room
// for 64 records, which the caller frees with QTCaptureDisposeListOfDevices.
// Null output pointers give paramErr.
[[nodiscard]] OSErr QTCaptureGetListOfDevices(uint8_t mediaFlags, int32_t* outCount,
                                              CaptureDevices** outDevices);

// Frees an array made by QTCaptureGetListOfDevices (null is allowed).
void QTCaptureDisposeListOfDevices(CaptureDevices* devices);

// Opens the device with this unique ID on input inputNum (an input beyond the
// device's list keeps its current one; for a DeckLink card, the display mode
// at that position, or the last one). width and height ask for scaled frames
// when both are positive; frameRate > 0 caps the rate. On success
// *outDeviceRef receives 1..64; on failure it is left alone and the code is
// returned: 90021 no such device, 90022 no free slot, 90023/90024 DeckLink
// set-up, paramErr for a null ID, callback or output pointer, or the device's
// own code.
[[nodiscard]] OSErr QTCaptureOpenDevice(const char* uniqueID, bool videoEnabled, uint16_t inputNum,
                                        int16_t width, int16_t height, int16_t frameRate,
                                        QTCaptureDataProc dataProc, int32_t refCon, int32_t* outDeviceRef);

// Stops and closes the device; references outside 1..64 or naming a closed
// device are ignored. Safe to call from the device's own data callback.
void QTCaptureCloseDevice(int32_t deviceRef);

// How a device hands over its frames. kNewestFrame: one frame per poll, the
// newest (a frame the poll did not take in time is replaced). kEveryFrame:
// every frame that arrived since the last poll, in order, kept in a bounded
// queue (hd/video/frame_queue.h); frames that find it full are dropped and
// counted.
enum class QTFrameDelivery : uint8_t { kNewestFrame, kEveryFrame };

// Switches an open device's delivery (on the main thread). Returns the frames
// dropped since the switch to kEveryFrame (0 for that switch itself, or for a
// reference naming no device). Frames still kept at the switch back are
// released.
uint32_t QTCaptureSetFrameDelivery(int32_t deviceRef, QTFrameDelivery delivery);

namespace fw {

// What the device's own thread saw of its frames, for the capture window's
// health line.
struct QTFrameStats {
  uint64_t framesArrived = 0;  // since the open
  uint32_t framesDropped = 0;  // since the switch to kEveryFrame: found the queue full
};

// The counts of an open device (main thread); false for a reference naming
// no device.
bool QTCaptureGetFrameStats(int32_t deviceRef, QTFrameStats* outStats);

}  // namespace fw

// The poll, on the main thread: for every open device, at most one call of
// its data callback: its sticky error, 800 after more than 3600 ticks without
// a frame, or its newest frame; in kEveryFrame delivery, a call for each
// frame kept since the last poll, oldest first. The callbacks run outside
// every lock.
void QTCaptureIdle();

// The capture time base: 1/600 s ticks of the monotonic clock (it follows the
// test clock of SetMonotonicClockForTesting).
inline uint64_t QTCaptureGetCurrentTime() {
  return fw::GetTicks600();
}
