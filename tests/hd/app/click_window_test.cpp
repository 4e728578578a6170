// The capture window's triggers (which events schedule a frame and which
// end the capture, in each trigger mode), and where the manual is found.
#include "hd/app/click_window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/platform/manual_location.h"

using namespace fw;

namespace {

class RecordingDelegate final : public AppDelegateDelegate {
 public:
  std::vector<std::string> messages;
  void scheduleFrameCapture() override { messages.push_back("schedule"); }
  void stopCaptureWithErr(int32_t err) override { messages.push_back("stop " + std::to_string(err)); }
};

std::vector<std::string> Events(uint8_t trigger, void (*events)(ClickWindow&)) {
  RecordingDelegate delegate;
  ClickWindow window;
  window.setCaptureTrigger(trigger, &delegate);
  events(window);
  return delegate.messages;
}

using Messages = std::vector<std::string>;

TEST(ClickWindowTest, MouseTriggersFollowTheMode) {
  auto press = [](ClickWindow& w) { w.mouseDown(); };
  auto release = [](ClickWindow& w) { w.mouseUp(); };
  EXPECT_EQ(Events(kCaptureTriggerMouseUp, press), Messages{});
  EXPECT_EQ(Events(kCaptureTriggerMouseUp, release), Messages{"schedule"});
  EXPECT_EQ(Events(kCaptureTriggerMouseDown, press), Messages{"schedule"});
  EXPECT_EQ(Events(kCaptureTriggerMouseDown, release), Messages{});
  EXPECT_EQ(Events(kCaptureTriggerEveryFrame, press), Messages{});
  EXPECT_EQ(Events(kCaptureTriggerEveryFrame, release), Messages{});
}

TEST(ClickWindowTest, KeysAreToldByTheirHardwareCode) {
  for (uint8_t trigger : {kCaptureTriggerMouseUp, kCaptureTriggerMouseDown, kCaptureTriggerEveryFrame}) {
    EXPECT_EQ(Events(trigger, [](ClickWindow& w) { w.keyDown(kSpaceKeyCode); }), Messages{"schedule"});
    EXPECT_EQ(Events(trigger, [](ClickWindow& w) { w.keyDown(kEscapeKeyCode); }), Messages{"stop 0"});
    // Return, 'a', and the characters ' ' (32) and ESC (27) as codes: nothing.
    EXPECT_EQ(Events(trigger,
                     [](ClickWindow& w) {
                       for (uint32_t code : {36u, 38u, 32u, 27u, 0u}) w.keyDown(code);
                     }),
              Messages{});
  }
  // Auto-repeat sends key-downs; each one schedules.
  EXPECT_EQ(Events(kCaptureTriggerMouseUp,
                   [](ClickWindow& w) {
                     for (int i = 0; i < 3; ++i) w.keyDown(kSpaceKeyCode);
                   }),
            (Messages{"schedule", "schedule", "schedule"}));
  EXPECT_EQ(Events(kCaptureTriggerMouseUp, [](ClickWindow& w) { w.windowShouldClose(); }),
            Messages{"stop 0"});
}

TEST(ClickWindowTest, WithoutADelegateEventsGoNowhere) {
  ClickWindow window;
  window.mouseUp();
  window.keyDown(kEscapeKeyCode);
  window.windowShouldClose();
  EXPECT_EQ(window.trigger(), kCaptureTriggerMouseUp);
}

}  // namespace

namespace {

TEST(ManualLocationTest, FileURLEscapesWhatAURLPathCannotHold) {
  EXPECT_EQ(FileURLOfPath("/usr/share/doc/framewright/manual.html"),
            "file:///usr/share/doc/framewright/manual.html");
  EXPECT_EQ(FileURLOfPath("/home/ana/My Films/#1 ü?.html"),
            "file:///home/ana/My%20Films/%231%20%C3%BC%3F.html");
  std::string path = "unchanged";
  EXPECT_EQ(FindManual("no/such/manual.html", &path), fnfErr);
  EXPECT_EQ(path, "unchanged");
}

}  // namespace
