// Framewright's setup window around the live preview, and the preferences
// dialog.
#include <algorithm>
#include <cmath>

#include "classic/app/app_resources.h"
#include "classic/app/framewright_app.h"
#include "core/prefs/prefs_struct.h"
#include "core/util/rects.h"
#include "core/util/strings.h"

using namespace fw;

namespace {

constexpr int16_t kPreviewMargin = 10;
constexpr int16_t kSetupWindowBandHeight = 40;
constexpr int16_t kCaptureButtonFromBottom = 30;
constexpr float kEmptyFrameRate = 18.0f;

struct TextBoxRule {
  int16_t item;
  uint8_t contentType;
  uint8_t maxCharacters;
};
constexpr TextBoxRule kTextBoxes[] = {
    {kPrefsDelayItem, kContentTypeInteger, 2},     {kPrefsFrameRateItem, kContentTypeDecimal, 5},
    {kPrefsTrimTopItem, kContentTypeInteger, 3},   {kPrefsTrimLeftItem, kContentTypeInteger, 3},
    {kPrefsTrimRightItem, kContentTypeInteger, 3}, {kPrefsTrimBottomItem, kContentTypeInteger, 3},
};

void SetNumberText(ControlRef control, int32_t number) {
  Str255 text;
  NumToString(number, text);
  SetDialogItemText(control, text);
}

// A text box's number: 0 when it is empty.
int32_t NumberOf(ControlRef control) {
  Str255 text;
  MyGetEditTextBoxText(control, text);
  if (text[0] == 0) return 0;
  int32_t number = 0;
  StringToNum(text, &number);
  return number;
}

int16_t PopupChoice(ControlRef control) {
  return static_cast<int16_t>(GetControlValue(control) - 1);
}

void FillPreferencesDialog(DialogRef dialog, const ControlTable& controls) {
  SetControlValue(controls[kPrefsFormatItem], static_cast<int16_t>(gPrefs.captureFormatOLD + 1));
  if (gVdigType != kDigitizerTypeDV)
    DisableMenuItem(GetControlPopupMenuHandle(controls[kPrefsFormatItem]), 2);
  SetControlValue(controls[kPrefsTriggerItem], static_cast<int16_t>(gPrefs.captureTrigger + 1));
  // The delay is an unsigned byte, as Framewright HD reads it.
  SetNumberText(controls[kPrefsDelayItem], gPrefs.ignoreFrameCount);
  SetControlValue(controls[kPrefsDateOrderItem], static_cast<int16_t>(gPrefs.dateOrdering + 1));
  SetControlValue(controls[kPrefsPreviewSizeItem], static_cast<int16_t>(gPrefs.previewSizeOLD + 1));
  SetControlValue(controls[kPrefsLocationItem], static_cast<int16_t>(gPrefs.captureLocation + 1));
  Str255 rate;
  MyFloatToString(static_cast<float>(gPrefs.hundredTimesMovieFPS) / 100.0f, rate, 2, true);
  SetDialogItemText(controls[kPrefsFrameRateItem], rate);
  SetNumberText(controls[kPrefsTrimTopItem], gPrefs.trimTop);
  SetNumberText(controls[kPrefsTrimLeftItem], gPrefs.trimLeft);
  SetNumberText(controls[kPrefsTrimRightItem], gPrefs.trimRight);
  SetNumberText(controls[kPrefsTrimBottomItem], gPrefs.trimBottom);
  for (const TextBoxRule& box : kTextBoxes) {
    SetTextBoxContentType(controls[box.item], box.contentType);
    SetTextBoxMaxCharacters(controls[box.item], box.maxCharacters);
  }
  (void)SetDialogDefaultItem(dialog, kPrefsOKItem);
}

void ReadBackPreferences(const ControlTable& controls) {
  gPrefs.captureFormatOLD = static_cast<uint8_t>(PopupChoice(controls[kPrefsFormatItem]));
  gPrefs.captureTrigger = static_cast<uint8_t>(PopupChoice(controls[kPrefsTriggerItem]));
  gPrefs.dateOrdering = static_cast<uint8_t>(PopupChoice(controls[kPrefsDateOrderItem]));
  gPrefs.previewSizeOLD = static_cast<int8_t>(PopupChoice(controls[kPrefsPreviewSizeItem]));
  gPrefs.captureLocation = static_cast<uint8_t>(PopupChoice(controls[kPrefsLocationItem]));
  gPrefs.ignoreFrameCount = static_cast<uint8_t>(NumberOf(controls[kPrefsDelayItem]));
  Str255 rate;
  MyGetEditTextBoxText(controls[kPrefsFrameRateItem], rate);
  const double framesPerSecond = rate[0] == 0 ? kEmptyFrameRate : StringToFloat(rate);
  gPrefs.hundredTimesMovieFPS = static_cast<int32_t>(std::trunc(framesPerSecond * 100.0 + 0.5));
  gPrefs.trimTop = static_cast<int16_t>(NumberOf(controls[kPrefsTrimTopItem]));
  gPrefs.trimLeft = static_cast<int16_t>(NumberOf(controls[kPrefsTrimLeftItem]));
  gPrefs.trimRight = static_cast<int16_t>(NumberOf(controls[kPrefsTrimRightItem]));
  gPrefs.trimBottom = static_cast<int16_t>(NumberOf(controls[kPrefsTrimBottomItem]));
}

}  // namespace

void SizeSetupWindow() {
  if (gDecompressionSeq != 0) (void)CDSequenceEnd(gDecompressionSeq);
  gDecompressionSeq = 0;
  if (gSetupDialog == nullptr) return;
  WindowRef window = GetDialogWindow(gSetupDialog);

  Rect view = gGrabberRect;
  if (gPrefs.previewSizeOLD == 0) {
    view.right = static_cast<int16_t>(view.right / 2);
    view.bottom = static_cast<int16_t>(view.bottom / 2);
  }
  OffsetRect(&view, static_cast<int16_t>(kPreviewMargin - view.left),
             static_cast<int16_t>(kPreviewMargin - view.top));
  const Rect windowRect{0, 0, static_cast<int16_t>(view.bottom + kSetupWindowBandHeight),
                        static_cast<int16_t>(view.right + kPreviewMargin)};

  ControlRef button = nullptr;
  if (GetDialogItemAsControl(gSetupDialog, kSetupCaptureItem, &button) == noErr) {
    Rect bounds;
    GetControlBounds(button, &bounds);
    CenterRectInRect(&bounds, &windowRect);
    OffsetRect(&bounds, 0, static_cast<int16_t>(windowRect.bottom - kCaptureButtonFromBottom - bounds.top));
    SizeWindow(window, windowRect.right, windowRect.bottom, false);
    SetControlBounds(button, &bounds);
  } else {
    SizeWindow(window, windowRect.right, windowRect.bottom, false);
  }
  GrafPtr savedPort = nullptr;
  GetPort(&savedPort);
  SetPortWindowPort(window);
  EraseRect(&windowRect);
  InvalWindowRect(window, &windowRect);
  SetPort(savedPort);

  if (gPrefs.captureFormatOLD == 0) {
    if (gPrefs.flipHFlag != 0) std::swap(view.left, view.right);
    if (gPrefs.flipVFlag != 0) std::swap(view.top, view.bottom);
  }
  MatrixRecord matrix;
  RectMatrix(&matrix, &gGrabberRect, &view);
  if (!gImageDesc || DecompressSequenceBeginS(&gDecompressionSeq, gImageDesc.get(), nullptr, 0,
                                              GetDialogPort(gSetupDialog), nullptr, nullptr, &matrix, srcCopy,
                                              nullptr, 0, codecHighQuality, nullptr) != noErr)
    gDecompressionSeq = 0;  // no preview until the next layout succeeds
}

void ShowPreferences() {
  if (gVdigType != kDigitizerTypeDV) gPrefs.captureFormatOLD = 0;
  DialogRef dialog = GetNewDialog(kPreferencesDialogID, nullptr, kFirstWindowOfClass);
  if (dialog == nullptr) return;
  ControlTable controls = GetControlHandles(dialog);
  if (!controls) {
    DisposeDialog(dialog);
    return;
  }
  FillPreferencesDialog(dialog, controls);
  // The check boxes act on the settings at once, Cancel or not; the record
  // keeps them as bytes, the check boxes bind to Booleans.
  Boolean preview = gPrefs.previewFlag != 0;
  Boolean flipH = gPrefs.flipHFlag != 0;
  Boolean flipV = gPrefs.flipVFlag != 0;
  SetCheckBoxDataPointer(controls[kPrefsPreviewItem], &preview);
  SetCheckBoxDataPointer(controls[kPrefsFlipHItem], &flipH);
  SetCheckBoxDataPointer(controls[kPrefsFlipVItem], &flipV);
  MyShowDialog(dialog);
  SelectFirstTextBoxInDialog(dialog);

  int16_t item = 0;
  while (item != kPrefsOKItem && item != kPrefsCancelItem) item = MyDoAllDialogEvents(dialog, 0);
  gPrefs.previewFlag = preview ? 1 : 0;
  gPrefs.flipHFlag = flipH ? 1 : 0;
  gPrefs.flipVFlag = flipV ? 1 : 0;
  if (item == kPrefsOKItem) ReadBackPreferences(controls);
  DisposeDialog(dialog);
  controls.reset();
  if (item == kPrefsOKItem) SizeSetupWindow();
}
