// A stand-in for the DeckLink SDK's shared library (15.3.1 for Linux), built
// by the tests and loaded through the program's loader: cards with names and
// display modes, reference-counted objects that count themselves, and a
// thread per streaming card that calls the program's input callback.
//
// It does not include the program's declarations. Its objects lay out their
// tables from the published SDK on their own: every slot of every interface
// in the SDK's order (IUnknown's three first, each interface's virtual
// destructor after its operations, taking two slots), QueryInterface
// answering by the published IDs. So a program whose table has a slot in
// the wrong place calls a different operation here, and one asking for a
// wrong ID gets none. Every operation records its name; the ones the
// program has no business calling also record a misuse.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "fake_decklink_control.h"

// The program's IDeckLinkInputCallback, called through the published table.
// Outside the unnamed namespace: there the compiler would see that nothing
// here derives from it and could bind its calls to the pure declarations.
namespace fake_decklink {

struct CallbackIID {
  uint8_t bytes[16];
};

class InputCallback {
 public:
  virtual int QueryInterface(CallbackIID iid, void** outInterface) = 0;
  virtual unsigned long AddRef() = 0;
  virtual unsigned long Release() = 0;
  virtual int VideoInputFormatChanged(uint32_t events, void* newMode, uint32_t detectedFlags) = 0;
  virtual int VideoInputFrameArrived(void* videoFrame, void* audioPacket) = 0;

 protected:
  ~InputCallback() = default;
};
}  // namespace fake_decklink

namespace {

using fake_decklink::InputCallback;
using HRESULT = int;
using ULONG = unsigned long;

constexpr HRESULT kOK = 0;
constexpr HRESULT kFalse = 1;
constexpr HRESULT kNotImplemented = static_cast<HRESULT>(0x80000001u);
constexpr HRESULT kNoInterface = static_cast<HRESULT>(0x80000004u);
constexpr HRESULT kFail = static_cast<HRESULT>(0x80000008u);

struct IID {
  uint8_t bytes[16];
};
bool operator==(const IID& a, const IID& b) {
  return std::memcmp(a.bytes, b.bytes, sizeof a.bytes) == 0;
}

// 00000000-0000-0000-C000-000000000046
constexpr IID kIUnknown = {{0, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// 50FB36CD-3063-4B73-BDBB-958087F2D8BA
constexpr IID kIDeckLinkIterator = {
    {0x50, 0xFB, 0x36, 0xCD, 0x30, 0x63, 0x4B, 0x73, 0xBD, 0xBB, 0x95, 0x80, 0x87, 0xF2, 0xD8, 0xBA}};
// C418FBDD-0587-48ED-8FE5-640F0A14AF91
constexpr IID kIDeckLink = {
    {0xC4, 0x18, 0xFB, 0xDD, 0x05, 0x87, 0x48, 0xED, 0x8F, 0xE5, 0x64, 0x0F, 0x0A, 0x14, 0xAF, 0x91}};
// 4095DB82-E294-4B8C-AAA8-3B9E80C49336: IDeckLinkInput of 15.3.1
constexpr IID kIDeckLinkInput = {
    {0x40, 0x95, 0xDB, 0x82, 0xE2, 0x94, 0x4B, 0x8C, 0xAA, 0xA8, 0x3B, 0x9E, 0x80, 0xC4, 0x93, 0x36}};
// 9C88499F-F601-4021-B80B-032E4EB41C35
constexpr IID kIDeckLinkDisplayModeIterator = {
    {0x9C, 0x88, 0x49, 0x9F, 0xF6, 0x01, 0x40, 0x21, 0xB8, 0x0B, 0x03, 0x2E, 0x4E, 0xB4, 0x1C, 0x35}};
// 3EB2C1AB-0A3D-4523-A3AD-F40D7FB14E78
constexpr IID kIDeckLinkDisplayMode = {
    {0x3E, 0xB2, 0xC1, 0xAB, 0x0A, 0x3D, 0x45, 0x23, 0xA3, 0xAD, 0xF4, 0x0D, 0x7F, 0xB1, 0x4E, 0x78}};
// 6502091C-615F-4F51-BAF6-45C4256DD5B0
constexpr IID kIDeckLinkVideoFrame = {
    {0x65, 0x02, 0x09, 0x1C, 0x61, 0x5F, 0x4F, 0x51, 0xBA, 0xF6, 0x45, 0xC4, 0x25, 0x6D, 0xD5, 0xB0}};
// C9ADD3D2-BE52-488D-AB2D-7FDEF7AF0C95
constexpr IID kIDeckLinkVideoInputFrame = {
    {0xC9, 0xAD, 0xD3, 0xD2, 0xBE, 0x52, 0x48, 0x8D, 0xAB, 0x2D, 0x7F, 0xDE, 0xF7, 0xAF, 0x0C, 0x95}};
// CCB4B64A-5C86-4E02-B778-885D352709FE: IDeckLinkVideoBuffer of 15.3.1
constexpr IID kIDeckLinkVideoBuffer = {
    {0xCC, 0xB4, 0xB6, 0x4A, 0x5C, 0x86, 0x4E, 0x02, 0xB7, 0x78, 0x88, 0x5D, 0x35, 0x27, 0x09, 0xFE}};
// E43D5870-2894-11DE-8C30-0800200C9A66
constexpr IID kIDeckLinkAudioInputPacket = {
    {0xE4, 0x3D, 0x58, 0x70, 0x28, 0x94, 0x11, 0xDE, 0x8C, 0x30, 0x08, 0x00, 0x20, 0x0C, 0x9A, 0x66}};

constexpr uint32_t kBufferAccessRead = 1;

std::atomic<int> gLiveObjects{0};
std::atomic<int> gLiveFrames{0};
std::atomic<int> gIteratorsCreated{0};
std::atomic<const void*> gLastFrameBytes{nullptr};

std::mutex gLogMutex;
std::vector<std::string> gCalls;
std::vector<std::string> gMisuses;

void Record(const char* operation) {
  std::lock_guard<std::mutex> lock(gLogMutex);
  gCalls.emplace_back(operation);
}

void Misuse(std::string what) {
  std::lock_guard<std::mutex> lock(gLogMutex);
  gMisuses.push_back(std::move(what));
}

// An operation the program never calls: reaching it means that the
// program's table and the SDK's disagree.
HRESULT Unused(const char* operation) {
  Record(operation);
  Misuse(std::string("called ") + operation);
  return kNotImplemented;
}

// IUnknown's three slots and the reference count. No virtual destructor
// here, as in the SDK: each interface puts its own after its operations.
// Self names the interface and answers Find(iid) with an interface pointer
// holding a new reference, or null.
template <typename Self>
class Object {
 public:
  virtual HRESULT QueryInterface(IID iid, void** outInterface) {
    Record(Self::kQueryInterface);
    void* found = static_cast<Self*>(this)->Find(iid);
    if (found == nullptr) return kNoInterface;
    *outInterface = found;
    return kOK;
  }
  virtual ULONG AddRef() { return ++references_; }
  virtual ULONG Release() {
    const ULONG left = --references_;
    if (left == 0) delete static_cast<Self*>(this);
    return left;
  }

 protected:
  Object() { gLiveObjects.fetch_add(1); }
  ~Object() { gLiveObjects.fetch_sub(1); }

  // This object itself, with a new reference.
  void* Itself() {
    AddRef();
    return static_cast<Self*>(this);
  }

 private:
  std::atomic<ULONG> references_{1};
};

const char* CopyString(const std::string& text) {
  return strdup(text.c_str());
}

class FakeFrame;

// IDeckLinkVideoBuffer of 15.3.1: the frame's pixels, readable between
// StartAccess and EndAccess.
class FakeBuffer final : public Object<FakeBuffer> {
 public:
  static constexpr const char* kQueryInterface = "IDeckLinkVideoBuffer::QueryInterface";
  explicit FakeBuffer(FakeFrame* frame);

  virtual HRESULT GetBytes(void** outBytes);
  virtual HRESULT StartAccess(uint32_t flags) {
    Record("IDeckLinkVideoBuffer::StartAccess");
    if (flags != kBufferAccessRead) Misuse("StartAccess asks for more than reading");
    ++accesses_;
    return kOK;
  }
  virtual HRESULT EndAccess(uint32_t) {
    Record("IDeckLinkVideoBuffer::EndAccess");
    if (accesses_.load() == 0) Misuse("EndAccess without StartAccess");
    --accesses_;
    return kOK;
  }
  virtual ~FakeBuffer();

  void* Find(const IID& iid) { return iid == kIUnknown || iid == kIDeckLinkVideoBuffer ? Itself() : nullptr; }

 private:
  FakeFrame* frame_;  // one reference held
  std::atomic<int> accesses_{0};
};

// IDeckLinkVideoFrame's slots, then IDeckLinkVideoInputFrame's after the
// destructor's, as a derived interface has them.
class FakeVideoFrameSlots : public Object<FakeFrame> {
 public:
  static constexpr const char* kQueryInterface = "IDeckLinkVideoInputFrame::QueryInterface";
  FakeVideoFrameSlots(int32_t width, int32_t height, uint8_t fill)
      : bytes(static_cast<size_t>(width) * 2 * static_cast<size_t>(height), fill),
        width_(width),
        height_(height) {}

  virtual long GetWidth() {
    Record("IDeckLinkVideoFrame::GetWidth");
    return width_;
  }
  virtual long GetHeight() {
    Record("IDeckLinkVideoFrame::GetHeight");
    return height_;
  }
  virtual long GetRowBytes() {
    Record("IDeckLinkVideoFrame::GetRowBytes");
    return static_cast<long>(width_) * 2;
  }
  virtual uint32_t GetPixelFormat() {
    return static_cast<uint32_t>(Unused("IDeckLinkVideoFrame::GetPixelFormat"));
  }
  virtual uint32_t GetFlags() { return static_cast<uint32_t>(Unused("IDeckLinkVideoFrame::GetFlags")); }
  virtual HRESULT GetTimecode(uint32_t, void**) { return Unused("IDeckLinkVideoFrame::GetTimecode"); }
  virtual HRESULT GetAncillaryData(void**) { return Unused("IDeckLinkVideoFrame::GetAncillaryData"); }
  virtual ~FakeVideoFrameSlots() = default;

  std::vector<uint8_t> bytes;

 private:
  int32_t width_;
  int32_t height_;
};

class FakeFrame final : public FakeVideoFrameSlots {
 public:
  FakeFrame(int32_t width, int32_t height, uint8_t fill) : FakeVideoFrameSlots(width, height, fill) {
    gLiveFrames.fetch_add(1);
    gLastFrameBytes = bytes.data();
  }

  virtual HRESULT GetStreamTime(int64_t*, int64_t*, int64_t) {
    return Unused("IDeckLinkVideoInputFrame::GetStreamTime");
  }
  virtual HRESULT GetHardwareReferenceTimestamp(int64_t, int64_t*, int64_t*) {
    return Unused("IDeckLinkVideoInputFrame::GetHardwareReferenceTimestamp");
  }
  ~FakeFrame() override { gLiveFrames.fetch_sub(1); }

  void* Find(const IID& iid) {
    if (iid == kIUnknown || iid == kIDeckLinkVideoFrame || iid == kIDeckLinkVideoInputFrame) return Itself();
    if (iid == kIDeckLinkVideoBuffer) return new FakeBuffer(this);
    return nullptr;
  }
};

FakeBuffer::FakeBuffer(FakeFrame* frame) : frame_(frame) {
  frame_->AddRef();
}

HRESULT FakeBuffer::GetBytes(void** outBytes) {
  Record("IDeckLinkVideoBuffer::GetBytes");
  if (accesses_.load() == 0) Misuse("GetBytes outside StartAccess/EndAccess");
  *outBytes = frame_->bytes.data();
  return kOK;
}

FakeBuffer::~FakeBuffer() {
  if (accesses_.load() != 0) Misuse("buffer released while still accessed");
  frame_->Release();
}

class FakeAudioPacket final : public Object<FakeAudioPacket> {
 public:
  static constexpr const char* kQueryInterface = "IDeckLinkAudioInputPacket::QueryInterface";
  virtual long GetSampleFrameCount() { return Unused("IDeckLinkAudioInputPacket::GetSampleFrameCount"); }
  virtual HRESULT GetBytes(void**) { return Unused("IDeckLinkAudioInputPacket::GetBytes"); }
  virtual HRESULT GetPacketTime(int64_t*, int64_t) {
    return Unused("IDeckLinkAudioInputPacket::GetPacketTime");
  }
  virtual ~FakeAudioPacket() = default;

  void* Find(const IID& iid) {
    return iid == kIUnknown || iid == kIDeckLinkAudioInputPacket ? Itself() : nullptr;
  }
};

// What happens to one card while the program uses it.
struct CardState {
  FakeDeckLinkCard described;
  std::mutex mutex;
  InputCallback* callback = nullptr;
  uint32_t enabledMode = kNoModeEnabled;
  uint32_t enabledPixelFormat = 0;
  uint32_t enabledFlags = 0;
  bool streaming = false;
  bool stopping = false;
  std::deque<std::function<void(InputCallback*)>> events;
  std::condition_variable changed;
  std::thread thread;
  uint64_t eventsQueued = 0;
  uint64_t eventsDone = 0;

  // The card's thread: the SDK calls the program's callback from here.
  void Run() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      changed.wait(lock, [this] { return stopping || !events.empty(); });
      if (stopping) return;
      auto event = std::move(events.front());
      events.pop_front();
      // Held while calling: SetCallback(null) returns only once no call runs.
      if (callback != nullptr) event(callback);
      ++eventsDone;
      changed.notify_all();
    }
  }

  bool Send(std::function<void(InputCallback*)> event) {
    std::unique_lock<std::mutex> lock(mutex);
    if (!streaming) return false;
    events.push_back(std::move(event));
    const uint64_t mine = ++eventsQueued;
    changed.notify_all();
    changed.wait(lock, [&] { return eventsDone >= mine || !streaming; });
    return true;
  }

  HRESULT Start() {
    std::lock_guard<std::mutex> lock(mutex);
    if (described.startResult != kOK) return described.startResult;
    if (streaming) return kFail;
    streaming = true;
    stopping = false;
    thread = std::thread([this] { Run(); });
    return kOK;
  }

  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (!streaming) return;
      stopping = true;
      streaming = false;
      events.clear();
      changed.notify_all();
    }
    thread.join();
  }
};

std::mutex gCardsMutex;
std::vector<std::shared_ptr<CardState>> gCards;

std::shared_ptr<CardState> Card(int index) {
  std::lock_guard<std::mutex> lock(gCardsMutex);
  return index >= 0 && index < static_cast<int>(gCards.size()) ? gCards[static_cast<size_t>(index)] : nullptr;
}

class FakeMode final : public Object<FakeMode> {
 public:
  static constexpr const char* kQueryInterface = "IDeckLinkDisplayMode::QueryInterface";
  explicit FakeMode(FakeDeckLinkMode mode) : mode_(std::move(mode)) {}

  virtual HRESULT GetName(const char** outName) {
    Record("IDeckLinkDisplayMode::GetName");
    if (mode_.name.empty()) return kFail;
    *outName = CopyString(mode_.name);
    return kOK;
  }
  virtual uint32_t GetDisplayMode() {
    Record("IDeckLinkDisplayMode::GetDisplayMode");
    return mode_.code;
  }
  virtual long GetWidth() { return Unused("IDeckLinkDisplayMode::GetWidth"); }
  virtual long GetHeight() { return Unused("IDeckLinkDisplayMode::GetHeight"); }
  virtual HRESULT GetFrameRate(int64_t*, int64_t*) { return Unused("IDeckLinkDisplayMode::GetFrameRate"); }
  virtual uint32_t GetFieldDominance() {
    return static_cast<uint32_t>(Unused("IDeckLinkDisplayMode::GetFieldDominance"));
  }
  virtual uint32_t GetFlags() { return static_cast<uint32_t>(Unused("IDeckLinkDisplayMode::GetFlags")); }
  virtual ~FakeMode() = default;

  void* Find(const IID& iid) { return iid == kIUnknown || iid == kIDeckLinkDisplayMode ? Itself() : nullptr; }

 private:
  FakeDeckLinkMode mode_;
};

class FakeModeIterator final : public Object<FakeModeIterator> {
 public:
  static constexpr const char* kQueryInterface = "IDeckLinkDisplayModeIterator::QueryInterface";
  explicit FakeModeIterator(std::vector<FakeDeckLinkMode> modes) : modes_(std::move(modes)) {}

  virtual HRESULT Next(void** outMode) {
    Record("IDeckLinkDisplayModeIterator::Next");
    if (next_ >= modes_.size()) return kFalse;
    *outMode = new FakeMode(modes_[next_++]);
    return kOK;
  }
  virtual ~FakeModeIterator() = default;

  void* Find(const IID& iid) {
    return iid == kIUnknown || iid == kIDeckLinkDisplayModeIterator ? Itself() : nullptr;
  }

 private:
  std::vector<FakeDeckLinkMode> modes_;
  size_t next_ = 0;
};

// IDeckLinkInput of 15.3.1, all seventeen operations in order.
class FakeInput final : public Object<FakeInput> {
 public:
  static constexpr const char* kQueryInterface = "IDeckLinkInput::QueryInterface";
  explicit FakeInput(std::shared_ptr<CardState> card) : card_(std::move(card)) {}

  virtual HRESULT DoesSupportVideoMode(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t*, bool*) {
    return Unused("IDeckLinkInput::DoesSupportVideoMode");
  }
  virtual HRESULT GetDisplayMode(uint32_t, void**) { return Unused("IDeckLinkInput::GetDisplayMode"); }
  virtual HRESULT GetDisplayModeIterator(void** outIterator) {
    Record("IDeckLinkInput::GetDisplayModeIterator");
    *outIterator = new FakeModeIterator(card_->described.modes);
    return kOK;
  }
  virtual HRESULT SetScreenPreviewCallback(void*) {
    return Unused("IDeckLinkInput::SetScreenPreviewCallback");
  }
  virtual HRESULT EnableVideoInput(uint32_t mode, uint32_t pixelFormat, uint32_t flags) {
    Record("IDeckLinkInput::EnableVideoInput");
    std::lock_guard<std::mutex> lock(card_->mutex);
    if (card_->described.enableResult != kOK) return card_->described.enableResult;
    card_->enabledMode = mode;
    card_->enabledPixelFormat = pixelFormat;
    card_->enabledFlags = flags;
    return kOK;
  }
  virtual HRESULT EnableVideoInputWithAllocatorProvider(uint32_t, uint32_t, uint32_t, void*) {
    return Unused("IDeckLinkInput::EnableVideoInputWithAllocatorProvider");
  }
  virtual HRESULT DisableVideoInput() { return Unused("IDeckLinkInput::DisableVideoInput"); }
  virtual HRESULT GetAvailableVideoFrameCount(uint32_t*) {
    return Unused("IDeckLinkInput::GetAvailableVideoFrameCount");
  }
  virtual HRESULT EnableAudioInput(uint32_t, uint32_t, uint32_t) {
    return Unused("IDeckLinkInput::EnableAudioInput");
  }
  virtual HRESULT DisableAudioInput() { return Unused("IDeckLinkInput::DisableAudioInput"); }
  virtual HRESULT GetAvailableAudioSampleFrameCount(uint32_t*) {
    return Unused("IDeckLinkInput::GetAvailableAudioSampleFrameCount");
  }
  virtual HRESULT StartStreams() {
    Record("IDeckLinkInput::StartStreams");
    const HRESULT result = card_->Start();
    started_ = started_ || result == kOK;
    return result;
  }
  virtual HRESULT StopStreams() {
    Record("IDeckLinkInput::StopStreams");
    card_->Stop();
    started_ = false;
    return kOK;
  }
  virtual HRESULT PauseStreams() { return Unused("IDeckLinkInput::PauseStreams"); }
  virtual HRESULT FlushStreams() { return Unused("IDeckLinkInput::FlushStreams"); }
  virtual HRESULT SetCallback(InputCallback* callback) {
    Record("IDeckLinkInput::SetCallback");
    std::lock_guard<std::mutex> lock(card_->mutex);
    card_->callback = callback;
    return kOK;
  }
  virtual HRESULT GetHardwareReferenceClock(int64_t, int64_t*, int64_t*, int64_t*) {
    return Unused("IDeckLinkInput::GetHardwareReferenceClock");
  }
  // Another reference to the same card (the device list's, say) going away
  // must not stop the streams this one started.
  virtual ~FakeInput() {
    if (started_) card_->Stop();
  }

  void* Find(const IID& iid) { return iid == kIUnknown || iid == kIDeckLinkInput ? Itself() : nullptr; }

 private:
  std::shared_ptr<CardState> card_;
  bool started_ = false;
};

class FakeCard final : public Object<FakeCard> {
 public:
  static constexpr const char* kQueryInterface = "IDeckLink::QueryInterface";
  explicit FakeCard(std::shared_ptr<CardState> card) : card_(std::move(card)) {}

  virtual HRESULT GetModelName(const char**) { return Unused("IDeckLink::GetModelName"); }
  virtual HRESULT GetDisplayName(const char** outName) {
    Record("IDeckLink::GetDisplayName");
    *outName = CopyString(card_->described.name);
    return kOK;
  }
  virtual ~FakeCard() = default;

  void* Find(const IID& iid) {
    if (iid == kIUnknown || iid == kIDeckLink) return Itself();
    if (iid == kIDeckLinkInput && card_->described.hasInput) return new FakeInput(card_);
    return nullptr;
  }

 private:
  std::shared_ptr<CardState> card_;
};

// The SDK gives the iterator no destructor slots.
class FakeIterator final : public Object<FakeIterator> {
 public:
  static constexpr const char* kQueryInterface = "IDeckLinkIterator::QueryInterface";
  FakeIterator() {
    std::lock_guard<std::mutex> lock(gCardsMutex);
    cards_ = gCards;
  }

  virtual HRESULT Next(void** outCard) {
    Record("IDeckLinkIterator::Next");
    if (next_ >= cards_.size()) return kFalse;
    *outCard = new FakeCard(cards_[next_++]);
    return kOK;
  }

  void* Find(const IID& iid) { return iid == kIUnknown || iid == kIDeckLinkIterator ? Itself() : nullptr; }

 private:
  std::vector<std::shared_ptr<CardState>> cards_;
  size_t next_ = 0;
};

class Control final : public FakeDeckLinkControl {
 public:
  void SetCards(std::vector<FakeDeckLinkCard> cards) override {
    std::vector<std::shared_ptr<CardState>> states;
    for (FakeDeckLinkCard& card : cards) {
      auto state = std::make_shared<CardState>();
      state->described = std::move(card);
      states.push_back(std::move(state));
    }
    std::lock_guard<std::mutex> lock(gCardsMutex);
    gCards = std::move(states);
  }
  int LiveObjects() override { return gLiveObjects.load(); }
  int LiveFrames() override { return gLiveFrames.load(); }
  int IteratorsCreated() override { return gIteratorsCreated.load(); }
  uint32_t EnabledMode(int card) override { return Read(card, &CardState::enabledMode, kNoModeEnabled); }
  uint32_t EnabledPixelFormat(int card) override { return Read(card, &CardState::enabledPixelFormat, 0u); }
  uint32_t EnabledFlags(int card) override { return Read(card, &CardState::enabledFlags, 0u); }
  bool Streaming(int card) override { return Read(card, &CardState::streaming, false); }
  bool HasCallback(int card) override {
    auto state = Card(card);
    if (state == nullptr) return false;
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->callback != nullptr;
  }
  bool SendFrame(int card, int32_t width, int32_t height, uint8_t fill) override {
    auto state = Card(card);
    return state != nullptr && state->Send([=](InputCallback* callback) {
      auto* frame = new FakeFrame(width, height, fill);
      callback->VideoInputFrameArrived(frame, nullptr);
      frame->Release();  // the SDK's own reference; the program keeps its own
    });
  }
  bool SendAudioOnly(int card) override {
    auto state = Card(card);
    return state != nullptr && state->Send([](InputCallback* callback) {
      auto* audio = new FakeAudioPacket;
      callback->VideoInputFrameArrived(nullptr, audio);
      audio->Release();
    });
  }
  bool SendFormatChange(int card) override {
    auto state = Card(card);
    return state != nullptr &&
           state->Send([](InputCallback* callback) { callback->VideoInputFormatChanged(1, nullptr, 0); });
  }
  const void* LastFrameBytes() override { return gLastFrameBytes.load(); }
  std::vector<std::string> Calls() override {
    std::lock_guard<std::mutex> lock(gLogMutex);
    return gCalls;
  }
  void ClearCalls() override {
    std::lock_guard<std::mutex> lock(gLogMutex);
    gCalls.clear();
    gMisuses.clear();
  }
  std::vector<std::string> Misuses() override {
    std::lock_guard<std::mutex> lock(gLogMutex);
    return gMisuses;
  }

 private:
  template <typename T>
  T Read(int card, T CardState::*field, T fallback) {
    auto state = Card(card);
    if (state == nullptr) return fallback;
    std::lock_guard<std::mutex> lock(state->mutex);
    return (*state).*field;
  }
};

}  // namespace

// The entry point of 15.3.1's iterator, the only one the program calls.
extern "C" void* CreateDeckLinkIteratorInstance_0004() {
  gIteratorsCreated.fetch_add(1);
  return new FakeIterator;
}

extern "C" FakeDeckLinkControl* FakeDeckLinkGetControl() {
  static Control control;
  return &control;
}
