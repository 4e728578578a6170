// The lock a running capture holds on its file, so that a recovery in
// another run never finishes a capture that is still being written. An
// advisory lock (flock) on a descriptor of its own: the system lets it go
// when the holder ends in any way, a crash or a kill included.
#pragma once

#include <cstdint>
#include <memory>

#include "core/platform/files.h"
#include "core/platform/os_errors.h"

namespace fw {

// Someone else holds the file (the File Manager's "file is busy").
constexpr OSErr kCaptureFileBusyErr = -47;

class CaptureFileLock {
 public:
  // Takes the lock without waiting. The file must be a regular file (a
  // folder, device or FIFO gives notAFileErr and is not even opened for
  // long); kCaptureFileBusyErr while another holder has it. `*outInode`
  // (may be null) gets the file's inode, read through the locked descriptor.
  [[nodiscard]] static OSErr Acquire(const FileRef& file, std::unique_ptr<CaptureFileLock>* outLock,
                                     uint64_t* outInode);
  ~CaptureFileLock();
  CaptureFileLock(const CaptureFileLock&) = delete;
  CaptureFileLock& operator=(const CaptureFileLock&) = delete;

  // The locked descriptor, open for reading.
  int fd() const { return fd_; }

 private:
  explicit CaptureFileLock(int fd) : fd_(fd) {}
  int fd_;
};

}  // namespace fw
