// The bytes of the preferences file, apart from any file: the defaults of
// both programs, and the translation between a PrefsStruct and the file's
// image. Kept pure so the file format can be tested and fuzzed on its own.
//
// File layout (shared by both programs, and by files already on users' disks):
//   0   4  reserved
//   4   4  reserved
//   8   1  n, length of the next reserved block, 0 to 150
//   9   n  reserved
//   9+n 2  format version, big-endian (written as 4)
//   11+n   the record image: 224 bytes (Framewright HD) or 96 (classic)
// The record image is the record as it lies in memory, except that the
// window geometry and hundredTimesMovieFPS are big-endian; inputNum and the
// trims are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/platform/error_codes.h"
#include "core/platform/os_errors.h"
#include "core/platform/program_flavor.h"
#include "core/prefs/prefs_struct.h"

namespace fw {

constexpr size_t kPrefsReservedHeaderBytes = 8;  // the two reserved 4-byte fields
constexpr uint8_t kPrefsMaxReservedBlockBytes = 150;
constexpr int16_t kPrefsFileVersion = 4;

// The longest prefix of a file that a reader looks at; anything behind it is
// ignored.
constexpr size_t kPrefsFileMaxUsefulBytes =
    kPrefsReservedHeaderBytes + 1 + kPrefsMaxReservedBlockBytes + 2 + kPrefsRecordSizeHD;

// 224 for Framewright HD, 96 for the classic program.
size_t PrefsRecordSizeBytes(ProgramFlavor flavor);

// HD: the whole record zeroed, 18 fps and the preview on. Classic: its 96
// bytes zeroed (uniqueID is not the classic program's), 15 fps, DV stream
// files, preview on and "DV Video" as the digitizer name.
void SetPreferencesDefaults(PrefsStruct* prefs, ProgramFlavor flavor);

// Reads a file image into *prefs, which should hold the defaults beforehand:
// fields the image does not reach keep their values. A file that ends
// before its version gives eofErr and changes nothing; a reserved block over
// 150 bytes gives kMalformedPreferencesErr and changes nothing. A record image
// shorter than the flavor's record is not an error (the classic program
// writes only 96 bytes): each field that lies wholly in the image is taken,
// a field cut short by the end of the file is not. Older versions are then
// brought up to date. Whatever the bytes, the result is safe to use:
// uniqueID stays NUL-terminated and deviceNameOLD's length byte fits its
// 64-byte field.
[[nodiscard]] OSErr ParsePreferencesFileImage(std::span<const uint8_t> file, ProgramFlavor flavor,
                                              PrefsStruct* prefs);

// The format version a file image carries, if it reaches that far (whatever
// its reserved block length says).
std::optional<int16_t> PreferencesFileImageVersion(std::span<const uint8_t> file);

// The complete file for a record: zeroed reserved fields, an empty reserved
// block, version 4 and the flavor's record image.
std::vector<uint8_t> BuildPreferencesFileImage(const PrefsStruct& prefs, ProgramFlavor flavor);

}  // namespace fw
