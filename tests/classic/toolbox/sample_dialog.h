// A sample dialog (a text box, a check box, a pop-up menu, two buttons) and
// a small modal loop over it, run the same way headless and on screen so
// both backends can be held to the same item results.
#pragma once

#include <string>

#include "classic/toolbox/toolbox.h"

constexpr int16_t kSampleDialogID = 500;
constexpr int16_t kSamplePopupMenuID = 600;
constexpr int16_t kSampleMenuBarID = 128;
constexpr int16_t kSampleOKItem = 1;
constexpr int16_t kSampleCancelItem = 2;
constexpr int16_t kSampleTextItem = 3;
constexpr int16_t kSampleCheckItem = 4;
constexpr int16_t kSamplePopupItem = 5;

void RegisterSampleResources();

// Runs the dialog until OK or Cancel; "item=1 text=… check=0|1 popup=n".
std::string RunSampleDialog(DialogRef dialog);
