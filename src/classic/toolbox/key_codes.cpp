// X11 (evdev) key codes → classic key codes.
#include "classic/toolbox/key_codes.h"

#include <array>

#include "classic/toolbox/toolbox_types.h"

namespace fw {

namespace {

// Indexed by the Linux input code (X11 key code − 8).
constexpr std::array<uint8_t, 139> MakeTable() {
  std::array<uint8_t, 139> t{};
  for (auto& v : t) v = kUnknownClassicKeyCode;
  t[1] = 53;     // Escape
  t[2] = 18;     // 1
  t[3] = 19;     // 2
  t[4] = 20;     // 3
  t[5] = 21;     // 4
  t[6] = 23;     // 5
  t[7] = 22;     // 6
  t[8] = 26;     // 7
  t[9] = 28;     // 8
  t[10] = 25;    // 9
  t[11] = 29;    // 0
  t[12] = 27;    // minus
  t[13] = 24;    // equal
  t[14] = 51;    // backspace
  t[15] = 48;    // Tab
  t[16] = 12;    // Q
  t[17] = 13;    // W
  t[18] = 14;    // E
  t[19] = 15;    // R
  t[20] = 17;    // T
  t[21] = 16;    // Y
  t[22] = 32;    // U
  t[23] = 34;    // I
  t[24] = 31;    // O
  t[25] = 35;    // P
  t[26] = 33;    // [
  t[27] = 30;    // ]
  t[28] = 36;    // Return
  t[30] = 0;     // A
  t[31] = 1;     // S
  t[32] = 2;     // D
  t[33] = 3;     // F
  t[34] = 5;     // G
  t[35] = 4;     // H
  t[36] = 38;    // J
  t[37] = 40;    // K
  t[38] = 37;    // L
  t[39] = 41;    // ;
  t[40] = 39;    // '
  t[41] = 50;    // `
  t[43] = 42;    // backslash
  t[44] = 6;     // Z
  t[45] = 7;     // X
  t[46] = 8;     // C
  t[47] = 9;     // V
  t[48] = 11;    // B
  t[49] = 45;    // N
  t[50] = 46;    // M
  t[51] = 43;    // comma
  t[52] = 47;    // period
  t[53] = 44;    // slash
  t[55] = 67;    // keypad *
  t[57] = 49;    // space
  t[59] = 122;   // F1
  t[60] = 120;   // F2
  t[61] = 99;    // F3
  t[62] = 118;   // F4
  t[63] = 96;    // F5
  t[64] = 97;    // F6
  t[65] = 98;    // F7
  t[66] = 100;   // F8
  t[67] = 101;   // F9
  t[68] = 109;   // F10
  t[69] = 71;    // Num Lock: the keypad's clear key
  t[71] = 89;    // keypad 7
  t[72] = 91;    // keypad 8
  t[73] = 92;    // keypad 9
  t[74] = 78;    // keypad -
  t[75] = 86;    // keypad 4
  t[76] = 87;    // keypad 5
  t[77] = 88;    // keypad 6
  t[78] = 69;    // keypad +
  t[79] = 83;    // keypad 1
  t[80] = 84;    // keypad 2
  t[81] = 85;    // keypad 3
  t[82] = 82;    // keypad 0
  t[83] = 65;    // keypad .
  t[86] = 10;    // the ISO key beside left shift
  t[87] = 103;   // F11
  t[88] = 111;   // F12
  t[96] = 76;    // keypad Enter
  t[98] = 75;    // keypad /
  t[102] = 115;  // Home
  t[103] = 126;  // up
  t[104] = 116;  // page up
  t[105] = 123;  // left
  t[106] = 124;  // right
  t[107] = 119;  // End
  t[108] = 125;  // down
  t[109] = 121;  // page down
  t[110] = 114;  // Insert: the Help key's place
  t[111] = 117;  // forward delete
  t[117] = 81;   // keypad =
  t[138] = 114;  // Help
  return t;
}

constexpr std::array<uint8_t, 139> kTable = MakeTable();

}  // namespace

uint8_t ClassicKeyCodeFromX11(uint32_t x11KeyCode) {
  if (x11KeyCode < 8 || x11KeyCode - 8 >= kTable.size()) return kUnknownClassicKeyCode;
  return kTable[x11KeyCode - 8];
}

uint8_t ClassicCharCodeForSpecialKey(uint8_t classicKeyCode) {
  switch (classicKeyCode) {
    case 36:
      return kReturnCharCode;
    case 76:
      return kEnterCharCode;
    case 53:
      return kEscapeCharCode;
    case 48:
      return kTabCharCode;
    case 51:
      return kBackspaceCharCode;
    case 117:
      return kDeleteCharCode;
    case 123:
      return kLeftArrowCharCode;
    case 124:
      return kRightArrowCharCode;
    case 126:
      return kUpArrowCharCode;
    case 125:
      return kDownArrowCharCode;
    case 115:
      return 1;  // Home
    case 119:
      return 4;  // End
    case 116:
      return 11;  // page up
    case 121:
      return 12;  // page down
    case 114:
      return 5;  // help
    default:
      return 0;
  }
}

}  // namespace fw
