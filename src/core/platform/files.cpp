// Files on POSIX descriptors, with errno translated to File Manager codes.
#include "core/platform/files.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "core/platform/fault_injection.h"

namespace fw {

namespace {

OSErr LastError() {
  return OSErrFromErrno(errno);
}

// Bytes handed to one write()/pwrite(). The page cache serves a large call
// with large folios, whose allocation can cost far more than the copy: on a
// virtual machine, 2 GiB written in calls of 4 MiB and more took about
// twice the system time of the same bytes in calls of 1 MiB (bench/README.md).
// One call per MiB costs nothing measurable anywhere.
constexpr size_t kMaxBytesPerWriteCall = 1 << 20;

// write()/pwrite() until every byte is out. A call that writes nothing
// without an error would loop forever, so it counts as a full disk.
template <typename WriteOnce>
OSErr WriteFully(const uint8_t* bytes, size_t sizeBytes, WriteOnce writeOnce) {
  size_t done = 0;
  while (done < sizeBytes) {
    ssize_t n = writeOnce(bytes + done, std::min(sizeBytes - done, kMaxBytesPerWriteCall), done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    if (n == 0) return dskFulErr;
    done += static_cast<size_t>(n);
  }
  return noErr;
}

// Applies an injected fault, if any, to a write about to happen at `offset`.
// Returns noErr to go on with the whole write, or the fault's code after the
// bytes the fault lets through have been written.
template <typename WriteSome>
OSErr ApplyFault(int fd, uint64_t offset, const void* data, size_t sizeBytes, WriteSome writeSome) {
  size_t allowed = 0;
  OSErr fault = fault_injection_detail::CheckWrite(fd, offset, sizeBytes, &allowed);
  if (fault == noErr) return noErr;
  if (allowed > 0) writeSome(data, allowed);
  return fault;
}

}  // namespace

OSErr MakeFileRef(const std::string& path, FileRef* outRef) {
  if (path.empty()) return bdNamErr;
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  if (ec) return OSErrFromErrno(ec.value());
  outRef->path = absolute.lexically_normal().string();
  return noErr;
}

OSErr CreateEmptyFile(const FileRef& file) {
  int fd = ::open(file.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return LastError();
  ::close(fd);
  return noErr;
}

OSErr OpenFile(const FileRef& file, OpenMode mode, int* outFd) {
  int flags = (mode == OpenMode::kReadWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC;
  int fd = ::open(file.path.c_str(), flags);
  if (fd < 0) return LastError();
  if (fault_injection_detail::Armed()) fault_injection_detail::NoteOpened(fd, file.path);
  *outFd = fd;
  return noErr;
}

OSErr OpenRegularFileForReading(const FileRef& file, int* outFd) {
  struct stat st {};
  if (::stat(file.path.c_str(), &st) != 0) return LastError();
  if (!S_ISREG(st.st_mode)) return notAFileErr;
  // Something else may have taken the file's place since the look; without
  // blocking, the open cannot hang on it, and the second look refuses it.
  int fd = ::open(file.path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return LastError();
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return notAFileErr;
  }
  if (fault_injection_detail::Armed()) fault_injection_detail::NoteOpened(fd, file.path);
  *outFd = fd;
  return noErr;
}

OSErr CloseFile(int fd) {
  if (fault_injection_detail::Armed()) fault_injection_detail::NoteClosed(fd);
  // The descriptor is released even when close() reports an error, so it is
  // never retried; the error still tells the caller the data may be lost.
  if (::close(fd) != 0 && errno != EINTR) return LastError();
  return noErr;
}

OSErr MoveMarkToEnd(int fd) {
  if (::lseek(fd, 0, SEEK_END) < 0) return LastError();
  return noErr;
}

OSErr WriteAtMark(int fd, const void* data, size_t sizeBytes) {
  auto writeSome = [fd](const void* bytes, size_t n) {
    return WriteFully(static_cast<const uint8_t*>(bytes), n,
                      [fd](const uint8_t* p, size_t left, size_t) { return ::write(fd, p, left); });
  };
  if (fault_injection_detail::Armed()) {
    fault_injection_detail::WaitAsSlowDisk(fd, sizeBytes);
    off_t mark = ::lseek(fd, 0, SEEK_CUR);
    OSErr fault = ApplyFault(fd, mark < 0 ? 0 : static_cast<uint64_t>(mark), data, sizeBytes, writeSome);
    if (fault != noErr) return fault;
  }
  return writeSome(data, sizeBytes);
}

OSErr WriteAtOffset(int fd, uint64_t offsetBytes, const void* data, size_t sizeBytes) {
  auto writeSome = [fd, offsetBytes](const void* bytes, size_t n) {
    return WriteFully(static_cast<const uint8_t*>(bytes), n,
                      [fd, offsetBytes](const uint8_t* p, size_t left, size_t done) {
                        return ::pwrite(fd, p, left, static_cast<off_t>(offsetBytes + done));
                      });
  };
  if (fault_injection_detail::Armed()) {
    fault_injection_detail::WaitAsSlowDisk(fd, sizeBytes);
    OSErr fault = ApplyFault(fd, offsetBytes, data, sizeBytes, writeSome);
    if (fault != noErr) return fault;
  }
  return writeSome(data, sizeBytes);
}

OSErr ReadAtMark(int fd, void* data, size_t sizeBytes, size_t* outRead) {
  if (fault_injection_detail::Armed()) {
    if (const OSErr fault = fault_injection_detail::CheckRead(fd); fault != noErr) {
      *outRead = 0;
      return fault;
    }
  }
  size_t done = 0;
  auto* bytes = static_cast<uint8_t*>(data);
  while (done < sizeBytes) {
    ssize_t n = ::read(fd, bytes + done, sizeBytes - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      *outRead = done;
      return LastError();
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  *outRead = done;
  return (done == 0 && sizeBytes > 0) ? eofErr : noErr;
}

OSErr ReadAtOffset(int fd, uint64_t offsetBytes, void* data, size_t sizeBytes) {
  if (fault_injection_detail::Armed()) {
    if (const OSErr fault = fault_injection_detail::CheckRead(fd); fault != noErr) return fault;
  }
  size_t done = 0;
  auto* bytes = static_cast<uint8_t*>(data);
  while (done < sizeBytes) {
    ssize_t n = ::pread(fd, bytes + done, sizeBytes - done, static_cast<off_t>(offsetBytes + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    if (n == 0) return eofErr;
    done += static_cast<size_t>(n);
  }
  return noErr;
}

OSErr GetFileSizeBytes(int fd, uint64_t* outSizeBytes) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return LastError();
  *outSizeBytes = static_cast<uint64_t>(st.st_size);
  return noErr;
}

OSErr TruncateFile(int fd, uint64_t sizeBytes) {
  if (::ftruncate(fd, static_cast<off_t>(sizeBytes)) != 0) return LastError();
  return noErr;
}

OSErr SyncFileData(int fd) {
  if (::fdatasync(fd) != 0) return LastError();
  return noErr;
}

OSErr GetMarkBytes(int fd, uint64_t* outOffsetBytes) {
  const off_t mark = ::lseek(fd, 0, SEEK_CUR);
  if (mark < 0) return LastError();
  *outOffsetBytes = static_cast<uint64_t>(mark);
  return noErr;
}

OSErr StartWriteback(int fd, uint64_t offsetBytes, uint64_t sizeBytes) {
  if (::sync_file_range(fd, static_cast<off_t>(offsetBytes), static_cast<off_t>(sizeBytes),
                        SYNC_FILE_RANGE_WRITE) != 0) {
    return LastError();
  }
  return noErr;
}

OSErr WaitWritebackAndDropPages(int fd, uint64_t offsetBytes, uint64_t sizeBytes) {
  constexpr unsigned kWriteAndWait =
      SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
  if (::sync_file_range(fd, static_cast<off_t>(offsetBytes), static_cast<off_t>(sizeBytes), kWriteAndWait) !=
      0) {
    return LastError();
  }
  // posix_fadvise returns its error rather than setting errno.
  const int err = ::posix_fadvise(fd, static_cast<off_t>(offsetBytes), static_cast<off_t>(sizeBytes),
                                  POSIX_FADV_DONTNEED);
  return err == 0 ? noErr : OSErrFromErrno(err);
}

OSErr DropCachedPages(int fd, uint64_t offsetBytes, uint64_t sizeBytes) {
  // posix_fadvise returns its error rather than setting errno.
  const int err = ::posix_fadvise(fd, static_cast<off_t>(offsetBytes), static_cast<off_t>(sizeBytes),
                                  POSIX_FADV_DONTNEED);
  return err == 0 ? noErr : OSErrFromErrno(err);
}

OSErr DeleteFile(const FileRef& file) {
  if (::unlink(file.path.c_str()) != 0) return LastError();
  return noErr;
}

OSErr RenameFile(const FileRef& from, const FileRef& to) {
  if (::rename(from.path.c_str(), to.path.c_str()) != 0) return LastError();
  return noErr;
}

bool FileExists(const FileRef& file) {
  struct stat st {};
  return ::stat(file.path.c_str(), &st) == 0;
}

void TreatFileSizeLimitAsFullDisk() {
  ::signal(SIGXFSZ, SIG_IGN);
}

std::string FolderOf(const FileRef& file) {
  return std::filesystem::path(file.path).parent_path().string();
}

std::string NameOf(const FileRef& file) {
  return std::filesystem::path(file.path).filename().string();
}

}  // namespace fw
