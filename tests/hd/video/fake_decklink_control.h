// The test side of the fake DeckLink SDK library (fake_decklink_sdk.cpp):
// the tests load the library through the program's own loader, then reach
// this control object by name to describe the cards and to make a card's
// thread send frames and format changes.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "hd/video/backends/decklink/decklink_api.h"

struct FakeDeckLinkMode {
  std::string name;  // empty: GetName fails
  BMDDisplayMode code;
};

struct FakeDeckLinkCard {
  std::string name;
  std::vector<FakeDeckLinkMode> modes;
  bool hasInput = true;  // false: QueryInterface for the input fails
  HRESULT enableResult = S_OK;
  HRESULT startResult = S_OK;
};

constexpr BMDDisplayMode kNoModeEnabled = 0xFFFFFFFFu;

class FakeDeckLinkControl {
 public:
  // The cards present from now on; every card's state starts afresh.
  virtual void SetCards(std::vector<FakeDeckLinkCard> cards) = 0;
  // SDK objects (iterators, cards, inputs, modes, frames) not yet destroyed.
  virtual int LiveObjects() = 0;
  virtual int LiveFrames() = 0;
  virtual int IteratorsCreated() = 0;
  virtual BMDDisplayMode EnabledMode(int card) = 0;
  virtual BMDPixelFormat EnabledPixelFormat(int card) = 0;
  virtual bool Streaming(int card) = 0;
  virtual bool HasCallback(int card) = 0;
  // Each is done on the card's own thread; the call waits until the
  // program's callback has returned. False when the card is not streaming.
  virtual bool SendFrame(int card, int32_t width, int32_t height, uint8_t fill) = 0;
  virtual bool SendAudioOnly(int card) = 0;
  virtual bool SendFormatChange(int card) = 0;

 protected:
  ~FakeDeckLinkControl() = default;
};

extern "C" FakeDeckLinkControl* FakeDeckLinkGetControl();
