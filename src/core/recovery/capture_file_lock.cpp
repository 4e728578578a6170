// The capture file's lock.
#include "core/recovery/capture_file_lock.h"

#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>

namespace fw {

OSErr CaptureFileLock::Acquire(const FileRef& file, std::unique_ptr<CaptureFileLock>* outLock,
                               uint64_t* outInode) {
  int fd = kNoFile;
  if (const OSErr err = OpenRegularFileForReading(file, &fd); err != noErr) return err;
  int result;
  do {
    result = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  const int lockErrno = result != 0 ? errno : 0;
  struct stat st {};
  const bool stated = result == 0 && ::fstat(fd, &st) == 0;
  const int statErrno = errno;
  if (result != 0 || !stated) {
    (void)CloseFile(fd);
    if (result != 0) return lockErrno == EWOULDBLOCK ? kCaptureFileBusyErr : OSErrFromErrno(lockErrno);
    return OSErrFromErrno(statErrno);
  }
  if (outInode != nullptr) *outInode = st.st_ino;
  outLock->reset(new CaptureFileLock(fd));
  return noErr;
}

CaptureFileLock::~CaptureFileLock() {
  // Closing the only descriptor of this open file lets the lock go.
  (void)CloseFile(fd_);
}

}  // namespace fw
