// DeckLink cards as devices of the list and of the device table: the cards'
// records in the list, opening and closing a card in a slot, and the
// callback object that parks the card's frames in the slot's record.
#pragma once

#include <cstdint>

#include "hd/video/backends/decklink/decklink_api.h"
#include "hd/video/open_device_table.h"
#include "hd/video/qt_capture.h"

// The card's input callback. Its lifetime is the open device's, not the
// SDK's reference count: the record owns it, and the close destroys it after
// taking it off the card's input.
class BlackMagicCapture final : public IDeckLinkInputCallback {
 public:
  explicit BlackMagicCapture(int deviceNum) : deviceNum_(deviceNum) {}
  virtual ~BlackMagicCapture() = default;

  HRESULT QueryInterface(REFIID iid, void** outInterface) override;
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT VideoInputFormatChanged(BMDVideoInputFormatChangedEvents events, IDeckLinkDisplayMode* newMode,
                                  BMDDetectedVideoInputFormatFlags detectedFlags) override;
  HRESULT VideoInputFrameArrived(IDeckLinkVideoInputFrame* videoFrame,
                                 IDeckLinkAudioInputPacket* audioPacket) override;
  virtual void SetDeviceNum(int deviceNum) { deviceNum_ = deviceNum; }

 private:
  int32_t deviceNum_;
};

// Appends the cards present to the list while it has room.
void ListDeckLinkCards(CaptureDevices* devices, int32_t* count);

// Opens the card named in uniqueID (after the prefix) on the display mode at
// position inputNum (or the last one) in the record of slot deviceNum, which
// is already in the table. On failure the caller closes the slot.
OSErr OpenDeckLinkCard(int deviceNum, OpenDeviceRecord& record, const char* uniqueID, uint16_t inputNum);

// Stops the card's streams, takes the callback off, releases the waiting
// frame, the input and the card, and destroys the callback, in that order.
void CloseDeckLinkCard(OpenDeviceRecord& record);
