// DeckLink cards through a fake SDK library loaded by the program's own
// loader: listing, opening by name and mode position, set-up failures, frames
// and format changes from the card's thread, and closing.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "fake_backend.h"
#include "fake_decklink_control.h"
#include "hd/video/backends/decklink/decklink_api.h"
#include "hd/video/backends/decklink/decklink_backend.h"
#include "video_test_support.h"

using namespace fw;

namespace {

FakeDeckLinkControl* Control() {
  static FakeDeckLinkControl* control = [] {
    void* library = dlopen(FAKE_DECKLINK_LIBRARY, RTLD_NOW);
    auto get = reinterpret_cast<FakeDeckLinkControl* (*)()>(dlsym(library, "FakeDeckLinkGetControl"));
    return get != nullptr ? get() : nullptr;
  }();
  return control;
}

std::vector<FakeDeckLinkMode> Modes(int count, BMDDisplayMode firstCode = 100) {
  std::vector<FakeDeckLinkMode> modes;
  for (int i = 0; i < count; ++i)
    modes.push_back({"Mode " + std::to_string(i), firstCode + static_cast<BMDDisplayMode>(i)});
  return modes;
}

class DeckLinkTest : public VideoTest {
 protected:
  void SetUp() override {
    SetDeckLinkLibraryPathForTesting(FAKE_DECKLINK_LIBRARY);
    ASSERT_NE(Control(), nullptr);
    Control()->ClearCalls();
    UseBackends({&backend_, &deckLink_});
  }
  void TearDown() override {
    VideoTest::TearDown();
    EXPECT_EQ(Control()->LiveObjects(), 0);  // every SDK object released
    // Nothing called outside the SDK's contract, and no slot the program
    // does not use: a call there means a table slot in the wrong place.
    EXPECT_EQ(Control()->Misuses(), std::vector<std::string>{});
    Control()->SetCards({});
  }

  OSErr OpenCard(const std::string& name, uint16_t inputNum, int32_t* ref) {
    const std::string id = std::string(kDeckLinkUniqueIDPrefix) + name;
    return Open(id.c_str(), ref, inputNum, 42);
  }

  FakeBackend backend_;
  DeckLinkBackend deckLink_;
};

TEST_F(DeckLinkTest, CardsAreListedAfterTheOtherDevicesWithTheirModes) {
  backend_.devices.push_back({"Blackmagic UltraStudio", "fake:bm", CaptureMediaKind::kVideo, true, {}});
  backend_.AddDevices(1);
  std::vector<FakeDeckLinkMode> withUnnamed = Modes(3);
  withUnnamed[1].name = "";  // takes no entry
  FakeDeckLinkCard noInput{"No Input", Modes(2)};
  noInput.hasInput = false;
  Control()->SetCards({{"DeckLink Mini Recorder", withUnnamed}, noInput, {"Empty", {}}, {"Many", Modes(20)}});

  int32_t count = 0;
  CaptureDevices* devices = nullptr;
  ASSERT_EQ(QTCaptureGetListOfDevices(kListVideoDevices, &count, &devices), noErr);
  ASSERT_EQ(count, 4);
  EXPECT_STREQ(devices[0].name, "Camera 1");  // the card's backend twin is left out
  EXPECT_FALSE(devices[0].isDeckLink);

  EXPECT_STREQ(devices[1].name, "DeckLink Mini Recorder");
  EXPECT_STREQ(devices[1].uniqueID, "BM_K5S29FVB2W_DeckLink Mini Recorder");
  EXPECT_TRUE(devices[1].isDeckLink);
  EXPECT_EQ(devices[1].mediaKind, kMediaKindVideo);
  ASSERT_EQ(devices[1].inputCount, 2);
  EXPECT_STREQ(devices[1].inputs[0].name, "Mode 0");
  EXPECT_STREQ(devices[1].inputs[1].name, "Mode 2");

  EXPECT_STREQ(devices[2].name, "Empty");  // no modes: listed with no inputs
  EXPECT_EQ(devices[2].inputCount, 0);
  EXPECT_EQ(devices[3].inputCount, 16);
  EXPECT_STREQ(devices[3].inputs[15].name, "Mode 15");
  QTCaptureDisposeListOfDevices(devices);

  // Sound-only listing still has the cards.
  ASSERT_EQ(QTCaptureGetListOfDevices(kListSoundDevices, &count, &devices), noErr);
  EXPECT_EQ(count, 3);
  QTCaptureDisposeListOfDevices(devices);
}

TEST_F(DeckLinkTest, AFullListLeavesTheCardsOut) {
  backend_.AddDevices(64);
  Control()->SetCards({{"Card", Modes(1)}});
  const int iterators = Control()->IteratorsCreated();
  int32_t count = 0;
  CaptureDevices* devices = nullptr;
  ASSERT_EQ(QTCaptureGetListOfDevices(1, &count, &devices), noErr);
  EXPECT_EQ(count, 64);
  for (int32_t i = 0; i < count; ++i) EXPECT_FALSE(devices[i].isDeckLink);
  EXPECT_EQ(Control()->IteratorsCreated(), iterators);
  QTCaptureDisposeListOfDevices(devices);

  // One place left: one card, and the iterator is released with the rest.
  backend_.devices.pop_back();
  Control()->SetCards({{"First", Modes(1)}, {"Second", Modes(1)}});
  ASSERT_EQ(QTCaptureGetListOfDevices(1, &count, &devices), noErr);
  EXPECT_EQ(count, 64);
  EXPECT_STREQ(devices[63].name, "First");
  QTCaptureDisposeListOfDevices(devices);
}

TEST_F(DeckLinkTest, OpensTheFirstCardOfTheNameOnTheModeAtThePosition) {
  Control()->SetCards(
      {{"Other", Modes(2, 10)}, {"Twin", Modes(3, 100)}, {"Twin", Modes(3, 200)}, {"Bare", {}}});
  int32_t ref = 0;
  ASSERT_EQ(OpenCard("Twin", 0, &ref), noErr);
  EXPECT_EQ(ref, 1);
  EXPECT_EQ(Control()->EnabledMode(1), 100u);
  EXPECT_EQ(Control()->EnabledPixelFormat(1), 0x32767579u);  // '2vuy'
  EXPECT_EQ(Control()->EnabledFlags(1), 0u);
  EXPECT_TRUE(Control()->Streaming(1));
  EXPECT_TRUE(Control()->HasCallback(1));
  EXPECT_EQ(Control()->EnabledMode(2), kNoModeEnabled);
  EXPECT_EQ(Control()->EnabledMode(0), kNoModeEnabled);
  QTCaptureCloseDevice(ref);
  EXPECT_FALSE(Control()->Streaming(1));
  EXPECT_FALSE(Control()->HasCallback(1));

  ASSERT_EQ(OpenCard("Twin", 1, &ref), noErr);
  EXPECT_EQ(Control()->EnabledMode(1), 101u);
  QTCaptureCloseDevice(ref);
  ASSERT_EQ(OpenCard("Twin", 500, &ref), noErr);  // past the last mode: the last
  EXPECT_EQ(Control()->EnabledMode(1), 102u);
  QTCaptureCloseDevice(ref);
  ASSERT_EQ(OpenCard("Bare", 0, &ref), noErr);  // no modes: mode code 0
  EXPECT_EQ(Control()->EnabledMode(3), 0u);
}

TEST_F(DeckLinkTest, SetUpFailuresFreeTheSlotAndReleaseEverything) {
  FakeDeckLinkCard cannotEnable{"No Enable", Modes(1)};
  cannotEnable.enableResult = E_FAIL;
  FakeDeckLinkCard cannotStart{"No Start", Modes(1)};
  cannotStart.startResult = E_FAIL;
  Control()->SetCards({cannotEnable, cannotStart});
  int32_t ref = -7;
  EXPECT_EQ(OpenCard("Absent", 0, &ref), kVideoDeviceNotFoundErr);
  EXPECT_EQ(OpenCard("No Enable", 0, &ref), kDeckLinkInputNotEnabledErr);
  EXPECT_FALSE(Control()->HasCallback(0));
  EXPECT_EQ(OpenCard("No Start", 0, &ref), kDeckLinkStreamsNotStartedErr);
  EXPECT_FALSE(Control()->HasCallback(1));
  EXPECT_EQ(ref, -7);
  EXPECT_EQ(Control()->LiveObjects(), 0);
  backend_.AddDevices(1);
  ASSERT_EQ(Open("fake:0", &ref), noErr);
  EXPECT_EQ(ref, 1);
}

TEST_F(DeckLinkTest, FramesFromTheCardsThreadNewestFirstAndAudioOnlyChangesNothing) {
  SetTicks(20'000);
  Control()->SetCards({{"Card", Modes(1)}});
  int32_t ref = 0;
  ASSERT_EQ(OpenCard("Card", 0, &ref), noErr);
  ASSERT_TRUE(Control()->SendFrame(0, 8, 2, 1));
  SetTicks(20'010);
  ASSERT_TRUE(Control()->SendFrame(0, 16, 4, 2));
  EXPECT_EQ(Control()->LiveFrames(), 1);  // the first was released at once

  auto calls = Poll();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].refCon, 42);
  EXPECT_EQ(calls[0].firstRow.at(0), 2);
  EXPECT_EQ(calls[0].width, 16);
  EXPECT_EQ(calls[0].height, 4);
  EXPECT_EQ(calls[0].rowBytes, 32);
  EXPECT_EQ(calls[0].time, 20'010u);
  EXPECT_EQ(Control()->LiveFrames(), 0);
  EXPECT_TRUE(Poll().empty());

  // Audio without video neither delivers anything nor counts as a frame.
  SetTicks(20'010 + 3601);
  ASSERT_TRUE(Control()->SendAudioOnly(0));
  calls = Poll();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].err, kDeviceTimedOutErr);
}

TEST_F(DeckLinkTest, FormatChangeIsReportedOnEveryPollAndLaterFramesAreIgnored) {
  Control()->SetCards({{"Card", Modes(2)}});
  int32_t ref = 0;
  ASSERT_EQ(OpenCard("Card", 0, &ref), noErr);
  ASSERT_TRUE(Control()->SendFormatChange(0));
  ASSERT_TRUE(Control()->SendFrame(0, 8, 2, 5));
  EXPECT_EQ(Control()->LiveFrames(), 0);  // refused
  ASSERT_TRUE(Control()->SendFormatChange(0));
  for (int poll = 0; poll < 3; ++poll) {
    auto calls = Poll();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].err, kDeckLinkFormatChangedErr);
    EXPECT_FALSE(calls[0].hadBaseAddr);
  }
  QTCaptureCloseDevice(ref);
  EXPECT_TRUE(Poll().empty());
  ASSERT_EQ(OpenCard("Card", 0, &ref), noErr);  // a fresh open is healthy
  ASSERT_TRUE(Control()->SendFrame(0, 8, 2, 6));
  EXPECT_EQ(Poll().at(0).err, noErr);
}

TEST_F(DeckLinkTest, CallbackClosingItsOwnCardStillReleasesTheFrame) {
  Control()->SetCards({{"Card", Modes(1)}, {"Next", Modes(1)}});
  int32_t ref = 0, next = 0;
  ASSERT_EQ(OpenCard("Card", 0, &ref), noErr);
  ASSERT_EQ(OpenCard("Next", 0, &next), noErr);
  ASSERT_TRUE(Control()->SendFrame(0, 8, 2, 1));
  ASSERT_TRUE(Control()->SendFrame(1, 8, 2, 2));
  int calls = 0;
  gAfterCall = [&](const DataProcCall& call) {
    ++calls;
    if (call.firstRow.at(0) == 1) QTCaptureCloseDevice(ref);
  };
  QTCaptureIdle();
  EXPECT_EQ(calls, 2);
  EXPECT_FALSE(Control()->Streaming(0));
  EXPECT_TRUE(Control()->Streaming(1));
  EXPECT_EQ(Control()->LiveFrames(), 0);
}

// The card's thread delivers while the main thread polls; ThreadSanitizer
// watches the hand-over.
TEST_F(DeckLinkTest, FramesWhilePollingFromAnotherThread) {
  Control()->SetCards({{"Card", Modes(1)}});
  int32_t ref = 0;
  ASSERT_EQ(OpenCard("Card", 0, &ref), noErr);
  std::atomic<bool> done{false};
  std::thread sender([&] {
    for (int i = 1; i <= 200; ++i) Control()->SendFrame(0, 8, 2, static_cast<uint8_t>(i));
    done = true;
  });
  int lastFill = 0;
  while (!done.load()) {
    for (const DataProcCall& call : Poll()) {
      ASSERT_EQ(call.err, noErr);
      ASSERT_GT(call.firstRow.at(0), lastFill);  // never a frame twice, never an older one
      lastFill = call.firstRow.at(0);
    }
    std::this_thread::yield();
  }
  sender.join();
  for (const DataProcCall& call : Poll()) lastFill = call.firstRow.at(0);
  EXPECT_EQ(lastFill, 200);  // the newest frame is never lost
  EXPECT_EQ(Control()->LiveFrames(), 0);
}

// A mode whose name cannot be read is not listed, so the positions after it
// in the list must still open the modes listed there.
TEST_F(DeckLinkTest, ListPositionsOpenTheListedModesWhenANameCannotBeRead) {
  Control()->SetCards({{"Card", {{"A", 10}, {"", 11}, {"C", 12}}}});
  int32_t count = 0;
  CaptureDevices* devices = nullptr;
  ASSERT_EQ(QTCaptureGetListOfDevices(kListVideoDevices, &count, &devices), noErr);
  ASSERT_EQ(count, 1);
  ASSERT_EQ(devices[0].inputCount, 2);
  EXPECT_STREQ(devices[0].inputs[1].name, "C");
  QTCaptureDisposeListOfDevices(devices);
  int32_t ref = 0;
  ASSERT_EQ(OpenCard("Card", 1, &ref), noErr);
  EXPECT_EQ(Control()->EnabledMode(0), 12u);
}

// The callback receives the card's own buffer, read under StartAccess, and
// the access ends when the frame is released (the fake reports a buffer
// read outside it or given back still accessed).
TEST_F(DeckLinkTest, FramesReachTheCallbackWithoutACopy) {
  Control()->SetCards({{"Card", Modes(1)}});
  static const void* delivered = nullptr;
  delivered = nullptr;
  const auto proc = [](int32_t, void* baseAddr, int32_t, int32_t, int32_t, uint64_t, int32_t) {
    delivered = baseAddr;
  };
  int32_t ref = 0;
  const std::string id = std::string(kDeckLinkUniqueIDPrefix) + "Card";
  ASSERT_EQ(QTCaptureOpenDevice(id.c_str(), true, 0, 0, 0, 0, proc, 0, &ref), noErr);
  ASSERT_TRUE(Control()->SendFrame(0, 8, 2, 7));
  QTCaptureIdle();
  EXPECT_NE(delivered, nullptr);
  EXPECT_EQ(delivered, Control()->LastFrameBytes());
  EXPECT_EQ(Control()->LiveFrames(), 0);
}

// Every operation the program declares, called through its own declarations,
// must reach the operation of that name in the fake, whose tables follow the
// published layout on their own. A slot out of order, or a missing one
// before it, lands on another name.
struct SlotCall {
  std::string operation;
  std::function<void()> call;
};

void ExpectEachReachesItsOwnSlot(const std::vector<SlotCall>& calls) {
  for (const SlotCall& slot : calls) {
    Control()->ClearCalls();
    slot.call();
    EXPECT_EQ(Control()->Calls(), std::vector<std::string>{slot.operation});
  }
  Control()->ClearCalls();  // the placeholders' misuses were asked for here
}

constexpr CFUUIDBytes kUnknownIID = {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}};

class SlotProbe final : public IDeckLinkInputCallback {
 public:
  int formatChanges = 0;
  int frames = 0;
  int audioPackets = 0;

  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT VideoInputFormatChanged(BMDVideoInputFormatChangedEvents, IDeckLinkDisplayMode*,
                                  BMDDetectedVideoInputFormatFlags) override {
    ++formatChanges;
    return S_OK;
  }
  HRESULT VideoInputFrameArrived(IDeckLinkVideoInputFrame* frame, IDeckLinkAudioInputPacket* audio) override {
    void* out = nullptr;
    BMDTimeValue time = 0;
    if (frame != nullptr) {
      ++frames;
      DeckLinkRef<IDeckLinkVideoBuffer> buffer;
      ExpectEachReachesItsOwnSlot({
          {"IDeckLinkVideoInputFrame::QueryInterface",
           [&] {
             frame->QueryInterface(IID_IDeckLinkVideoBuffer, reinterpret_cast<void**>(buffer.Receive()));
           }},
          {"IDeckLinkVideoFrame::GetWidth", [&] { EXPECT_EQ(frame->GetWidth(), 8); }},
          {"IDeckLinkVideoFrame::GetHeight", [&] { EXPECT_EQ(frame->GetHeight(), 2); }},
          {"IDeckLinkVideoFrame::GetRowBytes", [&] { EXPECT_EQ(frame->GetRowBytes(), 16); }},
          {"IDeckLinkVideoFrame::GetPixelFormat", [&] { frame->GetPixelFormat(); }},
          {"IDeckLinkVideoFrame::GetFlags", [&] { frame->GetFlags(); }},
          {"IDeckLinkVideoFrame::GetTimecode", [&] { frame->GetTimecode(0, nullptr); }},
          {"IDeckLinkVideoFrame::GetAncillaryData", [&] { frame->GetAncillaryData(nullptr); }},
          {"IDeckLinkVideoInputFrame::GetStreamTime", [&] { frame->GetStreamTime(&time, &time, 600); }},
          {"IDeckLinkVideoInputFrame::GetHardwareReferenceTimestamp",
           [&] { frame->GetHardwareReferenceTimestamp(600, &time, &time); }},
      });
      if (!buffer) {
        ADD_FAILURE() << "the frame gave no buffer";
        return S_OK;
      }
      ExpectEachReachesItsOwnSlot({
          {"IDeckLinkVideoBuffer::QueryInterface", [&] { buffer->QueryInterface(kUnknownIID, &out); }},
          {"IDeckLinkVideoBuffer::StartAccess", [&] { buffer->StartAccess(bmdBufferAccessRead); }},
          {"IDeckLinkVideoBuffer::GetBytes", [&] { buffer->GetBytes(&out); }},
          {"IDeckLinkVideoBuffer::EndAccess", [&] { buffer->EndAccess(bmdBufferAccessRead); }},
      });
    }
    if (audio != nullptr) {
      ++audioPackets;
      ExpectEachReachesItsOwnSlot({
          {"IDeckLinkAudioInputPacket::QueryInterface", [&] { audio->QueryInterface(kUnknownIID, &out); }},
          {"IDeckLinkAudioInputPacket::GetSampleFrameCount", [&] { audio->GetSampleFrameCount(); }},
          {"IDeckLinkAudioInputPacket::GetBytes", [&] { audio->GetBytes(&out); }},
          {"IDeckLinkAudioInputPacket::GetPacketTime", [&] { audio->GetPacketTime(&time, 600); }},
      });
    }
    return S_OK;
  }
};

TEST_F(DeckLinkTest, EveryDeclaredSlotReachesTheOperationOfThatNameInThePublishedLayout) {
  Control()->SetCards({{"Card", Modes(1)}});
  DeckLinkRef<IDeckLinkIterator> iterator(CreateDeckLinkIteratorInstance());
  ASSERT_TRUE(iterator);
  DeckLinkRef<IDeckLink> card;
  ASSERT_EQ(iterator->Next(card.Receive()), S_OK);
  DeckLinkRef<IDeckLinkInput> input;
  ASSERT_EQ(card->QueryInterface(IID_IDeckLinkInput, reinterpret_cast<void**>(input.Receive())), S_OK);
  DeckLinkRef<IDeckLinkDisplayModeIterator> modes;
  ASSERT_EQ(input->GetDisplayModeIterator(modes.Receive()), S_OK);
  DeckLinkRef<IDeckLinkDisplayMode> mode;
  ASSERT_EQ(modes->Next(mode.Receive()), S_OK);

  void* out = nullptr;
  uint32_t count = 0;
  bool supported = false;
  BMDDisplayMode actual = 0;
  BMDTimeValue time = 0;
  BMDTimeScale scale = 0;
  DeckLinkStringRef text;
  DeckLinkRef<IDeckLinkDisplayMode> otherMode;
  DeckLinkRef<IDeckLinkDisplayModeIterator> otherModes;
  DeckLinkRef<IDeckLink> noCard;
  SlotProbe probe;
  ExpectEachReachesItsOwnSlot({
      {"IDeckLinkIterator::QueryInterface", [&] { iterator->QueryInterface(kUnknownIID, &out); }},
      {"IDeckLinkIterator::Next", [&] { EXPECT_NE(iterator->Next(noCard.Receive()), S_OK); }},
      {"IDeckLink::QueryInterface", [&] { card->QueryInterface(kUnknownIID, &out); }},
      {"IDeckLink::GetModelName", [&] { card->GetModelName(text.Receive()); }},
      {"IDeckLink::GetDisplayName", [&] { EXPECT_EQ(card->GetDisplayName(text.Receive()), S_OK); }},
      {"IDeckLinkDisplayModeIterator::QueryInterface", [&] { modes->QueryInterface(kUnknownIID, &out); }},
      {"IDeckLinkDisplayModeIterator::Next", [&] { EXPECT_NE(modes->Next(otherMode.Receive()), S_OK); }},
      {"IDeckLinkDisplayMode::QueryInterface", [&] { mode->QueryInterface(kUnknownIID, &out); }},
      {"IDeckLinkDisplayMode::GetName", [&] { EXPECT_EQ(mode->GetName(text.Receive()), S_OK); }},
      {"IDeckLinkDisplayMode::GetDisplayMode", [&] { EXPECT_EQ(mode->GetDisplayMode(), 100u); }},
      {"IDeckLinkDisplayMode::GetWidth", [&] { mode->GetWidth(); }},
      {"IDeckLinkDisplayMode::GetHeight", [&] { mode->GetHeight(); }},
      {"IDeckLinkDisplayMode::GetFrameRate", [&] { mode->GetFrameRate(&time, &scale); }},
      {"IDeckLinkDisplayMode::GetFieldDominance", [&] { mode->GetFieldDominance(); }},
      {"IDeckLinkDisplayMode::GetFlags", [&] { mode->GetFlags(); }},
      {"IDeckLinkInput::DoesSupportVideoMode",
       [&] { input->DoesSupportVideoMode(0, 0, 0, 0, 0, &actual, &supported); }},
      {"IDeckLinkInput::GetDisplayMode", [&] { input->GetDisplayMode(0, otherMode.Receive()); }},
      {"IDeckLinkInput::GetDisplayModeIterator",
       [&] { input->GetDisplayModeIterator(otherModes.Receive()); }},
      {"IDeckLinkInput::SetScreenPreviewCallback", [&] { input->SetScreenPreviewCallback(nullptr); }},
      {"IDeckLinkInput::EnableVideoInput", [&] { input->EnableVideoInput(100, bmdFormat8BitYUV, 0); }},
      {"IDeckLinkInput::EnableVideoInputWithAllocatorProvider",
       [&] { input->EnableVideoInputWithAllocatorProvider(100, bmdFormat8BitYUV, 0, nullptr); }},
      {"IDeckLinkInput::DisableVideoInput", [&] { input->DisableVideoInput(); }},
      {"IDeckLinkInput::GetAvailableVideoFrameCount", [&] { input->GetAvailableVideoFrameCount(&count); }},
      {"IDeckLinkInput::EnableAudioInput", [&] { input->EnableAudioInput(48000, 16, 2); }},
      {"IDeckLinkInput::DisableAudioInput", [&] { input->DisableAudioInput(); }},
      {"IDeckLinkInput::GetAvailableAudioSampleFrameCount",
       [&] { input->GetAvailableAudioSampleFrameCount(&count); }},
      {"IDeckLinkInput::SetCallback", [&] { input->SetCallback(&probe); }},
      {"IDeckLinkInput::StartStreams", [&] { EXPECT_EQ(input->StartStreams(), S_OK); }},
      {"IDeckLinkInput::PauseStreams", [&] { input->PauseStreams(); }},
      {"IDeckLinkInput::FlushStreams", [&] { input->FlushStreams(); }},
      {"IDeckLinkInput::GetHardwareReferenceClock",
       [&] { input->GetHardwareReferenceClock(600, &time, &time, &time); }},
  });
  // The card's thread calls the program's callback through the same layout.
  ASSERT_TRUE(Control()->SendFormatChange(0));
  ASSERT_TRUE(Control()->SendFrame(0, 8, 2, 1));
  ASSERT_TRUE(Control()->SendAudioOnly(0));
  EXPECT_EQ(probe.formatChanges, 1);
  EXPECT_EQ(probe.frames, 1);
  EXPECT_EQ(probe.audioPackets, 1);
  ExpectEachReachesItsOwnSlot({
      {"IDeckLinkInput::StopStreams", [&] { input->StopStreams(); }},
      {"IDeckLinkInput::SetCallback", [&] { input->SetCallback(nullptr); }},
      {"IDeckLinkInput::QueryInterface", [&] { input->QueryInterface(kUnknownIID, &out); }},
  });
}

}  // namespace
