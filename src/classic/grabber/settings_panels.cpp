// Settings panels and the built-in components.
#include "classic/grabber/settings_panels.h"

#include <array>
#include <optional>

#include "classic/grabber/dv_camera.h"
#include "classic/grabber/raw_test_camera.h"
#include "classic/grabber/sequence_grabber.h"
#include "classic/grabber/v4l2_digitizer.h"
#include "core/util/strings.h"

namespace fw {

namespace {

constexpr std::array<PictureAdjustment, 4> kAdjustments = {
    PictureAdjustment::kBrightness, PictureAdjustment::kContrast, PictureAdjustment::kSaturation,
    PictureAdjustment::kHue};
constexpr const char* kAdjustmentTitles[] = {"Brightness", "Contrast", "Saturation", "Hue"};

class SourcePanel final : public SGPanel {
 public:
  std::vector<PanelControl> Controls(SGChannel channel) override {
    PanelControl device;
    device.title = "Camera";
    SGDeviceList list;
    if (channel->GetChannelDeviceList(0, &list) == noErr) {
      for (const SGDeviceName& entry : list->entry) {
        device.choices.push_back(Str255ToString(entry.name));
        device.choiceEnabled.push_back((entry.flags & sgDeviceNameFlagDeviceUnavailable) == 0);
      }
      device.value = list->selectedIndex;
    }
    PanelControl input;
    input.title = "Input";
    if (VideoDigitizer* digitizer = channel->GetVideoDigitizerComponent()) {
      int16_t count = 0, current = 0;
      (void)digitizer->GetNumberOfInputs(&count);
      for (int16_t i = 0; i < count; ++i) {
        std::string name;
        (void)digitizer->GetInputName(i, &name);
        input.choices.push_back(name.empty() ? "Input " + std::to_string(i + 1) : name);
        input.choiceEnabled.push_back(true);
      }
      (void)digitizer->GetInput(&current);
      input.value = current;
    }
    return {device, input};
  }

  OSErr ControlChanged(SGChannel channel, size_t control, int32_t value) override {
    if (control == 0) {
      const std::vector<PanelControl> controls = Controls(channel);
      const PanelControl& device = controls[0];
      if (value < 0 || static_cast<size_t>(value) >= device.choices.size()) return paramErr;
      if (!device.choiceEnabled[static_cast<size_t>(value)]) return noDeviceForChannel;
      if (value == device.value) return noErr;
      Str255 name;
      CopyToStr255(device.choices[static_cast<size_t>(value)], name);
      return channel->SetChannelDevice(name);
    }
    if (control == 1) {
      VideoDigitizer* digitizer = channel->GetVideoDigitizerComponent();
      return digitizer == nullptr ? noDeviceForChannel : digitizer->SetInput(static_cast<int16_t>(value));
    }
    return paramErr;
  }

  void SaveSettings(SGChannel channel) override {
    const std::vector<PanelControl> controls = Controls(channel);
    const PanelControl& device = controls[0];
    savedDevice_ = device.value >= 0 && static_cast<size_t>(device.value) < device.choices.size()
                       ? device.choices[static_cast<size_t>(device.value)]
                       : std::string();
    savedInput_ = static_cast<int16_t>(controls[1].value);
  }

  OSErr RestoreSettings(SGChannel channel) override {
    const std::vector<PanelControl> controls = Controls(channel);
    const PanelControl& device = controls[0];
    const bool sameDevice = device.value >= 0 && static_cast<size_t>(device.value) < device.choices.size() &&
                            device.choices[static_cast<size_t>(device.value)] == savedDevice_;
    if (!sameDevice && !savedDevice_.empty()) {
      Str255 name;
      CopyToStr255(savedDevice_, name);
      if (const OSErr err = channel->SetChannelDevice(name); err != noErr) return err;
    }
    VideoDigitizer* digitizer = channel->GetVideoDigitizerComponent();
    int16_t current = 0;
    if (digitizer == nullptr || digitizer->GetInput(&current) != noErr || current == savedInput_)
      return noErr;
    return digitizer->SetInput(savedInput_);
  }

 private:
  std::string savedDevice_;
  int16_t savedInput_ = 0;
};

class AdjustmentsPanel final : public SGPanel {
 public:
  OSErr PanelCanRun(SGChannel channel) override {
    VideoDigitizer* digitizer = channel->GetVideoDigitizerComponent();
    uint16_t value = 0;
    for (const PictureAdjustment adjustment : kAdjustments)
      if (digitizer != nullptr && digitizer->GetPictureAdjustment(adjustment, &value) == noErr) return noErr;
    return badComponentSelector;
  }

  // One slider per adjustment the digitizer has.
  std::vector<PanelControl> Controls(SGChannel channel) override {
    std::vector<PanelControl> controls;
    shown_.clear();
    VideoDigitizer* digitizer = channel->GetVideoDigitizerComponent();
    for (size_t i = 0; i < kAdjustments.size() && digitizer != nullptr; ++i) {
      uint16_t value = 0;
      if (digitizer->GetPictureAdjustment(kAdjustments[i], &value) != noErr) continue;
      PanelControl slider;
      slider.kind = PanelControl::Kind::kSlider;
      slider.title = kAdjustmentTitles[i];
      slider.maximum = 65535;
      slider.value = value;
      controls.push_back(slider);
      shown_.push_back(kAdjustments[i]);
    }
    return controls;
  }

  OSErr ControlChanged(SGChannel channel, size_t control, int32_t value) override {
    Controls(channel);
    VideoDigitizer* digitizer = channel->GetVideoDigitizerComponent();
    if (digitizer == nullptr || control >= shown_.size() || value < 0 || value > 65535) return paramErr;
    return digitizer->SetPictureAdjustment(shown_[control], static_cast<uint16_t>(value));
  }

  void SaveSettings(SGChannel channel) override {
    VideoDigitizer* digitizer = channel->GetVideoDigitizerComponent();
    for (size_t i = 0; i < kAdjustments.size(); ++i) {
      uint16_t value = 0;
      saved_[i] = digitizer != nullptr && digitizer->GetPictureAdjustment(kAdjustments[i], &value) == noErr
                      ? std::optional<uint16_t>(value)
                      : std::nullopt;
    }
  }

  OSErr RestoreSettings(SGChannel channel) override {
    VideoDigitizer* digitizer = channel->GetVideoDigitizerComponent();
    for (size_t i = 0; i < kAdjustments.size() && digitizer != nullptr; ++i)
      if (saved_[i]) (void)digitizer->SetPictureAdjustment(kAdjustments[i], *saved_[i]);
    return noErr;
  }

 private:
  std::vector<PictureAdjustment> shown_;
  std::optional<uint16_t> saved_[4];
};

// The compressing path always uses the digitizer's default type; the
// panel only says which one that is.
class CompressionPanel final : public SGPanel {
 public:
  std::vector<PanelControl> Controls(SGChannel channel) override {
    PanelControl type;
    type.title = "Compression";
    std::vector<VDCompressionList> types;
    if (VideoDigitizer* digitizer = channel->GetVideoDigitizerComponent();
        digitizer != nullptr && digitizer->GetCompressionTypes(&types) == noErr && !types.empty()) {
      type.choices.push_back(types[0].typeName);
      type.choiceEnabled.push_back(true);
    }
    return {type};
  }
  OSErr ControlChanged(SGChannel, size_t, int32_t value) override { return value == 0 ? noErr : paramErr; }
  void SaveSettings(SGChannel) override {}
  OSErr RestoreSettings(SGChannel) override { return noErr; }
};

template <typename Panel>
void RegisterPanel(OSType manufacturer, uint32_t flags, const char* name) {
  ComponentRegistration registration;
  registration.description = {SeqGrabPanelType, VideoMediaType, manufacturer, flags, 0};
  registration.name = name;
  registration.open = [](ComponentInstance* out) {
    *out = std::make_unique<Panel>();
    return noErr;
  };
  RegisterComponent(std::move(registration));
}

}  // namespace

void RegisterSettingsPanels() {
  RegisterPanel<SourcePanel>(kSourcePanelManufacturer, 0, "Source");
  RegisterPanel<AdjustmentsPanel>(kAdjustmentsPanelManufacturer, channelFlagHasDependency, "Adjustments");
  RegisterPanel<CompressionPanel>(kCompressionPanelManufacturer, 0, "Compression");
}

void RegisterBuiltInGrabberComponents() {
  ComponentDescription dv;
  dv.componentType = kVideoDigitizerComponentType;
  dv.componentSubType = FourCC("fire");
  dv.componentManufacturer = FourCC("appl");
  if (FindNextComponent(0, dv) != 0) return;
  AddV4L2DigitizerScan();
  RegisterDVCamera();
  RegisterRawTestCamera();
  RegisterSettingsPanels();
}

}  // namespace fw
