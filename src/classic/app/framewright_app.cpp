// Framewright's shell: start-up, the event loop, menus, the about box,
// web pages, Apple events and alerts.
#include "classic/app/framewright_app.h"

#include <array>
#include <cstring>
#include <vector>

#include "classic/app/app_resources.h"
#include "classic/dialogs/dialog_edit_menu.h"
#include "classic/grabber/sequence_grabber.h"
#include "classic/grabber_dialog/settings_dialog_window.h"
#include "classic/resources/alerts.h"
#include "classic/resources/string_lists.h"
#include "core/capture/classic_error_message.h"
#include "core/platform/error_reporter.h"
#include "core/platform/manual_location.h"
#include "core/prefs/prefs_file.h"
#include "core/prefs/prefs_file_image.h"
#include "core/recovery/capture_recovery.h"
#include "core/util/strings.h"

using namespace fw;

Boolean gMainLoop = true;
DialogRef gSetupDialog = nullptr;
EventLoopTimerRef gMainIdleTimer = nullptr;
uint16_t gHelpMenuFirstItem = 0;

namespace {

std::string gManualRelativePath = "../share/doc/framewright/manual.html";
std::string gProgramVersion = "0";

constexpr int16_t kMainScreenTopMargin = 25;
constexpr int16_t kOtherScreenTopMargin = 5;
constexpr int16_t kScreenEdgeMargin = 20;
constexpr uint32_t kMainLoopSleepTicks = 300;
constexpr uint8_t kAboutVersionMaxCharacters = 15;

void SetRootControlActive(WindowRef window, bool active) {
  ControlRef root = nullptr;
  if (window == nullptr || GetRootControl(window, &root) != noErr) return;
  if (active)
    (void)ActivateControl(root);
  else
    (void)DeactivateControl(root);
}

// The setup window's rectangle and the channel's device, for the
// preferences written at quit.
bool SetupWindowGeometry(MySize* outGeometry) {
  if (gSetupDialog == nullptr) return false;
  *outGeometry = WindowGeometryFromRect(GetWindowContentRectGlobal(GetDialogWindow(gSetupDialog)));
  return true;
}
bool ChannelDeviceName(Str255 outName) {
  if (gVideoChannel == 0) return false;
  Str255 name;
  if (NGGetVDIGComponentInfo(gVideoChannel, nullptr, name) != noErr) return false;
  std::memcpy(outName, name, static_cast<size_t>(name[0]) + 1);
  return true;
}

void RestoreSetupWindowPosition() {
  const Rect saved = RectFromWindowGeometry(gPrefs.mainWindowSize);
  std::vector<Rect> screens;
  for (GDHandle device = GetDeviceList(); device != nullptr; device = GetNextDevice(device))
    screens.push_back(GetGDeviceBounds(device));
  Point topLeft;
  if (RestoredWindowPosition(saved, screens.data(), static_cast<int>(screens.size()), &topLeft))
    MoveWindow(GetDialogWindow(gSetupDialog), topLeft.h, topLeft.v, false);
}

void DispatchKeyDown(const EventRecord& event) {
  if ((event.modifiers & cmdKey) != 0) {
    DoMenu(MenuKey(static_cast<uint16_t>(event.message & charCodeMask)), event.modifiers);
    return;
  }
  if (gSetupDialog != nullptr && ProcessEventInDialog(gSetupDialog, &event) == kSetupCaptureItem)
    (void)DoCapture();  // it shows its own alerts
}

void DispatchEvent(const EventRecord& event) {
  switch (event.what) {
    case mouseDown:
      HandleMouseDown(event);
      break;
    case keyDown:
      DispatchKeyDown(event);
      break;
    case updateEvt:
      HandleUpdateEvent(event);
      break;
    case activateEvt:
      HandleActivateEvent(event);
      break;
    case osEvt:
      HandleOsEvent(event);
      break;
    case kHighLevelEvent:
      (void)AEProcessAppleEvent(&event);
      break;
    default:
      break;
  }
}

OSErr AEDoNothing(const AppleEvent*, AppleEvent*, intptr_t) {
  return noErr;
}
OSErr AEQuit(const AppleEvent*, AppleEvent*, intptr_t) {
  gMainLoop = false;
  return noErr;
}
OSErr AEDisplayPreferences(const AppleEvent*, AppleEvent*, intptr_t) {
  ShowPreferences();
  return noErr;
}

void UpdateOtherWindow(const EventRecord& event) {
  HandleUpdateEvent(event);
}
void ActivateOtherWindow(const EventRecord& event) {
  HandleActivateEvent(event);
}

}  // namespace

bool fw::RestoredWindowPosition(const Rect& saved, const Rect* screens, int screenCount, Point* outTopLeft) {
  if (saved.right <= saved.left || saved.bottom <= saved.top) return false;
  for (int i = 0; i < screenCount; ++i) {
    const Rect& device = screens[i];
    const int topMargin = i == 0 ? kMainScreenTopMargin : kOtherScreenTopMargin;
    if (saved.left < device.right - kScreenEdgeMargin && saved.right > device.left + kScreenEdgeMargin &&
        saved.top < device.bottom - kScreenEdgeMargin && saved.top > device.top + topMargin) {
      *outTopLeft = Point{saved.top, saved.left};
      return true;
    }
  }
  return false;
}

void fw::SetManualRelativePath(const std::string& relativePath) {
  gManualRelativePath = relativePath;
}
void fw::SetProgramVersion(const std::string& version) {
  gProgramVersion = version;
}

OSErr fw::OpenProgramAddress(int16_t stringIndex) {
  Str255 address;
  GetIndString(address, kProgramStringListID, stringIndex);
  std::string text = Str255ToString(address);
  if (text.find("://") == std::string::npos) {
    // A page of the manual: the address names the manual and a place in it.
    const size_t hash = text.find('#');
    const std::string fragment = hash == std::string::npos ? std::string() : text.substr(hash);
    std::string manual;
    if (const OSErr err = FindManual(gManualRelativePath, &manual); err != noErr) return err;
    text = FileURLOfPath(manual) + fragment;
  }
  CopyToStr255(text, address);
  return LaunchURL(address);
}

// ---- Alerts --------------------------------------------------------------

void fw::ShowFramewrightAlert(int16_t alertID, const std::string& param0, const std::string& param1,
                              const std::string& param2) {
  const AlertTemplate* alert = GetAlertTemplate(alertID);
  DialogRef dialog = GetNewDialog(alertID, nullptr, kFirstWindowOfClass);
  if (alert == nullptr || dialog == nullptr) {
    SysBeep(kDialogBeepTicks);  // the resources are damaged: the bell is all that is left
    if (dialog != nullptr) DisposeDialog(dialog);
    return;
  }
  const std::array<std::string, 3> params{param0, param1, param2};
  ControlRef text = nullptr;
  if (GetDialogItemAsControl(dialog, 2, &text) == noErr)
    SetControlText(text, SubstituteAlertParams(alert->text, params));
  InitCursor();
  (void)StandardDialogEventLoop(dialog, 0);
  DisposeDialog(dialog);
}

void fw::ShowErrorAlert(int16_t messageIndex, int32_t location, int32_t err) {
  const auto message = ComposeClassicErrorMessage(messageIndex, location, err, GetIndString);
  if (!message) return;
  ShowFramewrightAlert(kErrorAlertID, Str255ToString(message->task), Str255ToString(message->stepAndCode),
                       Str255ToString(message->explanation));
}

// ---- Start-up and the loop -------------------------------------------------

OSErr Initialise() {
  gMainLoop = true;
  InitCursor();
  FlushEvents(everyEvent, 0);
  InstallAppleEventRoutines();
  RegisterFramewrightResources();
  SetClassicErrorReporter(ShowErrorAlert);
  gBigRect = Rect{-32767, -32767, 32767, 32767};
  gDialogOtherWindowUpdateProc = UpdateOtherWindow;
  gDialogOtherWindowActivateProc = ActivateOtherWindow;

  SetPreferencesDefaults(&gPrefs, ProgramFlavor::kClassic);

  SetMenuBar(GetNewMBar(kMenuBarID));
  MenuRef helpMenu = nullptr;
  if (HMGetHelpMenu(&helpMenu, &gHelpMenuFirstItem) == noErr && helpMenu != nullptr) {
    Str255 title;
    GetIndString(title, kProgramStringListID, kHelpItem1TitleStringIndex);
    AppendMenuItemText(helpMenu, title);
    GetIndString(title, kProgramStringListID, kHelpItem2TitleStringIndex);
    AppendMenuItemText(helpMenu, title);
  }

  (void)ReadPreferences(ProgramFlavor::kClassic);  // reports its own failures; the defaults stay

  gSetupDialog = GetNewDialog(kSetupDialogID, nullptr, kFirstWindowOfClass);
  if (gSetupDialog == nullptr) return resNotFound;
  (void)SetDialogDefaultItem(gSetupDialog, kSetupCaptureItem);
  SetMenuBarWindow(GetDialogWindow(gSetupDialog));
  SetPreferencesWindowGeometrySource(SetupWindowGeometry);
  SetPreferencesDeviceNameSource(ChannelDeviceName);
  RestoreSetupWindowPosition();

  DrawMenuBar();
  InitCursor();

  if (const OSErr err = InitVideoInput(); err != noErr) return err;
  InstallSettingsDialogWindow();
  MyShowDialog(gSetupDialog);
  // Captures cut short by a crash, a kill or a power cut are finished now,
  // before a new capture can begin; one alert tells of all.
  if (const std::vector<std::string> recovered = RecoverInterruptedCaptures(ProgramFlavor::kClassic);
      !recovered.empty())
    ShowFramewrightAlert(kRecoveredCapturesAlertID, RecoveryAlertText(recovered));
  InstallMainIdleTimer();
  return noErr;
}

void fw::RunMainLoopOnce() {
  EventRecord event;
  if (WaitNextEvent(everyEvent, &event, kMainLoopSleepTicks, nullptr)) DispatchEvent(event);
  // A quit the system asked for while a modal loop ran (and dropped its
  // event) still ends the program once that loop is done.
  if (SystemRequestedQuit()) gMainLoop = false;
}

int fw::FramewrightMain() {
  if (Initialise() != noErr) {
    CleanUp(false);
    return 0;
  }
  while (gMainLoop) RunMainLoopOnce();
  CleanUp(true);
  return 0;
}

void HandleMouseDown(const EventRecord& event) {
  WindowRef window = nullptr;
  switch (FindWindow(event.where, &window)) {
    case inMenuBar:
      if (gSetupDialog != nullptr) SetUpEditMenuInDialog(gSetupDialog);
      DoMenu(MenuSelect(event.where), event.modifiers);
      break;
    case inContent:
      if (gSetupDialog != nullptr && window == GetDialogWindow(gSetupDialog) &&
          ProcessEventInDialog(gSetupDialog, &event) == kSetupCaptureItem)
        (void)DoCapture();
      break;
    case inDrag:
      DragWindow(window, event.where, &gBigRect);
      break;
    default:
      break;
  }
}

void HandleUpdateEvent(const EventRecord& event) {
  auto* window = reinterpret_cast<WindowRef>(event.message);
  GrafPtr savedPort = nullptr;
  GetPort(&savedPort);
  SetPortWindowPort(window);
  BeginUpdate(window);
  if (GetWindowKind(window) == kDialogWindowKind) DrawDialog(GetDialogFromWindow(window));
  EndUpdate(window);
  SetPort(savedPort);
}

void HandleActivateEvent(const EventRecord& event) {
  SetRootControlActive(reinterpret_cast<WindowRef>(event.message), (event.modifiers & activeFlag) != 0);
}

void HandleOsEvent(const EventRecord& event) {
  if (((event.message & osEvtMessageMask) >> 24) != suspendResumeMessage) return;
  SetRootControlActive(FrontWindow(), (event.message & resumeFlag) != 0);
  InitCursor();
}

void DoMenu(int32_t menuResult, EventModifiers /*modifiers*/) {
  const auto menu = static_cast<int16_t>(menuResult >> 16);
  const auto item = static_cast<int16_t>(menuResult & 0xFFFF);
  if (menu == kAppMenuID) {
    switch (item) {
      case kAppMenuAboutItem:
        AboutBox();
        break;
      case kAppMenuWebPageItem:
        (void)OpenProgramAddress(kHelpItem2AddressStringIndex);
        break;
      case kAppMenuPreferencesItem:
        ShowPreferences();
        break;
      case kAppMenuVideoSettingsItem:
        RemoveMainIdleTimer();
        (void)NGStopOneChannel(gVideoChannel);
        (void)NGSettingsDialog(gVideoChannel, true);  // Cancel and failures leave the channel as it was
        (void)StartVideoPreview();                    // shows its own alert
        InstallMainIdleTimer();
        break;
      case kAppMenuQuitItem:
        PostHighLevelEvent(kCoreEventClass, kAEQuitApplication);
        break;
      default:
        break;
    }
  } else if (menu == kHMHelpMenuID && gHelpMenuFirstItem != 0) {
    if (item == gHelpMenuFirstItem) (void)OpenProgramAddress(kHelpItem1AddressStringIndex);
    if (item == gHelpMenuFirstItem + 1) (void)OpenProgramAddress(kHelpItem2AddressStringIndex);
  }
  HiliteMenu(0);
}

void AboutBox() {
  DialogRef dialog = GetNewDialog(kAboutDialogID, nullptr, kFirstWindowOfClass);
  if (dialog == nullptr) return;
  ControlTable controls = GetControlHandles(dialog);
  if (controls) {
    Str255 prefix;
    GetIndString(prefix, kProgramStringListID, kVersionPrefixStringIndex);
    const std::string version = gProgramVersion.substr(0, kAboutVersionMaxCharacters);
    SetControlText(controls[kAboutVersionItem], Str255ToString(prefix) + version);
    (void)SetDialogDefaultItem(dialog, kAboutOKItem);
    (void)StandardDialogEventLoop(dialog, 2);
  }
  DisposeDialog(dialog);
}

void InstallAppleEventRoutines() {
  (void)AEInstallEventHandler(kCoreEventClass, kAEOpenApplication, AEDoNothing, 0, false);
  (void)AEInstallEventHandler(kCoreEventClass, kAEOpenDocuments, AEDoNothing, 0, false);
  (void)AEInstallEventHandler(kCoreEventClass, kAEPrintDocuments, AEDoNothing, 0, false);
  (void)AEInstallEventHandler(kCoreEventClass, kAEQuitApplication, AEQuit, 0, false);
  (void)AEInstallEventHandler(kCoreEventClass, kAEShowPreferences, AEDisplayPreferences, 0, false);
}
