// DeckLink cards: listing, finding a card by name, opening it on a display
// mode, and the input callback that hands its frames to the device's sink.
#include "hd/video/backends/decklink/decklink_backend.h"

#include <new>
#include <utility>

#include "core/capture/error_messages.h"
#include "hd/video/qt_capture.h"

using namespace fw;

namespace {

struct DeckLinkMode {
  bool named = false;  // GetName answered; only named modes are listed
  std::string name;
  BMDDisplayMode code = 0;
};

// One card with what listing and opening need of it.
struct DeckLinkCard {
  DeckLinkRef<IDeckLink> card;
  DeckLinkRef<IDeckLinkInput> input;
  std::string name;                 // cut to the list's name field, so a long name still finds its card
  std::vector<DeckLinkMode> modes;  // in the SDK's order

  std::vector<std::string> ModeNames() const {
    std::vector<std::string> names;
    for (const DeckLinkMode& mode : modes)
      if (mode.named) names.push_back(mode.name);
    return names;
  }
};

std::string CutToField(const char* text, size_t fieldBytes) {
  std::string field(fieldBytes, '\0');
  CopyUTF8ToField(text, field.data(), fieldBytes);
  field.resize(std::char_traits<char>::length(field.c_str()));
  return field;
}

// The card's input interface, display name and display modes; false when
// any of the first three cannot be had.
bool ReadCard(DeckLinkRef<IDeckLink> card, DeckLinkCard& out) {
  out.card = std::move(card);
  if (out.card->QueryInterface(IID_IDeckLinkInput, reinterpret_cast<void**>(out.input.Receive())) != S_OK ||
      !out.input)
    return false;
  DeckLinkStringRef name;
  if (out.card->GetDisplayName(name.Receive()) != S_OK || name.Get() == nullptr) return false;
  DeckLinkRef<IDeckLinkDisplayModeIterator> modes;
  if (out.input->GetDisplayModeIterator(modes.Receive()) != S_OK || !modes) return false;
  out.name = CutToField(name.Get(), kDeviceNameBytes);

  DeckLinkRef<IDeckLinkDisplayMode> mode;
  while (modes->Next(mode.Receive()) == S_OK && mode) {
    DeckLinkMode entry;
    entry.code = mode->GetDisplayMode();
    DeckLinkStringRef modeName;
    if (mode->GetName(modeName.Receive()) == S_OK && modeName.Get() != nullptr) {
      entry.named = true;
      entry.name = modeName.Get();
    }
    out.modes.push_back(std::move(entry));
  }
  return true;
}

// Calls fn with each readable card in the SDK's order until it returns false.
template <typename Fn>
void ForEachCard(Fn fn) {
  DeckLinkRef<IDeckLinkIterator> iterator(CreateDeckLinkIteratorInstance());
  if (!iterator) return;  // no SDK: no cards, and no error
  DeckLinkRef<IDeckLink> next;
  while (iterator->Next(next.Receive()) == S_OK && next) {
    DeckLinkCard card;
    if (!ReadCard(std::move(next), card)) continue;  // a card we cannot read is left out
    if (!fn(card)) return;
  }
}

CaptureDeviceDescription Describe(const DeckLinkCard& card) {
  CaptureDeviceDescription description;
  description.name = card.name;
  description.uniqueID = kDeckLinkUniqueIDPrefix + card.name;
  description.mediaKind = CaptureMediaKind::kVideo;
  description.inputSources = card.ModeNames();
  description.isDeckLink = true;
  return description;
}

class DeckLinkFrame final : public CaptureFrame {
 public:
  DeckLinkFrame(DeckLinkRef<IDeckLinkVideoInputFrame> frame, DeckLinkRef<IDeckLinkVideoBuffer> buffer,
                uint8_t* bytes)
      : frame_(std::move(frame)),
        buffer_(std::move(buffer)),
        bytes_(bytes),
        rowBytes_(static_cast<int32_t>(frame_->GetRowBytes())),
        width_(static_cast<int32_t>(frame_->GetWidth())),
        height_(static_cast<int32_t>(frame_->GetHeight())) {}
  // The buffer, then the frame, go back to the card.
  ~DeckLinkFrame() override { buffer_->EndAccess(bmdBufferAccessRead); }

  uint8_t* BaseAddress() const override { return bytes_; }
  int32_t RowBytes() const override { return rowBytes_; }
  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }

 private:
  DeckLinkRef<IDeckLinkVideoInputFrame> frame_;
  DeckLinkRef<IDeckLinkVideoBuffer> buffer_;
  uint8_t* bytes_;
  int32_t rowBytes_;
  int32_t width_;
  int32_t height_;
};

class DeckLinkDevice final : public CaptureDevice {
 public:
  explicit DeckLinkDevice(DeckLinkCard card) : card_(std::move(card)), description_(Describe(card_)) {}
  ~DeckLinkDevice() override {
    Stop();
    // The input and the card go before the callback they may still hold.
    card_.input.Reset();
    card_.card.Reset();
    callback_.reset();
  }

  const CaptureDeviceDescription& Description() const override { return description_; }

  OSErr Start(const CaptureStreamRequest& request, FrameSink& sink) override {
    callback_.reset(new (std::nothrow) BlackMagicCapture(sink));
    if (callback_ == nullptr) return memFullErr;
    card_.input->SetCallback(callback_.get());
    if (card_.input->EnableVideoInput(ChosenMode(request.inputSource), bmdFormat8BitYUV,
                                      bmdVideoInputFlagDefault) != S_OK)
      return kDeckLinkInputNotEnabledErr;
    if (card_.input->StartStreams() != S_OK) return kDeckLinkStreamsNotStartedErr;
    return noErr;
  }

  void Stop() override {
    if (callback_ == nullptr || stopped_) return;
    stopped_ = true;
    // After these two the SDK's thread no longer calls us.
    card_.input->StopStreams();
    card_.input->SetCallback(nullptr);
  }

 private:
  // The mode at that position of the list, or, for a position beyond it,
  // the card's last mode (0 when it has none).
  BMDDisplayMode ChosenMode(int position) const {
    int named = 0;
    for (const DeckLinkMode& mode : card_.modes) {
      if (!mode.named) continue;
      if (named == position) return mode.code;
      ++named;
    }
    return card_.modes.empty() ? 0 : card_.modes.back().code;
  }

  DeckLinkCard card_;
  CaptureDeviceDescription description_;
  std::unique_ptr<BlackMagicCapture> callback_;
  bool stopped_ = false;
};

}  // namespace

void fw::DeckLinkBackend::ListDevices(std::vector<CaptureDeviceDescription>& devices) {
  ForEachCard([&](const DeckLinkCard& card) {
    devices.push_back(Describe(card));
    return true;
  });
}

std::unique_ptr<CaptureDevice> fw::DeckLinkBackend::FindDevice(const std::string& uniqueID) {
  if (uniqueID.compare(0, kDeckLinkUniqueIDPrefixLength, kDeckLinkUniqueIDPrefix) != 0) return nullptr;
  // The name is what follows the prefix within the 128-byte ID field.
  const std::string wanted =
      uniqueID.substr(kDeckLinkUniqueIDPrefixLength, kDeviceUniqueIDBytes - kDeckLinkUniqueIDPrefixLength);
  std::unique_ptr<CaptureDevice> device;
  ForEachCard([&](DeckLinkCard& card) {
    if (card.name != wanted) return true;  // the first card of that name wins
    device.reset(new (std::nothrow) DeckLinkDevice(std::move(card)));
    return false;
  });
  return device;
}

CaptureFrameRef fw::NewDeckLinkFrame(IDeckLinkVideoInputFrame* videoFrame) {
  DeckLinkRef<IDeckLinkVideoBuffer> buffer;
  if (videoFrame->QueryInterface(IID_IDeckLinkVideoBuffer, reinterpret_cast<void**>(buffer.Receive())) !=
          S_OK ||
      !buffer)
    return nullptr;
  if (buffer->StartAccess(bmdBufferAccessRead) != S_OK) return nullptr;
  void* bytes = nullptr;
  if (buffer->GetBytes(&bytes) != S_OK || bytes == nullptr) {
    buffer->EndAccess(bmdBufferAccessRead);
    return nullptr;
  }
  return std::make_shared<DeckLinkFrame>(DeckLinkRef<IDeckLinkVideoInputFrame>::Retain(videoFrame),
                                         std::move(buffer), static_cast<uint8_t*>(bytes));
}

HRESULT BlackMagicCapture::QueryInterface(REFIID, void**) {
  return E_NOINTERFACE;
}

HRESULT BlackMagicCapture::VideoInputFormatChanged(BMDVideoInputFormatChangedEvents, IDeckLinkDisplayMode*,
                                                   BMDDetectedVideoInputFormatFlags) {
  // The card is not reconfigured: the application hears 90025 on every poll
  // until it closes the card.
  if (!failed_.exchange(true)) sink_.RuntimeErrorOccurred(kDeckLinkFormatChangedErr);
  return S_OK;
}

HRESULT BlackMagicCapture::VideoInputFrameArrived(IDeckLinkVideoInputFrame* videoFrame,
                                                  IDeckLinkAudioInputPacket*) {
  if (videoFrame == nullptr || failed_.load()) return S_OK;  // audio only, or after a format change
  try {
    // A frame without readable pixels is dropped rather than handed on.
    CaptureFrameRef frame = NewDeckLinkFrame(videoFrame);
    if (frame != nullptr) sink_.FrameArrived(std::move(frame));
  } catch (const std::bad_alloc&) {
    // Out of memory: this frame is lost; no exception may reach the SDK.
  }
  return S_OK;
}
