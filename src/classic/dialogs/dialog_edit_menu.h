// The Edit commands of the program's dialogs on the focused text box, and
// the acceptance test that guards every typed or pasted change to a text
// box (content type and maximum length from the box's reference value).
#pragma once

#include <cstdint>

#include "classic/toolbox/toolbox.h"

constexpr int16_t kEditMenuID = 130;
constexpr int16_t kEditMenuCutItem = 3;
constexpr int16_t kEditMenuCopyItem = 4;
constexpr int16_t kEditMenuPasteItem = 5;
constexpr int16_t kEditMenuClearItem = 6;
constexpr int16_t kEditMenuSelectAllItem = 7;

// Whether `text` (a Str255; null: the clipboard's text) may replace the
// focused text box's selection.
Boolean IsOKToPasteInDialog(DialogRef dialog, ConstStr255Param text);
// Enables Edit items 3 to 7 as the focused box allows, before MenuSelect.
void SetUpEditMenuInDialog(DialogRef dialog);
// Runs Edit item 3 to 7 on the focused text box (beeps without one).
void HandleEditMenuSelectionInDialog(DialogRef dialog, int16_t item);
