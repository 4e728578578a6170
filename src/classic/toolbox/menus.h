// The Menu Manager: menus and menu bars made from the program's own
// resource tables, the menu bar shown on screen (as a strip at the top of
// the window it is attached to, or at the top of the main screen), command
// keys, and the Help menu to which a program appends its own items.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "classic/toolbox/toolbox_types.h"

constexpr int16_t kHMHelpMenuID = -16490;

struct MenuItemTemplate {
  std::string_view text;
  char commandKey = 0;  // with the command key: MenuKey finds the item
  bool enabled = true;
};
struct MenuTemplate {
  int16_t id = 0;
  std::string_view title;
  std::span<const MenuItemTemplate> items;
};
struct MenuBarTemplate {
  int16_t id = 0;
  std::span<const int16_t> menuIDs;
};

// Makes the program's menu resources known (static tables, referred to).
void RegisterMenuTemplates(std::span<const MenuTemplate> menus);
void RegisterMenuBarTemplates(std::span<const MenuBarTemplate> menuBars);

// A menu made from its resource (each call makes a fresh menu); null when
// the resource does not exist. Menus made here are owned by the toolbox.
MenuRef GetMenu(int16_t menuID);
MenuRef NewMenu(int16_t menuID, ConstStr255Param title);
// Frees a menu. Pop-up menu controls that showed it are left without a
// menu, and it leaves the menu bar.
void DisposeMenu(MenuRef menu);
// The menu bar resource's menus, made and ready to be installed; an opaque
// list handle, null when the resource does not exist.
struct OpaqueMenuBarHandle;
using MenuBarHandle = OpaqueMenuBarHandle*;
MenuBarHandle GetNewMBar(int16_t menuBarID);
void SetMenuBar(MenuBarHandle menuBar);
void DrawMenuBar();
void InvalMenuBar();
// The menu bar is drawn as a strip above this window's content (null: at
// the top of the main screen).
void SetMenuBarWindow(WindowRef window);
WindowRef GetMenuBarWindow();
// The menu bar's rectangle, global (empty before SetMenuBar).
Rect GetMBarRect();
int16_t GetMBarHeight();

// A menu of the current menu bar, by number (the Help menu included once
// HMGetHelpMenu made it); null when absent.
MenuRef GetMenuHandle(int16_t menuID);
// The menus of the current menu bar, left to right.
std::vector<MenuRef> GetMenuBarMenus();
int16_t GetMenuID(MenuRef menu);
void GetMenuTitle(MenuRef menu, Str255 title);
std::string GetMenuTitleText(MenuRef menu);

int16_t CountMenuItems(MenuRef menu);
void AppendMenuItemText(MenuRef menu, ConstStr255Param text);
void GetMenuItemText(MenuRef menu, int16_t item, Str255 text);
std::string GetMenuItemTextString(MenuRef menu, int16_t item);
void SetMenuItemText(MenuRef menu, int16_t item, ConstStr255Param text);
char GetMenuItemCommandKey(MenuRef menu, int16_t item);
// Item 0 is the whole menu.
void EnableMenuItem(MenuRef menu, int16_t item);
void DisableMenuItem(MenuRef menu, int16_t item);
Boolean IsMenuItemEnabled(MenuRef menu, int16_t item);

// Shows the menus for a click in the menu bar at `startPt` and lets the
// user choose; menu number << 16 | item, 0 when nothing. The chosen menu's
// title stays highlighted until HiliteMenu(0).
int32_t MenuSelect(Point startPt);
// The enabled item of the current menu bar whose command key is `ch`
// (letters in either case): menu number << 16 | item, or 0. Highlights its
// menu's title.
int32_t MenuKey(uint16_t ch);
// Highlights a menu's title (0: none).
void HiliteMenu(int16_t menuID);
int16_t GetHilitedMenu();

// The Help menu, made on first use and placed at the end of the menu bar,
// with *firstCustomItem the number the program's first appended item gets.
[[nodiscard]] OSErr HMGetHelpMenu(MenuRef* helpMenu, uint16_t* firstCustomItem);
