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

namespace fw {

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
[[nodiscard]] OSErr GetPreferencesFileRef(FileRef* outFile);

// The name a new file is written under before it replaces the old one: in
// the same folder, so the replacement is one rename, and unique to this
// process, so the two programs never write into each other's.
std::string PreferencesTempFileName();

// What the last ReadPreferences found at the preferences path.
enum class PreferencesFileCondition {
  kMissing,  // no file yet: the quiet, normal case
  kRead,
  // A file that could not be read (no permission, an I/O error, damaged):
  // the defaults stay, and the file is kept before a write replaces it.
  kUnreadable,
  // Read, but written by a newer version, whose settings a rewrite in this
  // version's format would lose: kept before a write replaces it.
  kNewerVersion,
  // A folder, FIFO, socket or device: never opened, never replaced.
  kNotAFile,
};

struct PreferencesFileStatus {
  PreferencesFileCondition condition = PreferencesFileCondition::kMissing;
  OSErr readErr = noErr;  // why the file could not be read
  // The name in the preferences folder that the old file is kept under
  // before the first write replaces it (kUnreadable, kNewerVersion), such as
  // "Framewright Preferences (unreadable 2026-12-09).bak"; empty once kept.
  std::string keepName;
};

}  // namespace fw

// Fills gPrefs from the file; call after SetPreferencesDefaults. No file is
// not an error and leaves gPrefs as it is. Only a regular file is read, and
// without waiting: anything else at the path is an error (notAFileErr).
[[nodiscard]] OSErr ReadPreferences(ProgramFlavor flavor);

namespace fw {

const PreferencesFileStatus& GetPreferencesFileStatus();

// One plain sentence for the user about a preferences file that the last
// ReadPreferences could not use as it is, naming `programName`; empty when
// there is nothing to tell (no file, or a file read as it should be).
std::string PreferencesFileNotice(const std::string& programName);

}  // namespace fw

// Takes the window geometry (and, classic, the digitizer's name) into
// gPrefs, then replaces the file. The new file is complete and flushed before
// it takes the old one's place, so a failed write leaves the previous file as
// it was and no temporary file behind. A file that could not be read is
// first kept under its keepName (if that fails nothing is written); a
// folder, FIFO or device at the path is left alone (notAFileErr).
[[nodiscard]] OSErr WritePreferences(ProgramFlavor flavor);
