// The DeckLink capture-card SDK as Framewright HD uses it: the interfaces,
// their operations in the order of their table slots, and the loader that
// finds the SDK's shared library at run time. Only what the program calls is
// declared. The SDK is optional: without its library no card is listed and
// opening a card's ID fails with 90021.
#pragma once

#include <cstdint>

using HRESULT = int32_t;
using ULONG = uint32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80000004u);

// An interface identifier: the 16 bytes of its UUID in written order.
struct CFUUIDBytes {
  uint8_t bytes[16];
};
using REFIID = CFUUIDBytes;

// AF22762B-DFAC-4846-AA79-FA8883560995
constexpr CFUUIDBytes IID_IDeckLinkInput = {
    {0xAF, 0x22, 0x76, 0x2B, 0xDF, 0xAC, 0x48, 0x46, 0xAA, 0x79, 0xFA, 0x88, 0x83, 0x56, 0x09, 0x95}};

using BMDDisplayMode = uint32_t;
using BMDPixelFormat = uint32_t;
using BMDVideoInputFlags = uint32_t;
using BMDVideoInputFormatChangedEvents = uint32_t;
using BMDDetectedVideoInputFormatFlags = uint32_t;

// The SDK's 8-bit 4:2:2 Y'CbCr, the same bytes as '2vuy'.
constexpr BMDPixelFormat bmdFormat8BitYUV = 0x32767579;
constexpr BMDVideoInputFlags bmdVideoInputFlagDefault = 0;

// Text the SDK hands out: zero-terminated UTF-8 that the receiver owns and
// gives back with DeckLinkStringRelease.
using DeckLinkString = const char*;
void DeckLinkStringRelease(DeckLinkString text);

// Objects are reference counted; Release() of the last reference destroys.
// Nobody deletes an interface pointer, hence the protected destructors.
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

 protected:
  ~IDeckLinkDisplayMode() = default;
};

class IDeckLinkDisplayModeIterator : public IUnknown {
 public:
  // S_OK with one reference to the next mode; another result at the end.
  virtual HRESULT Next(IDeckLinkDisplayMode** outMode) = 0;

 protected:
  ~IDeckLinkDisplayModeIterator() = default;
};

class IDeckLinkVideoInputFrame : public IUnknown {
 public:
  virtual HRESULT GetBytes(void** outBytes) = 0;
  virtual int32_t GetRowBytes() = 0;
  virtual int32_t GetWidth() = 0;
  virtual int32_t GetHeight() = 0;

 protected:
  ~IDeckLinkVideoInputFrame() = default;
};

class IDeckLinkAudioInputPacket : public IUnknown {
 protected:
  ~IDeckLinkAudioInputPacket() = default;
};

// Called on the SDK's own thread.
class IDeckLinkInputCallback : public IUnknown {
 public:
  virtual HRESULT VideoInputFormatChanged(BMDVideoInputFormatChangedEvents events,
                                          IDeckLinkDisplayMode* newMode,
                                          BMDDetectedVideoInputFormatFlags detectedFlags) = 0;
  virtual HRESULT VideoInputFrameArrived(IDeckLinkVideoInputFrame* videoFrame,
                                         IDeckLinkAudioInputPacket* audioPacket) = 0;

 protected:
  ~IDeckLinkInputCallback() = default;
};

class IDeckLinkInput : public IUnknown {
 public:
  virtual HRESULT GetDisplayModeIterator(IDeckLinkDisplayModeIterator** outIterator) = 0;
  // Null stops the calls; once it returns, the previous callback is not called.
  virtual HRESULT SetCallback(IDeckLinkInputCallback* callback) = 0;
  virtual HRESULT EnableVideoInput(BMDDisplayMode mode, BMDPixelFormat pixelFormat,
                                   BMDVideoInputFlags flags) = 0;
  virtual HRESULT StartStreams() = 0;
  // Once it returns, no frame arrives any more.
  virtual HRESULT StopStreams() = 0;

 protected:
  ~IDeckLinkInput() = default;
};

class IDeckLink : public IUnknown {
 public:
  virtual HRESULT GetDisplayName(DeckLinkString* outName) = 0;

 protected:
  ~IDeckLink() = default;
};

class IDeckLinkIterator : public IUnknown {
 public:
  // S_OK with one reference to the next card; another result at the end.
  virtual HRESULT Next(IDeckLink** outCard) = 0;

 protected:
  ~IDeckLinkIterator() = default;
};

// The library the loader opens, and the entry points it looks up.
constexpr char kDeckLinkLibraryName[] = "libDeckLinkAPI.so";
constexpr char kCreateIteratorEntryPoint[] = "CreateDeckLinkIteratorInstance_0002";
constexpr char kCreateAPIInformationEntryPoint[] = "CreateDeckLinkAPIInformationInstance_0001";
constexpr char kCreateOpenGLPreviewEntryPoint[] = "CreateOpenGLScreenPreviewHelper_0001";
constexpr char kCreateCocoaPreviewEntryPoint[] = "CreateCocoaScreenPreview_0001";
constexpr char kCreateVideoConversionEntryPoint[] = "CreateVideoConversionInstance_0001";

// Loads the SDK's library and looks up its entry points, once per process
// however often and from however many threads it is called.
void InitDeckLinkAPI();

// A new iterator over the cards present (the caller releases it), or null
// when the SDK is not installed.
IDeckLinkIterator* CreateDeckLinkIteratorInstance();

// For tests only, before the first load: the library to open instead of the
// SDK's.
void SetDeckLinkLibraryPathForTesting(const char* path);
// For tests only: how many times the loader has looked for the library.
int DeckLinkLibraryLoadAttemptsForTesting();
