// Framewright, the classic program: start-up, the event loop, menus and
// Apple events; the capture road from the video channel to the capture
// file with its preview; the setup window and the preferences dialog.
//
// Everything runs on the main thread, against the classic toolbox: the
// program itself puts a Qt backend under it, the tests a headless one.
#pragma once

#include <cstdint>
#include <string>

#include "classic/dialogs/dialog_toolkit.h"
#include "classic/grabber/ng_channel.h"
#include "classic/toolbox/toolbox.h"
#include "core/util/image_description.h"

// ---- The shell ---------------------------------------------------------
extern Boolean gMainLoop;
extern DialogRef gSetupDialog;
extern EventLoopTimerRef gMainIdleTimer;
extern uint16_t gHelpMenuFirstItem;

namespace fw {

// Main: Initialise, the event loop while gMainLoop, CleanUp. Returns 0.
int FramewrightMain();
// One round of the event loop: waits for one event and dispatches it.
void RunMainLoopOnce();

}  // namespace fw

[[nodiscard]] OSErr Initialise();
void HandleMouseDown(const EventRecord& event);
void HandleUpdateEvent(const EventRecord& event);
void HandleActivateEvent(const EventRecord& event);
void HandleOsEvent(const EventRecord& event);
void DoMenu(int32_t menuResult, EventModifiers modifiers);
void AboutBox();
void InstallAppleEventRoutines();

namespace fw {

// Where the setup window goes at start: the saved rectangle's top-left when
// it lies well enough on one of the screens (the main screen first, whose
// menu bar margin is wider), else nowhere (false).
bool RestoredWindowPosition(const Rect& saved, const Rect* screens, int screenCount, Point* outTopLeft);

// Opens a string of list 128 as a web address: one without a scheme is a
// page of the manual installed beside the program.
[[nodiscard]] OSErr OpenProgramAddress(int16_t stringIndex);
// The manual's path relative to the program's folder (the build sets it).
void SetManualRelativePath(const std::string& relativePath);
// The version shown in the about box.
void SetProgramVersion(const std::string& version);

// ---- Alerts ------------------------------------------------------------
// Shows alert `alertID` (its text with ^0 to ^3 from the parameters) until
// its button is pressed.
void ShowFramewrightAlert(int16_t alertID, const std::string& param0 = {}, const std::string& param1 = {},
                          const std::string& param2 = {});
// The error alert: the failed task (message index), "location,code" and an
// explanation of the code. Nothing for userCanceledErr.
void ShowErrorAlert(int16_t messageIndex, int32_t location, int32_t err);

}  // namespace fw

// ---- The capture road --------------------------------------------------
extern int16_t gVideoChannel;
extern uint8_t gVdigType;
extern ImageDescriptionHandle gImageDesc;
extern Rect gGrabberRect;
extern ImageSequence gDecompressionSeq;

// Where the capture ended by an error says so in the error alert.
constexpr int32_t kCaptureWriteErrorLocation = 30;   // a frame could not be written
constexpr int32_t kCaptureFinishErrorLocation = 35;  // the last writes, the close or the movie failed
constexpr int32_t kCaptureCreateFileLocation = 12;
constexpr int32_t kCaptureOpenWriterLocation = 20;
constexpr int32_t kCaptureChooseFileLocation = 10;
constexpr int16_t kDigitizerTypeDV = 6;

[[nodiscard]] OSErr InitVideoInput();
[[nodiscard]] OSErr StartVideoPreview();
void MyEventLoopTimerProcPtr(EventLoopTimerRef timer, void* userData);
namespace fw {

// Installs the 1/60 s idle timer when none is installed.
void InstallMainIdleTimer();
void RemoveMainIdleTimer();

}  // namespace fw

[[nodiscard]] OSErr MainDataProc(int16_t channel, const uint8_t* data, int32_t sizeBytes,
                                 const TimeRecord* time, intptr_t refCon);
[[nodiscard]] OSErr DoCapture();
void CleanUp(Boolean writePreferences);

// ---- Setup window and preferences --------------------------------------
void SizeSetupWindow();
void ShowPreferences();
