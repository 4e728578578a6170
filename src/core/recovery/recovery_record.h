// The recovery record of a running capture: everything another run needs to
// finish the capture file should this one be cut short. It lives outside
// the capture file (whose layout stays exactly that of a finished capture),
// one small file per running capture in the program's state folder.
//
// Stored form, all numbers big-endian:
//   0   4  "FWcr"
//   4   2  version (1)
//   6   2  reserved, 0
//   8   4  length of the body that follows
//   12  …  body (fields in the order of CaptureRecoveryRecord below)
//   end 4  CRC-32 (IEEE) of every byte before it
// A reader refuses anything else: another magic or version, a length that
// disagrees with the file, a bad checksum, a field out of its range.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/capture/capture_session.h"
#include "core/platform/folders.h"
#include "core/platform/os_errors.h"
#include "core/platform/program_flavor.h"
#include "core/util/image_description.h"
#include "core/util/types.h"

namespace fw {

constexpr uint16_t kRecoveryRecordVersion = 1;
constexpr size_t kRecoveryRecordMaxBytes = 64 * 1024;
constexpr size_t kRecoveryPathMaxBytes = 4096;

// What a movie's resource says about its frames besides where they lie: the
// same facts the program's own finishing would gather at the stop.
struct RecoveryMovieFacts {
  uint32_t width = 0;  // of the track
  uint32_t height = 0;
  int32_t timeScale = 0;  // hundredTimesMovieFPS
  bool flipH = false;
  bool flipV = false;
  bool setClip = false;  // the classic program's trims
  Rect clip;
  ImageDescription description;  // of the frames: codec, size, depth, colour tags
};

struct CaptureRecoveryRecord {
  ProgramFlavor flavor = ProgramFlavor::kHD;  // the program that wrote it
  CaptureFileFormat format = CaptureFileFormat::kQuickTimeMovie;
  std::string capturePath;  // absolute
  // The file's inode when the capture made it: a file put in its place since
  // is not the capture and is left alone.
  uint64_t fileInode = 0;
  uint32_t frameDataSize = 0;  // bytes of every frame
  RecoveryMovieFacts movie;    // for a QuickTime movie only
};

// The stored form of a record.
std::vector<uint8_t> SerialiseRecoveryRecord(const CaptureRecoveryRecord& record);

// Reads a stored record. paramErr for anything damaged, with `*problem` (may
// be null) saying what in a few words.
[[nodiscard]] OSErr ParseRecoveryRecord(const uint8_t* data, size_t sizeBytes, CaptureRecoveryRecord* out,
                                        std::string* problem);

// The program's state folder: $XDG_STATE_HOME (when absolute) or
// ~/.local/state, then "framewright-hd" or "framewright".
[[nodiscard]] OSErr GetRecoveryFolder(ProgramFlavor flavor, FolderCreation creation, std::string* outPath);

// The record's file in `folder` for a capture file: named after the path,
// so that a capture to the same path replaces a stale record.
std::string RecoveryRecordPath(const std::string& folder, const std::string& capturePath);

// Writes the record under a temporary name, makes it durable, renames it
// into place and makes the folder durable too: a crash leaves either no
// record or a whole one.
[[nodiscard]] OSErr WriteRecoveryRecordFile(const std::string& path, const CaptureRecoveryRecord& record);

// Reads and checks a record file (a regular file only, of at most
// kRecoveryRecordMaxBytes).
[[nodiscard]] OSErr ReadRecoveryRecordFile(const std::string& path, CaptureRecoveryRecord* out,
                                           std::string* problem);

// Makes a folder's entries durable (fsync of the folder).
[[nodiscard]] OSErr SyncFolder(const std::string& folder);

// The record files in a folder, sorted; none when the folder is missing.
std::vector<std::string> ListRecoveryRecordFiles(const std::string& folder);

}  // namespace fw
