// The interface every kind of capture device implements for the device list
// and the device sessions of qt_capture.h:
// devices found in a stable order under a persistent unique ID, each with a
// display name and named input sources; a device opened on a chosen input
// that delivers reference-counted '2vuy' frames from its own thread; and a
// runtime error with an integer code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/platform/os_errors.h"

namespace fw {

// One '2vuy' frame (8-bit 4:2:2 Y'CbCr, bytes Cb Y0 Cr Y1). The shared_ptr
// that carries it is its reference count: whoever holds one keeps the pixels.
class CaptureFrame {
 public:
  virtual ~CaptureFrame() = default;
  virtual uint8_t* BaseAddress() const = 0;
  virtual int32_t RowBytes() const = 0;
  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
};

using CaptureFrameRef = std::shared_ptr<CaptureFrame>;

// Frames with their own storage, recycled: a device thread asks for a frame,
// fills it and hands it on; when the last reference goes, the storage comes
// back here for the next frame instead of being freed and faulted in again.
class FramePool {
 public:
  FramePool();
  ~FramePool();
  FramePool(const FramePool&) = delete;
  FramePool& operator=(const FramePool&) = delete;

  // A frame of widthPixels × heightPixels (width rounded up to even), rows
  // packed (rowBytes = 2 × width); null when memory runs out. The contents
  // are whatever the storage held before.
  CaptureFrameRef Acquire(int32_t widthPixels, int32_t heightPixels);

  struct Shared;  // the free storage, shared with the frames that are out

 private:
  std::shared_ptr<Shared> shared_;  // outlives the pool while frames are out
};

// Values of CaptureDeviceDescription::mediaKind (the list's passes).
enum class CaptureMediaKind : uint8_t { kVideo = 1, kSound = 2, kMuxed = 3 };

struct CaptureDeviceDescription {
  std::string name;      // display name, UTF-8
  std::string uniqueID;  // stable across reboots; what QTCaptureOpenDevice takes
  CaptureMediaKind mediaKind = CaptureMediaKind::kVideo;
  bool connected = true;
  std::vector<std::string> inputSources;  // display names in the device's order; may be empty strings
  bool isDeckLink = false;                // a DeckLink card (the list says so; nothing else reads it)
};

enum class VideoConnection { kEnabled, kDisabled };

constexpr int kCurrentInputSource = -1;

struct CaptureStreamRequest {
  int inputSource = kCurrentInputSource;              // index into inputSources, or the current one
  VideoConnection video = VideoConnection::kEnabled;  // disabled: open, but deliver no frames
  int32_t widthPixels = 0;  // both non-zero: frames scaled to this size; else the device's own
  int32_t heightPixels = 0;
  int32_t framesPerSecond = 0;  // > 0: no more frames than this per second
};

// Where a running device sends its frames and its runtime errors. Called on
// the device's thread; implementations must not block for long.
class FrameSink {
 public:
  virtual void FrameArrived(CaptureFrameRef frame) = 0;
  // code is non-zero; after it the device sends nothing more.
  virtual void RuntimeErrorOccurred(OSErr code) = 0;

 protected:
  ~FrameSink() = default;
};

// A device found by its unique ID. Start() sets it up and begins delivering
// frames to the sink from a thread of the device's own; Stop() (and the
// destructor) ends delivery: once it returns, the sink is not called again.
class CaptureDevice {
 public:
  virtual ~CaptureDevice() = default;
  virtual const CaptureDeviceDescription& Description() const = 0;
  [[nodiscard]] virtual OSErr Start(const CaptureStreamRequest& request, FrameSink& sink) = 0;
  virtual void Stop() = 0;
};

// Where the device list puts a backend's devices: in its passes by media
// kind (video, sound, muxed), or in a pass of its own after them that every
// non-zero set of media flags includes, made only while the list has room.
enum class CaptureListing { kByMediaKind, kAfterMediaKinds };

class CaptureBackend {
 public:
  virtual ~CaptureBackend() = default;
  virtual CaptureListing Listing() const { return CaptureListing::kByMediaKind; }
  // Appends the backend's devices, in a stable order.
  virtual void ListDevices(std::vector<CaptureDeviceDescription>& devices) = 0;
  // The device with this unique ID, or null.
  virtual std::unique_ptr<CaptureDevice> FindDevice(const std::string& uniqueID) = 0;
};

// The backends in list order: V4L2 cameras, then the built-in test-pattern
// camera (so that a real camera comes first and opens by default), then the
// DeckLink cards, which are listed after the passes by media kind.
std::vector<CaptureBackend*> CaptureBackends();

// For tests only: replaces the backends (borrowed, not owned); an empty list
// brings the built-in ones back. Main thread, with no device open.
void SetCaptureBackendsForTesting(std::vector<CaptureBackend*> backends);

// Copies text into a field of fieldBytes bytes with its terminator, cutting
// at a UTF-8 character boundary so that a cut name stays valid UTF-8.
void CopyUTF8ToField(const std::string& text, char* field, size_t fieldBytes);

}  // namespace fw
