// Menus and the menu bar from the program's resource tables.
#include "classic/toolbox/menus.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "classic/toolbox/toolbox_state.h"

using namespace fw;

struct OpaqueMenuBarHandle {
  std::vector<int16_t> menuIDs;
};

namespace {

std::map<int16_t, const MenuTemplate*>& MenuTemplates() {
  static std::map<int16_t, const MenuTemplate*> templates;
  return templates;
}
std::map<int16_t, const MenuBarTemplate*>& MenuBarTemplates() {
  static std::map<int16_t, const MenuBarTemplate*> templates;
  return templates;
}
// Menu bar handles live for the process, as resources did.
std::vector<std::unique_ptr<OpaqueMenuBarHandle>>& MenuBarHandles() {
  static std::vector<std::unique_ptr<OpaqueMenuBarHandle>> handles;
  return handles;
}

MenuRef Checked(MenuRef menu) {
  if (menu == nullptr || !ToolboxIsRunning()) return nullptr;
  for (const auto& m : TB().menus) {
    if (m.get() == menu) return menu;
  }
  return nullptr;
}

OpaqueMenuRef::Item* ItemOf(MenuRef menu, int16_t item) {
  if (Checked(menu) == nullptr || item < 1 || item > static_cast<int16_t>(menu->items.size())) return nullptr;
  return &menu->items[static_cast<size_t>(item - 1)];
}

void Changed() {
  if (TB().backend) TB().backend->MenuBarChanged();
}

}  // namespace

void RegisterMenuTemplates(std::span<const MenuTemplate> menus) {
  for (const MenuTemplate& t : menus) MenuTemplates()[t.id] = &t;
}
void RegisterMenuBarTemplates(std::span<const MenuBarTemplate> menuBars) {
  for (const MenuBarTemplate& t : menuBars) MenuBarTemplates()[t.id] = &t;
}

void fw::ResetMenus() {
  ToolboxState& tb = TB();
  tb.menuBar.clear();
  tb.menuBarSet = false;
  tb.helpMenu = nullptr;
  tb.menuBarWindow = nullptr;
  tb.hilitedMenu = 0;
  tb.menus.clear();
}

MenuRef NewMenu(int16_t menuID, ConstStr255Param title) {
  auto menu = std::make_unique<OpaqueMenuRef>();
  menu->id = menuID;
  menu->title = title != nullptr ? Str255ToString(title) : std::string();
  MenuRef ref = menu.get();
  TB().menus.push_back(std::move(menu));
  return ref;
}

void DisposeMenu(MenuRef menu) {
  if (Checked(menu) == nullptr) return;
  ToolboxState& tb = TB();
  for (const auto& window : tb.windows) {
    for (const auto& control : window->controls) {
      if (control->popupMenu == menu) control->popupMenu = nullptr;
    }
  }
  const bool inMenuBar = std::find(tb.menuBar.begin(), tb.menuBar.end(), menu) != tb.menuBar.end();
  std::erase(tb.menuBar, menu);
  if (tb.helpMenu == menu) tb.helpMenu = nullptr;
  std::erase_if(tb.menus, [&](const auto& m) { return m.get() == menu; });
  if (inMenuBar) Changed();
}

MenuRef GetMenu(int16_t menuID) {
  auto it = MenuTemplates().find(menuID);
  if (it == MenuTemplates().end()) return nullptr;
  Str255 title;
  CopyToStr255(it->second->title, title);
  MenuRef menu = NewMenu(menuID, title);
  for (const MenuItemTemplate& item : it->second->items) {
    menu->items.push_back({std::string(item.text), item.commandKey, item.enabled});
  }
  return menu;
}

MenuBarHandle GetNewMBar(int16_t menuBarID) {
  auto it = MenuBarTemplates().find(menuBarID);
  if (it == MenuBarTemplates().end()) return nullptr;
  auto handle = std::make_unique<OpaqueMenuBarHandle>();
  handle->menuIDs.assign(it->second->menuIDs.begin(), it->second->menuIDs.end());
  MenuBarHandles().push_back(std::move(handle));
  return MenuBarHandles().back().get();
}

void SetMenuBar(MenuBarHandle menuBar) {
  if (menuBar == nullptr) return;
  ToolboxState& tb = TB();
  tb.menuBar.clear();
  for (int16_t id : menuBar->menuIDs) {
    MenuRef menu = GetMenu(id);
    if (menu != nullptr) tb.menuBar.push_back(menu);
  }
  if (tb.helpMenu != nullptr) tb.menuBar.push_back(tb.helpMenu);
  tb.menuBarSet = true;
  Changed();
}

void DrawMenuBar() {
  Changed();
}
void InvalMenuBar() {
  Changed();
}

void SetMenuBarWindow(WindowRef window) {
  TB().menuBarWindow = CheckedWindow(window);
  Changed();
  if (window != nullptr) NoteWindowChanged(window, WindowChange::kGeometry);
}
WindowRef GetMenuBarWindow() {
  return TB().menuBarWindow;
}
void fw::ForgetMenuBarWindow(WindowRef window) {
  if (TB().menuBarWindow == window) {
    TB().menuBarWindow = nullptr;
    Changed();
  }
}

Rect GetMBarRect() {
  ToolboxState& tb = TB();
  if (!tb.menuBarSet) return Rect{};
  if (WindowRef host = tb.menuBarWindow; host != nullptr && host->visible) {
    const Rect& c = host->bounds;
    return Rect{static_cast<int16_t>(c.top - kMenuBarHeight), c.left, c.top, c.right};
  }
  const Rect screen = GetGDeviceBounds(GetMainDevice());
  return Rect{screen.top, screen.left, static_cast<int16_t>(screen.top + kMenuBarHeight), screen.right};
}
int16_t GetMBarHeight() {
  return kMenuBarHeight;
}

MenuRef GetMenuHandle(int16_t menuID) {
  for (MenuRef menu : TB().menuBar) {
    if (menu->id == menuID) return menu;
  }
  return nullptr;
}
std::vector<MenuRef> GetMenuBarMenus() {
  return TB().menuBar;
}
int16_t GetMenuID(MenuRef menu) {
  return Checked(menu) != nullptr ? menu->id : 0;
}
void GetMenuTitle(MenuRef menu, Str255 title) {
  CopyToStr255(GetMenuTitleText(menu), title);
}
std::string GetMenuTitleText(MenuRef menu) {
  return Checked(menu) != nullptr ? menu->title : std::string();
}

int16_t CountMenuItems(MenuRef menu) {
  return Checked(menu) != nullptr ? static_cast<int16_t>(menu->items.size()) : 0;
}
void AppendMenuItemText(MenuRef menu, ConstStr255Param text) {
  if (Checked(menu) == nullptr) return;
  menu->items.push_back({Str255ToString(text), 0, true});
  Changed();
}
void GetMenuItemText(MenuRef menu, int16_t item, Str255 text) {
  CopyToStr255(GetMenuItemTextString(menu, item), text);
}
std::string GetMenuItemTextString(MenuRef menu, int16_t item) {
  auto* entry = ItemOf(menu, item);
  return entry != nullptr ? entry->text : std::string();
}
void SetMenuItemText(MenuRef menu, int16_t item, ConstStr255Param text) {
  if (auto* entry = ItemOf(menu, item)) {
    entry->text = Str255ToString(text);
    Changed();
  }
}
char GetMenuItemCommandKey(MenuRef menu, int16_t item) {
  auto* entry = ItemOf(menu, item);
  return entry != nullptr ? entry->commandKey : 0;
}

void EnableMenuItem(MenuRef menu, int16_t item) {
  if (item == 0 && Checked(menu) != nullptr) {
    menu->enabled = true;
  } else if (auto* entry = ItemOf(menu, item)) {
    entry->enabled = true;
  }
  Changed();
}
void DisableMenuItem(MenuRef menu, int16_t item) {
  if (item == 0 && Checked(menu) != nullptr) {
    menu->enabled = false;
  } else if (auto* entry = ItemOf(menu, item)) {
    entry->enabled = false;
  }
  Changed();
}
Boolean IsMenuItemEnabled(MenuRef menu, int16_t item) {
  if (Checked(menu) == nullptr || !menu->enabled) return false;
  if (item == 0) return true;
  auto* entry = ItemOf(menu, item);
  return entry != nullptr && entry->enabled;
}

int32_t MenuSelect(Point startPt) {
  ToolboxState& tb = TB();
  if (!tb.menuBarSet) return 0;
  // The pressing button is the menu's: its release belongs to the choice.
  WaitMouseUp();
  const int32_t result = tb.backend->TrackMenuBar(startPt);
  const int16_t menuID = static_cast<int16_t>(result >> 16);
  const int16_t item = static_cast<int16_t>(result & 0xFFFF);
  if (menuID == 0 || item == 0 || !IsMenuItemEnabled(GetMenuHandle(menuID), item)) return 0;
  HiliteMenu(menuID);
  return result;
}

int32_t MenuKey(uint16_t ch) {
  const int key = std::toupper(ch & 0xFF);
  if (key == 0) return 0;
  for (MenuRef menu : TB().menuBar) {
    for (size_t i = 0; i < menu->items.size(); ++i) {
      const auto& item = menu->items[i];
      if (item.commandKey == 0 || std::toupper(static_cast<unsigned char>(item.commandKey)) != key) continue;
      const int16_t number = static_cast<int16_t>(i + 1);
      if (!IsMenuItemEnabled(menu, number)) return 0;
      HiliteMenu(menu->id);
      return (static_cast<int32_t>(menu->id) << 16) | number;
    }
  }
  return 0;
}

void HiliteMenu(int16_t menuID) {
  if (TB().hilitedMenu == menuID) return;
  TB().hilitedMenu = menuID;
  Changed();
}
int16_t GetHilitedMenu() {
  return TB().hilitedMenu;
}

OSErr HMGetHelpMenu(MenuRef* helpMenu, uint16_t* firstCustomItem) {
  ToolboxState& tb = TB();
  if (tb.helpMenu == nullptr) {
    Str255 title;
    CopyToStr255("Help", title);
    tb.helpMenu = NewMenu(kHMHelpMenuID, title);
    if (tb.menuBarSet) tb.menuBar.push_back(tb.helpMenu);
    Changed();
  }
  if (helpMenu != nullptr) *helpMenu = tb.helpMenu;
  // The desktop has no help items of its own: the program's come first.
  if (firstCustomItem != nullptr) *firstCustomItem = static_cast<uint16_t>(CountMenuItems(tb.helpMenu) + 1);
  return noErr;
}
