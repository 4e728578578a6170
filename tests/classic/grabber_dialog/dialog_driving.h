// Driving a dialog on the headless toolbox as a user would: finding its
// controls by their titles and clicking them, picking pop-up choices by name.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "classic/toolbox/headless_backend.h"
#include "classic/toolbox/toolbox.h"
#include "core/util/strings.h"

namespace dialog_driving {

inline std::string WindowTitle(DialogRef dialog) {
  Str255 title;
  GetWTitle(GetDialogWindow(dialog), title);
  return fw::Str255ToString(title);
}
inline ControlRef ItemControl(DialogRef dialog, int16_t item) {
  ControlRef control = nullptr;
  EXPECT_EQ(GetDialogItemAsControl(dialog, item, &control), noErr);
  return control;
}
// The control beside the title text, or null.
inline ControlRef ControlTitled(DialogRef dialog, const std::string& title) {
  for (int16_t item = 1; item < CountDITL(dialog); ++item) {
    ControlRef control = ItemControl(dialog, item);
    if (GetControlKind(control) == ControlKind::kStaticText && GetControlText(control) == title)
      return ItemControl(dialog, static_cast<int16_t>(item + 1));
  }
  return nullptr;
}
inline std::string Shown(ControlRef popup) {
  return GetMenuItemTextString(GetControlPopupMenuHandle(popup), GetControlValue(popup));
}
inline int16_t MenuItemNamed(ControlRef popup, const std::string& name) {
  MenuRef menu = GetControlPopupMenuHandle(popup);
  for (int16_t item = 1; item <= CountMenuItems(menu); ++item)
    if (GetMenuItemTextString(menu, item) == name) return item;
  ADD_FAILURE() << "no choice " << name;
  return 0;
}
inline void ClickAt(ControlRef control, int16_t h) {
  const Rect content = GetWindowContentRectGlobal(GetControlOwner(control));
  Rect box;
  GetControlBounds(control, &box);
  const Point where{static_cast<int16_t>(content.top + (box.top + box.bottom) / 2),
                    static_cast<int16_t>(content.left + h)};
  PostMouseEvent(mouseDown, where, 0);
  PostMouseEvent(mouseUp, where, 0);
}
inline void Click(ControlRef control) {
  Rect box;
  GetControlBounds(control, &box);
  ClickAt(control, static_cast<int16_t>((box.left + box.right) / 2));
}
inline void Pick(fw::HeadlessBackend& backend, ControlRef popup, const std::string& name) {
  ASSERT_NE(popup, nullptr);
  backend.ChooseNextPopupItem(MenuItemNamed(popup, name));
  Click(popup);
}

}  // namespace dialog_driving
