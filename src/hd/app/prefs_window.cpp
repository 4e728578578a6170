// The preferences window's logic.
#include "hd/app/prefs_window.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

using namespace fw;

namespace {

constexpr size_t kDeviceItemTitleBytes = 256;

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

int InputCountOf(const CaptureDevices& device) {
  return std::min<int>(device.inputCount, kMaxDeviceInputs);
}

// The device list's text fields are zero-terminated, but a field that is
// full is read no further than its end.
std::string FieldText(const char* field, size_t fieldBytes) {
  return std::string(field, strnlen(field, fieldBytes));
}

bool SameUniqueID(const CaptureDevices& device, const PrefsStruct& prefs) {
  return std::strncmp(device.uniqueID, prefs.uniqueID,
                      std::min(sizeof device.uniqueID, sizeof prefs.uniqueID)) == 0;
}

int32_t DeviceCountOf(const CaptureDevices* devices, int32_t deviceCount) {
  if (devices == nullptr) return 0;
  return std::clamp<int32_t>(deviceCount, 0, kMaxListedDevices);
}

// Calls visit(device, input, item) for every popup item in order; input is
// -1 for a device without inputs. Stops early when visit returns false.
template <typename Visit>
void WalkDeviceItems(const CaptureDevices* devices, int32_t deviceCount, Visit visit) {
  int item = 0;
  for (int32_t d = 0; d < DeviceCountOf(devices, deviceCount); ++d) {
    const CaptureDevices& device = devices[d];
    const int inputs = InputCountOf(device);
    if (inputs == 0) {
      if (!visit(device, -1, item++)) return;
      continue;
    }
    for (int j = 0; j < inputs; ++j)
      if (!visit(device, j, item++)) return;
  }
}

// NSString's integerValue: leading spaces, an optional sign, the digits;
// anything after them is ignored, and no digits read as 0. Saturates.
int64_t IntegerValue(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  constexpr int64_t kLimit = std::numeric_limits<int64_t>::max() / 10 - 9;
  int64_t value = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    if (value > kLimit) {
      value = std::numeric_limits<int64_t>::max();
      break;
    }
    value = value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}

}  // namespace

std::vector<std::string> fw::DeviceItemTitles(const CaptureDevices* devices, int32_t deviceCount) {
  std::vector<std::string> titles;
  WalkDeviceItems(devices, deviceCount, [&](const CaptureDevices& device, int input, int) {
    const std::string name = FieldText(device.name, sizeof device.name);
    if (input < 0) {
      titles.push_back(name);
    } else {
      char title[kDeviceItemTitleBytes];
      std::snprintf(title, sizeof title, "%s - %s", name.c_str(),
                    FieldText(device.inputs[input].name, sizeof device.inputs[input].name).c_str());
      titles.emplace_back(title);
    }
    return true;
  });
  return titles;
}

int fw::SelectedDeviceItem(const CaptureDevices* devices, int32_t deviceCount, const PrefsStruct& prefs) {
  int selected = 0;
  WalkDeviceItems(devices, deviceCount, [&](const CaptureDevices& device, int input, int item) {
    if (SameUniqueID(device, prefs) && (input < 0 || input == prefs.inputNum)) selected = item;
    return true;
  });
  return selected;
}

bool fw::StoreDeviceItem(const CaptureDevices* devices, int32_t deviceCount, int index, PrefsStruct* prefs) {
  bool found = false;
  WalkDeviceItems(devices, deviceCount, [&](const CaptureDevices& device, int input, int item) {
    if (item != index) return true;
    std::memset(prefs->uniqueID, 0, sizeof prefs->uniqueID);
    const std::string id = FieldText(device.uniqueID, sizeof device.uniqueID);
    std::memcpy(prefs->uniqueID, id.data(), std::min(id.size(), sizeof prefs->uniqueID - 1));
    prefs->inputNum = static_cast<int16_t>(input < 0 ? 0 : input);
    found = true;
    return false;
  });
  return found;
}

uint8_t fw::TriggerDelayFromText(std::string_view text) {
  // Stored as a byte, as the settings file has always held it: 300 is 44.
  return static_cast<uint8_t>(static_cast<uint64_t>(IntegerValue(text)));
}

int32_t fw::HundredTimesFPSFromText(std::string_view text) {
  // Read as decimal digits rather than through a float, so that 29.97 is
  // exactly 2997 and not one hundredth less.
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  int64_t hundredths = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i)
    hundredths = std::min<int64_t>(hundredths * 10 + (text[i] - '0'), kMax);
  hundredths = std::min<int64_t>(hundredths * 100, kMax);
  if (i < text.size() && text[i] == '.') {
    ++i;
    int64_t scale = 10;
    for (; i < text.size() && IsDigit(text[i]); ++i, scale /= 10) hundredths += (text[i] - '0') * scale;
    hundredths = std::min(hundredths, kMax);
  }
  return static_cast<int32_t>(negative ? -hundredths : hundredths);
}

int16_t fw::TrimFromText(std::string_view text) {
  // Trims are whole pixel pairs ('2vuy' comes in pairs), so an odd value
  // grows by one away from zero. A number beyond the field's 16 bits is held
  // at the nearest even value that fits rather than wrapped round to one of
  // the other sign.
  int64_t value = std::clamp<int64_t>(IntegerValue(text), std::numeric_limits<int16_t>::min(),
                                      std::numeric_limits<int16_t>::max());
  if (value % 2 != 0) value += value > 0 ? (value < std::numeric_limits<int16_t>::max() ? 1 : -1) : -1;
  return static_cast<int16_t>(value);
}

std::string fw::MovieFrameRateText(int32_t hundredTimesMovieFPS) {
  if (hundredTimesMovieFPS == 0) return {};
  const int64_t value = hundredTimesMovieFPS;
  const int64_t magnitude = value < 0 ? -value : value;
  std::string text = (value < 0 ? "-" : "") + std::to_string(magnitude / 100);
  const int64_t fraction = magnitude % 100;
  if (fraction != 0) {
    char digits[4];
    std::snprintf(digits, sizeof digits, "%02d", static_cast<int>(fraction));
    text += '.';
    text += digits;
    if (text.back() == '0') text.pop_back();
  }
  return text;
}

bool OnlyIntegerValueFormatter::isPartialStringValid(std::string_view text) {
  if (text.empty()) return true;
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  const size_t digitsStart = i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  if (i == digitsStart) return false;
  while (i < text.size() && IsSpace(text[i])) ++i;
  return i == text.size();
}

bool fw::IsPartialFrameRateValid(std::string_view text) {
  int points = 0;
  for (const char c : text) {
    if (c == '.') {
      if (++points > 1) return false;
    } else if (!IsDigit(c)) {
      return false;
    }
  }
  return true;
}

PrefsWindow::PrefsWindow(const PrefsStruct& prefs, const CaptureDevices* devices, int32_t deviceCount,
                         PrefsWindowDelegate& delegate, std::unique_ptr<PrefsWindowView> view)
    : view_(std::move(view)),
      delegate_(delegate),
      prefs_(prefs),
      devices_(devices),
      deviceCount_(deviceCount) {
  view_->SetActions(this);
  windowDidLoad();
}

void PrefsWindow::windowDidLoad() {
  PrefsWindowControls controls;
  controls.deviceItems = DeviceItemTitles(devices_, deviceCount_);
  controls.deviceIndex =
      controls.deviceItems.empty() ? -1 : SelectedDeviceItem(devices_, deviceCount_, prefs_);
  controls.triggerIndex = prefs_.captureTrigger;
  controls.dateOrderIndex = prefs_.dateOrdering;
  controls.captureLocationIndex = prefs_.captureLocation;
  controls.triggerDelayText = std::to_string(prefs_.ignoreFrameCount);
  controls.movieFrameRateText = MovieFrameRateText(prefs_.hundredTimesMovieFPS);
  controls.flipH = prefs_.flipHFlag != 0;
  controls.flipV = prefs_.flipVFlag != 0;
  controls.trimTopText = std::to_string(prefs_.trimTop);
  controls.trimLeftText = std::to_string(prefs_.trimLeft);
  controls.trimRightText = std::to_string(prefs_.trimRight);
  controls.trimBottomText = std::to_string(prefs_.trimBottom);
  view_->SetControls(controls);
  view_->Show();
}

void PrefsWindow::okClick() {
  const PrefsWindowControls controls = view_->GetControls();
  StoreDeviceItem(devices_, deviceCount_, controls.deviceIndex, &prefs_);
  // A popup with nothing selected leaves its setting as it was.
  if (controls.triggerIndex >= 0) prefs_.captureTrigger = static_cast<uint8_t>(controls.triggerIndex);
  if (controls.dateOrderIndex >= 0) prefs_.dateOrdering = static_cast<uint8_t>(controls.dateOrderIndex);
  if (controls.captureLocationIndex >= 0)
    prefs_.captureLocation = static_cast<uint8_t>(controls.captureLocationIndex);
  prefs_.ignoreFrameCount = TriggerDelayFromText(controls.triggerDelayText);
  prefs_.hundredTimesMovieFPS = HundredTimesFPSFromText(controls.movieFrameRateText);
  prefs_.flipHFlag = controls.flipH ? 1 : 0;
  prefs_.flipVFlag = controls.flipV ? 1 : 0;
  prefs_.trimTop = TrimFromText(controls.trimTopText);
  prefs_.trimLeft = TrimFromText(controls.trimLeftText);
  prefs_.trimRight = TrimFromText(controls.trimRightText);
  prefs_.trimBottom = TrimFromText(controls.trimBottomText);
  // The delegate releases this window: nothing may follow.
  delegate_.prefsDidFinish(true, &prefs_);
}

void PrefsWindow::cancelClick() {
  delegate_.prefsDidFinish(false, nullptr);
}
