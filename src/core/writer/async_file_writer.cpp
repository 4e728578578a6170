// The asynchronous file writer: two buffers, one write in flight at a time.
#include "core/writer/async_file_writer.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "core/platform/clocks.h"
#include "core/writer/async_file_writer_record.h"
#include "core/writer/background_file_writer.h"

using namespace fw;

namespace {

constexpr unsigned kWaitStepMicroseconds = 2000;
constexpr uint64_t kWaitLimitSeconds = 50;

// The few points where the classic deliverable differs; the algorithm is one.
struct FlavorRules {
  int32_t growthLimit;  // a buffer grows only while its size is at most this
  bool copyAnyNonZero;  // classic: any non-zero copy flag copies; HD: only 1
  uint64_t (*seconds)();
};

uint64_t SecondsHD() {
  return GetSeconds();
}

const FlavorRules& RulesOf(ProgramFlavor flavor) {
  static const FlavorRules kHD{kAFWGrowthLimitHD, false, &SecondsHD};
  static const FlavorRules kClassic{kAFWGrowthLimitClassic, true, &GetSecondsLong};
  return flavor == ProgramFlavor::kClassic ? kClassic : kHD;
}

bool Copies(const AFWRecord* w, uint8_t copy) {
  return RulesOf(w->flavor).copyAnyNonZero ? copy != 0 : copy == 1;
}

[[noreturn]] void GiveUpWaiting(const AFWRecord* w) {
  // ExitToShell: no alert can be shown while the disk does not answer. One
  // line, in one write, then out without running destructors under the
  // threads' feet.
  const std::string line = "Framewright: a write to \"" + w->path + "\" did not complete within " +
                           std::to_string(kWaitLimitSeconds) + " seconds; quitting.\n";
  ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
  (void)ignored;
  _exit(EXIT_FAILURE);
}

// Adds the time since `startNanoseconds` to the producer's disk wait.
void NoteDiskWait(AFWRecord* w, uint64_t startNanoseconds) {
  const uint64_t now = MonotonicNanoseconds();
  if (now > startNanoseconds) w->diskWaitNanoseconds += now - startNanoseconds;
  ++w->diskWaitCount;
}

// The wait: at once when nothing is in flight; otherwise re-check every
// 2 ms and end the process after 50 seconds.
void WaitForWriteInFlight(AFWRecord* w) {
  if (w->writeStatus.load(std::memory_order_acquire) != kAFWWriteInFlight) return;
  const uint64_t waitStart = MonotonicNanoseconds();
  const FlavorRules& rules = RulesOf(w->flavor);
  const uint64_t start = rules.seconds();
  for (;;) {
    if (w->writeStatus.load(std::memory_order_acquire) != kAFWWriteInFlight) break;
    ::usleep(kWaitStepMicroseconds);
    const uint64_t now = rules.seconds();
    if (now > start && now - start > kWaitLimitSeconds) GiveUpWaiting(w);
  }
  NoteDiskWait(w, waitStart);
}

// After the wait: takes a failed background write into the record's sticky
// error. Returns the file's first write error, noErr while none.
OSErr NoteBackgroundResult(AFWRecord* w) {
  const int32_t status = w->writeStatus.load(std::memory_order_acquire);
  if (status != noErr && status != kAFWWriteInFlight && w->firstWriteError == noErr) {
    w->firstWriteError = status;
  }
  return w->firstWriteError;
}

void FreeBuffers(AFWRecord* w) {
  for (int i = 0; i < 2; ++i) {
    w->buffer[i].Free();
    w->bufferUsed[i] = 0;
    w->bufferSize[i] = 0;
  }
  w->currentBuffer = 0;
}

}  // namespace

OSErr AFWOpenFile(const FileRef* file, bool writeHeader, AFWRef* outWriter, ProgramFlavor flavor) {
  if (file == nullptr || outWriter == nullptr) return paramErr;
  std::unique_ptr<AFWRecord> w(new (std::nothrow) AFWRecord());
  if (w == nullptr) return OSErrFromErrno(ENOMEM);
  w->flavor = flavor;
  w->path = file->path;
  w->writeHeader = writeHeader ? 1 : 0;

  OSErr err = noErr;
  for (int i = 0; i < 2 && err == noErr; ++i) {
    w->bufferSize[i] = kAFWInitialBufferSize;
    err = w->buffer[i].Resize(kAFWInitialBufferSize);
  }
  if (err == noErr) err = BFWOpenFile(w.get(), file);
  if (err == noErr && w->writeHeader) {
    static const uint8_t kHeader[kAFWHeaderLength] = {0, 0, 0, 8, 'w', 'i', 'd', 'e',
                                                      0, 0, 0, 0, 'm', 'd', 'a', 't'};
    while (w->writeStatus.load(std::memory_order_acquire) == kAFWWriteInFlight) {
    }
    err = WriteAtMark(w->forkRefNum, kHeader, sizeof kHeader);
  }
  if (err != noErr) {
    // The error that made the open fail is the one to report.
    (void)AFWCloseFile(w.get());
    return err;
  }
  // The caller owns the record from here, through AFWDispose.
  *outWriter = w.release();
  return noErr;
}

OSErr AFWWriteData(AFWRef w, const void* data, uint32_t length, uint8_t copy) {
  if (w == nullptr || w->forkRefNum == kNoFile) return paramErr;
  // Once a write of the file has failed, nothing more is appended: the bytes
  // after the failure would land at a shifted place.
  if (w->firstWriteError != noErr) return w->firstWriteError;

  int cur = w->currentBuffer;
  const int32_t status = w->writeStatus.load(std::memory_order_acquire);
  if (status != noErr && status != kAFWWriteInFlight) {
    w->firstWriteError = status;
    return status;
  }
  const bool threadBusy = status == kAFWWriteInFlight;
  bool dataPlaced = false;  // the data are in the backup buffer already

  if (threadBusy || w->bufferUsed[cur] != 0) {
    // Park the data behind the bytes already waiting in the backup buffer.
    const int64_t needed = int64_t{w->bufferUsed[cur]} + length;
    if (needed > w->bufferSize[cur] && w->bufferSize[cur] <= RulesOf(w->flavor).growthLimit) {
      const int64_t grown = int64_t{w->bufferSize[cur]} + 2 * int64_t{length} + kAFWGrowthMargin;
      // A failed growth is no error: the data then go through the flush.
      if (w->buffer[cur].Resize(grown) == noErr) w->bufferSize[cur] = static_cast<int32_t>(grown);
    }
    if (needed > w->bufferSize[cur]) {
      // Cannot hold it: write the parked bytes out here, so the file keeps
      // its order, then hand the new data over on their own.
      OSErr err = AFWFlushBackupBuffer(w);
      if (err != noErr) return err;
    } else {
      std::memcpy(w->buffer[cur].get() + w->bufferUsed[cur], data, length);
      w->bufferUsed[cur] += static_cast<int32_t>(length);
      if (threadBusy) return noErr;  // they go with the next hand-over
      dataPlaced = true;
    }
  }

  WaitForWriteInFlight(w);
  if (OSErr err = NoteBackgroundResult(w); err != noErr) return err;

  // Hand over.
  cur = w->currentBuffer;
  const void* block;
  uint32_t count;
  if (w->bufferUsed[cur] != 0) {
    block = w->buffer[cur].get();
    count = static_cast<uint32_t>(w->bufferUsed[cur]);
    w->bufferUsed[cur] = 0;
    w->currentBuffer = static_cast<int8_t>(1 - cur);
  } else if (!dataPlaced && Copies(w, copy)) {
    if (w->bufferSize[cur] < int64_t{length}) {
      // Not added to the old size: the buffer holds nothing to keep.
      const int64_t grown = 2 * int64_t{length} + kAFWGrowthMargin;
      OSErr err = w->buffer[cur].Replace(grown);
      if (err != noErr) return err;
      w->bufferSize[cur] = static_cast<int32_t>(grown);
    }
    std::memcpy(w->buffer[cur].get(), data, length);
    block = w->buffer[cur].get();
    count = length;
    w->currentBuffer = static_cast<int8_t>(1 - cur);
  } else {
    block = data;
    count = length;
  }
  const OSErr err = BFWWriteDataAsync(w, block, count);
  // A hand-over that failed may have lost parked bytes the caller was told
  // were taken: appending more would leave a gap.
  if (err != noErr) w->firstWriteError = err;
  return err;
}

void fw::AFWPrepareForFrames(AFWRef w, uint32_t frameBytes) {
  if (w == nullptr || frameBytes == 0) return;
  const int64_t growth = 2 * int64_t{frameBytes} + kAFWGrowthMargin;
  const auto wanted =
      static_cast<size_t>(std::min<int64_t>(kAFWInitialBufferSize + 2 * growth, kAFWKeptBytesPerBlock));
  for (AFWBlock& block : w->buffer) (void)block.Commit(wanted);
}

OSErr AFWFlushBackupBuffer(AFWRef w) {
  if (w == nullptr) return paramErr;
  WaitForWriteInFlight(w);
  const int cur = w->currentBuffer;
  if (OSErr failed = NoteBackgroundResult(w); failed != noErr) {
    // The failed write may have left part of its bytes: what is parked would
    // land at a shifted place. Drop it.
    w->bufferUsed[cur] = 0;
    return failed;
  }
  if (w->bufferUsed[cur] == 0) return noErr;
  const uint64_t flushStart = MonotonicNanoseconds();
  const OSErr err = w->forkRefNum == kNoFile ? paramErr
                                             : WriteAtMark(w->forkRefNum, w->buffer[cur].get(),
                                                           static_cast<size_t>(w->bufferUsed[cur]));
  if (err == noErr) BFWWriteBehind(w, static_cast<uint32_t>(w->bufferUsed[cur]));
  NoteDiskWait(w, flushStart);
  ++w->syncFlushCount;
  w->bufferUsed[cur] = 0;
  if (err != noErr) w->firstWriteError = err;
  return err;
}

OSErr AFWCloseFile(AFWRef w) {
  if (w == nullptr) return paramErr;
  OSErr result = AFWFlushBackupBuffer(w);
  // Only re-checks the state the flush has just waited for.
  while (w->writeStatus.load(std::memory_order_acquire) == kAFWWriteInFlight) {
  }
  if (result == noErr) result = NoteBackgroundResult(w);
  if (w->forkRefNum != kNoFile) {
    const OSErr closed = CloseFile(w->forkRefNum);
    if (result == noErr) result = closed;
  }
  w->writeStatus.store(noErr, std::memory_order_release);
  w->forkRefNum = kNoFile;
  w->threadIndex = 0;
  w->firstWriteError = noErr;
  FreeBuffers(w);
  return result;
}

void AFWDispose(AFWRef w) {
  if (w == nullptr) return;
  // Documented: the result is dropped (callers that want it close first).
  (void)AFWCloseFile(w);
  delete w;
}

namespace fw {

OSErr AFWTruncateEnd(AFWRef w, uint64_t lengthBytes) {
  if (w == nullptr || w->forkRefNum == kNoFile) return paramErr;
  // Everything given so far reaches the file first: the bytes to take back
  // may still sit in a buffer, and those before them must not move.
  if (OSErr err = AFWFlushBackupBuffer(w); err != noErr) return err;
  uint64_t endBytes = 0;
  if (OSErr err = GetMarkBytes(w->forkRefNum, &endBytes); err != noErr) return err;
  const uint64_t headerBytes = w->writeHeader ? kAFWHeaderLength : 0;
  if (endBytes < headerBytes || endBytes - headerBytes < lengthBytes) return paramErr;
  const uint64_t newEndBytes = endBytes - lengthBytes;
  if (OSErr err = TruncateFile(w->forkRefNum, newEndBytes); err != noErr) return err;
  // The mark still points past the new end: a later write there would leave
  // a hole of zeros inside the frame data.
  OSErr err = MoveMarkToEnd(w->forkRefNum);
  if (err == noErr) {
    // A kill needs nothing more (the cut is in the system's hands at once);
    // a power cut needs the new size on the disk, or the taken-back frame
    // could come back in a recovered movie.
    err = SyncFileData(w->forkRefNum);
    if (err == OSErrFromErrno(EINVAL) || err == paramErr) err = noErr;  // a file that cannot be synced
  }
  if (err != noErr) w->firstWriteError = err;
  return err;
}

}  // namespace fw
