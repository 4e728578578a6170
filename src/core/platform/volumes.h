// Volumes and disks: which physical disk holds a file, so that files on one
// disk share one background write thread and files on different disks are
// written in parallel.
#pragma once

#include <cstdint>
#include <string>

#include "core/platform/files.h"

// A mounted file system, named by its device number (st_dev).
using VolumeRef = uint64_t;

// Volume, parent folder (its inode number) and name (the first 255 bytes of
// the UTF-8 name) of a file; each output may be null.
// `name` is a Str255 (length byte, then up to 255 characters).
[[nodiscard]] OSErr MyGetFSRefInfo(const fw::FileRef* ref, VolumeRef* volume, uint64_t* parentDirID,
                                   unsigned char* name);

// The number of the whole disk that holds the volume: a partition counts as
// its parent disk. -1 for network file systems and for file systems without a
// block device (tmpfs, overlay, proc, ...). Numbers are small, handed out in
// the order disks are first seen, and stable for the life of the process.
int16_t MyGetDiskNumberFromVolumeRef(VolumeRef volume);

namespace fw {

// Replaces the disk lookup, so tests can simulate many disks; nullptr
// restores the real one.
using DiskNumberResolver = int16_t (*)(VolumeRef volume);
void SetDiskNumberResolverForTesting(DiskNumberResolver resolver);

// The bytes an ordinary user may still write on the file system that holds
// `folder` (statvfs: available blocks × fragment size).
[[nodiscard]] OSErr GetFreeBytesOfFolder(const std::string& folder, uint64_t* outFreeBytes);

}  // namespace fw
