// The asynchronous file writer: appends captured frames to the
// end of one open file through two buffers of its own, handing each filled
// buffer to the background write thread of the file's disk
// (background_file_writer.h), so the capture loop never waits for the disk
// unless the backup buffer can hold no more.
//
// All functions of one writer are called from one thread, the one that
// captures. The writer knows nothing of frames: it appends bytes in the
// order it is given them, after an optional 16-byte media data header.
#pragma once

#include <cstdint>

#include "core/platform/files.h"
#include "core/platform/os_errors.h"
#include "core/platform/program_flavor.h"

struct AFWRecord;  // async_file_writer_record.h; callers never touch its fields
using AFWRef = AFWRecord*;

// writeStatus while a request of the file is queued or being written.
constexpr int32_t kAFWWriteInFlight = 0x7FFFFFFF;

// Opens an existing file for appending and binds it to its disk's write
// thread; with writeHeader, first appends the 16-byte header
// ("wide" atom of 8 bytes, then an "mdat" atom header of size 0). The
// flavor picks the classic variant (growth only up to 4 MiB buffers, any
// non-zero copy flag copies, the classic seconds clock, the classic random
// slot). On failure everything is undone and *outWriter is left untouched.
[[nodiscard]] OSErr AFWOpenFile(const fw::FileRef* file, bool writeHeader, AFWRef* outWriter,
                                ProgramFlavor flavor = ProgramFlavor::kHD);

// Appends `length` bytes. With copy 1 (classic: any non-zero value) the
// bytes are copied before the call returns; otherwise, when the bytes go
// straight to the disk thread, the caller's block must stay unchanged until
// that write has completed. Once any write of the file has failed, every
// call returns that error and appends nothing.
[[nodiscard]] OSErr AFWWriteData(AFWRef writer, const void* data, uint32_t length, uint8_t copy);

// Waits for the write in flight, then writes the parked bytes synchronously.
// After a failed write of the file the parked bytes are dropped and the
// error is returned instead.
[[nodiscard]] OSErr AFWFlushBackupBuffer(AFWRef writer);

// Flushes, waits for the write in flight, closes the file and frees the
// buffers; the record stays allocated. Returns the first error that any
// write of the file met (including one already returned by AFWWriteData),
// else the error of the final flush, else of the close. When it returns, no
// write of the file is pending, and the file holds exactly a prefix of the
// bytes it was given, in order and without gaps: all of them on success,
// after an error as many as reached the file (possibly ending in part of
// the failed write). Its size therefore tells how far the data got.
[[nodiscard]] OSErr AFWCloseFile(AFWRef writer);

// AFWCloseFile (its result dropped), then frees the record. Null does nothing.
void AFWDispose(AFWRef writer);

namespace fw {

// Takes back the last `lengthBytes` bytes given to the writer (a frame the
// user took back): waits until every byte given so far is in the file, cuts
// the file that much shorter, moves the mark to the new end so that later
// bytes follow on without a gap, and makes the cut durable before it
// returns. The cut is one step: at every moment the file holds either all
// the bytes or all but the last `lengthBytes`. paramErr when fewer bytes
// than that follow the header, and nothing changes. After a failed write of
// the file, that error and nothing changes; a failure of the cut itself
// leaves the file as it was; one after it (the mark, the sync) fails every
// later write too.
[[nodiscard]] OSErr AFWTruncateEnd(AFWRef writer, uint64_t lengthBytes);

// Readies the memory the buffers will need for frames of `frameBytes`
// before the first frame comes, so that no growth in the capture loop
// waits for the system to fault memory in: a 4K frame's first growth cost
// tens of milliseconds there, more than a frame period at 50 frames a
// second. Each buffer gets memory for what two growths give for such
// frames (at most what a closed writer keeps). The growth rule still
// decides how many bytes a buffer may hold. Memory the system cannot give
// is no error: the buffers then take it as they grow.
void AFWPrepareForFrames(AFWRef writer, uint32_t frameBytes);

}  // namespace fw
