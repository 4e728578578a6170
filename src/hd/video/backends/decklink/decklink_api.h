// The DeckLink capture-card SDK as Framewright HD reaches it, declared
// binary-compatible with the DeckLink SDK 15.3.1 for Linux: every interface
// we touch has all its table slots in the SDK's order (operations we never
// call are declared with their parameter shapes all the same, so that the
// ones after them land where the library put them), with the SDK's
// interface IDs, constants and entry-point name. libDeckLinkAPI.so of that
// version and of later ones (which keep answering these IDs) serve it.
//
// Since 15.3.1 a video frame carries no GetBytes of its own: its pixels come
// from the IDeckLinkVideoBuffer that QueryInterface hands out for it, between
// StartAccess and EndAccess.
//
// The SDK is optional: without its library no card is listed and opening a
// card's ID fails with 90021.
#pragma once

#include <cstdint>
#include <utility>

// The COM subset of the SDK's Linux headers: HRESULT is an int, ULONG an
// unsigned long (64 bits here), and IUnknown has no virtual destructor.
using HRESULT = int;
using ULONG = unsigned long;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80000001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80000004u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80000008u);

// An interface identifier: the 16 bytes of its UUID in written order,
// passed by value as the SDK does.
struct CFUUIDBytes {
  uint8_t bytes[16];
};
using REFIID = CFUUIDBytes;
static_assert(sizeof(CFUUIDBytes) == 16);

inline bool SameIID(const CFUUIDBytes& a, const CFUUIDBytes& b) {
  for (int i = 0; i < 16; ++i)
    if (a.bytes[i] != b.bytes[i]) return false;
  return true;
}

// C418FBDD-0587-48ED-8FE5-640F0A14AF91
constexpr CFUUIDBytes IID_IDeckLink = {
    {0xC4, 0x18, 0xFB, 0xDD, 0x05, 0x87, 0x48, 0xED, 0x8F, 0xE5, 0x64, 0x0F, 0x0A, 0x14, 0xAF, 0x91}};
// 4095DB82-E294-4B8C-AAA8-3B9E80C49336 (the input interface of 15.3.1)
constexpr CFUUIDBytes IID_IDeckLinkInput = {
    {0x40, 0x95, 0xDB, 0x82, 0xE2, 0x94, 0x4B, 0x8C, 0xAA, 0xA8, 0x3B, 0x9E, 0x80, 0xC4, 0x93, 0x36}};
// 3A94F075-C37D-4BA8-BCC0-1D778C8F881B
constexpr CFUUIDBytes IID_IDeckLinkInputCallback = {
    {0x3A, 0x94, 0xF0, 0x75, 0xC3, 0x7D, 0x4B, 0xA8, 0xBC, 0xC0, 0x1D, 0x77, 0x8C, 0x8F, 0x88, 0x1B}};
// 9C88499F-F601-4021-B80B-032E4EB41C35
constexpr CFUUIDBytes IID_IDeckLinkDisplayModeIterator = {
    {0x9C, 0x88, 0x49, 0x9F, 0xF6, 0x01, 0x40, 0x21, 0xB8, 0x0B, 0x03, 0x2E, 0x4E, 0xB4, 0x1C, 0x35}};
// 3EB2C1AB-0A3D-4523-A3AD-F40D7FB14E78
constexpr CFUUIDBytes IID_IDeckLinkDisplayMode = {
    {0x3E, 0xB2, 0xC1, 0xAB, 0x0A, 0x3D, 0x45, 0x23, 0xA3, 0xAD, 0xF4, 0x0D, 0x7F, 0xB1, 0x4E, 0x78}};
// 6502091C-615F-4F51-BAF6-45C4256DD5B0
constexpr CFUUIDBytes IID_IDeckLinkVideoFrame = {
    {0x65, 0x02, 0x09, 0x1C, 0x61, 0x5F, 0x4F, 0x51, 0xBA, 0xF6, 0x45, 0xC4, 0x25, 0x6D, 0xD5, 0xB0}};
// C9ADD3D2-BE52-488D-AB2D-7FDEF7AF0C95
constexpr CFUUIDBytes IID_IDeckLinkVideoInputFrame = {
    {0xC9, 0xAD, 0xD3, 0xD2, 0xBE, 0x52, 0x48, 0x8D, 0xAB, 0x2D, 0x7F, 0xDE, 0xF7, 0xAF, 0x0C, 0x95}};
// CCB4B64A-5C86-4E02-B778-885D352709FE (the video buffer of 15.3.1)
constexpr CFUUIDBytes IID_IDeckLinkVideoBuffer = {
    {0xCC, 0xB4, 0xB6, 0x4A, 0x5C, 0x86, 0x4E, 0x02, 0xB7, 0x78, 0x88, 0x5D, 0x35, 0x27, 0x09, 0xFE}};
// E43D5870-2894-11DE-8C30-0800200C9A66
constexpr CFUUIDBytes IID_IDeckLinkAudioInputPacket = {
    {0xE4, 0x3D, 0x58, 0x70, 0x28, 0x94, 0x11, 0xDE, 0x8C, 0x30, 0x08, 0x00, 0x20, 0x0C, 0x9A, 0x66}};

using BMDDisplayMode = uint32_t;
using BMDPixelFormat = uint32_t;
using BMDFieldDominance = uint32_t;
using BMDDisplayModeFlags = uint32_t;
using BMDFrameFlags = uint32_t;
using BMDTimecodeFormat = uint32_t;
using BMDBufferAccessFlags = uint32_t;
using BMDVideoConnection = uint32_t;
using BMDVideoInputFlags = uint32_t;
using BMDVideoInputConversionMode = uint32_t;
using BMDSupportedVideoModeFlags = uint32_t;
using BMDVideoInputFormatChangedEvents = uint32_t;
using BMDDetectedVideoInputFormatFlags = uint32_t;
using BMDAudioSampleRate = uint32_t;
using BMDAudioSampleType = uint32_t;
using BMDTimeValue = int64_t;
using BMDTimeScale = int64_t;

// The SDK's 8-bit 4:2:2 Y'CbCr, the same bytes as '2vuy'.
constexpr BMDPixelFormat bmdFormat8BitYUV = 0x32767579;
constexpr BMDVideoInputFlags bmdVideoInputFlagDefault = 0;
constexpr BMDBufferAccessFlags bmdBufferAccessRead = 1 << 0;

// Text the SDK hands out: zero-terminated UTF-8 that the receiver owns and
// gives back with DeckLinkStringRelease (free() on Linux).
using DeckLinkString = const char*;
void DeckLinkStringRelease(DeckLinkString text);

// Interfaces we pass on or receive but never call.
class IDeckLinkTimecode;
class IDeckLinkVideoFrameAncillary;
class IDeckLinkScreenPreviewCallback;
class IDeckLinkVideoBufferAllocatorProvider;

// Objects are reference counted; Release() of the last reference destroys.
// Nobody deletes an interface pointer, hence the protected destructors; the
// SDK declares them virtual after each interface's operations, where they
// take table slots of their own.
class IUnknown {
 public:
  virtual HRESULT QueryInterface(REFIID iid, void** outInterface) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;
};

class IDeckLinkDisplayMode : public IUnknown {
 public:
  virtual HRESULT GetName(DeckLinkString* outName) = 0;
  virtual BMDDisplayMode GetDisplayMode() = 0;
  virtual long GetWidth() = 0;
  virtual long GetHeight() = 0;
  virtual HRESULT GetFrameRate(BMDTimeValue* outFrameDuration, BMDTimeScale* outTimeScale) = 0;
  virtual BMDFieldDominance GetFieldDominance() = 0;
  virtual BMDDisplayModeFlags GetFlags() = 0;

 protected:
  virtual ~IDeckLinkDisplayMode() = default;
};

class IDeckLinkDisplayModeIterator : public IUnknown {
 public:
  // S_OK with one reference to the next mode; another result at the end.
  virtual HRESULT Next(IDeckLinkDisplayMode** outMode) = 0;

 protected:
  virtual ~IDeckLinkDisplayModeIterator() = default;
};

class IDeckLinkVideoBuffer : public IUnknown {
 public:
  // Valid between StartAccess and EndAccess.
  virtual HRESULT GetBytes(void** outBytes) = 0;
  virtual HRESULT StartAccess(BMDBufferAccessFlags flags) = 0;
  virtual HRESULT EndAccess(BMDBufferAccessFlags flags) = 0;

 protected:
  virtual ~IDeckLinkVideoBuffer() = default;
};

class IDeckLinkVideoFrame : public IUnknown {
 public:
  virtual long GetWidth() = 0;
  virtual long GetHeight() = 0;
  virtual long GetRowBytes() = 0;
  virtual BMDPixelFormat GetPixelFormat() = 0;
  virtual BMDFrameFlags GetFlags() = 0;
  virtual HRESULT GetTimecode(BMDTimecodeFormat format, IDeckLinkTimecode** outTimecode) = 0;
  virtual HRESULT GetAncillaryData(IDeckLinkVideoFrameAncillary** outAncillary) = 0;

 protected:
  virtual ~IDeckLinkVideoFrame() = default;
};

class IDeckLinkVideoInputFrame : public IDeckLinkVideoFrame {
 public:
  virtual HRESULT GetStreamTime(BMDTimeValue* outFrameTime, BMDTimeValue* outFrameDuration,
                                BMDTimeScale timeScale) = 0;
  virtual HRESULT GetHardwareReferenceTimestamp(BMDTimeScale timeScale, BMDTimeValue* outFrameTime,
                                                BMDTimeValue* outFrameDuration) = 0;

 protected:
  ~IDeckLinkVideoInputFrame() override = default;
};

class IDeckLinkAudioInputPacket : public IUnknown {
 public:
  virtual long GetSampleFrameCount() = 0;
  virtual HRESULT GetBytes(void** outBytes) = 0;
  virtual HRESULT GetPacketTime(BMDTimeValue* outPacketTime, BMDTimeScale timeScale) = 0;

 protected:
  virtual ~IDeckLinkAudioInputPacket() = default;
};

// Implemented by the program; called on the SDK's own thread.
class IDeckLinkInputCallback : public IUnknown {
 public:
  virtual HRESULT VideoInputFormatChanged(BMDVideoInputFormatChangedEvents events,
                                          IDeckLinkDisplayMode* newMode,
                                          BMDDetectedVideoInputFormatFlags detectedFlags) = 0;
  virtual HRESULT VideoInputFrameArrived(IDeckLinkVideoInputFrame* videoFrame,
                                         IDeckLinkAudioInputPacket* audioPacket) = 0;

 protected:
  virtual ~IDeckLinkInputCallback() = default;
};

class IDeckLinkInput : public IUnknown {
 public:
  virtual HRESULT DoesSupportVideoMode(BMDVideoConnection connection, BMDDisplayMode requestedMode,
                                       BMDPixelFormat requestedPixelFormat,
                                       BMDVideoInputConversionMode conversionMode,
                                       BMDSupportedVideoModeFlags flags, BMDDisplayMode* outActualMode,
                                       bool* outSupported) = 0;
  virtual HRESULT GetDisplayMode(BMDDisplayMode displayMode, IDeckLinkDisplayMode** outMode) = 0;
  virtual HRESULT GetDisplayModeIterator(IDeckLinkDisplayModeIterator** outIterator) = 0;
  virtual HRESULT SetScreenPreviewCallback(IDeckLinkScreenPreviewCallback* previewCallback) = 0;
  virtual HRESULT EnableVideoInput(BMDDisplayMode mode, BMDPixelFormat pixelFormat,
                                   BMDVideoInputFlags flags) = 0;
  virtual HRESULT EnableVideoInputWithAllocatorProvider(BMDDisplayMode mode, BMDPixelFormat pixelFormat,
                                                        BMDVideoInputFlags flags,
                                                        IDeckLinkVideoBufferAllocatorProvider* provider) = 0;
  virtual HRESULT DisableVideoInput() = 0;
  virtual HRESULT GetAvailableVideoFrameCount(uint32_t* outFrameCount) = 0;
  virtual HRESULT EnableAudioInput(BMDAudioSampleRate sampleRate, BMDAudioSampleType sampleType,
                                   uint32_t channelCount) = 0;
  virtual HRESULT DisableAudioInput() = 0;
  virtual HRESULT GetAvailableAudioSampleFrameCount(uint32_t* outSampleFrameCount) = 0;
  virtual HRESULT StartStreams() = 0;
  // Once it returns, no frame arrives any more.
  virtual HRESULT StopStreams() = 0;
  virtual HRESULT PauseStreams() = 0;
  virtual HRESULT FlushStreams() = 0;
  // Null stops the calls; once it returns, the previous callback is not called.
  virtual HRESULT SetCallback(IDeckLinkInputCallback* callback) = 0;
  virtual HRESULT GetHardwareReferenceClock(BMDTimeScale desiredTimeScale, BMDTimeValue* outHardwareTime,
                                            BMDTimeValue* outTimeInFrame, BMDTimeValue* outTicksPerFrame) = 0;

 protected:
  virtual ~IDeckLinkInput() = default;
};

class IDeckLink : public IUnknown {
 public:
  virtual HRESULT GetModelName(DeckLinkString* outName) = 0;
  virtual HRESULT GetDisplayName(DeckLinkString* outName) = 0;

 protected:
  virtual ~IDeckLink() = default;
};

// The SDK gives the iterator no destructor slots.
class IDeckLinkIterator : public IUnknown {
 public:
  // S_OK with one reference to the next card; another result at the end.
  virtual HRESULT Next(IDeckLink** outCard) = 0;

 protected:
  ~IDeckLinkIterator() = default;
};

namespace fw {

// One reference to an SDK object, released when the holder goes.
template <typename Interface>
class DeckLinkRef {
 public:
  DeckLinkRef() = default;
  // Takes over a reference the caller already holds.
  explicit DeckLinkRef(Interface* adopted) : object_(adopted) {}
  DeckLinkRef(DeckLinkRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  DeckLinkRef& operator=(DeckLinkRef&& other) noexcept {
    if (this != &other) {
      Reset();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }
  DeckLinkRef(const DeckLinkRef&) = delete;
  DeckLinkRef& operator=(const DeckLinkRef&) = delete;
  ~DeckLinkRef() { Reset(); }

  // A new reference to an object someone else holds.
  static DeckLinkRef Retain(Interface* object) {
    if (object != nullptr) object->AddRef();
    return DeckLinkRef(object);
  }

  Interface* Get() const { return object_; }
  Interface* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  void Reset() {
    if (object_ != nullptr) std::exchange(object_, nullptr)->Release();
  }
  // For the SDK's out parameters: releases what is held, then receives.
  Interface** Receive() {
    Reset();
    return &object_;
  }

 private:
  Interface* object_ = nullptr;
};

// A string from the SDK, given back when the holder goes.
class DeckLinkStringRef {
 public:
  DeckLinkStringRef() = default;
  DeckLinkStringRef(const DeckLinkStringRef&) = delete;
  DeckLinkStringRef& operator=(const DeckLinkStringRef&) = delete;
  ~DeckLinkStringRef() {
    if (text_ != nullptr) DeckLinkStringRelease(text_);
  }
  const char* Get() const { return text_; }
  DeckLinkString* Receive() {
    if (text_ != nullptr) DeckLinkStringRelease(std::exchange(text_, nullptr));
    return &text_;
  }

 private:
  DeckLinkString text_ = nullptr;
};

}  // namespace fw

// The library the loader opens, and the entry points of 15.3.1 it looks up.
constexpr char kDeckLinkLibraryName[] = "libDeckLinkAPI.so";
constexpr char kCreateIteratorEntryPoint[] = "CreateDeckLinkIteratorInstance_0004";
constexpr char kCreateAPIInformationEntryPoint[] = "CreateDeckLinkAPIInformationInstance_0001";
constexpr char kCreateVideoConversionEntryPoint[] = "CreateVideoConversionInstance_0002";

// Loads the SDK's library and looks up its entry points, once per process
// however often and from however many threads it is called.
void InitDeckLinkAPI();

// A new iterator over the cards present (one reference for the caller), or
// null when the SDK is not installed.
IDeckLinkIterator* CreateDeckLinkIteratorInstance();

namespace fw {

// For tests only, before the first load: the library to open instead of the
// SDK's.
void SetDeckLinkLibraryPathForTesting(const char* path);
// For tests only: how many times the loader has looked for the library.
int DeckLinkLibraryLoadAttemptsForTesting();

}  // namespace fw
