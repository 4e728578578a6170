// The test side of the fake DeckLink SDK library (fake_decklink_sdk.cpp):
// the tests load the library through the program's own loader, then reach
// this control object by name to describe the cards, to make a card's
// thread send frames and format changes, and to read which SDK operations
// the program called. The library declares the SDK's interfaces on its own,
// from the published layout, and not from the program's header, so that a
// slot or an interface ID the program has wrong shows up here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct FakeDeckLinkMode {
  std::string name;  // empty: GetName fails
  uint32_t code;
};

struct FakeDeckLinkCard {
  std::string name;
  std::vector<FakeDeckLinkMode> modes;
  bool hasInput = true;      // false: QueryInterface for the input fails
  int32_t enableResult = 0;  // what EnableVideoInput returns
  int32_t startResult = 0;   // what StartStreams returns
};

constexpr uint32_t kNoModeEnabled = 0xFFFFFFFFu;

class FakeDeckLinkControl {
 public:
  // The cards present from now on; every card's state starts afresh.
  virtual void SetCards(std::vector<FakeDeckLinkCard> cards) = 0;
  // SDK objects (iterators, cards, inputs, modes, frames, buffers) not yet
  // destroyed.
  virtual int LiveObjects() = 0;
  virtual int LiveFrames() = 0;
  virtual int IteratorsCreated() = 0;
  virtual uint32_t EnabledMode(int card) = 0;
  virtual uint32_t EnabledPixelFormat(int card) = 0;
  virtual uint32_t EnabledFlags(int card) = 0;
  virtual bool Streaming(int card) = 0;
  virtual bool HasCallback(int card) = 0;
  // Each is done on the card's own thread; the call waits until the
  // program's callback has returned. False when the card is not streaming.
  virtual bool SendFrame(int card, int32_t width, int32_t height, uint8_t fill) = 0;
  virtual bool SendAudioOnly(int card) = 0;
  virtual bool SendFormatChange(int card) = 0;
  // The first byte of the newest frame's buffer, for telling that the
  // program hands on the card's own memory.
  virtual const void* LastFrameBytes() = 0;
  // "Interface::Operation" of every SDK operation called since the last
  // ClearCalls, in order.
  virtual std::vector<std::string> Calls() = 0;
  virtual void ClearCalls() = 0;
  // Calls the program should never make: operations we never use (a call
  // there means the program's table has a slot in the wrong place), pixels
  // read outside StartAccess/EndAccess, a buffer given back still accessed.
  virtual std::vector<std::string> Misuses() = 0;

 protected:
  ~FakeDeckLinkControl() = default;
};

extern "C" FakeDeckLinkControl* FakeDeckLinkGetControl();
