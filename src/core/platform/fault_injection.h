// Test seam: makes writes to (or reads of) a chosen file fail, the way a full or failing
// disk would. While nothing is injected the write path pays one relaxed
// atomic load and nothing else.
//
// Faults apply to files opened with OpenFile() after the fault was injected
// (a descriptor is matched to its path when it is opened).
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "core/platform/os_errors.h"

namespace fw {

struct WriteFault {
  std::string path;  // absolute path of the file, as in its FileRef
  // 1-based number of the write call (WriteAtMark or WriteAtOffset, counted
  // over every descriptor of this path) that fails; 0 for none.
  int failOnWriteNumber = 0;
  // Bytes of the failing write that still reach the file before it fails, as
  // a disk that fills up mid-write leaves them.
  size_t partialBytes = 0;
  // Writes that would make the file longer than this fail after writing what
  // fits, like a disk with only this much room for the file.
  uint64_t sizeLimitBytes = std::numeric_limits<uint64_t>::max();
  OSErr code = dskFulErr;
};

// Makes every read of a file fail, as a disk with a bad sector or a file
// its reader may not read would.
struct ReadFault {
  std::string path;  // absolute path of the file, as in its FileRef
  OSErr code = ioErr;
};

// Makes the files under a folder as slow to write as one disk that writes
// `bytesPerSecond`: each write waits until the disk would have finished it,
// writes of different files and threads queuing behind each other as on one
// disk. The bytes are written whole; only the time changes.
struct WriteSlowdown {
  std::string folder;  // absolute; "/" for every file
  uint64_t bytesPerSecond = 0;
};

void InjectWriteFault(const WriteFault& fault);
void InjectReadFault(const ReadFault& fault);
void InjectWriteSlowdown(const WriteSlowdown& slowdown);
// Clears every injected fault, of reads and of writes, and every slowdown.
void ClearWriteFaults();

namespace fault_injection_detail {
// Used by files.cpp only.
bool Armed();
void NoteOpened(int fd, const std::string& path);
void NoteClosed(int fd);
// Decides the fate of a write of `sizeBytes` at `offsetBytes`: returns noErr
// to let it run whole, or an error code with `*allowedBytes` set to how many
// bytes to write before failing with it.
[[nodiscard]] OSErr CheckWrite(int fd, uint64_t offsetBytes, size_t sizeBytes, size_t* allowedBytes);
// The code a read of `fd` fails with, or noErr.
[[nodiscard]] OSErr CheckRead(int fd);
// Waits as long as an injected slowdown says a write of `sizeBytes` to `fd`
// takes (not at all for files no slowdown covers).
void WaitAsSlowDisk(int fd, size_t sizeBytes);
}  // namespace fault_injection_detail

}  // namespace fw
