// The dialog toolkit on the headless toolbox: text box attributes, the
// acceptance test, keys, clicks, window conventions, links, the standard
// loop and the Edit menu.
#include "classic/dialogs/dialog_toolkit.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>

#include "classic/dialogs/dialog_edit_menu.h"

using namespace fw;

namespace {

constexpr int16_t kPlainDialogID = 700;
constexpr int16_t kModalDialogID = 701;
constexpr int16_t kLinkDialogID = 702;
constexpr int16_t kStaticCancelDialogID = 703;
constexpr int16_t kBoxA = 3;
constexpr int16_t kBoxB = 4;
constexpr int16_t kCheck = 5;
constexpr int16_t kLink = 6;
constexpr int16_t kHiddenBox = 8;

constexpr std::array kItems{
    DialogItemTemplate{kButtonDialogItem, Rect{100, 10, 120, 80}, "OK", 0},
    DialogItemTemplate{kButtonDialogItem, Rect{100, 100, 120, 170}, "Cancel", 0},
    DialogItemTemplate{kEditTextDialogItem, Rect{10, 10, 30, 100}, "", 0},
    DialogItemTemplate{kEditTextDialogItem, Rect{40, 10, 60, 100}, "", 0},
    DialogItemTemplate{kCheckBoxDialogItem, Rect{70, 10, 90, 100}, "Check", 0},
    DialogItemTemplate{kStaticTextDialogItem + itemDisable, Rect{10, 110, 30, 200}, "www.example.org", 0},
    DialogItemTemplate{kStaticTextDialogItem, Rect{40, 110, 60, 200}, "About", 0},
    DialogItemTemplate{kEditTextDialogItem, Rect{10, 1000, 30, 1100}, "moved away", 0},
};
constexpr std::array kStaticCancelItems{
    DialogItemTemplate{kButtonDialogItem, Rect{100, 10, 120, 80}, "OK", 0},
    DialogItemTemplate{kStaticTextDialogItem, Rect{10, 10, 30, 200}, "Not a button", 0},
};
constexpr Rect kBounds{100, 100, 230, 320};
constexpr std::array kDialogs{
    DialogTemplate{kPlainDialogID, "Plain", kBounds, 0, WindowCloseBox::kPresent, 1, kItems},
    DialogTemplate{kModalDialogID, "Modal", kBounds, kModalDialogRefCon, WindowCloseBox::kPresent, 1, kItems},
    DialogTemplate{kLinkDialogID, "Links", kBounds, kLinkDialogRefCon, WindowCloseBox::kPresent, 1, kItems},
    DialogTemplate{kStaticCancelDialogID, "About", kBounds, 0, WindowCloseBox::kPresent, 1,
                   kStaticCancelItems},
};
constexpr std::array kEditItems{
    MenuItemTemplate{"Undo", 'Z'},       MenuItemTemplate{"-", 0, false}, MenuItemTemplate{"Cut", 'X'},
    MenuItemTemplate{"Copy", 'C'},       MenuItemTemplate{"Paste", 'V'},  MenuItemTemplate{"Clear", 0},
    MenuItemTemplate{"Select All", 'A'},
};
constexpr std::array kMenus{MenuTemplate{kEditMenuID, "Edit", kEditItems}};
constexpr std::array<int16_t, 1> kMenuBarMenus{kEditMenuID};
constexpr std::array kMenuBars{MenuBarTemplate{128, kMenuBarMenus}};

std::string Text(ControlRef control) {
  return GetControlText(control);
}

}  // namespace

class DialogToolkitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto backend = std::make_unique<HeadlessBackend>();
    backend_ = backend.get();
    InitToolbox(std::move(backend));
    FlushEvents(everyEvent, 0);
    RegisterDialogTemplates(kDialogs);
    RegisterMenuTemplates(kMenus);
    RegisterMenuBarTemplates(kMenuBars);
    SetMenuBar(GetNewMBar(128));
    gLastMouseDownTime = 0;
    gLastMouseDownControl = nullptr;
    Open(kPlainDialogID);
  }
  void TearDown() override { ShutdownToolbox(); }

  void Open(int16_t id) {
    dialog_ = GetNewDialog(id, nullptr, kFirstWindowOfClass);
    ASSERT_NE(dialog_, nullptr);
    window_ = GetDialogWindow(dialog_);
    MyShowDialog(dialog_);
  }
  ControlRef Item(int16_t item) {
    ControlRef control = nullptr;
    EXPECT_EQ(GetDialogItemAsControl(dialog_, item, &control), noErr);
    return control;
  }
  // Focuses a box holding `text` with the selection start…end.
  ControlRef Box(int16_t item, uint8_t type, uint8_t max, const std::string& text, int16_t start,
                 int16_t end) {
    ControlRef box = Item(item);
    SetTextBoxContentType(box, type);
    SetTextBoxMaxCharacters(box, max);
    SetControlText(box, text);
    (void)SetKeyboardFocus(window_, box, kControlFocusNextPart);
    const ControlEditTextSelectionRec s{start, end};
    (void)SetControlData(box, kControlEditTextPart, kControlEditTextSelectionTag, sizeof s, &s);
    return box;
  }
  Point Global(int16_t item) {
    Rect box;
    GetDialogItem(dialog_, item, nullptr, nullptr, &box);
    const Rect content = GetWindowContentRectGlobal(window_);
    return Point{static_cast<int16_t>(content.top + (box.top + box.bottom) / 2),
                 static_cast<int16_t>(content.left + (box.left + box.right) / 2)};
  }
  EventRecord KeyEvent(uint8_t ch, uint8_t keyCode = 0, EventModifiers modifiers = 0) {
    EventRecord e;
    e.what = keyDown;
    e.message = ch | (uintptr_t{keyCode} << 8);
    e.modifiers = modifiers;
    e.when = TickCount();
    return e;
  }
  int16_t Press(uint8_t ch, uint8_t keyCode = 0, EventModifiers modifiers = 0) {
    const EventRecord e = KeyEvent(ch, keyCode, modifiers);
    return HandleStandardKeyPressesInDialog(dialog_, &e);
  }
  // A click posted (down and up) and run through ProcessEventInDialog.
  int16_t Click(Point global) {
    PostMouseEvent(mouseDown, global, 0);
    PostMouseEvent(mouseUp, global, 0);
    EventRecord e;
    EXPECT_TRUE(GetNextEvent(mDownMask, &e));
    const int16_t result = ProcessEventInDialog(dialog_, &e);
    FlushEvents(mUpMask, 0);
    return result;
  }
  void SetClipboard(const std::string& text) {
    (void)ClearCurrentScrap();
    ScrapRef scrap = nullptr;
    (void)GetCurrentScrap(&scrap);
    if (!text.empty())
      (void)PutScrapFlavor(scrap, kScrapFlavorTypeText, kScrapFlavorMaskNone, text.size(), text.data());
  }

  HeadlessBackend* backend_ = nullptr;
  DialogRef dialog_ = nullptr;
  WindowRef window_ = nullptr;
};

TEST_F(DialogToolkitTest, AttributesTableAndText) {
  ControlRef box = Item(kBoxA);
  SetControlReference(box, 0x1234ABCD);
  SetTextBoxMaxCharacters(box, 0xFE);
  EXPECT_EQ(static_cast<uint32_t>(GetControlReference(box)), 0xFE34ABCDu);
  SetTextBoxContentType(box, 2);
  EXPECT_EQ(static_cast<uint32_t>(GetControlReference(box)), 0xFE02ABCDu);
  EXPECT_EQ(GetTextBoxMaxCharacters(box), 0xFE);
  EXPECT_EQ(GetTextBoxContentType(box), 2);

  ControlTable table = GetControlHandles(dialog_);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table[0], nullptr);
  for (int16_t item = 1; item <= CountDITL(dialog_); ++item) EXPECT_EQ(table[item], Item(item)) << item;

  // A text longer than a Str255 holds is cut at 254, the length byte agreeing.
  SetControlText(box, std::string(300, 'x'));
  Str255 text;
  MyGetEditTextBoxText(box, text);
  EXPECT_EQ(Str255ToString(text), std::string(254, 'x'));

  EXPECT_TRUE(IsWindowVisible(window_));
  EXPECT_EQ(GetWindowUpdateBounds(window_).right - GetWindowUpdateBounds(window_).left, 0);
  GrafPtr port = nullptr;
  GetPort(&port);
  EXPECT_EQ(port, GetWindowPort(window_));
}

TEST_F(DialogToolkitTest, AcceptanceTest) {
  struct Case {
    const char* name;
    uint8_t type, max;
    const char* text;
    int16_t start, end;
    const char* candidate;  // null: the clipboard
    const char* clipboard;
    bool ok;
  };
  const Case cases[] = {
      {"max 3, 2 of 12 selected, 45", 0, 3, "12", 1, 2, "45", "", true},
      {"max 3, 2 of 12 selected, 456", 0, 3, "12", 1, 2, "456", "", false},
      {"type 2, .5 of 1.5 selected, .25", 2, 0, "1.5", 1, 3, ".25", "", true},
      {"type 2, nothing selected, .25", 2, 0, "1.5", 3, 3, ".25", "", false},
      {"type 2, letter", 2, 0, "1", 1, 1, "a", "", false},
      {"type 1, digits", 1, 0, "1", 1, 1, "0123456789", "", true},
      {"type 1, empty text", 1, 0, "1", 1, 1, "", "", true},
      {"type 1, forward delete", 1, 0, "12", 0, 0, "\x7f", "", false},
      {"full box, forward delete", 0, 2, "ab", 0, 0, "\x7f", "", false},
      {"type 0, anything", 0, 0, "ab", 0, 0, "\x7f!", "", true},
      {"clipboard of 254", 0, 0, "", 0, 0, nullptr, "254", true},
      {"clipboard of 300", 0, 0, "", 0, 0, nullptr, "300", false},
      {"empty clipboard", 0, 0, "", 0, 0, nullptr, "", false},
      {"clipboard over the maximum", 0, 3, "1", 1, 1, nullptr, "abc", false},
  };
  for (const Case& c : cases) {
    Box(kBoxA, c.type, c.max, c.text, c.start, c.end);
    std::string clipboard = c.clipboard;
    if (clipboard == "254" || clipboard == "300") clipboard = std::string(std::stoi(clipboard), 'x');
    SetClipboard(clipboard);
    Str255 candidate;
    if (c.candidate != nullptr) CopyToStr255(c.candidate, candidate);
    EXPECT_EQ(IsOKToPasteInDialog(dialog_, c.candidate != nullptr ? candidate : nullptr), c.ok) << c.name;
  }
  (void)ClearKeyboardFocus(window_);
  EXPECT_FALSE(IsOKToPasteInDialog(dialog_, reinterpret_cast<const unsigned char*>("\x01"
                                                                                   "1")));
}

TEST_F(DialogToolkitTest, KeysTable) {
  struct Case {
    const char* name;
    uint8_t type, max;
    const char* text;
    int16_t start, end;
    uint8_t ch, keyCode;
    EventModifiers modifiers;
    int16_t result;
    const char* after;
    int16_t afterStart, afterEnd;  // -1: not checked
    uint32_t beeps;
  };
  const Case cases[] = {
      {"Return", 0, 0, "ab", 2, 2, 13, 36, 0, 1, "ab", -1, -1, 0},
      {"Enter", 0, 0, "ab", 2, 2, 3, 76, 0, 1, "ab", -1, -1, 0},
      {"Escape", 0, 0, "ab", 2, 2, 27, 53, 0, 2, "ab", -1, -1, 0},
      {"command-period", 0, 0, "ab", 2, 2, '.', 47, cmdKey, 2, "ab", -1, -1, 0},
      {"plain period", 0, 0, "ab", 2, 2, '.', 47, 0, kBoxA, "ab.", 3, 3, 0},
      {"command-W", 0, 0, "ab", 2, 2, 'w', 13, cmdKey, kCloseDialogItem, "ab", -1, -1, 0},
      {"down at 0", 1, 2, "0", 1, 1, 31, 125, 0, kBoxA, "0", 1, 1, 0},
      {"up at 99, max 2", 1, 2, "99", 2, 2, 30, 126, 0, kBoxA, "99", 2, 2, 0},
      {"up at 41", 1, 2, "41", 2, 2, 30, 126, 0, kBoxA, "42", 0, 2, 0},
      {"down at 10, no maximum", 1, 0, "10", 0, 0, 31, 125, 0, kBoxA, "9", 0, 1, 0},
      {"up in a type-0 box moves the caret", 0, 0, "41", 2, 2, 30, 126, 0, kBoxA, "41", 0, 0, 0},
      {"letter in type 1", 1, 0, "4", 1, 1, 'a', 0, 0, 0, "4", -1, -1, 1},
      {"second period", 2, 0, "2.5", 3, 3, '.', 47, 0, 0, "2.5", -1, -1, 1},
      {"backspace in a full type-1 box", 1, 2, "12", 2, 2, 8, 51, 0, kBoxA, "1", 1, 1, 0},
      {"left arrow in a full type-1 box", 1, 2, "12", 2, 2, 28, 123, 0, kBoxA, "12", 1, 1, 0},
      {"right arrow in a full type-1 box", 1, 2, "12", 1, 1, 29, 124, 0, kBoxA, "12", 2, 2, 0},
      {"forward delete in type 1", 1, 0, "12", 0, 0, 127, 117, 0, 0, "12", -1, -1, 1},
      {"forward delete in a full box", 0, 2, "ab", 0, 0, 127, 117, 0, 0, "ab", -1, -1, 1},
      {"forward delete with room", 0, 3, "ab", 0, 0, 127, 117, 0, kBoxA, "b", -1, -1, 0},
      {"third digit in a two-digit box", 1, 2, "10", 2, 2, '0', 29, 0, 0, "10", -1, -1, 1},
      {"command-A selects all", 0, 0, "abc", 1, 1, 'a', 0, cmdKey, kBoxA, "abc", 0, 3, 0},
      {"other command key", 0, 0, "abc", 1, 1, 'q', 12, cmdKey, kBoxA, "abc", 1, 1, 0},
  };
  for (const Case& c : cases) {
    ControlRef box = Box(kBoxA, c.type, c.max, c.text, c.start, c.end);
    const uint32_t beeps = GetSysBeepCount();
    const uint32_t before = TickCount();
    EXPECT_EQ(Press(c.ch, c.keyCode, c.modifiers), c.result) << c.name;
    EXPECT_EQ(Text(box), c.after) << c.name;
    EXPECT_EQ(GetSysBeepCount() - beeps, c.beeps) << c.name;
    if (c.afterStart >= 0) {
      const ControlEditTextSelectionRec s = GetEditTextSelection(box);
      EXPECT_EQ(s.selStart, c.afterStart) << c.name;
      EXPECT_EQ(s.selEnd, c.afterEnd) << c.name;
    }
    // Return, Enter, Escape and command-period flash their push button.
    if (c.result == 1 || c.result == 2) {
      EXPECT_GE(TickCount() - before, kButtonFlashTicks) << c.name;
      EXPECT_EQ(GetControlHilite(Item(c.result)), kControlNoPart) << c.name;
    }
  }
}

TEST_F(DialogToolkitTest, FocusTabClipboardKeysAndNoFocus) {
  (void)ClearKeyboardFocus(window_);
  EXPECT_EQ(Press('a'), 0);
  EXPECT_EQ(Press(13, 36), 1);  // Return needs no focus

  ControlRef a = Box(kBoxA, 0, 0, "hello", 0, 5);
  ControlRef b = Item(kBoxB);
  ControlRef focus = nullptr;
  EXPECT_EQ(Press(9, 48), kBoxA);
  (void)GetKeyboardFocus(window_, &focus);
  EXPECT_EQ(focus, b);
  EXPECT_EQ(Press(9, 48, shiftKey), kBoxB);
  (void)GetKeyboardFocus(window_, &focus);
  EXPECT_EQ(focus, a);

  // Copy, then paste into the other box; cut empties the first.
  EXPECT_EQ(Press('c', 8, cmdKey), kBoxA);
  Box(kBoxB, 0, 0, "", 0, 0);
  EXPECT_EQ(Press('v', 9, cmdKey), kBoxB);
  EXPECT_EQ(Text(b), "hello");
  Box(kBoxA, 0, 0, "hello", 0, 5);
  EXPECT_EQ(Press('x', 7, cmdKey), kBoxA);
  EXPECT_EQ(Text(a), "");
  // A key while push button 1 holds the focus hits it.
  SetControlFocusable(Item(1), true);
  (void)SetKeyboardFocus(window_, Item(1), kControlFocusNextPart);
  EXPECT_EQ(Press(' ', 49), 1);
}

TEST_F(DialogToolkitTest, ClicksDoubleClickAndBoundCheckBox) {
  ControlRef a = Box(kBoxA, 0, 0, "alpha", 0, 0);
  ControlRef b = Item(kBoxB);
  SetControlText(b, "beta");
  // Edit texts report 0 from ProcessEventInDialog but take the focus.
  EXPECT_EQ(Click(Global(kBoxA)), 0);
  EXPECT_EQ(gLastMouseDownControl, a);
  EXPECT_EQ(Click(Global(kBoxA)), 0);
  EXPECT_EQ(GetEditTextSelection(a).selStart, 0);
  EXPECT_EQ(GetEditTextSelection(a).selEnd, 5);

  gLastMouseDownControl = nullptr;
  Click(Global(kBoxA));
  Click(Global(kBoxB));
  ControlRef focus = nullptr;
  (void)GetKeyboardFocus(window_, &focus);
  EXPECT_EQ(focus, b);
  EXPECT_LT(GetEditTextSelection(b).selEnd - GetEditTextSelection(b).selStart, 4);

  Boolean bound = false;
  SetCheckBoxDataPointer(Item(kCheck), &bound);
  EXPECT_EQ(GetControlValue(Item(kCheck)), 0);
  EXPECT_EQ(Click(Global(kCheck)), kCheck);
  EXPECT_TRUE(bound);
  EXPECT_EQ(GetControlValue(Item(kCheck)), 1);
  EXPECT_EQ(Press(27, 53), 2);  // cancelled: the variable keeps its new value
  EXPECT_TRUE(bound);
  SetCheckBoxDataPointer(Item(kCheck), nullptr);
  EXPECT_EQ(GetControlValue(Item(kCheck)), 0);
  EXPECT_EQ(Click(Global(kCheck)), kCheck);
  EXPECT_EQ(GetControlValue(Item(kCheck)), 1);
  EXPECT_TRUE(bound);

  EXPECT_EQ(Click(Global(1)), 1);
  EXPECT_EQ(Click(Global(7)), 7);  // static text: the item, untracked
}

TEST_F(DialogToolkitTest, WindowConventionsTable) {
  const Rect otherBounds{400, 400, 500, 600};
  WindowRef other = NewCWindow(nullptr, &otherBounds, reinterpret_cast<const unsigned char*>("\x05Other"),
                               WindowVisibility::kVisible, 0, nullptr, WindowCloseBox::kPresent, 0);
  const Point menuBar{static_cast<int16_t>(GetMBarRect().top + 5),
                      static_cast<int16_t>(GetMBarRect().left + 5)};
  const Point otherContent{450, 500};
  struct Case {
    int16_t dialogID;
    Point where;
    uint32_t beeps;
    size_t menuSelects;
    bool selectedAll;  // the Edit menu's Select All reached the box
  };
  const Case cases[] = {
      {kModalDialogID, menuBar, 1, 0, false},
      {kModalDialogID, otherContent, 1, 0, false},
      {kPlainDialogID, menuBar, 0, 1, true},
      {kPlainDialogID, otherContent, 1, 0, false},
  };
  for (const Case& c : cases) {
    Open(c.dialogID);
    SelectWindow(window_);
    ControlRef box = Box(kBoxA, 0, 0, "text", 4, 4);
    const uint32_t beeps = GetSysBeepCount();
    const size_t selects = backend_->menuSelectPoints().size();
    backend_->ChooseNextMenuSelection(int32_t{kEditMenuID} << 16 | kEditMenuSelectAllItem);
    EXPECT_EQ(Click(c.where), 0) << c.dialogID;
    EXPECT_EQ(GetSysBeepCount() - beeps, c.beeps) << c.dialogID;
    EXPECT_EQ(backend_->menuSelectPoints().size() - selects, c.menuSelects) << c.dialogID;
    EXPECT_EQ(GetEditTextSelection(box).selEnd - GetEditTextSelection(box).selStart, c.selectedAll ? 4 : 0)
        << c.dialogID;
    EXPECT_EQ(GetHilitedMenu(), 0);
    DisposeDialog(dialog_);
  }
  DisposeWindow(other);
}

TEST_F(DialogToolkitTest, LinksOpenOnlyInLinkDialogs) {
  struct Case {
    int16_t dialogID;
    int16_t clicked;
    int16_t cursor;
    size_t opened;
  };
  const Case cases[] = {
      {kLinkDialogID, kLink, kPointingHandCursorID, 1},
      {kLinkDialogID, 7, 0, 0},  // "About" is no link
      {kPlainDialogID, kLink, 0, 0},
  };
  for (const Case& c : cases) {
    Open(c.dialogID);
    InitCursor();
    const size_t opened = backend_->openedURLs().size();
    PostMouseEvent(mouseDown, Global(c.clicked), 0);
    PostMouseEvent(mouseUp, Global(c.clicked), 0);
    // The new dialog's activate and update events come first.
    int16_t result = 0;
    for (int round = 0; round < 4 && result == 0; ++round) result = MyDoAllDialogEvents(dialog_, 0);
    EXPECT_EQ(result, c.clicked) << c.dialogID;
    EXPECT_EQ(GetCurrentCursorID(), c.cursor) << c.dialogID;
    ASSERT_EQ(backend_->openedURLs().size() - opened, c.opened) << c.dialogID;
    if (c.opened != 0) {
      EXPECT_EQ(backend_->openedURLs().back(), "www.example.org");
    }
    FlushEvents(everyEvent, 0);
    DisposeDialog(dialog_);
  }
}

TEST_F(DialogToolkitTest, StandardLoopEndsOnItemOneOrCancelButton) {
  DisposeDialog(dialog_);
  dialog_ = GetNewDialog(kStaticCancelDialogID, nullptr, kFirstWindowOfClass);
  window_ = GetDialogWindow(dialog_);
  PostMouseEvent(mouseDown, Global(2), 0);  // the static item 2
  PostMouseEvent(mouseUp, Global(2), 0);
  PostKeyEvent(keyDown, 27, 53, 0);        // Escape: item 2, not a button
  PostKeyEvent(keyDown, 'w', 13, cmdKey);  // command-W does not end it
  PostKeyEvent(keyDown, 13, 36, 0);
  EXPECT_EQ(StandardDialogEventLoop(dialog_, 0), 1);
  EXPECT_TRUE(IsWindowVisible(window_));
  EventRecord left;
  EXPECT_FALSE(EventAvail(keyDownMask, &left));

  Open(kPlainDialogID);
  PostKeyEvent(keyDown, 27, 53, 0);
  EXPECT_EQ(StandardDialogEventLoop(dialog_, 0), 2);
}

TEST_F(DialogToolkitTest, FirstTextBoxSkipsMovedAndHiddenBoxes) {
  SetControlText(Item(kBoxA), "first");
  SelectFirstTextBoxInDialog(dialog_);
  ControlRef focus = nullptr;
  (void)GetKeyboardFocus(window_, &focus);
  EXPECT_EQ(focus, Item(kBoxA));
  EXPECT_EQ(GetEditTextSelection(focus).selEnd, 5);

  HideControl(Item(kBoxA));
  SelectFirstTextBoxInDialog(dialog_);
  (void)GetKeyboardFocus(window_, &focus);
  EXPECT_EQ(focus, Item(kBoxB));

  (void)DeactivateControl(Item(kBoxB));
  SelectFirstTextBoxInDialog(dialog_);  // only the box moved right is left
  (void)GetKeyboardFocus(window_, &focus);
  EXPECT_EQ(focus, nullptr);
  EXPECT_TRUE(IsControlVisible(Item(kHiddenBox)));
}

TEST_F(DialogToolkitTest, EditMenuTable) {
  struct Case {
    const char* name;
    int16_t start, end;
    const char* clipboard;
    std::array<bool, 5> enabled;  // items 3 to 7
  };
  const Case cases[] = {
      {"nothing selected", 2, 2, "x", {false, false, true, false, true}},
      {"a selection", 0, 2, "x", {true, true, true, true, true}},
      {"300-character clipboard", 0, 2, "300", {true, true, false, true, true}},
      {"empty clipboard", 2, 2, "", {false, false, false, false, true}},
  };
  MenuRef edit = GetMenuHandle(kEditMenuID);
  for (const Case& c : cases) {
    ControlRef box = Box(kBoxA, 0, 0, "ab", c.start, c.end);
    SetClipboard(std::string(c.clipboard) == "300" ? std::string(300, 'x') : c.clipboard);
    SetUpEditMenuInDialog(dialog_);
    for (int16_t item = 3; item <= 7; ++item)
      EXPECT_EQ(IsMenuItemEnabled(edit, item), c.enabled[item - 3]) << c.name << item;
    // A forced paste that fails the test beeps and changes nothing.
    const uint32_t beeps = GetSysBeepCount();
    HandleEditMenuSelectionInDialog(dialog_, kEditMenuPasteItem);
    EXPECT_EQ(GetSysBeepCount() - beeps, c.enabled[2] ? 0u : 1u) << c.name;
    if (!c.enabled[2]) {
      EXPECT_EQ(Text(box), "ab") << c.name;
    }
  }
  (void)ClearKeyboardFocus(window_);
  SetUpEditMenuInDialog(dialog_);
  for (int16_t item = 3; item <= 7; ++item) EXPECT_FALSE(IsMenuItemEnabled(edit, item));
  const uint32_t beeps = GetSysBeepCount();
  HandleEditMenuSelectionInDialog(dialog_, kEditMenuCopyItem);
  EXPECT_EQ(GetSysBeepCount() - beeps, 1u);
}

TEST_F(DialogToolkitTest, SuspendResumeActivateAndClose) {
  ControlRef root = nullptr;
  ASSERT_EQ(GetRootControl(window_, &root), noErr);
  Boolean background = false;
  EventRecord e;
  e.what = osEvt;
  e.message = uintptr_t{suspendResumeMessage} << 24;
  HandleOSEvtInDialog(dialog_, &e, &background);
  EXPECT_TRUE(background);
  EXPECT_FALSE(IsControlActive(root));
  e.message |= resumeFlag;
  HandleOSEvtInDialog(dialog_, &e, &background);
  EXPECT_FALSE(background);
  EXPECT_TRUE(IsControlActive(root));
  e.message = uintptr_t{mouseMovedMessage} << 24;  // not suspend/resume: ignored
  HandleOSEvtInDialog(dialog_, &e, &background);
  EXPECT_FALSE(background);

  EventRecord activate;
  activate.what = activateEvt;
  activate.message = reinterpret_cast<uintptr_t>(window_);
  activate.modifiers = 0;
  EXPECT_EQ(ProcessEventInDialog(dialog_, &activate), 0);
  EXPECT_FALSE(IsControlActive(root));
  activate.modifiers = activeFlag;
  EXPECT_EQ(ProcessEventInDialog(dialog_, &activate), 0);
  EXPECT_TRUE(IsControlActive(root));

  const Rect content = GetWindowContentRectGlobal(window_);
  const Point closeBox{static_cast<int16_t>(content.top - kTitleBarHeight / 2),
                       static_cast<int16_t>(content.left + 6 + kCloseBoxSize / 2)};
  EXPECT_EQ(Click(closeBox), kCloseDialogItem);
}
