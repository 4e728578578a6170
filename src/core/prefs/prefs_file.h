// The preferences file "Framewright Preferences" in the preferences folder,
// read into and written from gPrefs. Both programs use the same file: the
// classic program reads and writes the first 96 bytes of the record,
// Framewright HD all 224, so each reads what the other wrote.
//
// Framewright HD gets every failure back as a code. The classic program also
// reports it through ReportClassicError (message 4; location 110 reading,
// 310 writing), whose alert its shell puts up.
#pragma once

#include <cstdint>
#include <string>

#include "core/platform/files.h"
#include "core/platform/os_errors.h"
#include "core/platform/program_flavor.h"
#include "core/prefs/prefs_file_image.h"
#include "core/prefs/prefs_struct.h"
#include "core/util/types.h"

constexpr char kPreferencesFileName[] = "Framewright Preferences";

// The classic program's report of a failed preferences read or write.
constexpr int16_t kPrefsErrorMessageIndex = 4;
constexpr int32_t kPrefsReadErrorLocation = 110;
constexpr int32_t kPrefsWriteErrorLocation = 310;

// Where the window the preferences remember lies now. Framewright HD: the
// main window's frame as origin y, origin x, width and height in whole
// pixels. Classic: the setup window's rectangle in global coordinates, its
// top, left, bottom and right stored in y, x, width and height (see
// WindowGeometryFromRect). Returns false while there is no such window.
using PreferencesWindowGeometrySource = bool (*)(MySize* outGeometry);

// Classic: the name of the open video channel's digitizer. Returns false
// while no channel is open.
using PreferencesDeviceNameSource = bool (*)(Str255 outName);

// The shells install these once their windows and channel exist; nullptr
// removes one. Without a geometry source (or without a window) Framewright HD
// stores 0s and the classic program keeps the geometry it read; without a
// device name the classic program keeps the name it read.
void SetPreferencesWindowGeometrySource(PreferencesWindowGeometrySource source);
void SetPreferencesDeviceNameSource(PreferencesDeviceNameSource source);

// The classic setup window's rectangle as mainWindowSize holds it, and back.
MySize WindowGeometryFromRect(const Rect& r);
Rect RectFromWindowGeometry(const MySize& geometry);

// The file in the preferences folder (created when missing).
OSErr GetPreferencesFileRef(FileRef* outFile);

// The name a new file is written under before it replaces the old one: in
// the same folder, so the replacement is one rename, and unique to this
// process, so the two programs never write into each other's.
std::string PreferencesTempFileName();

// Fills gPrefs from the file; call after SetPreferencesDefaults. No file is
// not an error and leaves gPrefs as it is.
OSErr ReadPreferences(ProgramFlavor flavor);

// Takes the window geometry (and, classic, the digitizer's name) into
// gPrefs, then replaces the file. The new file is complete and flushed before
// it takes the old one's place, so a failed write leaves the previous file as
// it was and no temporary file behind.
OSErr WritePreferences(ProgramFlavor flavor);
