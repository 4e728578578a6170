// Minimal alias records: the data of an 'alis' data reference that names a
// file by its absolute path. A movie refers to its media data through one
// while it is being built; the finished file replaces it with a reference to
// the file itself (self_data_ref.h).
//
// Layout, big-endian: user type (4 bytes, 0), record size (2), version (2,
// value 2), object kind (2, 0 for a file), then tagged items of a 16-bit
// tag, a 16-bit length and that many bytes padded to even: tag 18 the
// absolute path in UTF-8; tag 0xFFFF, length 0, ends the list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/platform/files.h"

namespace fw {

constexpr uint16_t kAliasPathTag = 18;

// A path that is empty or not absolute gives paramErr; one too long for the
// record's 16-bit size gives bdNamErr.
[[nodiscard]] OSErr NewMinimalAliasRecord(const FileRef& file, std::vector<uint8_t>* outRecord);

// The path an alias record names; false when the bytes are no such record.
bool ReadAliasRecordPath(const uint8_t* data, size_t sizeBytes, std::string* outPath);

}  // namespace fw
