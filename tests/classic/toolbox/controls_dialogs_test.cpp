// Dialogs from resources, controls, edit text with its selection and the
// clipboard, keyboard focus, and the sample dialog's loop.
#include <array>

#include "sample_dialog.h"
#include "toolbox_test_support.h"

using namespace fw;

namespace {

constexpr int16_t kFocusDialogID = 501;
constexpr std::array kFocusItems{
    DialogItemTemplate{kButtonDialogItem, Rect{100, 10, 120, 80}, "OK", 0},
    DialogItemTemplate{kEditTextDialogItem, Rect{10, 10, 30, 100}, "one", 0},
    DialogItemTemplate{kStaticTextDialogItem, Rect{10, 110, 30, 200}, "www.example.org", 0},
    DialogItemTemplate{kEditTextDialogItem, Rect{40, 10, 60, 100}, "two", 0},
    DialogItemTemplate{kResourceControlDialogItem, Rect{40, 110, 60, 200}, "", 0},  // a list: focusable
    DialogItemTemplate{kEditTextDialogItem, Rect{70, 10, 90, 100}, "three", 0},
    DialogItemTemplate{kCheckBoxDialogItem + itemDisable, Rect{70, 110, 90, 200}, "Off", 0},
};
constexpr std::array kFocusDialogs{
    DialogTemplate{kFocusDialogID, "Focus", Rect{100, 100, 230, 320}, -3, WindowCloseBox::kNone, 1,
                   kFocusItems},
};

}  // namespace

class ControlsDialogsTest : public ToolboxTest {
 protected:
  void SetUp() override {
    ToolboxTest::SetUp();
    RegisterSampleResources();
    RegisterDialogTemplates(kFocusDialogs);
    dialog_ = GetNewDialog(kFocusDialogID, nullptr, kFirstWindowOfClass);
    ASSERT_NE(dialog_, nullptr);
    window_ = GetDialogWindow(dialog_);
    ShowWindow(window_);
  }
  ControlRef Item(int16_t item) {
    ControlRef control = nullptr;
    EXPECT_EQ(GetDialogItemAsControl(dialog_, item, &control), noErr);
    return control;
  }
  void SetSelection(ControlRef control, int16_t start, int16_t end) {
    const ControlEditTextSelectionRec s{start, end};
    ASSERT_EQ(SetControlData(control, kControlEditTextPart, kControlEditTextSelectionTag, sizeof s, &s),
              noErr);
  }
  ControlEditTextSelectionRec Selection(ControlRef control) {
    ControlEditTextSelectionRec s;
    size_t size = 0;
    EXPECT_EQ(
        GetControlData(control, kControlEditTextPart, kControlEditTextSelectionTag, sizeof s, &s, &size),
        noErr);
    EXPECT_EQ(size, sizeof s);
    return s;
  }
  std::string Text(ControlRef control) {
    char buffer[254];
    size_t size = 0;
    EXPECT_EQ(GetControlData(control, 0, kControlEditTextTextTag, sizeof buffer, buffer, &size), noErr);
    return std::string(buffer, std::min(size, sizeof buffer));
  }
  void Key(ControlRef control, uint8_t ch, EventModifiers modifiers = 0) {
    ControlKeyDownRec key{modifiers, 0, ch};
    SendControlMessage(control, kControlMsgKeyDown, &key);
  }

  DialogRef dialog_ = nullptr;
  WindowRef window_ = nullptr;
};

TEST_F(ControlsDialogsTest, DialogFromItsResource) {
  EXPECT_EQ(CountDITL(dialog_), 7);
  EXPECT_EQ(GetWRefCon(window_), -3);
  EXPECT_EQ(GetDialogDefaultItem(dialog_), 1);
  Str255 title;
  GetWTitle(window_, title);
  EXPECT_EQ(Str255ToString(title), "Focus");
  int16_t kind;
  ControlRef control;
  Rect box;
  GetDialogItem(dialog_, 3, &kind, &control, &box);
  EXPECT_EQ(kind, kStaticTextDialogItem);
  EXPECT_EQ(box, (Rect{10, 110, 30, 200}));
  Str255 text;
  GetDialogItemText(control, text);
  EXPECT_EQ(Str255ToString(text), "www.example.org");
  GetDialogItem(dialog_, 7, &kind, nullptr, nullptr);
  EXPECT_EQ(kind, kCheckBoxDialogItem + itemDisable);
  EXPECT_EQ(FindDialogItem(dialog_, Point{45, 150}), 4);  // item 5, counted from 0
  EXPECT_EQ(FindDialogItem(dialog_, Point{125, 150}), -1);
  EXPECT_EQ(GetDialogItemAsControl(dialog_, 8, &control), errUnknownControl);
  ControlRef root;
  EXPECT_EQ(GetRootControl(window_, &root), noErr);
  const Rect plainBounds{10, 10, 20, 20};
  WindowRef plain = NewCWindow(nullptr, &plainBounds, nullptr, WindowVisibility::kHidden, 0, nullptr,
                               WindowCloseBox::kNone, 0);
  EXPECT_EQ(GetRootControl(plain, &root), errNoRootControl);
  EXPECT_EQ(GetNewDialog(999, nullptr, nullptr), nullptr);
}

TEST_F(ControlsDialogsTest, ReferenceValuesValuesAndActivation) {
  ControlRef box = Item(2);
  SetControlReference(box, static_cast<int32_t>(0x02010000u | 0xBEEF));
  EXPECT_EQ(static_cast<uint32_t>(GetControlReference(box)), 0x0201BEEFu);
  ControlRef check = Item(7);
  SetControlValue(check, 5);
  EXPECT_EQ(GetControlValue(check), 2);  // check boxes go to 2 (mixed)
  SetControlValue(check, -1);
  EXPECT_EQ(GetControlValue(check), 0);

  ControlRef root;
  (void)GetRootControl(window_, &root);
  (void)DeactivateControl(root);
  EXPECT_FALSE(IsControlActive(box));
  EXPECT_NE(SetKeyboardFocus(window_, box, kControlFocusNextPart), noErr);
  (void)ActivateControl(root);
  EXPECT_TRUE(IsControlActive(box));
  HiliteControl(box, kControlInactivePart);
  EXPECT_FALSE(IsControlActive(box));
}

TEST_F(ControlsDialogsTest, FocusAdvancesAndReversesInItemOrderOverFocusableControls) {
  ControlRef focus = nullptr;
  std::vector<int16_t> forward, backward;
  for (int i = 0; i < 4; ++i) {
    (void)AdvanceKeyboardFocus(window_);
    (void)GetKeyboardFocus(window_, &focus);
    forward.push_back(GetDialogItemNumber(dialog_, focus));
  }
  (void)ClearKeyboardFocus(window_);
  for (int i = 0; i < 4; ++i) {
    (void)ReverseKeyboardFocus(window_);
    backward.push_back(GetDialogKeyboardFocusItem(dialog_));
  }
  EXPECT_EQ(forward, (std::vector<int16_t>{2, 4, 5, 6}));
  EXPECT_EQ(backward, (std::vector<int16_t>{6, 5, 4, 2}));
  // A hidden box is passed over; a button never takes the focus.
  HideControl(Item(4));
  (void)SetKeyboardFocus(window_, Item(2), kControlFocusNextPart);
  (void)AdvanceKeyboardFocus(window_);
  EXPECT_EQ(GetDialogKeyboardFocusItem(dialog_), 5);
  EXPECT_NE(SetKeyboardFocus(window_, Item(1), kControlFocusNextPart), noErr);
  EXPECT_EQ(GetDialogKeyboardFocusItem(dialog_), 5);
  (void)SetKeyboardFocus(window_, Item(1), kControlFocusNoPart);
  EXPECT_EQ(GetDialogKeyboardFocusItem(dialog_), 0);
}

TEST_F(ControlsDialogsTest, EditTextSelectionAndKeys) {
  ControlRef box = Item(6);  // "three"
  (void)SetKeyboardFocus(window_, box, kControlFocusNextPart);
  SetSelection(box, 0, 32767);
  EXPECT_EQ(Selection(box).selStart, 0);
  EXPECT_EQ(Selection(box).selEnd, 5);
  const struct {
    uint8_t ch;
    EventModifiers modifiers;
    const char* text;
    int16_t start, end;
  } steps[] = {
      {'4', 0, "4", 1, 1},  // typing replaces the selection
      {'2', 0, "42", 2, 2},
      {kLeftArrowCharCode, 0, "42", 1, 1},
      {'.', 0, "4.2", 2, 2},
      {kLeftArrowCharCode, shiftKey, "4.2", 1, 2},  // shift extends
      {kDeleteCharCode, 0, "42", 1, 1},             // forward delete takes the selection
      {kDeleteCharCode, 0, "4", 1, 1},              // then the character after the caret
      {kBackspaceCharCode, 0, "", 0, 0},
      {kBackspaceCharCode, 0, "", 0, 0},
      {'a', 0, "a", 1, 1},
      {kUpArrowCharCode, 0, "a", 0, 0},
      {kDownArrowCharCode, shiftKey, "a", 0, 1},
      {kTabCharCode, 0, "a", 0, 1},  // control characters are the dialog's
  };
  for (const auto& step : steps) {
    Key(box, step.ch, step.modifiers);
    EXPECT_EQ(Text(box), step.text) << int{step.ch};
    EXPECT_EQ(Selection(box).selStart, step.start) << int{step.ch};
    EXPECT_EQ(Selection(box).selEnd, step.end) << int{step.ch};
  }
  // New text arrives all selected; the reported size is the whole text.
  const std::string longText(300, 'x');
  (void)SetControlData(box, 0, kControlEditTextTextTag, longText.size(), longText.data());
  char small[4];
  size_t size = 0;
  ASSERT_EQ(GetControlData(box, 0, kControlEditTextTextTag, sizeof small, small, &size), noErr);
  EXPECT_EQ(size, 300u);
  EXPECT_EQ(Selection(box).selEnd, 300);
  EXPECT_EQ(GetControlData(Item(1), 0, kControlEditTextSelectionTag, sizeof small, small, &size),
            errDataNotSupported);
}

TEST_F(ControlsDialogsTest, CutCopyPasteAndClearGoThroughTheClipboard) {
  ControlRef box = Item(2);  // "one"
  DialogCopy(dialog_);       // no focus: nothing happens
  EXPECT_FALSE(backend_->ClipboardText());
  (void)SetKeyboardFocus(window_, box, kControlFocusNextPart);
  SetSelection(box, 1, 3);
  DialogCopy(dialog_);
  EXPECT_EQ(backend_->ClipboardText(), "ne");
  EXPECT_EQ(Text(box), "one");
  SetSelection(box, 0, 1);
  DialogCut(dialog_);
  EXPECT_EQ(backend_->ClipboardText(), "o");
  EXPECT_EQ(Text(box), "ne");
  SetSelection(box, 2, 2);
  DialogPaste(dialog_);
  EXPECT_EQ(Text(box), "neo");
  EXPECT_EQ(Selection(box).selStart, 3);
  SetSelection(box, 0, 1);
  DialogDelete(dialog_);
  EXPECT_EQ(Text(box), "eo");
  EXPECT_EQ(backend_->ClipboardText(), "o");  // Clear leaves the clipboard

  // The scrap calls see the same clipboard.
  ScrapRef scrap;
  (void)GetCurrentScrap(&scrap);
  size_t size = 0;
  EXPECT_EQ(GetScrapFlavorSize(scrap, kScrapFlavorTypeText, &size), noErr);
  EXPECT_EQ(size, 1u);
  (void)ClearCurrentScrap();
  EXPECT_EQ(GetScrapFlavorSize(scrap, kScrapFlavorTypeText, &size), noTypeErr);
  DialogPaste(dialog_);
  EXPECT_EQ(Text(box), "eo");
}

TEST_F(ControlsDialogsTest, TrackingReportsAHitOnlyWhenReleasedInside) {
  ControlRef ok = Item(1);
  const Point centre = CentreOf(window_, Rect{100, 10, 120, 80});
  Click(centre);
  EXPECT_EQ(TrackControl(ok, Point{110, 45}, nullptr), kControlButtonPart);
  PostMouseEvent(mouseDown, centre, 0);
  PostMouseEvent(mouseUp, Point{static_cast<int16_t>(centre.v + 50), centre.h}, 0);
  EXPECT_EQ(TrackControl(ok, Point{110, 45}, nullptr), kControlNoPart);
  EXPECT_EQ(TrackControl(ok, Point{5, 5}, nullptr), kControlNoPart);  // pressed outside

  DialogRef sample = GetNewDialog(kSampleDialogID, nullptr, kFirstWindowOfClass);
  ControlRef popup;
  (void)GetDialogItemAsControl(sample, kSamplePopupItem, &popup);
  EXPECT_EQ(GetControlMaximum(popup), 3);
  DisableMenuItem(GetControlPopupMenuHandle(popup), 3);
  const struct {
    int16_t choice;
    int16_t part;
    int16_t value;
  } choices[] = {{2, kControlMenuPart, 2}, {0, kControlNoPart, 2}, {3, kControlNoPart, 2}};
  for (const auto& c : choices) {
    backend_->ChooseNextPopupItem(c.choice);
    Click(CentreOf(GetDialogWindow(sample), Rect{95, 120, 117, 310}));
    EXPECT_EQ(TrackControl(popup, Point{100, 200}, kControlUseOwnAction), c.part) << c.choice;
    EXPECT_EQ(GetControlValue(popup), c.value) << c.choice;
  }
}

TEST_F(ControlsDialogsTest, AClickInTextPlacesTheCaretAndADragSelects) {
  ControlRef box = Item(6);  // "three", from h 10; 7 pixels a character from 4 in
  const Point atTwo{180, 100 + 28}, atFour{180, 100 + 42};
  Click(atTwo);
  EXPECT_EQ(TrackControl(box, Point{80, 28}, nullptr), kControlEditTextPart);
  EXPECT_EQ(Selection(box).selStart, 2);
  EXPECT_EQ(Selection(box).selEnd, 2);
  PostMouseEvent(mouseDown, atFour, 0);
  PostMouseEvent(mouseUp, atTwo, 0);
  TrackControl(box, Point{80, 42}, nullptr);
  EXPECT_EQ(Selection(box).selStart, 2);
  EXPECT_EQ(Selection(box).selEnd, 4);
}

TEST_F(ControlsDialogsTest, DialogSelectIdleBlinksTheFocusedCaret) {
  ControlRef box = Item(2);
  (void)SetKeyboardFocus(window_, box, kControlFocusNextPart);
  EXPECT_TRUE(IsEditTextCaretVisible(box));
  EventRecord idle;
  std::vector<bool> shown;
  const uint32_t end = TickCount() + 2 * GetCaretTime() + 20;
  while (TickCount() < end) {
    WaitNextEvent(everyEvent & ~updateMask & ~activMask, &idle, 5, nullptr);
    DialogSelect(&idle, nullptr, nullptr);
    if (shown.empty() || shown.back() != IsEditTextCaretVisible(box))
      shown.push_back(IsEditTextCaretVisible(box));
  }
  EXPECT_EQ(shown, (std::vector<bool>{true, false, true}));
  (void)ClearKeyboardFocus(window_);
  EXPECT_FALSE(IsEditTextCaretVisible(box));
}

TEST_F(ControlsDialogsTest, SampleDialogGivesTheItemResults) {
  DialogRef sample = GetNewDialog(kSampleDialogID, nullptr, kFirstWindowOfClass);
  WindowRef window = GetDialogWindow(sample);
  ShowWindow(window);
  // What the on-screen smoke test does with xdotool: click into the text
  // box, type, Tab, tick the check box, choose the second pop-up entry,
  // Return.
  Click(CentreOf(window, Rect{20, 120, 42, 310}));
  for (char c : std::string("hello")) Type(static_cast<uint8_t>(c));
  Type(kTabCharCode, 48);
  Click(CentreOf(window, Rect{60, 120, 80, 310}));
  backend_->ChooseNextPopupItem(2);
  Click(CentreOf(window, Rect{95, 120, 117, 310}));
  Type(kReturnCharCode, 36);
  EXPECT_EQ(RunSampleDialog(sample), "item=1 text=hello check=1 popup=2");
  // Clicking Cancel ends it too; a click released off a button does not.
  PostMouseEvent(mouseDown, CentreOf(window, Rect{150, 230, 172, 310}), 0);
  PostMouseEvent(mouseUp, Point{5, 5}, 0);
  Click(CentreOf(window, Rect{150, 130, 172, 210}));
  EXPECT_EQ(RunSampleDialog(sample), "item=2 text=hello check=1 popup=2");
}

TEST_F(ControlsDialogsTest, DataPointerBesideTheReferenceValue) {
  ControlRef check = Item(7);
  bool variable = false;
  SetControlReference(check, 0x7F000001);
  SetControlDataPointer(check, &variable);
  EXPECT_EQ(GetControlDataPointer(check), &variable);
  EXPECT_EQ(GetControlReference(check), 0x7F000001);
  EXPECT_EQ(GetControlDataPointer(Item(1)), nullptr);
}

// A slider added to the dialog as an item: its value follows the press and
// ends where the button is released, inside or not; the ends of the track
// give the range's ends exactly.
TEST_F(ControlsDialogsTest, SliderItemsFollowThePointerAndShortenDITLRemovesThem) {
  const Rect box{100, 90, 120, 210};  // beside the OK button; track from h = 96 to 204
  ControlRef slider = nullptr;
  ASSERT_EQ(CreateSliderControl(window_, &box, 70000, 0, 65535, &slider), noErr);
  EXPECT_EQ(GetControl32BitValue(slider), 65535);
  const int16_t item = AppendDialogItemControl(dialog_, kResourceControlDialogItem, slider);
  EXPECT_EQ(item, 8);
  EXPECT_EQ(AppendDialogItemControl(dialog_, kResourceControlDialogItem, slider), 0);
  struct Case {
    int16_t pressH, releaseH;
    int32_t value;
  };
  const Case cases[] = {
      {96, 96, 0}, {204, 204, 65535}, {150, 150, 32768}, {150, 400, 65535}, {204, 0, 0}, {100, 100, 2427},
  };
  const Rect content = GetWindowContentRectGlobal(window_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pressH);
    PostMouseEvent(
        mouseDown,
        Point{static_cast<int16_t>(content.top + 110), static_cast<int16_t>(content.left + c.pressH)}, 0);
    PostMouseEvent(
        mouseUp,
        Point{static_cast<int16_t>(content.top + 110), static_cast<int16_t>(content.left + c.releaseH)}, 0);
    EventRecord event;
    ASSERT_TRUE(GetNextEvent(mDownMask, &event));
    DialogRef hitDialog = nullptr;
    int16_t hit = 0;
    EXPECT_TRUE(DialogSelect(&event, &hitDialog, &hit));
    EXPECT_EQ(hit, item);
    EXPECT_EQ(GetControl32BitValue(slider), c.value);
    EXPECT_EQ(GetControlHilite(slider), 0);
  }
  ShortenDITL(dialog_, 7);
  EXPECT_EQ(CountDITL(dialog_), 7);
  EXPECT_EQ(GetControlOwner(slider), nullptr) << "the removed item's control was not disposed of";
}
