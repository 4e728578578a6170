// The video settings panels and the built-in components. Panels are
// components of type 'sgpn', subtype 'vide':
// - "Source" (manufacturer 'sour'): picks the channel's device and its input;
// - "Adjustments" (manufacturer 'adjs', depends on the digitizer): brightness,
//   contrast, saturation and hue, shown only for digitizers that have any;
// - "Compression" (manufacturer 'cmpr'): registered for completeness, never
//   shown (the program offers no choice of codec).
#pragma once

#include "classic/grabber/component_registry.h"

namespace fw {

constexpr OSType kAdjustmentsPanelManufacturer = FourCC("adjs");

void RegisterSettingsPanels();

// Registers, when not yet registered, every built-in component in list
// order: the V4L2 cameras' scan (so they come first), "DV Video", the raw
// test camera, then the settings panels. The program calls it once before
// NGNewVideoChannel.
void RegisterBuiltInGrabberComponents();

}  // namespace fw
