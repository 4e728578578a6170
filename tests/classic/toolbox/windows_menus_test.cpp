// Windows (part codes, dragging, geometry, screens), menus and the small
// calls around them.
#include <array>

#include "sample_dialog.h"
#include "toolbox_test_support.h"

using namespace fw;

class WindowsMenusTest : public ToolboxTest {
 protected:
  void SetUp() override {
    ToolboxTest::SetUp();
    RegisterSampleResources();
  }
};

TEST_F(WindowsMenusTest, FindWindowPartCodes) {
  const Rect setupBounds{100, 50, 400, 450};
  WindowRef setup = NewCWindow(nullptr, &setupBounds, nullptr, WindowVisibility::kVisible, 0,
                               kFirstWindowOfClass, WindowCloseBox::kPresent, 0);
  SetMenuBar(GetNewMBar(kSampleMenuBarID));
  SetMenuBarWindow(setup);
  DialogRef dialog = GetNewDialog(kSampleDialogID, nullptr, kFirstWindowOfClass);
  WindowRef dialogWindow = GetDialogWindow(dialog);
  ShowWindow(dialogWindow);
  ASSERT_EQ(FrontWindow(), dialogWindow);
  const Rect content = GetWindowContentRectGlobal(dialogWindow);  // 200, 300, 390, 630
  const int16_t titleMiddle = static_cast<int16_t>(content.top - kTitleBarHeight / 2);
  const struct {
    Point where;
    int16_t part;
    WindowRef window;
  } cases[] = {
      {{90, 60}, inMenuBar, nullptr},  // the setup window's strip, the dialog in front
      {{210, 310}, inContent, dialogWindow},
      {{titleMiddle, 400}, inDrag, dialogWindow},
      {{titleMiddle, static_cast<int16_t>(content.left + 6 + kCloseBoxSize / 2)}, inGoAway, dialogWindow},
      {{150, 60}, inContent, setup},
      {{65, 200}, inDrag, setup},  // the setup window's title bar lies above its menu strip
      {{700, 1000}, inDesk, nullptr},
  };
  for (const auto& c : cases) {
    WindowRef hit = reinterpret_cast<WindowRef>(1);
    EXPECT_EQ(FindWindow(c.where, &hit), c.part) << c.where.v << "," << c.where.h;
    EXPECT_EQ(hit, c.window) << c.where.v << "," << c.where.h;
  }
  EXPECT_EQ(GetMBarRect(), (Rect{80, 50, 100, 450}));
  EXPECT_EQ(GetWindowKind(dialogWindow), kDialogWindowKind);
  EXPECT_EQ(GetWRefCon(dialogWindow), -6);
  // Without a window to carry it the bar is at the top of the main screen.
  DisposeWindow(setup);
  WindowRef hit;
  EXPECT_EQ(FindWindow(Point{5, 1500}, &hit), inMenuBar);
}

TEST_F(WindowsMenusTest, DragWindowFollowsTheMouseWithinLimitsAndCloseBoxNeedsTheReleaseInside) {
  const Rect bounds{100, 100, 200, 300};
  WindowRef window = NewCWindow(nullptr, &bounds, nullptr, WindowVisibility::kVisible, 0, kFirstWindowOfClass,
                                WindowCloseBox::kPresent, 0);
  const Point start{88, 200};
  PostMouseEvent(mouseDown, start, 0);
  PostMouseEvent(mouseUp, Point{500, 260}, 0);
  const Rect limit{0, 0, 300, 1000};
  DragWindow(window, start, &limit);  // the pointer is held to v 300
  EXPECT_EQ(GetWindowContentRectGlobal(window), (Rect{312, 160, 412, 360}));

  const Rect title = GetWindowStructureRectGlobal(window);
  const Point box{static_cast<int16_t>(title.top + kTitleBarHeight / 2),
                  static_cast<int16_t>(title.left + 10)};
  PostMouseEvent(mouseDown, box, 0);
  PostMouseEvent(mouseUp, Point{static_cast<int16_t>(box.v + 40), box.h}, 0);
  EXPECT_FALSE(TrackGoAway(window, box));
  Click(box);
  EXPECT_TRUE(TrackGoAway(window, box));
}

TEST_F(WindowsMenusTest, GeometryAndScreens) {
  const Rect bounds{100, 100, 200, 300};
  WindowRef window = NewCWindow(nullptr, &bounds, nullptr, WindowVisibility::kHidden, 0, kFirstWindowOfClass,
                                WindowCloseBox::kNone, 0);
  MoveWindow(window, 40, 60, false);
  SizeWindow(window, 340, 290, false);
  EXPECT_EQ(GetWindowRectGlobal(window), (Rect{60, 40, 350, 380}));
  EXPECT_EQ(GetWindowRectLocal(window), (Rect{0, 0, 290, 340}));
  ShowWindow(window);  // all of it needs drawing
  Rect update;
  ASSERT_EQ(GetWindowRegionBounds(window, kWindowUpdateRgn, &update), noErr);
  EXPECT_EQ(update, (Rect{60, 40, 350, 380}));
  BeginUpdate(window);
  EndUpdate(window);
  (void)GetWindowRegionBounds(window, kWindowUpdateRgn, &update);
  EXPECT_EQ(update, Rect{});
  HideWindow(window);
  EXPECT_EQ(GetPortPixels(window).width, 340);
  GrafPtr port;
  GetPort(&port);
  EXPECT_EQ(port, nullptr);  // restored
  EXPECT_EQ(FrontWindow(), nullptr);

  backend_->SetScreens({Rect{0, 0, 1080, 1920}, Rect{0, 1920, 1200, 3840}});
  std::vector<Rect> screens;
  for (GDHandle d = GetDeviceList(); d != nullptr; d = GetNextDevice(d))
    screens.push_back(GetGDeviceBounds(d));
  EXPECT_EQ(screens, (std::vector<Rect>{Rect{0, 0, 1080, 1920}, Rect{0, 1920, 1200, 3840}}));
  EXPECT_EQ(GetGDeviceBounds(GetMainDevice()), (Rect{0, 0, 1080, 1920}));
  EXPECT_EQ(GetDeviceList(), GetMainDevice());  // a walk can tell the main screen
}

TEST_F(WindowsMenusTest, MenuKeyMenuSelectAndTheHelpMenu) {
  SetMenuBar(GetNewMBar(kSampleMenuBarID));
  MenuRef help;
  uint16_t first = 0;
  ASSERT_EQ(HMGetHelpMenu(&help, &first), noErr);
  Str255 title;
  CopyToStr255("Instructions", title);
  AppendMenuItemText(help, title);
  CopyToStr255("Web site", title);
  AppendMenuItemText(help, title);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(GetMenuHandle(kHMHelpMenuID), help);
  EXPECT_EQ(CountMenuItems(help), 2);

  MenuRef edit = GetMenuHandle(130);
  EXPECT_EQ(MenuKey('x'), (130 << 16) | 3);
  EXPECT_EQ(GetHilitedMenu(), 130);
  HiliteMenu(0);
  DisableMenuItem(edit, 3);
  EXPECT_EQ(MenuKey('X'), 0);
  EXPECT_EQ(MenuKey(','), (128 << 16) | 2);
  EXPECT_EQ(MenuKey('j'), 0);

  backend_->ChooseNextMenuSelection((kHMHelpMenuID << 16) | (first + 1));
  Click(Point{10, 30});
  EventRecord event;
  ASSERT_TRUE(GetNextEvent(mDownMask, &event));
  ASSERT_EQ(FindWindow(event.where, nullptr), inMenuBar);
  const int32_t chosen = MenuSelect(event.where);
  EXPECT_EQ(static_cast<int16_t>(chosen >> 16), kHMHelpMenuID);
  EXPECT_EQ(chosen & 0xFFFF, 2);
  EXPECT_FALSE(GetNextEvent(mUpMask, &event));         // the release belonged to the menu
  backend_->ChooseNextMenuSelection((130 << 16) | 3);  // disabled: no choice
  EXPECT_EQ(MenuSelect(Point{10, 30}), 0);
}

TEST_F(WindowsMenusTest, BellCursorPointerAndWebAddresses) {
  SysBeep(30);
  SysBeep(30);
  EXPECT_EQ(GetSysBeepCount(), 2u);
  SetCursor(GetCursor(kPointingHandCursorID));
  EXPECT_EQ(backend_->cursorShape(), CursorShape::kPointingHand);
  InitCursor();
  EXPECT_EQ(backend_->cursorShape(), CursorShape::kArrow);
  SetCursorPos(Point{300, 400});
  EXPECT_EQ(backend_->pointerMoves(), (std::vector<Point>{Point{300, 400}}));
  const Rect bounds{100, 100, 200, 300};
  SetPortWindowPort(NewCWindow(nullptr, &bounds, nullptr, WindowVisibility::kVisible, 0, kFirstWindowOfClass,
                               WindowCloseBox::kNone, 0));
  Point local;
  GetMouse(&local);
  EXPECT_EQ(local, (Point{200, 300}));

  Str255 url;
  CopyToStr255("http://www.example.org/help", url);
  EXPECT_EQ(LaunchURL(url), noErr);
  url[0] = 0;
  EXPECT_EQ(LaunchURL(url), paramErr);
  EXPECT_EQ(backend_->openedURLs(), (std::vector<std::string>{"http://www.example.org/help"}));
}

TEST_F(WindowsMenusTest, NumbersToAndFromText) {
  const struct {
    const char* text;
    int32_t number;
  } cases[] = {{"0", 0}, {"42", 42}, {"-17", -17}, {"+5", 5}, {"", 0}, {"2147483647", 2147483647}};
  for (const auto& c : cases) {
    Str255 text;
    CopyToStr255(c.text, text);
    int32_t number = -1;
    StringToNum(text, &number);
    EXPECT_EQ(number, c.number) << c.text;
    if (c.text[0] != '+' && c.text[0] != '\0') {
      NumToString(c.number, text);
      EXPECT_EQ(Str255ToString(text), c.text);
    }
  }
}

TEST_F(WindowsMenusTest, ListHelpersCountCellsAndFrameTheView) {
  const Rect bounds{100, 100, 200, 300};
  WindowRef window = NewCWindow(nullptr, &bounds, nullptr, WindowVisibility::kVisible, 0, kFirstWindowOfClass,
                                WindowCloseBox::kNone, 0);
  const Rect view{10, 10, 50, 60};
  ListBounds empty{0, 0, 0, 1};
  ListHandle list = LNew(&view, &empty, Point{16, 50}, 0, window, true, false, false, true);
  EXPECT_EQ(CountRowsInList(list), 0);
  EXPECT_EQ(CountColumnsInList(list), 1);
  LAddRow(3, 0, list);
  LAddColumn(1, 1, list);
  EXPECT_EQ(CountRowsInList(list), 3);
  EXPECT_EQ(CountColumnsInList(list), 2);

  SetPortWindowPort(window);
  PenSize(3, 3);
  DrawListBorder(list);
  PenState pen;
  GetPenState(&pen);
  EXPECT_EQ(pen.pnSize, (Point{3, 3}));  // restored
  const PortPixels pixels = GetPortPixels(window);
  const auto at = [&](int v, int h) { return pixels.pixels[v * pixels.width + h]; };
  EXPECT_EQ(at(9, 30), 0xFF000000u);   // top edge, one pixel outside the view
  EXPECT_EQ(at(10, 30), 0xFFFFFFFFu);  // one pixel wide
  EXPECT_EQ(at(30, 9), 0xFF000000u);
  EXPECT_EQ(at(30, 60), 0xFF000000u);
  EXPECT_EQ(at(50, 30), 0xFF000000u);
  EXPECT_EQ(at(51, 30), 0xFFFFFFFFu);
}
