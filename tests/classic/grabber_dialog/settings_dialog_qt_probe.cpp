// The video settings dialog on the Qt backend, for the test on a real X
// server.
//   settings_dialog_qt_probe source       starts on the built-in DV camera
//   settings_dialog_qt_probe adjustments  starts on a fake camera with a
//                                         brightness adjustment ("Lab
//                                         Camera", brightness 16384)
// Runs NGSettingsDialog over the built-in cameras while a 60 Hz
// event-loop timer plays the program's preview (it polls the channel) and
// reports, whenever they change:
//   "item<N> x=… y=…"          each item's global centre, then "layout <n>"
//   "camera item=<N> raw=<K> choices=<C> shown=<name>"  the camera pop-up's
//                              item, the raw test camera's place in its
//                              menu, and the camera it shows
//   "slider item=<N> left=… right=…"  a slider's global extent
//   "device=<name>"            the channel's camera
//   "brightness=<value>"       the fake camera's brightness
// and at the end "result=<code> device=<name>".
#include <QApplication>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "classic/grabber/ng_channel.h"
#include "classic/grabber/settings_panels.h"
#include "classic/grabber_dialog/settings_dialog_window.h"
#include "classic/toolbox/qt_backend.h"
#include "classic/toolbox/toolbox.h"
#include "fake_digitizer.h"

using namespace fw;

namespace {

int16_t gChannel = 0;
std::string gLastLayout;
std::string gLastDevice;
int gLayouts = 0;
auto gLab = std::make_shared<FakeDigitizerState>();
int32_t gLastBrightness = -1;

std::string DeviceName() {
  Str255 name;
  if (NGGetVDIGComponentInfo(gChannel, nullptr, name) != noErr) return "?";
  return Str255ToString(name);
}

std::string Layout(DialogRef dialog) {
  const Rect content = GetWindowContentRectGlobal(GetDialogWindow(dialog));
  std::string out;
  for (int16_t item = 1; item <= CountDITL(dialog); ++item) {
    ControlRef control = nullptr;
    Rect box;
    GetDialogItem(dialog, item, nullptr, &control, &box);
    out += "item" + std::to_string(item) + " x=" + std::to_string(content.left + (box.left + box.right) / 2) +
           " y=" + std::to_string(content.top + (box.top + box.bottom) / 2) + "\n";
    if (GetControlKind(control) == ControlKind::kSlider) {
      out += "slider item=" + std::to_string(item) + " left=" + std::to_string(content.left + box.left) +
             " right=" + std::to_string(content.left + box.right) + "\n";
    }
    if (GetControlKind(control) == ControlKind::kStaticText && GetControlText(control) == "Camera:") {
      ControlRef popup = nullptr;
      GetDialogItem(dialog, static_cast<int16_t>(item + 1), nullptr, &popup, nullptr);
      MenuRef menu = GetControlPopupMenuHandle(popup);
      int16_t raw = 0;
      for (int16_t choice = 1; choice <= CountMenuItems(menu); ++choice)
        if (GetMenuItemTextString(menu, choice) == "Raw Test Camera") raw = choice;
      out += "camera item=" + std::to_string(item + 1) + " raw=" + std::to_string(raw) +
             " choices=" + std::to_string(CountMenuItems(menu)) +
             " shown=" + GetMenuItemTextString(menu, GetControlValue(popup)) + "\n";
    }
  }
  return out;
}

void Tick(EventLoopTimerRef, void*) {
  int16_t stage = 0;
  (void)NGIdleChannel(gChannel, &stage);  // the preview: nothing is set up, so nothing arrives
  if (const std::string device = DeviceName(); device != gLastDevice) {
    gLastDevice = device;
    std::printf("device=%s\n", device.c_str());
  }
  if (const int32_t brightness = gLab->brightness.value_or(0); brightness != gLastBrightness) {
    gLastBrightness = brightness;
    std::printf("brightness=%d\n", brightness);
  }
  DialogRef dialog = GetDialogFromWindow(FrontWindow());
  if (dialog != nullptr && CountDITL(dialog) > 2) {
    if (const std::string layout = Layout(dialog); layout != gLastLayout) {
      gLastLayout = layout;
      std::printf("%slayout %d\n", layout.c_str(), ++gLayouts);
    }
  }
  std::fflush(stdout);
}

OSErr IgnoreFrame(int16_t, const uint8_t*, int32_t, const TimeRecord*, intptr_t) {
  return noErr;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  InitToolbox(MakeQtToolboxBackend());
  RegisterBuiltInGrabberComponents();
  gLab->brightness = 16384;
  RegisterFakeDigitizer("Lab Camera", FourCC("labc"), FourCC("test"), gLab);
  InstallSettingsDialogWindow();
  const bool adjustments = argc > 1 && std::strcmp(argv[1], "adjustments") == 0;
  Str255 device;
  CopyToStr255(adjustments ? "Lab Camera" : "DV Video", device);
  if (NGNewVideoChannel(&gChannel) != noErr || NGSetChannelDevice(gChannel, device) != noErr ||
      NGSetDataProc(gChannel, IgnoreFrame, 0) != noErr) {
    std::fprintf(stderr, "settings_dialog_qt_probe: no channel on the first camera\n");
    return 1;
  }
  EventLoopTimerRef timer = nullptr;
  if (InstallEventLoopTimer(GetMainEventLoop(), 0.05, 1.0 / 60, Tick, nullptr, &timer) != noErr) return 1;
  const OSErr result = NGSettingsDialog(gChannel, true);
  (void)RemoveEventLoopTimer(timer);
  std::printf("result=%d device=%s\n", result, DeviceName().c_str());
  NGClose();
  ShutdownToolbox();
  return 0;
}
