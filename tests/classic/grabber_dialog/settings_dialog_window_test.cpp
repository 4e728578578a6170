// The video settings dialog's real window on the headless toolbox: a user
// script of clicks, pop-up choices and keys runs while NGSettingsDialog
// waits in the dialog, over the real built-in cameras (and a fake camera
// with a brightness adjustment, which no built-in camera has).
#include "classic/grabber_dialog/settings_dialog_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classic/grabber/ng_channel.h"
#include "classic/grabber/settings_panels.h"
#include "classic/toolbox/toolbox.h"
#include "dialog_driving.h"
#include "fake_digitizer.h"

using namespace fw;

namespace {

using namespace dialog_driving;

using Step = std::function<void(DialogRef front)>;

constexpr uint8_t kPeriodKeyCode = 47;
constexpr OSErr kBrokenCameraErr = -108;

class SettingsDialogWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto backend = std::make_unique<HeadlessBackend>();
    backend_ = backend.get();
    InitToolbox(std::move(backend));
    FlushEvents(everyEvent, 0);
    NGClose();
    ResetComponentRegistryForTesting();
    RegisterBuiltInGrabberComponents();
    ComponentRegistration unplugged;
    unplugged.description = {kVideoDigitizerComponentType, FourCC("unpl"), FourCC("test"), 0, 0};
    unplugged.name = "Unplugged Camera";
    unplugged.open = [](ComponentInstance*) { return noDeviceForChannel; };
    unplugged.available = [] { return false; };
    RegisterComponent(std::move(unplugged));
    broken->openError = kBrokenCameraErr;
    RegisterFakeDigitizer("Broken Camera", FourCC("brok"), FourCC("test"), broken);
    lab->brightness = 1000;
    RegisterFakeDigitizer("Lab Camera", FourCC("labc"), FourCC("test"), lab);
    InstallSettingsDialogWindow();
    InstallSettingsDialogWindow();  // a second call changes nothing
    ASSERT_EQ(NGNewVideoChannel(&channel), noErr);
    Str255 dv;
    CopyToStr255("DV Video", dv);
    ASSERT_EQ(NGSetChannelDevice(channel, dv), noErr);
    ASSERT_EQ(
        NGSetDataProc(
            channel, [](int16_t, const uint8_t*, int32_t, const TimeRecord*, intptr_t) { return noErr; }, 0),
        noErr);
  }
  void TearDown() override {
    SetSettingsDialogHost(nullptr);
    NGClose();
    ResetComponentRegistryForTesting();
    ShutdownToolbox();
  }

  // Runs the dialog with each step played, in turn, whenever the program
  // waits for the user, against the dialog then in front. A script that
  // does not end the dialog fails and cancels it.
  OSErr RunDialog(std::vector<Step> steps) {
    steps_ = std::move(steps);
    next_ = 0;
    ScheduleNext();
    return NGSettingsDialog(channel, true);
  }
  // A step runs once the events of the one before have been taken and no
  // button flashes (Return shows the button pressed for a moment, waiting);
  // the check that the dialog ended waits two seconds.
  void ScheduleNext(uint32_t afterTicks = 1) {
    backend_->ScheduleAtTick(TickCount() + afterTicks, [this] {
      EventRecord pending;
      DialogRef front = GetDialogFromWindow(FrontWindow());
      if (EventAvail(everyEvent, &pending) || Flashing(front)) return ScheduleNext();
      if (next_ < steps_.size()) {
        steps_[next_++](front);
        return ScheduleNext(next_ < steps_.size() ? 1 : 120);
      }
      if (front != nullptr) {
        ADD_FAILURE() << "the script ended with a dialog still open";
        PostKeyEvent(keyDown, kEscapeCharCode, 0, 0);
        PostKeyEvent(keyDown, kReturnCharCode, 0, 0);
        ScheduleNext(120);
      }
    });
  }

  static bool Flashing(DialogRef dialog) {
    for (int16_t item = 1; item <= std::min<int16_t>(2, CountDITL(dialog)); ++item)
      if (GetControlHilite(ItemControl(dialog, item)) == kControlButtonPart) return true;
    return false;
  }
  std::string DeviceName() {
    Str255 name;
    EXPECT_EQ(NGGetVDIGComponentInfo(channel, nullptr, name), noErr);
    return Str255ToString(name);
  }
  void Pick(ControlRef popup, const std::string& name) { dialog_driving::Pick(*backend_, popup, name); }

  HeadlessBackend* backend_ = nullptr;
  int16_t channel = 0;
  std::shared_ptr<FakeDigitizerState> broken = std::make_shared<FakeDigitizerState>();
  std::shared_ptr<FakeDigitizerState> lab = std::make_shared<FakeDigitizerState>();
  std::vector<Step> steps_;
  size_t next_ = 0;
};

TEST_F(SettingsDialogWindowTest, TheChosenCameraTakesEffectAtOnceAndStaysOnlyWithOK) {
  struct Case {
    const char* name;
    std::function<void(DialogRef)> end;
    OSErr result;
    const char* device;
  };
  const Case cases[] = {
      {"Return", [](DialogRef) { PostKeyEvent(keyDown, kReturnCharCode, 0, 0); }, noErr, "Raw Test Camera"},
      {"Enter", [](DialogRef) { PostKeyEvent(keyDown, kEnterCharCode, 0, 0); }, noErr, "Raw Test Camera"},
      {"OK button", [](DialogRef d) { Click(ItemControl(d, kVideoSettingsOKItem)); }, noErr,
       "Raw Test Camera"},
      {"Escape", [](DialogRef) { PostKeyEvent(keyDown, kEscapeCharCode, 0, 0); }, userCanceledErr,
       "DV Video"},
      {"Ctrl+period", [](DialogRef) { PostKeyEvent(keyDown, '.', kPeriodKeyCode, cmdKey); }, userCanceledErr,
       "DV Video"},
      {"Cancel button", [](DialogRef d) { Click(ItemControl(d, kVideoSettingsCancelItem)); }, userCanceledErr,
       "DV Video"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const OSErr result = RunDialog({
        [&](DialogRef d) {
          ASSERT_NE(d, nullptr);
          EXPECT_EQ(WindowTitle(d), "Video Settings");
          EXPECT_EQ(GetDialogDefaultItem(d), kVideoSettingsOKItem);
          EXPECT_EQ(Shown(ItemControl(d, kVideoSettingsPanelItem)), "Source");
          EXPECT_EQ(Shown(ControlTitled(d, "Camera:")), "DV Video");
          Pick(ControlTitled(d, "Camera:"), "Raw Test Camera");
        },
        [&](DialogRef d) {
          EXPECT_EQ(Shown(ControlTitled(d, "Camera:")), "Raw Test Camera");
          // The preview keeps polling under the dialog: the channel answers
          // on the new camera, not on the closed one.
          EXPECT_EQ(DeviceName(), "Raw Test Camera");
          EXPECT_EQ(NGIdleChannel(channel, nullptr), noErr);
          c.end(d);
        },
    });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(DeviceName(), c.device);
    EXPECT_EQ(FrontWindow(), nullptr) << "the dialog stays on screen";
    EXPECT_EQ(NGSetUpChannelForCapture(channel), noErr);
    Str255 dv;
    CopyToStr255("DV Video", dv);
    ASSERT_EQ(NGSetChannelDevice(channel, dv), noErr);
  }
}

TEST_F(SettingsDialogWindowTest, PanelsSwitchAndSlidersFollowTheCamera) {
  Str255 labName;
  CopyToStr255("Lab Camera", labName);
  ASSERT_EQ(NGSetChannelDevice(channel, labName), noErr);
  int32_t expected = 0;
  const OSErr result = RunDialog({
      [&](DialogRef d) {
        ControlRef panels = ItemControl(d, kVideoSettingsPanelItem);
        EXPECT_EQ(CountMenuItems(GetControlPopupMenuHandle(panels)), 2);
        EXPECT_EQ(GetMenuItemTextString(GetControlPopupMenuHandle(panels), 2), "Adjustments");
        Pick(panels, "Adjustments");
      },
      [&](DialogRef d) {
        EXPECT_EQ(ControlTitled(d, "Camera:"), nullptr);
        ControlRef slider = ControlTitled(d, "Brightness:");
        ASSERT_NE(slider, nullptr);
        EXPECT_EQ(GetControlKind(slider), ControlKind::kSlider);
        EXPECT_EQ(GetControl32BitMinimum(slider), 0);
        EXPECT_EQ(GetControl32BitMaximum(slider), 65535);
        EXPECT_EQ(GetControl32BitValue(slider), 1000);
        Rect box;
        GetControlBounds(slider, &box);
        const auto h = static_cast<int16_t>(box.left + (box.right - box.left) * 3 / 4);
        expected = GetSliderValueAt(slider, h);
        ClickAt(slider, h);
      },
      [&](DialogRef d) {
        EXPECT_GT(expected, 40000);
        EXPECT_EQ(lab->brightness, expected) << "the slider did not reach the camera at once";
        EXPECT_EQ(GetControl32BitValue(ControlTitled(d, "Brightness:")), expected);
        Pick(ItemControl(d, kVideoSettingsPanelItem), "Source");
      },
      [&](DialogRef d) { Pick(ControlTitled(d, "Camera:"), "DV Video"); },
      [&](DialogRef d) { Pick(ItemControl(d, kVideoSettingsPanelItem), "Adjustments"); },
      [&](DialogRef d) {
        // The DV camera has no adjustments: the slider is gone.
        EXPECT_EQ(ControlTitled(d, "Brightness:"), nullptr);
        EXPECT_EQ(CountDITL(d), kVideoSettingsFirstControlItem);
        PostKeyEvent(keyDown, kReturnCharCode, 0, 0);
      },
  });
  EXPECT_EQ(result, noErr);
  EXPECT_EQ(DeviceName(), "DV Video");
  EXPECT_EQ(lab->brightness, expected);
}

TEST_F(SettingsDialogWindowTest, AGreyedCameraCannotBePickedAndAFailingOneIsReported) {
  std::string alertText;
  const OSErr result = RunDialog({
      [&](DialogRef d) {
        ControlRef camera = ControlTitled(d, "Camera:");
        const int16_t unplugged = MenuItemNamed(camera, "Unplugged Camera");
        EXPECT_FALSE(IsMenuItemEnabled(GetControlPopupMenuHandle(camera), unplugged));
        EXPECT_TRUE(
            IsMenuItemEnabled(GetControlPopupMenuHandle(camera), MenuItemNamed(camera, "Broken Camera")));
        Pick(camera, "Unplugged Camera");
      },
      [&](DialogRef d) {
        EXPECT_EQ(GetDialogFromWindow(FrontWindow()), d) << "an alert for a choice that cannot be made";
        EXPECT_EQ(Shown(ControlTitled(d, "Camera:")), "DV Video");
        EXPECT_EQ(DeviceName(), "DV Video");
        Pick(ControlTitled(d, "Camera:"), "Broken Camera");
      },
      [&](DialogRef alert) {
        // The error alert, over the dialog.
        ASSERT_NE(alert, nullptr);
        ASSERT_EQ(CountDITL(alert), 2);
        alertText = GetControlText(ItemControl(alert, 2));
        Str255 ok;
        GetControlTitle(ItemControl(alert, 1), ok);
        EXPECT_EQ(Str255ToString(ok), "OK");
        PostKeyEvent(keyDown, kReturnCharCode, 0, 0);
      },
      [&](DialogRef d) {
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(WindowTitle(d), "Video Settings");
        EXPECT_EQ(Shown(ControlTitled(d, "Camera:")), "DV Video");
        Click(ItemControl(d, kVideoSettingsCancelItem));
      },
  });
  EXPECT_EQ(result, userCanceledErr);
  EXPECT_EQ(DeviceName(), "DV Video");
  EXPECT_EQ(alertText,
            "Sorry, the video input could not be prepared for capture.\n\nStep and error code: 60,-108\n"
            "There is not enough memory.");
  EXPECT_EQ(broken->opens, 1);
}

TEST_F(SettingsDialogWindowTest, WithoutAToolboxNothingIsShown) {
  ShutdownToolbox();
  EXPECT_EQ(NGSettingsDialog(channel, true), unimpErr);
  InitToolbox(std::make_unique<HeadlessBackend>());
}

}  // namespace
