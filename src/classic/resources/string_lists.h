// The classic program's string lists, looked up by list number and index
// the way its code refers to them.
#pragma once

#include <cstdint>

#include "core/capture/classic_error_message.h"
#include "core/util/types.h"

// List 128: the program's own strings.
constexpr int16_t kProgramStringListID = 128;
constexpr int16_t kVersionPrefixStringIndex = 1;  // before the version number in the about box
constexpr int16_t kMovieBaseNameStringIndex = 3;  // capture file names, QuickTime movies
constexpr int16_t kDVBaseNameStringIndex = 4;     // capture file names, DV streams
constexpr int16_t kHelpItem1TitleStringIndex = 5;
constexpr int16_t kHelpItem1AddressStringIndex = 6;  // also a web page address
constexpr int16_t kHelpItem2TitleStringIndex = 7;
constexpr int16_t kHelpItem2AddressStringIndex = 8;  // opened by the program menu's item 2 too

// Lists 129, 130 and 133 hold the error alert's texts; their numbers are in
// capture/classic_error_message.h.

// String `index` (from 1) of list `listID`; an empty string when the list or
// the entry does not exist.
void GetIndString(Str255 out, int16_t listID, int16_t index);
