// Framewright HD's application delegate.
#include "hd/app/hd_app_delegate.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "core/capture/error_messages.h"
#include "core/prefs/prefs_file.h"
#include "core/recovery/capture_recovery.h"

using namespace fw;

CaptureDevices* gDevices = nullptr;
int32_t gDeviceCount = 0;

namespace {

// The delegate whose main window the settings file remembers.
HDAppDelegate* gGeometryDelegate = nullptr;

int16_t ToInt16(int value) {
  return static_cast<int16_t>(
      std::clamp(value, int{std::numeric_limits<int16_t>::min()}, int{std::numeric_limits<int16_t>::max()}));
}
uint16_t ToUInt16(int value) {
  return static_cast<uint16_t>(std::clamp(value, 0, int{std::numeric_limits<uint16_t>::max()}));
}

// A device ID as a terminated string, whatever the field held.
struct DeviceID {
  char text[kDeviceUniqueIDBytes] = {};
  explicit DeviceID(const char* field) { std::memcpy(text, field, strnlen(field, sizeof text - 1)); }
};

void LogSettingsFailure(const char* what, OSErr err) {
  // The program carries on either way; the settings stay as they are in use.
  std::fprintf(stderr, "framewright-hd: could not %s the preferences file (error %d)\n", what, err);
}

}  // namespace

bool testWindowPosition(const MySize& size, const std::vector<ScreenArea>& screens) {
  const int64_t x = size.x;
  const int64_t y = size.y;
  const int64_t width = size.width;
  for (const ScreenArea& area : screens) {
    const int64_t vx = area.x;
    const int64_t vy = area.y;
    const int64_t vw = area.width;
    const int64_t vh = area.height;
    if (x <= vx + vw - 10 && x + width >= vx + 10 && y >= vy && y <= vy + vh - 10) return true;
  }
  return false;
}

fw::HDAppDelegate::HDAppDelegate(AppView& view, PreviewPort& preview, std::string helpURL)
    : appView_(view), preview_(preview), capture_(view, preview), helpURL_(std::move(helpURL)) {}

fw::HDAppDelegate::~HDAppDelegate() {
  if (gGeometryDelegate == this) {
    SetPreferencesWindowGeometrySource(nullptr);
    gGeometryDelegate = nullptr;
  }
  prefsWindow_.reset();
  aboutBox_.reset();
}

void fw::HDAppDelegate::applicationDidFinishLaunching() {
  gCaptureController = &capture_;
  // Frames come in on this tick, also while menus are open and sheets up.
  appView().StartFrameTimer(kFrameTimerInterval, [this] { timer(); });

  // Nothing here needs guarding against being slowed down in the
  // background: Linux does not throttle the timers of a program whose
  // windows are hidden.
  SetPreferencesDefaults(&gPrefs, ProgramFlavor::kHD);
  if (const OSErr err = ReadPreferences(ProgramFlavor::kHD); err != noErr) LogSettingsFailure("read", err);
  gGeometryDelegate = this;
  SetPreferencesWindowGeometrySource(&HDAppDelegate::MainWindowGeometry);

  RestoreMainWindowPosition();
  appView_.ShowWindow(WindowId::kMainWindow);
  // A settings file that could not be used as it is: said once, in a plain
  // sentence, rather than lost without a word at the quit.
  if (const std::string notice = PreferencesFileNotice("Framewright HD"); !notice.empty())
    appView_.ShowAlert(WindowId::kMainWindow, notice, {});
  // Captures cut short by a crash, a kill or a power cut are finished now,
  // before anything else can touch their files; one alert tells of all.
  if (const std::vector<std::string> recovered = RecoverInterruptedCaptures(ProgramFlavor::kHD);
      !recovered.empty())
    appView_.ShowAlert(WindowId::kMainWindow, RecoveryAlertText(recovered), {});

  // The list is taken once; devices plugged in later are not offered.
  CaptureDevices* devices = nullptr;
  int32_t count = 0;
  OSErr err = QTCaptureGetListOfDevices(kListVideoDevices, &count, &devices);
  if (err == noErr) {
    gDevices = devices;
    gDeviceCount = count;
    if (count > 0) {
      openVideoInput();
      return;
    }
    err = kNoVideoDevicesErr;
  }
  // The program stays up without an input; the capture button stays off.
  appView().SetInputTitle("");
  appView_.ShowAlert(WindowId::kMainWindow, BuildErrorAlertText(ErrorStep::kInitialising, err), {});
}

void fw::HDAppDelegate::RestoreMainWindowPosition() {
  MySize& saved = gPrefs.mainWindowSize;
  // A record that never held a window (no settings file yet, all zeros)
  // leaves the window where the desktop puts it, rather than in a corner.
  const bool neverSaved = saved.x == 0 && saved.y == 0 && saved.width == 0 && saved.height == 0;
  const WindowFrame frame = appView_.FrameOf(WindowId::kMainWindow);
  // Only the position is restored; the size is always the window's own.
  saved.width = ToUInt16(frame.width);
  saved.height = ToUInt16(frame.height);
  if (!neverSaved && testWindowPosition(saved)) {
    appView().MoveWindowTo(WindowId::kMainWindow, saved.x, saved.y);
  } else {
    saved.x = ToInt16(frame.x);
    saved.y = ToInt16(frame.y);
  }
}

bool fw::HDAppDelegate::MainWindowGeometry(MySize* outGeometry) {
  if (gGeometryDelegate == nullptr) return false;
  const WindowFrame frame = gGeometryDelegate->appView_.FrameOf(WindowId::kMainWindow);
  outGeometry->x = ToInt16(frame.x);
  outGeometry->y = ToInt16(frame.y);
  outGeometry->width = ToUInt16(frame.width);
  outGeometry->height = ToUInt16(frame.height);
  return true;
}

void fw::HDAppDelegate::applicationWillTerminate() {
  if (terminated_) return;
  terminated_ = true;
  // A running capture is finished: its movie resource is added.
  capture_.stopCaptureWithErr(0);
  // The preview frames the input's pixels: it goes before the input does.
  DisposePreview();
  closeVideoInput();
  if (const OSErr err = WritePreferences(ProgramFlavor::kHD); err != noErr) LogSettingsFailure("write", err);
  QTCaptureDisposeListOfDevices(gDevices);
  gDevices = nullptr;
  gDeviceCount = 0;
}

bool fw::HDAppDelegate::testWindowPosition(const MySize& size) {
  return ::testWindowPosition(size, appView().ScreenAreas());
}

void fw::HDAppDelegate::timer() {
  QTCaptureIdle();
  capture_.UpdateHealth();
}

int32_t fw::HDAppDelegate::OpenDevice(const char* uniqueID, int16_t inputNum) {
  // A negative input number from an old file reads as one beyond the list,
  // which keeps the device's current input.
  return QTCaptureOpenDevice(uniqueID, true, static_cast<uint16_t>(inputNum), 0, 0, 0, &MyQTCaptureDataProc,
                             0, &gInput->deviceRef);
}

int32_t fw::HDAppDelegate::openVideoInput() {
  if (gInput != nullptr) return noErr;
  gInput = new (std::nothrow) VideoInputRecord();
  if (gInput == nullptr) return noErr;

  OSErr err = noErr;
  const DeviceID saved(gPrefs.uniqueID);
  if (saved.text[0] != '\0') {
    err = OpenDevice(saved.text, gPrefs.inputNum);
    if (err == noErr) {
      ShowInputTitle(saved.text, gPrefs.inputNum);
      return noErr;
    }
  }
  // The saved device is gone (or none was saved): the first device, silently.
  if (gDevices == nullptr || gDeviceCount <= 0) {
    err = kNoVideoDevicesErr;
  } else {
    const DeviceID first(gDevices[0].uniqueID);
    err = OpenDevice(first.text, 0);
    if (err == noErr) {
      ShowInputTitle(first.text, 0);
      return noErr;
    }
  }
  // The record stays, without a device, until closeVideoInput.
  appView().SetInputTitle("");
  appView_.ShowAlert(WindowId::kMainWindow, BuildErrorAlertText(ErrorStep::kOpeningVideoInput, err), {});
  return err;
}

void fw::HDAppDelegate::ShowInputTitle(const char* uniqueID, int16_t inputNum) {
  for (int32_t d = 0; gDevices != nullptr && d < std::min(gDeviceCount, int32_t{kMaxListedDevices}); ++d) {
    const CaptureDevices& device = gDevices[d];
    if (std::strncmp(device.uniqueID, uniqueID, sizeof device.uniqueID) != 0) continue;
    const std::string name(device.name, strnlen(device.name, sizeof device.name));
    if (inputNum >= 0 && inputNum < std::min<int>(device.inputCount, kMaxDeviceInputs)) {
      const DeviceInput& input = device.inputs[inputNum];
      appView().SetInputTitle(name + " - " + std::string(input.name, strnlen(input.name, sizeof input.name)));
    } else {
      appView().SetInputTitle(name);
    }
    return;
  }
  appView().SetInputTitle(uniqueID);
}

void fw::HDAppDelegate::closeVideoInput() {
  if (gInput == nullptr) return;
  if (gInput->deviceRef != 0) QTCaptureCloseDevice(gInput->deviceRef);
  delete gInput;  // with its pixel map and image description
  gInput = nullptr;
  // The next input's first frame works out its own trimmed geometry.
  capture_.ForgetInputGeometry();
  appView_.SetCaptureButton(Enablement::kDisabled);
}

void fw::HDAppDelegate::DisposePreview() {
  preview_.VPDisposePreview(gVideoPreviewRef);
  gVideoPreviewRef = nullptr;
}

void fw::HDAppDelegate::about() {
  if (aboutBox_ != nullptr) {
    aboutBox_->Show();
    return;
  }
  if (gCapture != nullptr) return;
  aboutBox_ = std::make_unique<AboutBox>(*this, appView().CreateAboutBoxView());
}

void fw::HDAppDelegate::aboutBoxDidFinish() {
  aboutBox_.reset();
  appView_.ShowWindow(WindowId::kMainWindow);
}

void fw::HDAppDelegate::preferences() {
  if (prefsWindow_ != nullptr) {
    prefsWindow_->Show();
    return;
  }
  if (gCapture != nullptr) return;
  prefsWindow_ =
      std::make_unique<PrefsWindow>(gPrefs, gDevices, gDeviceCount, *this, appView().CreatePrefsWindowView());
}

void fw::HDAppDelegate::prefsDidFinish(bool ok, const PrefsStruct* newSettings) {
  if (prefsWindow_ == nullptr) return;
  prefsWindow_->Hide();
  if (ok && newSettings != nullptr) {
    // newSettings lives in the window, which goes below: take a copy first.
    const PrefsStruct settings = *newSettings;
    const bool sameInput = std::strncmp(settings.uniqueID, gPrefs.uniqueID, sizeof settings.uniqueID) == 0 &&
                           settings.inputNum == gPrefs.inputNum && settings.trimTop == gPrefs.trimTop &&
                           settings.trimLeft == gPrefs.trimLeft && settings.trimRight == gPrefs.trimRight &&
                           settings.trimBottom == gPrefs.trimBottom;
    const bool flipsChanged = (settings.flipHFlag != 0) != (gPrefs.flipHFlag != 0) ||
                              (settings.flipVFlag != 0) != (gPrefs.flipVFlag != 0);
    gPrefs = settings;
    if (const OSErr err = WritePreferences(ProgramFlavor::kHD); err != noErr)
      LogSettingsFailure("write", err);
    if (sameInput) {
      // The next frame starts a new preview with the new flips.
      if (flipsChanged) DisposePreview();
    } else {
      // The first frame of the reopened input works out the new geometry.
      DisposePreview();
      closeVideoInput();
      openVideoInput();
    }
  }
  prefsWindow_.reset();
  appView_.ShowWindow(WindowId::kMainWindow);
}

void fw::HDAppDelegate::manual() {
  // A page that cannot be opened shows nothing: the desktop reports it.
  (void)appView().LaunchURL(helpURL_.c_str());
}
