// Files: the stand-ins for file references, data forks and their mark.
//
// A FileRef names a file by its absolute path. An open file is a plain file
// descriptor; writes "at the mark" go to the descriptor's current offset and
// advance it, exactly like a fork written from its mark. Every function
// returns a File Manager code (see os_errors.h); the caller, who knows what
// the file is for, decides what to tell the user.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/platform/os_errors.h"

namespace fw {

struct FileRef {
  std::string path;  // absolute
};

// Descriptor value of a file that is not open.
constexpr int kNoFile = -1;

enum class OpenMode { kReadOnly, kReadWrite };

// Makes a reference from a path, made absolute against the working folder.
// An empty path gives bdNamErr.
[[nodiscard]] OSErr MakeFileRef(const std::string& path, FileRef* outRef);

// Creates an empty file, replacing (truncating) one that exists.
[[nodiscard]] OSErr CreateEmptyFile(const FileRef& file);

[[nodiscard]] OSErr OpenFile(const FileRef& file, OpenMode mode, int* outFd);

// Opens a file for reading only when it is a regular file (or a link to
// one): fnfErr when nothing is there, notAFileErr for a folder, FIFO,
// socket or device, which is not even opened (a FIFO would block, a device
// may act on being opened). Never waits.
[[nodiscard]] OSErr OpenRegularFileForReading(const FileRef& file, int* outFd);
[[nodiscard]] OSErr CloseFile(int fd);

// Moves the mark to the end of the file, so later writes append.
[[nodiscard]] OSErr MoveMarkToEnd(int fd);

// Writes all `sizeBytes` at the mark and advances it, looping over short
// writes; what cannot be completed is an error (a full disk gives dskFulErr).
[[nodiscard]] OSErr WriteAtMark(int fd, const void* data, size_t sizeBytes);

// Writes all `sizeBytes` at an absolute 64-bit offset; the mark is unchanged.
[[nodiscard]] OSErr WriteAtOffset(int fd, uint64_t offsetBytes, const void* data, size_t sizeBytes);

// Reads up to `sizeBytes` at the mark; `*outRead` gets the count read (fewer
// only at the end of the file). Reading nothing at all at the end is eofErr.
[[nodiscard]] OSErr ReadAtMark(int fd, void* data, size_t sizeBytes, size_t* outRead);

// Reads exactly `sizeBytes` at an absolute offset; a short file gives eofErr.
[[nodiscard]] OSErr ReadAtOffset(int fd, uint64_t offsetBytes, void* data, size_t sizeBytes);

[[nodiscard]] OSErr GetFileSizeBytes(int fd, uint64_t* outSizeBytes);
[[nodiscard]] OSErr TruncateFile(int fd, uint64_t sizeBytes);

// Forces the file's data to the disk (fdatasync).
[[nodiscard]] OSErr SyncFileData(int fd);

// The mark: where the next write at the mark goes.
[[nodiscard]] OSErr GetMarkBytes(int fd, uint64_t* outOffsetBytes);

// Write-behind for a file that is streamed and not read back. The first
// starts writing a range to the disk without waiting (sync_file_range); the
// second waits until a range is on the disk and lets its cached pages go
// (posix_fadvise), so the stream neither fills the page cache nor leaves
// all its data for the final sync.
[[nodiscard]] OSErr StartWriteback(int fd, uint64_t offsetBytes, uint64_t sizeBytes);
[[nodiscard]] OSErr WaitWritebackAndDropPages(int fd, uint64_t offsetBytes, uint64_t sizeBytes);
// Lets the cached pages of a range go without waiting: pages still dirty
// (not on the disk yet) stay, the others are dropped.
[[nodiscard]] OSErr DropCachedPages(int fd, uint64_t offsetBytes, uint64_t sizeBytes);

[[nodiscard]] OSErr DeleteFile(const FileRef& file);

// Atomically replaces `to` with `from` (rename within one folder).
[[nodiscard]] OSErr RenameFile(const FileRef& from, const FileRef& to);

bool FileExists(const FileRef& file);

// A file size limit (RLIMIT_FSIZE) then fails the write that would pass it
// with EFBIG, a full disk (dskFulErr) to the caller, instead of killing the
// program with its capture unfinished (SIGXFSZ is ignored).
void TreatFileSizeLimitAsFullDisk();

// The folder part and the name part of a reference.
std::string FolderOf(const FileRef& file);
std::string NameOf(const FileRef& file);

}  // namespace fw
