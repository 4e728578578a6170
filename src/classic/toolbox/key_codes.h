// Keys as the classic platform numbers them. The key code names the
// physical key (A is 0 wherever a layout puts its letter), so it is derived
// from the X11 key code (the evdev code + 8), and command-key shortcuts such
// as Ctrl+period work on any layout. Backends use these to build key events.
#pragma once

#include <cstdint>

namespace fw {

// The classic key code of an X11 key code; 0xFF for keys the classic
// keyboard did not have.
uint8_t ClassicKeyCodeFromX11(uint32_t x11KeyCode);

// The character code of the keys that type no character of their own
// (arrows, Return, Enter, Escape, Tab, backspace, forward delete, Home, End,
// page up and down, help), by classic key code; 0 for other keys.
uint8_t ClassicCharCodeForSpecialKey(uint8_t classicKeyCode);

constexpr uint8_t kUnknownClassicKeyCode = 0xFF;

}  // namespace fw
