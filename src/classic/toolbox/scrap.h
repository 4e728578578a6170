// The Scrap Manager: the clipboard's 'TEXT' flavour, kept on the desktop
// clipboard by the backend (in memory when headless).
#pragma once

#include <cstdint>

#include "classic/toolbox/toolbox_types.h"

using ScrapFlavorType = OSType;
using ScrapFlavorFlags = uint32_t;
constexpr ScrapFlavorType kScrapFlavorTypeText = FourCC("TEXT");
constexpr ScrapFlavorFlags kScrapFlavorMaskNone = 0;

struct OpaqueScrapRef;
using ScrapRef = OpaqueScrapRef*;

[[nodiscard]] OSErr GetCurrentScrap(ScrapRef* scrap);
[[nodiscard]] OSErr ClearCurrentScrap();
// Only 'TEXT' is kept; other flavours give noTypeErr.
[[nodiscard]] OSErr PutScrapFlavor(ScrapRef scrap, ScrapFlavorType flavor, ScrapFlavorFlags flags,
                                   size_t sizeBytes, const void* data);
// noTypeErr when the clipboard holds no text.
[[nodiscard]] OSErr GetScrapFlavorSize(ScrapRef scrap, ScrapFlavorType flavor, size_t* sizeBytes);
// Copies at most *sizeBytes bytes; *sizeBytes becomes the count copied.
[[nodiscard]] OSErr GetScrapFlavorData(ScrapRef scrap, ScrapFlavorType flavor, size_t* sizeBytes, void* data);
