// The sequence grabber: owns video channels, each bound to one open
// digitizer; lists the digitizers as devices (in registry order, after the
// scans have run), switches a channel's device by name, and runs the video
// settings dialog from settings panel components. It never records: the
// channel module drives each channel's digitizer itself.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "classic/grabber/component_registry.h"
#include "classic/grabber/video_digitizer.h"
#include "core/util/gworld.h"

constexpr OSType SeqGrabComponentType = FourCC("grab");
constexpr OSType VideoMediaType = FourCC("vide");
constexpr OSType SeqGrabPanelType = FourCC("sgpn");
constexpr OSType kSourcePanelManufacturer = FourCC("sour");
constexpr OSType kCompressionPanelManufacturer = FourCC("cmpr");
constexpr uint32_t channelFlagHasDependency = 4;
constexpr int32_t sgDeviceNameFlagDeviceUnavailable = 1;

constexpr OSErr unimpErr = -4;
constexpr OSErr noDeviceForChannel = -9400;
constexpr OSErr kCouldntGetRequiredComponent = -9405;

struct SGDeviceName {
  Str255 name = {};  // the digitizer component's name
  int32_t flags = 0;
};
struct SGDeviceListRecord {
  int16_t count = 0;
  int16_t selectedIndex = -1;  // the channel's current device, -1 when not listed
  std::vector<SGDeviceName> entry;
};
using SGDeviceList = std::unique_ptr<SGDeviceListRecord>;

class SGChannelRecord;
class SequenceGrabberRecord;
using SGChannel = SGChannelRecord*;

// A video channel. It owns its digitizer instance.
class SGChannelRecord {
 public:
  fw::VideoDigitizer* GetVideoDigitizerComponent() const { return digitizer_.get(); }
  // The device names, and which is the channel's.
  [[nodiscard]] OSErr GetChannelDeviceList(int32_t selectionFlags, SGDeviceList* out);
  // Opens the first available digitizer of that name and closes the old
  // one; on failure the old one stays.
  [[nodiscard]] OSErr SetChannelDevice(ConstStr255Param name);
  // The source rectangle of the current input.
  [[nodiscard]] OSErr GetSrcVideoBounds(Rect* out);

 private:
  friend class ::SequenceGrabberRecord;
  std::unique_ptr<fw::VideoDigitizer> digitizer_;
};

namespace fw {

// What a settings panel shows: pop-up menus and sliders.
struct PanelControl {
  enum class Kind : uint8_t { kPopUp, kSlider };
  Kind kind = Kind::kPopUp;
  std::string title;
  std::vector<std::string> choices;  // pop-ups
  std::vector<bool> choiceEnabled;   // pop-ups: greyed choices cannot be picked
  int32_t value = 0;                 // pop-ups: index of the choice
  int32_t minimum = 0;               // sliders
  int32_t maximum = 0;
};

// A settings panel component (type 'sgpn', subtype the channel type). A
// panel keeps what it changes in the channel; the dialog saves each panel's
// settings before it runs and restores them when the user cancels.
class SGPanel : public ComponentInstanceRecord {
 public:
  [[nodiscard]] virtual OSErr PanelCanRun(SGChannel) { return noErr; }
  virtual std::vector<PanelControl> Controls(SGChannel channel) = 0;
  [[nodiscard]] virtual OSErr ControlChanged(SGChannel channel, size_t control, int32_t value) = 0;
  virtual void SaveSettings(SGChannel channel) = 0;
  [[nodiscard]] virtual OSErr RestoreSettings(SGChannel channel) = 0;
};

// SGPanelCanRun of an open panel; paramErr for an instance that is no panel.
[[nodiscard]] OSErr SGPanelCanRun(ComponentInstanceRecord* panel, SGChannel channel);

// One run of the settings dialog: its panels (in the order given), the one
// shown, and the controls of that one. The dialog's window drives it.
class SettingsDialogSession {
 public:
  SettingsDialogSession(SGChannel channel, std::vector<std::unique_ptr<SGPanel>> panels,
                        std::vector<std::string> names);
  const std::vector<std::string>& PanelNames() const { return names_; }
  size_t CurrentPanel() const { return current_; }
  void SelectPanel(size_t panel);
  std::vector<PanelControl> Controls() const;
  // A pop-up choice or slider value the user set on the current panel.
  [[nodiscard]] OSErr SetControlValue(size_t control, int32_t value);

 private:
  friend class ::SequenceGrabberRecord;
  SGChannel channel_;
  std::vector<std::unique_ptr<SGPanel>> panels_;
  std::vector<std::string> names_;
  size_t current_ = 0;
};

// Shows the settings dialog: draws the session, forwards the user's
// choices, and returns noErr for OK or userCanceledErr for Cancel. The
// classic toolbox implements it.
class SettingsDialogHost {
 public:
  [[nodiscard]] virtual OSErr RunSettingsDialog(SettingsDialogSession& session) = 0;

 protected:
  ~SettingsDialogHost() = default;
};
// Borrowed; null: no dialog can be shown (the dialog then answers unimpErr).
void SetSettingsDialogHost(SettingsDialogHost* host);

}  // namespace fw

class SequenceGrabberRecord {
 public:
  ~SequenceGrabberRecord();
  [[nodiscard]] OSErr Initialize() { return noErr; }
  // The grabber draws nowhere; the world is only kept.
  [[nodiscard]] OSErr SetGWorld(GWorldPtr world) {
    world_ = world;
    return noErr;
  }
  // Channel type 'vide': a channel on the first available digitizer that opens.
  [[nodiscard]] OSErr NewChannel(OSType channelType, SGChannel* out);
  [[nodiscard]] OSErr ChangedSource(SGChannel) { return noErr; }
  void DisposeDeviceList(SGDeviceList list) { list.reset(); }
  // Opens the panels, saves their settings, lets the host run the dialog
  // and, on Cancel, restores them.
  [[nodiscard]] OSErr SettingsDialog(SGChannel channel, const std::vector<Component>& panels, int32_t flags);

 private:
  GWorldPtr world_ = nullptr;
  std::vector<std::unique_ptr<SGChannelRecord>> channels_;
};
using SeqGrabComponent = std::unique_ptr<SequenceGrabberRecord>;

[[nodiscard]] OSErr OpenSequenceGrabber(SeqGrabComponent* out);
