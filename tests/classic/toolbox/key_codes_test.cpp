// Classic key codes from X11 key codes, and the characters of special keys.
#include "classic/toolbox/key_codes.h"

#include <gtest/gtest.h>

#include "classic/toolbox/toolbox_types.h"

using namespace fw;

TEST(KeyCodesTest, X11KeysGiveTheClassicKeyboardsNumbers) {
  const struct {
    uint32_t x11;
    uint8_t classic;
    uint8_t charCode;  // of keys without a character of their own
  } keys[] = {
      {38, 0, 0},   // A
      {53, 7, 0},   // X
      {54, 8, 0},   // C
      {55, 9, 0},   // V
      {25, 13, 0},  // W
      {24, 12, 0},  // Q
      {60, 47, 0},  // period
      {65, 49, 0},  // space
      {36, 36, kReturnCharCode},
      {104, 76, kEnterCharCode},  // keypad Enter
      {9, 53, kEscapeCharCode},
      {23, 48, kTabCharCode},
      {22, 51, kBackspaceCharCode},
      {119, 117, kDeleteCharCode},
      {113, 123, kLeftArrowCharCode},
      {114, 124, kRightArrowCharCode},
      {111, 126, kUpArrowCharCode},
      {116, 125, kDownArrowCharCode},
      {37, kUnknownClassicKeyCode, 0},  // Ctrl alone
      {7, kUnknownClassicKeyCode, 0},
      {100000, kUnknownClassicKeyCode, 0},
  };
  for (const auto& k : keys) {
    EXPECT_EQ(ClassicKeyCodeFromX11(k.x11), k.classic) << k.x11;
    if (k.classic != kUnknownClassicKeyCode) {
      EXPECT_EQ(ClassicCharCodeForSpecialKey(k.classic), k.charCode) << k.x11;
    }
  }
}
