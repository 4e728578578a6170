// DeckLink capture cards as a capture backend: the cards the SDK sees, each
// with its display modes standing as input sources, found again by name; a
// card opened on a mode that hands its frames, without a copy, to the
// device's sink from the SDK's thread.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "hd/video/backends/decklink/decklink_api.h"
#include "hd/video/capture_backend.h"

namespace fw {

// Unique IDs of DeckLink cards are this prefix followed by the card's name
// (as the device list cuts it).
constexpr char kDeckLinkUniqueIDPrefix[] = "BM_K5S29FVB2W_";
constexpr size_t kDeckLinkUniqueIDPrefixLength = sizeof kDeckLinkUniqueIDPrefix - 1;

class DeckLinkBackend final : public CaptureBackend {
 public:
  // Listed after the other devices, whatever media kinds are asked for.
  CaptureListing Listing() const override { return CaptureListing::kAfterMediaKinds; }
  // The cards in the SDK's order; a card whose input, name or modes cannot be
  // had is left out, and so is a mode whose name cannot be read.
  void ListDevices(std::vector<CaptureDeviceDescription>& devices) override;
  // The first card whose name is the text after the prefix; null when there
  // is none or the SDK is missing.
  std::unique_ptr<CaptureDevice> FindDevice(const std::string& uniqueID) override;
};

}  // namespace fw

// The card's input callback. Its lifetime is the open device's, not the
// SDK's reference count: the device owns it, and destroys it only after
// taking it off the card's input.
class BlackMagicCapture final : public IDeckLinkInputCallback {
 public:
  explicit BlackMagicCapture(fw::FrameSink& sink) : sink_(sink) {}
  ~BlackMagicCapture() override = default;

  HRESULT QueryInterface(REFIID iid, void** outInterface) override;
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT VideoInputFormatChanged(BMDVideoInputFormatChangedEvents events, IDeckLinkDisplayMode* newMode,
                                  BMDDetectedVideoInputFormatFlags detectedFlags) override;
  HRESULT VideoInputFrameArrived(IDeckLinkVideoInputFrame* videoFrame,
                                 IDeckLinkAudioInputPacket* audioPacket) override;

 private:
  fw::FrameSink& sink_;
  std::atomic<bool> failed_{false};  // after a format change nothing more is sent
};

namespace fw {

// A card's frame as the sink receives it: the card's own buffer, held under
// read access until the last reference goes, when the frame is given back
// to the card. Null when the frame has no readable pixels.
CaptureFrameRef NewDeckLinkFrame(IDeckLinkVideoInputFrame* videoFrame);

}  // namespace fw
