// The preferences window's logic: it edits a private copy of the settings,
// shows it in the window's controls and, on OK, reads the controls back with
// the conversions the settings need (the delay as a byte, the frame rate in
// hundredths, even trims) and hands the new record to its delegate. The
// window itself (PrefsWindowView) only shows and collects the controls.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/prefs/prefs_struct.h"
#include "hd/video/qt_capture.h"

// Receives the window's end: ok with the new settings, or a cancel with
// newSettings null. The window may be destroyed by this call.
class PrefsWindowDelegate {
 public:
  virtual void prefsDidFinish(bool ok, const PrefsStruct* newSettings) = 0;

 protected:
  ~PrefsWindowDelegate() = default;
};

namespace fw {

// The window's buttons.
class PrefsWindowActions {
 public:
  virtual void okClick() = 0;
  virtual void cancelClick() = 0;

 protected:
  ~PrefsWindowActions() = default;
};

}  // namespace fw

namespace fw {

// Everything the window shows, as its controls hold it. Popup indexes are
// item numbers (-1: nothing selected); the fields hold text as typed.
struct PrefsWindowControls {
  std::vector<std::string> deviceItems;
  int deviceIndex = -1;
  int triggerIndex = 0;          // mouse up, mouse down, every frame
  int dateOrderIndex = 0;        // d-m-y, m-d-y, y-m-d, y-d-m
  int captureLocationIndex = 0;  // ask, program's folder, Desktop, Documents
  std::string triggerDelayText;
  std::string movieFrameRateText;
  bool flipH = false;
  bool flipV = false;
  std::string trimTopText;
  std::string trimLeftText;
  std::string trimRightText;
  std::string trimBottomText;
};

class PrefsWindowView {
 public:
  virtual ~PrefsWindowView() = default;
  // Where the OK and Cancel buttons (and closing the window, a cancel) go.
  virtual void SetActions(PrefsWindowActions* actions) = 0;
  virtual void SetControls(const PrefsWindowControls& controls) = 0;
  virtual PrefsWindowControls GetControls() = 0;
  // Makes the window key and brings it to the front / orders it out.
  virtual void Show() = 0;
  virtual void Hide() = 0;
};

}  // namespace fw

class PrefsWindow final : public fw::PrefsWindowActions {
 public:
  // Copies the settings, keeps the device list (not owned; it must outlive
  // the window), fills the controls and shows the window.
  PrefsWindow(const PrefsStruct& prefs, const CaptureDevices* devices, int32_t deviceCount,
              PrefsWindowDelegate& delegate, std::unique_ptr<fw::PrefsWindowView> view);
  PrefsWindow(const PrefsWindow&) = delete;
  PrefsWindow& operator=(const PrefsWindow&) = delete;

  // Fills the controls from the working copy and shows the window.
  void windowDidLoad();
  // Reads the controls into the working copy and hands it to the delegate.
  void okClick() override;
  void cancelClick() override;

  void Show() { view_->Show(); }
  void Hide() { view_->Hide(); }
  const PrefsStruct& prefs() const { return prefs_; }

 private:
  std::unique_ptr<fw::PrefsWindowView> view_;
  PrefsWindowDelegate& delegate_;
  PrefsStruct prefs_;
  const CaptureDevices* devices_;
  int32_t deviceCount_;
};

namespace fw {

// The device popup: one item per input ("device - input"), or the device's
// name alone when it has no inputs.
std::vector<std::string> DeviceItemTitles(const CaptureDevices* devices, int32_t deviceCount);
// The item of the saved device and input (the last that matches), else 0.
int SelectedDeviceItem(const CaptureDevices* devices, int32_t deviceCount, const PrefsStruct& prefs);
// Stores the device and input of popup item `index` in prefs; false (and
// prefs unchanged) when no item has that index.
bool StoreDeviceItem(const CaptureDevices* devices, int32_t deviceCount, int index, PrefsStruct* prefs);

// Conversions of the number fields. Text the fields cannot hold reads as 0;
// numbers beyond the range of a long read as its limit.
uint8_t TriggerDelayFromText(std::string_view text);           // wraps above 255
int32_t HundredTimesFPSFromText(std::string_view text);        // × 100, truncated toward zero
int16_t TrimFromText(std::string_view text);                   // made even, away from zero
std::string MovieFrameRateText(int32_t hundredTimesMovieFPS);  // 1800 → "18", 2997 → "29.97"; 0 → ""

}  // namespace fw

// The rule of the window's integer fields, applied to every edit: empty
// text, or an integer with an optional sign and optional spaces around it.
// A lone minus sign is refused, so a negative number cannot be typed one key
// at a time. The window beeps when an edit is refused.
class OnlyIntegerValueFormatter {
 public:
  static bool isPartialStringValid(std::string_view text);
};

namespace fw {

// The frame rate field's rule: empty, or digits with at most one decimal
// point (a rate is never negative).
bool IsPartialFrameRateValid(std::string_view text);

}  // namespace fw
