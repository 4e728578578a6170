// The settings dialog's decisions, headless: which panels are shown, the
// source panel choosing the device and its input, the adjustments panel,
// and Cancel putting everything back. A recording host stands in for the
// dialog window.
#include <gtest/gtest.h>

#include <functional>

#include "classic/grabber/ng_channel.h"
#include "classic/grabber/settings_panels.h"
#include "core/movie/image_descriptions.h"
#include "core/util/strings.h"
#include "fake_digitizer.h"

using namespace fw;

namespace {

class RecordingHost final : public SettingsDialogHost {
 public:
  OSErr RunSettingsDialog(SettingsDialogSession& session) override {
    ++runs;
    panelNames = session.PanelNames();
    return user ? user(session) : noErr;
  }
  int runs = 0;
  std::vector<std::string> panelNames;
  std::function<OSErr(SettingsDialogSession&)> user;
};

class SettingsDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NGClose();
    ResetComponentRegistryForTesting();
    SetSettingsDialogHost(&host);
    RegisterFakeDigitizer("Camera One", FourCC("fake"), FourCC("test"), one);
    RegisterFakeDigitizer("Camera Two", FourCC("fake"), FourCC("test"), two);
    two->outputFlags = digiOutDoesAsyncGrabs;
    two->inputCount = 3;
  }
  void TearDown() override {
    SetSettingsDialogHost(nullptr);
    NGClose();
    ResetComponentRegistryForTesting();
  }
  int16_t NewChannel() {
    int16_t channel = 0;
    EXPECT_EQ(NGNewVideoChannel(&channel), noErr);
    return channel;
  }
  std::string DeviceName(int16_t channel) {
    Str255 name;
    EXPECT_EQ(NGGetVDIGComponentInfo(channel, nullptr, name), noErr);
    return Str255ToString(name);
  }

  RecordingHost host;
  std::shared_ptr<FakeDigitizerState> one = std::make_shared<FakeDigitizerState>();
  std::shared_ptr<FakeDigitizerState> two = std::make_shared<FakeDigitizerState>();
};

TEST_F(SettingsDialogTest, OnlyACompressionPanelShowsNothing) {
  ComponentRegistration compression;
  compression.description = {SeqGrabPanelType, VideoMediaType, kCompressionPanelManufacturer, 0, 0};
  compression.name = "Compression";
  int opens = 0;
  compression.open = [&](ComponentInstance*) {
    ++opens;
    return memFullErr;
  };
  RegisterComponent(std::move(compression));
  EXPECT_EQ(NGSettingsDialog(NewChannel(), true), kNGNoPanelsErr);
  EXPECT_EQ(host.runs, 0);
  EXPECT_EQ(opens, 0);
}

TEST_F(SettingsDialogTest, PanelsShownBySourceFlagAndWhetherDependentOnesCanRun) {
  RegisterSettingsPanels();
  const int16_t channel = NewChannel();
  EXPECT_EQ(NGSettingsDialog(channel, false), kNGNoPanelsErr);  // no source, no adjustments
  EXPECT_EQ(NGSettingsDialog(channel, true), noErr);
  EXPECT_EQ(host.panelNames, (std::vector<std::string>{"Source"}));
  one->brightness = 1000;
  EXPECT_EQ(NGSettingsDialog(channel, false), noErr);
  EXPECT_EQ(host.panelNames, (std::vector<std::string>{"Adjustments"}));
  EXPECT_EQ(NGSettingsDialog(channel, true), noErr);
  EXPECT_EQ(host.panelNames, (std::vector<std::string>{"Source", "Adjustments"}));
  EXPECT_EQ(host.runs, 3);
}

TEST_F(SettingsDialogTest, SourcePanelSwitchesDeviceAndInputAndTheChannelFollows) {
  RegisterSettingsPanels();
  const int16_t channel = NewChannel();
  EXPECT_EQ(NGGetChannelDefaultCodec(channel), FourCC("2vuy"));
  host.user = [](SettingsDialogSession& session) {
    const std::vector<PanelControl> controls = session.Controls();
    EXPECT_EQ(controls[0].choices, (std::vector<std::string>{"Camera One", "Camera Two"}));
    EXPECT_EQ(controls[0].value, 0);
    EXPECT_EQ(session.SetControlValue(0, 1), noErr);
    const std::vector<PanelControl> after = session.Controls();
    EXPECT_EQ(after[0].value, 1);
    EXPECT_EQ(after[1].choices, (std::vector<std::string>{"Input A", "Input B", "Input C"}));
    EXPECT_EQ(session.SetControlValue(1, 2), noErr);
    EXPECT_EQ(session.SetControlValue(1, 3), paramErr);
    return noErr;
  };
  EXPECT_EQ(NGSettingsDialog(channel, true), noErr);
  EXPECT_EQ(DeviceName(channel), "Camera Two");
  EXPECT_EQ(two->input, 2);
  // The record follows the new digitizer: it takes the raw path now.
  EXPECT_EQ(NGGetChannelDefaultCodec(channel), kRawCodecType);
  EXPECT_EQ(NGSetUpChannelForCapture(channel), noErr);
}

TEST_F(SettingsDialogTest, CancelPutsDeviceInputAndAdjustmentsBack) {
  RegisterSettingsPanels();
  one->brightness = 1000;
  one->inputCount = 2;
  const int16_t channel = NewChannel();
  host.user = [](SettingsDialogSession& session) {
    session.SelectPanel(1);
    EXPECT_EQ(session.Controls().size(), 1u);  // brightness only
    EXPECT_EQ(session.SetControlValue(0, 50000), noErr);
    session.SelectPanel(0);
    EXPECT_EQ(session.SetControlValue(1, 1), noErr);
    EXPECT_EQ(session.SetControlValue(0, 1), noErr);
    return userCanceledErr;
  };
  EXPECT_EQ(NGSettingsDialog(channel, true), userCanceledErr);
  EXPECT_EQ(DeviceName(channel), "Camera One");
  EXPECT_EQ(one->input, 0);
  EXPECT_EQ(one->brightness, 1000);
  EXPECT_EQ(NGGetChannelDefaultCodec(channel), FourCC("2vuy"));
}

TEST_F(SettingsDialogTest, AnUnavailableDeviceIsListedGreyAndCannotBeChosen) {
  RegisterSettingsPanels();
  ComponentRegistration gone;
  gone.description.componentType = kVideoDigitizerComponentType;
  gone.name = "Unplugged";
  gone.available = [] { return false; };
  gone.open = [](ComponentInstance*) { return -9408; };
  RegisterComponent(std::move(gone));
  const int16_t channel = NewChannel();
  SGDeviceList list;
  ASSERT_EQ(NGGetChannelDeviceList(channel, &list), noErr);
  ASSERT_EQ(list->count, 3);
  EXPECT_EQ(list->entry[2].flags, sgDeviceNameFlagDeviceUnavailable);
  EXPECT_EQ(list->entry[0].flags, 0);
  host.user = [](SettingsDialogSession& session) {
    EXPECT_EQ(session.Controls()[0].choiceEnabled, (std::vector<bool>{true, true, false}));
    return session.SetControlValue(0, 2);
  };
  EXPECT_EQ(NGSettingsDialog(channel, true), noDeviceForChannel);
  EXPECT_EQ(DeviceName(channel), "Camera One");
}

}  // namespace
