// A stand-in for the DeckLink SDK's shared library, built by the tests and
// loaded through the program's loader: cards with names and display modes,
// reference-counted objects that count themselves, and a thread per
// streaming card that calls the program's input callback.
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "fake_decklink_control.h"

namespace {

std::atomic<int> gLiveObjects{0};
std::atomic<int> gLiveFrames{0};
std::atomic<int> gIteratorsCreated{0};

// Reference counting shared by every fake object.
template <typename Interface>
class Counted : public Interface {
 public:
  Counted() { gLiveObjects.fetch_add(1); }
  virtual ~Counted() { gLiveObjects.fetch_sub(1); }
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return ++references_; }
  ULONG Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 private:
  std::atomic<ULONG> references_{1};
};

DeckLinkString CopyString(const std::string& text) {
  return strdup(text.c_str());
}

class FakeFrame final : public Counted<IDeckLinkVideoInputFrame> {
 public:
  FakeFrame(int32_t width, int32_t height, uint8_t fill)
      : bytes_(static_cast<size_t>(width) * 2 * static_cast<size_t>(height), fill),
        width_(width),
        height_(height) {
    gLiveFrames.fetch_add(1);
  }
  ~FakeFrame() override { gLiveFrames.fetch_sub(1); }
  HRESULT GetBytes(void** outBytes) override {
    *outBytes = bytes_.data();
    return S_OK;
  }
  int32_t GetRowBytes() override { return width_ * 2; }
  int32_t GetWidth() override { return width_; }
  int32_t GetHeight() override { return height_; }

 private:
  std::vector<uint8_t> bytes_;
  int32_t width_;
  int32_t height_;
};

class FakeAudioPacket final : public Counted<IDeckLinkAudioInputPacket> {};

// What happens to one card while the program uses it.
struct CardState {
  FakeDeckLinkCard described;
  std::mutex mutex;
  IDeckLinkInputCallback* callback = nullptr;
  BMDDisplayMode enabledMode = kNoModeEnabled;
  BMDPixelFormat enabledPixelFormat = 0;
  bool streaming = false;
  bool stopping = false;
  std::deque<std::function<void(IDeckLinkInputCallback*)>> events;
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

  bool Send(std::function<void(IDeckLinkInputCallback*)> event) {
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
    if (described.startResult != S_OK) return described.startResult;
    if (streaming) return E_FAIL;
    streaming = true;
    stopping = false;
    thread = std::thread([this] { Run(); });
    return S_OK;
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

class FakeMode final : public Counted<IDeckLinkDisplayMode> {
 public:
  explicit FakeMode(FakeDeckLinkMode mode) : mode_(std::move(mode)) {}
  HRESULT GetName(DeckLinkString* outName) override {
    if (mode_.name.empty()) return E_FAIL;
    *outName = CopyString(mode_.name);
    return S_OK;
  }
  BMDDisplayMode GetDisplayMode() override { return mode_.code; }

 private:
  FakeDeckLinkMode mode_;
};

class FakeModeIterator final : public Counted<IDeckLinkDisplayModeIterator> {
 public:
  explicit FakeModeIterator(std::vector<FakeDeckLinkMode> modes) : modes_(std::move(modes)) {}
  HRESULT Next(IDeckLinkDisplayMode** outMode) override {
    if (next_ >= modes_.size()) return 1;  // S_FALSE: no more
    *outMode = new FakeMode(modes_[next_++]);
    return S_OK;
  }

 private:
  std::vector<FakeDeckLinkMode> modes_;
  size_t next_ = 0;
};

class FakeInput final : public Counted<IDeckLinkInput> {
 public:
  explicit FakeInput(std::shared_ptr<CardState> card) : card_(std::move(card)) {}
  // Another reference to the same card (the device list's, say) going away
  // must not stop the streams this one started.
  ~FakeInput() override {
    if (started_) card_->Stop();
  }
  HRESULT GetDisplayModeIterator(IDeckLinkDisplayModeIterator** outIterator) override {
    *outIterator = new FakeModeIterator(card_->described.modes);
    return S_OK;
  }
  HRESULT SetCallback(IDeckLinkInputCallback* callback) override {
    std::lock_guard<std::mutex> lock(card_->mutex);
    card_->callback = callback;
    return S_OK;
  }
  HRESULT EnableVideoInput(BMDDisplayMode mode, BMDPixelFormat pixelFormat, BMDVideoInputFlags) override {
    std::lock_guard<std::mutex> lock(card_->mutex);
    if (card_->described.enableResult != S_OK) return card_->described.enableResult;
    card_->enabledMode = mode;
    card_->enabledPixelFormat = pixelFormat;
    return S_OK;
  }
  HRESULT StartStreams() override {
    const HRESULT result = card_->Start();
    started_ = started_ || result == S_OK;
    return result;
  }
  HRESULT StopStreams() override {
    card_->Stop();
    started_ = false;
    return S_OK;
  }

 private:
  std::shared_ptr<CardState> card_;
  bool started_ = false;
};

class FakeCard final : public Counted<IDeckLink> {
 public:
  explicit FakeCard(std::shared_ptr<CardState> card) : card_(std::move(card)) {}
  HRESULT QueryInterface(REFIID iid, void** outInterface) override {
    if (!card_->described.hasInput || std::memcmp(&iid, &IID_IDeckLinkInput, sizeof iid) != 0)
      return E_NOINTERFACE;
    *outInterface = static_cast<IDeckLinkInput*>(new FakeInput(card_));
    return S_OK;
  }
  HRESULT GetDisplayName(DeckLinkString* outName) override {
    *outName = CopyString(card_->described.name);
    return S_OK;
  }

 private:
  std::shared_ptr<CardState> card_;
};

class FakeIterator final : public Counted<IDeckLinkIterator> {
 public:
  FakeIterator() {
    std::lock_guard<std::mutex> lock(gCardsMutex);
    cards_ = gCards;
  }
  HRESULT Next(IDeckLink** outCard) override {
    if (next_ >= cards_.size()) return 1;
    *outCard = new FakeCard(cards_[next_++]);
    return S_OK;
  }

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
  BMDDisplayMode EnabledMode(int card) override {
    return Read(card, &CardState::enabledMode, kNoModeEnabled);
  }
  BMDPixelFormat EnabledPixelFormat(int card) override {
    return Read(card, &CardState::enabledPixelFormat, 0u);
  }
  bool Streaming(int card) override { return Read(card, &CardState::streaming, false); }
  bool HasCallback(int card) override {
    auto state = Card(card);
    if (state == nullptr) return false;
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->callback != nullptr;
  }
  bool SendFrame(int card, int32_t width, int32_t height, uint8_t fill) override {
    auto state = Card(card);
    return state != nullptr && state->Send([=](IDeckLinkInputCallback* callback) {
      auto* frame = new FakeFrame(width, height, fill);
      callback->VideoInputFrameArrived(frame, nullptr);
      frame->Release();  // the SDK's own reference; the program keeps its own
    });
  }
  bool SendAudioOnly(int card) override {
    auto state = Card(card);
    return state != nullptr && state->Send([](IDeckLinkInputCallback* callback) {
      auto* audio = new FakeAudioPacket;
      callback->VideoInputFrameArrived(nullptr, audio);
      audio->Release();
    });
  }
  bool SendFormatChange(int card) override {
    auto state = Card(card);
    return state != nullptr && state->Send([](IDeckLinkInputCallback* callback) {
      callback->VideoInputFormatChanged(1, nullptr, 0);
    });
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

extern "C" IDeckLinkIterator* CreateDeckLinkIteratorInstance_0002() {
  gIteratorsCreated.fetch_add(1);
  return new FakeIterator;
}

extern "C" FakeDeckLinkControl* FakeDeckLinkGetControl() {
  static Control control;
  return &control;
}
