// The sequence grabber.
#include "classic/grabber/sequence_grabber.h"

#include "core/util/strings.h"

using namespace fw;

namespace {

SettingsDialogHost* gSettingsDialogHost = nullptr;

ComponentDescription DigitizerSearch() {
  ComponentDescription want;
  want.componentType = kVideoDigitizerComponentType;
  return want;
}

// A component opened as a digitizer; anything else registered as 'vdig'
// is refused rather than misused.
OSErr OpenDigitizer(Component component, std::unique_ptr<VideoDigitizer>* out) {
  ComponentInstance instance;
  if (const OSErr err = OpenAComponent(component, &instance); err != noErr) return err;
  auto* digitizer = dynamic_cast<VideoDigitizer*>(instance.get());
  if (digitizer == nullptr) return invalidComponentID;
  instance.release();
  out->reset(digitizer);
  return noErr;
}

}  // namespace

void fw::SetSettingsDialogHost(SettingsDialogHost* host) {
  gSettingsDialogHost = host;
}

OSErr fw::SGPanelCanRun(ComponentInstanceRecord* panel, SGChannel channel) {
  auto* sgPanel = dynamic_cast<SGPanel*>(panel);
  return sgPanel == nullptr ? paramErr : sgPanel->PanelCanRun(channel);
}

OSErr SGChannelRecord::GetChannelDeviceList(int32_t, SGDeviceList* out) {
  RunComponentScans();
  auto list = std::make_unique<SGDeviceListRecord>();
  const Component current = digitizer_ ? digitizer_->component : 0;
  for (Component c = FindNextComponent(0, DigitizerSearch()); c != 0;
       c = FindNextComponent(c, DigitizerSearch())) {
    std::string name;
    if (GetComponentInfo(c, nullptr, &name) != noErr) continue;
    SGDeviceName device;
    CopyToStr255(name.substr(0, 63), device.name);
    if (!IsComponentAvailable(c)) device.flags |= sgDeviceNameFlagDeviceUnavailable;
    if (c == current) list->selectedIndex = static_cast<int16_t>(list->entry.size());
    list->entry.push_back(device);
  }
  list->count = static_cast<int16_t>(list->entry.size());
  *out = std::move(list);
  return noErr;
}

OSErr SGChannelRecord::SetChannelDevice(ConstStr255Param name) {
  RunComponentScans();
  const std::string wanted = Str255ToString(name);
  OSErr err = noDeviceForChannel;
  for (Component c = FindNextComponent(0, DigitizerSearch()); c != 0;
       c = FindNextComponent(c, DigitizerSearch())) {
    std::string componentName;
    if (GetComponentInfo(c, nullptr, &componentName) != noErr || componentName.substr(0, 63) != wanted)
      continue;
    if (!IsComponentAvailable(c)) continue;
    std::unique_ptr<VideoDigitizer> digitizer;
    err = OpenDigitizer(c, &digitizer);
    if (err == noErr) {
      digitizer_ = std::move(digitizer);
      return noErr;
    }
  }
  return err;
}

OSErr SGChannelRecord::GetSrcVideoBounds(Rect* out) {
  if (!digitizer_) return noDeviceForChannel;
  return digitizer_->GetMaxSrcRect(0, out);
}

fw::SettingsDialogSession::SettingsDialogSession(SGChannel channel,
                                                 std::vector<std::unique_ptr<SGPanel>> panels,
                                                 std::vector<std::string> names)
    : channel_(channel), panels_(std::move(panels)), names_(std::move(names)) {}

void fw::SettingsDialogSession::SelectPanel(size_t panel) {
  if (panel < panels_.size()) current_ = panel;
}

std::vector<PanelControl> fw::SettingsDialogSession::Controls() const {
  if (current_ >= panels_.size()) return {};
  return panels_[current_]->Controls(channel_);
}

OSErr fw::SettingsDialogSession::SetControlValue(size_t control, int32_t value) {
  if (current_ >= panels_.size()) return paramErr;
  return panels_[current_]->ControlChanged(channel_, control, value);
}

SequenceGrabberRecord::~SequenceGrabberRecord() = default;

OSErr OpenSequenceGrabber(SeqGrabComponent* out) {
  *out = std::make_unique<SequenceGrabberRecord>();
  return noErr;
}

OSErr SequenceGrabberRecord::NewChannel(OSType channelType, SGChannel* out) {
  if (channelType != VideoMediaType) return paramErr;
  RunComponentScans();
  OSErr err = noDeviceForChannel;
  auto channel = std::make_unique<SGChannelRecord>();
  for (Component c = FindNextComponent(0, DigitizerSearch()); c != 0;
       c = FindNextComponent(c, DigitizerSearch())) {
    if (!IsComponentAvailable(c)) continue;
    err = OpenDigitizer(c, &channel->digitizer_);
    if (err == noErr) break;
  }
  if (!channel->digitizer_) return err;
  *out = channel.get();
  channels_.push_back(std::move(channel));
  return noErr;
}

OSErr SequenceGrabberRecord::SettingsDialog(SGChannel channel, const std::vector<Component>& panelList,
                                            int32_t) {
  if (gSettingsDialogHost == nullptr) return unimpErr;
  std::vector<std::unique_ptr<SGPanel>> panels;
  std::vector<std::string> names;
  for (const Component c : panelList) {
    ComponentInstance instance;
    if (const OSErr err = OpenAComponent(c, &instance); err != noErr) return err;
    auto* panel = dynamic_cast<SGPanel*>(instance.get());
    if (panel == nullptr) return invalidComponentID;
    instance.release();
    panels.emplace_back(panel);
    std::string name;
    (void)GetComponentInfo(c, nullptr, &name);
    names.push_back(std::move(name));
  }
  for (auto& panel : panels) panel->SaveSettings(channel);
  SettingsDialogSession session(channel, std::move(panels), std::move(names));
  const OSErr result = gSettingsDialogHost->RunSettingsDialog(session);
  if (result == userCanceledErr)
    for (auto& panel : session.panels_) (void)panel->RestoreSettings(channel);
  return result;
}
