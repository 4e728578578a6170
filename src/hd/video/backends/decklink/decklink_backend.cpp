// DeckLink cards: listing, opening, closing, and the input callback.
#include "hd/video/backends/decklink/decklink_backend.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace {

// One card's interfaces as listing and opening need them; whatever was
// obtained is released at the end of the scope unless taken over.
struct CardInterfaces {
  IDeckLink* card = nullptr;
  IDeckLinkInput* input = nullptr;
  DeckLinkString name = nullptr;
  IDeckLinkDisplayModeIterator* modes = nullptr;

  explicit CardInterfaces(IDeckLink* nextCard) : card(nextCard) {}
  ~CardInterfaces() {
    if (name != nullptr) DeckLinkStringRelease(name);
    if (modes != nullptr) modes->Release();
    if (input != nullptr) input->Release();
    if (card != nullptr) card->Release();
  }
  CardInterfaces(const CardInterfaces&) = delete;
  CardInterfaces& operator=(const CardInterfaces&) = delete;

  // The input interface, the display name and the display-mode iterator;
  // false when any of them cannot be had.
  bool Obtain() {
    void* found = nullptr;
    if (card->QueryInterface(IID_IDeckLinkInput, &found) != S_OK || found == nullptr) return false;
    input = static_cast<IDeckLinkInput*>(found);
    if (card->GetDisplayName(&name) != S_OK || name == nullptr) return false;
    return input->GetDisplayModeIterator(&modes) == S_OK && modes != nullptr;
  }
};

// Next card of the iterator, null at the end.
IDeckLink* NextCard(IDeckLinkIterator* iterator) {
  IDeckLink* card = nullptr;
  if (iterator->Next(&card) != S_OK) return nullptr;
  return card;
}

}  // namespace

void ListDeckLinkCards(CaptureDevices* devices, int32_t* count) {
  if (*count >= kMaxListedDevices) return;
  IDeckLinkIterator* iterator = CreateDeckLinkIteratorInstance();
  if (iterator == nullptr) return;  // no SDK: no cards, and no error
  while (*count < kMaxListedDevices) {
    IDeckLink* nextCard = NextCard(iterator);
    if (nextCard == nullptr) break;
    CardInterfaces card(nextCard);
    if (!card.Obtain()) continue;  // a card we cannot read is left out

    CaptureDevices& record = devices[*count];
    CopyUTF8ToField(card.name, record.name, sizeof record.name);
    IDeckLinkDisplayMode* mode = nullptr;
    while (record.inputCount < kMaxDeviceInputs && card.modes->Next(&mode) == S_OK && mode != nullptr) {
      DeckLinkString modeName = nullptr;
      if (mode->GetName(&modeName) == S_OK && modeName != nullptr) {
        CopyUTF8ToField(modeName, record.inputs[record.inputCount].name, sizeof record.inputs[0].name);
        ++record.inputCount;
        DeckLinkStringRelease(modeName);
      }
      mode->Release();
      mode = nullptr;
    }
    std::snprintf(record.uniqueID, sizeof record.uniqueID, "%s%s", kDeckLinkUniqueIDPrefix, record.name);
    record.mediaKind = kMediaKindVideo;
    record.isDeckLink = true;
    ++*count;
  }
  iterator->Release();
}

OSErr OpenDeckLinkCard(int deviceNum, OpenDeviceRecord& record, const char* uniqueID, uint16_t inputNum) {
  // The name is what follows the prefix within the 128-byte ID field.
  const char* nameInID = uniqueID + kDeckLinkUniqueIDPrefixLength;
  const std::string wantedName(nameInID,
                               strnlen(nameInID, kDeviceUniqueIDBytes - kDeckLinkUniqueIDPrefixLength));

  IDeckLinkIterator* iterator = CreateDeckLinkIteratorInstance();
  if (iterator == nullptr) return kVideoDeviceNotFoundErr;
  BMDDisplayMode displayMode = 0;
  for (;;) {
    IDeckLink* nextCard = NextCard(iterator);
    if (nextCard == nullptr) {
      iterator->Release();
      return kVideoDeviceNotFoundErr;
    }
    CardInterfaces card(nextCard);
    if (!card.Obtain()) continue;
    // Compared as the list cut it, so a long name still finds its card.
    char displayName[kDeviceNameBytes];
    CopyUTF8ToField(card.name, displayName, sizeof displayName);
    if (wantedName != displayName) continue;  // the first card of that name wins

    record.deckLink = card.card;
    record.deckLinkInput = card.input;
    card.card = nullptr;
    card.input = nullptr;
    // inputNum is the mode's position in the SDK's order, as listed; past
    // the last mode, the last one taken stands.
    for (uint32_t position = 0; position <= inputNum; ++position) {
      IDeckLinkDisplayMode* mode = nullptr;
      if (card.modes->Next(&mode) != S_OK || mode == nullptr) break;
      displayMode = mode->GetDisplayMode();
      mode->Release();
    }
    break;
  }
  iterator->Release();

  record.deckLinkCallback.reset(new (std::nothrow) BlackMagicCapture(deviceNum));
  if (record.deckLinkCallback == nullptr) return memFullErr;
  record.deckLinkInput->SetCallback(record.deckLinkCallback.get());
  if (record.deckLinkInput->EnableVideoInput(displayMode, bmdFormat8BitYUV, bmdVideoInputFlagDefault) != S_OK)
    return kDeckLinkInputNotEnabledErr;
  if (record.deckLinkInput->StartStreams() != S_OK) return kDeckLinkStreamsNotStartedErr;
  return noErr;
}

void CloseDeckLinkCard(OpenDeviceRecord& record) {
  if (record.deckLinkInput != nullptr) {
    // After these two the SDK's thread no longer calls us.
    record.deckLinkInput->StopStreams();
    record.deckLinkInput->SetCallback(nullptr);
  }
  if (record.deckLinkFrame != nullptr) {
    record.deckLinkFrame->Release();
    record.deckLinkFrame = nullptr;
  }
  if (record.deckLinkInput != nullptr) {
    record.deckLinkInput->Release();
    record.deckLinkInput = nullptr;
  }
  if (record.deckLink != nullptr) {
    record.deckLink->Release();
    record.deckLink = nullptr;
  }
  record.deckLinkCallback.reset();
}

HRESULT BlackMagicCapture::QueryInterface(REFIID, void**) {
  return E_NOINTERFACE;
}

HRESULT BlackMagicCapture::VideoInputFormatChanged(BMDVideoInputFormatChangedEvents, IDeckLinkDisplayMode*,
                                                   BMDDetectedVideoInputFormatFlags) {
  if (deviceNum_ < 0 || deviceNum_ >= kMaxOpenDevices) return S_OK;
  std::lock_guard<std::mutex> lock(gMutex[deviceNum_]);
  // The device is not reconfigured: the application hears 90025 on every
  // poll until it closes the card.
  OpenDeviceRecord* record = gOpenDevices[deviceNum_];
  if (record != nullptr && record->error == noErr) record->error = kDeckLinkFormatChangedErr;
  return S_OK;
}

HRESULT BlackMagicCapture::VideoInputFrameArrived(IDeckLinkVideoInputFrame* videoFrame,
                                                  IDeckLinkAudioInputPacket*) {
  if (videoFrame == nullptr) return S_OK;  // audio only
  if (deviceNum_ < 0 || deviceNum_ >= kMaxOpenDevices) return S_OK;
  IDeckLinkVideoInputFrame* replaced = nullptr;
  {
    std::lock_guard<std::mutex> lock(gMutex[deviceNum_]);
    OpenDeviceRecord* record = gOpenDevices[deviceNum_];
    if (record == nullptr || record->error != noErr) return S_OK;
    // The newest frame wins; the arrival time is the host's, not the
    // card's stream time.
    videoFrame->AddRef();
    replaced = record->deckLinkFrame;
    record->deckLinkFrame = videoFrame;
    record->lastFrameTime = QTCaptureGetCurrentTime();
  }
  if (replaced != nullptr) replaced->Release();
  return S_OK;
}
