// A recording fake digitizer, registered through the component registry as
// the real ones are. Its state is shared with the test, which sets what it
// answers and reads the calls it received, in order, in one log (the test's
// data procedure writes into the same log).
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "classic/grabber/component_registry.h"
#include "classic/grabber/video_digitizer.h"
#include "core/util/types.h"

struct FakeDigitizerState {
  std::vector<std::string> log;
  int32_t outputFlags = digiOutDoesCompress;
  std::vector<OSType> compressionTypes{FourCC("2vuy")};
  ImageDescription description;
  Rect maxSrcRect{0, 0, 480, 640};
  OSErr openError = noErr;
  int opens = 0;
  struct Failure {
    int skip = 0;  // calls that still succeed first
    OSErr err = noErr;
  };
  std::map<std::string, Failure> failures;  // call name → how it fails
  // Finished compressed frames, oldest first: each is one byte, its number.
  std::deque<std::vector<uint8_t>> finished;
  bool grabDone[2] = {false, false};
  std::optional<uint16_t> brightness;  // the only adjustment a fake may have
  int16_t inputCount = 1;
  int16_t input = 0;

  OSErr Note(const std::string& call) {
    log.push_back(call);
    const auto it = failures.find(call);
    if (it == failures.end()) return noErr;
    if (it->second.skip > 0) {
      --it->second.skip;
      return noErr;
    }
    return it->second.err;
  }
};

class FakeDigitizer final : public fw::VideoDigitizer {
 public:
  explicit FakeDigitizer(std::shared_ptr<FakeDigitizerState> state) : s_(std::move(state)) {}

  OSErr GetDigitizerInfo(DigitizerInfo* out) override {
    out->outputCapabilityFlags = s_->outputFlags;
    return noErr;
  }
  OSErr GetMaxSrcRect(int16_t, Rect* out) override {
    *out = s_->maxSrcRect;
    return noErr;
  }
  OSErr SetPlayThruOnOff(bool on) override { return s_->Note(on ? "PlayThruOn" : "PlayThruOff"); }
  OSErr ReleaseAsyncBuffers() override { return s_->Note("ReleaseAsyncBuffers"); }
  OSErr GetCompressionTypes(std::vector<VDCompressionList>* out) override {
    for (const OSType type : s_->compressionTypes) out->push_back({type, "", ""});
    return noErr;
  }
  OSErr SetCompression(OSType type, int16_t, const Rect*, uint32_t, uint32_t, int32_t) override {
    return s_->Note("SetCompression " + fw::FourCCToString(type));
  }
  OSErr SetCompressionOnOff(bool on) override { return s_->Note(on ? "CompressionOn" : "CompressionOff"); }
  OSErr SetTimeBase(TimeBase) override { return s_->Note("SetTimeBase"); }
  OSErr ResetCompressSequence() override { return s_->Note("ResetCompressSequence"); }
  OSErr CompressOneFrameAsync() override { return s_->Note("CompressOneFrameAsync"); }
  OSErr CompressDone(int32_t* queued, const uint8_t** data, int32_t* size, uint8_t*, TimeRecord*) override {
    if (const OSErr err = s_->Note("CompressDone"); err != noErr) return err;
    *queued = static_cast<int32_t>(s_->finished.size());
    if (!s_->finished.empty()) {
      *data = s_->finished.front().data();
      *size = static_cast<int32_t>(s_->finished.front().size());
    }
    return noErr;
  }
  OSErr ReleaseCompressBuffer(const uint8_t* data) override {
    const std::string call = "Release " + std::to_string(data != nullptr ? *data : -1);
    if (const OSErr err = s_->Note(call); err != noErr) return err;
    if (!s_->finished.empty() && s_->finished.front().data() == data) s_->finished.pop_front();
    return noErr;
  }
  OSErr GetImageDescription(ImageDescription* out) override {
    *out = s_->description;
    return noErr;
  }
  OSErr SetupBuffers(const VdigBufferRecList* list) override {
    if (list == nullptr) return paramErr;
    return s_->Note("SetupBuffers");
  }
  OSErr GrabOneFrameAsync(int16_t buffer) override { return s_->Note("Grab " + std::to_string(buffer)); }
  bool Done(int16_t buffer) override {
    const bool done = s_->grabDone[buffer];
    s_->grabDone[buffer] = false;
    return done;
  }
  OSErr GetPictureAdjustment(fw::PictureAdjustment adjustment, uint16_t* out) override {
    if (adjustment != fw::PictureAdjustment::kBrightness || !s_->brightness) return badComponentSelector;
    *out = *s_->brightness;
    return noErr;
  }
  OSErr SetPictureAdjustment(fw::PictureAdjustment adjustment, uint16_t value) override {
    if (adjustment != fw::PictureAdjustment::kBrightness || !s_->brightness) return badComponentSelector;
    s_->brightness = value;
    return noErr;
  }
  OSErr GetNumberOfInputs(int16_t* out) override {
    *out = s_->inputCount;
    return noErr;
  }
  OSErr GetInputName(int16_t input, std::string* out) override {
    *out = "Input " + std::string(1, static_cast<char>('A' + input));
    return noErr;
  }
  OSErr GetInput(int16_t* out) override {
    *out = s_->input;
    return noErr;
  }
  OSErr SetInput(int16_t input) override {
    if (input < 0 || input >= s_->inputCount) return paramErr;
    s_->input = input;
    return noErr;
  }
  OSErr CallComponentDispatch(int16_t selector, uint32_t parameter) override {
    char text[48];
    std::snprintf(text, sizeof text, "Call %d 0x%X", selector, parameter);
    return s_->Note(text);
  }

 private:
  std::shared_ptr<FakeDigitizerState> s_;
};

inline Component RegisterFakeDigitizer(const std::string& name, OSType subType, OSType manufacturer,
                                       std::shared_ptr<FakeDigitizerState> state) {
  ComponentRegistration registration;
  registration.description.componentType = kVideoDigitizerComponentType;
  registration.description.componentSubType = subType;
  registration.description.componentManufacturer = manufacturer;
  registration.name = name;
  registration.open = [state](ComponentInstance* out) {
    ++state->opens;
    if (state->openError != noErr) return state->openError;
    *out = std::make_unique<FakeDigitizer>(state);
    return noErr;
  };
  return RegisterComponent(std::move(registration));
}
