// The writer's record, shared by the asynchronous writer, its background
// write threads, and the tests and benchmarks that look inside. Callers of
// the writer never touch it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "core/platform/files.h"
#include "core/platform/program_flavor.h"
#include "core/writer/async_file_writer.h"

// Initial size of each buffer.
constexpr int32_t kAFWInitialBufferSize = 0x80000;
// Added to twice the frame's length when a buffer grows.
constexpr int32_t kAFWGrowthMargin = 51200;
// A buffer grows only while its size is at most this (Framewright HD / classic).
constexpr int32_t kAFWGrowthLimitHD = 0x1FFFFFFF;
constexpr int32_t kAFWGrowthLimitClassic = 0x3FFFFF;
constexpr int32_t kAFWHeaderLength = 16;

namespace fw {

// A growable block of bytes standing in for a locked handle. The memory
// behind it never moves and is not handed back and forth with the system
// while a capture runs: the block holds address space for the largest size a
// buffer may reach, and makes memory of it usable in steps of whole huge
// pages, faulted in at once when the size grows rather than page by page
// while frames are copied in. Freed blocks are kept (a bounded few, with a
// bounded amount of memory) for the next capture's writer. The writer's
// growth rule alone decides the size; this only decides where it lives.
class AFWBlock {
 public:
  AFWBlock() = default;
  AFWBlock(const AFWBlock&) = delete;
  AFWBlock& operator=(const AFWBlock&) = delete;
  ~AFWBlock() { Free(); }

  uint8_t* get() const { return bytes_; }
  // SetHandleSize: resizes keeping the contents; memFullErr when the size
  // is not representable or no memory is left (the block is then unchanged).
  [[nodiscard]] OSErr Resize(int64_t newSizeBytes);
  // The same for a block whose contents need not be kept.
  [[nodiscard]] OSErr Replace(int64_t newSizeBytes) { return Resize(newSizeBytes); }
  // Makes memory for `sizeBytes` usable and faulted in ahead of a size
  // that may come to need it; what the block holds does not change.
  // memFullErr when no memory is left.
  [[nodiscard]] OSErr Commit(size_t sizeBytes);
  void Free();

  // Bytes made usable and faulted in: at least the size, whole huge pages.
  size_t committedBytes() const { return committedBytes_; }

 private:
  uint8_t* bytes_ = nullptr;    // aligned to a huge page, inside the mapping
  uint8_t* mapping_ = nullptr;  // the address space held
  size_t mappingBytes_ = 0;
  size_t committedBytes_ = 0;
};

}  // namespace fw

// Memory is made usable in steps of this size (a huge page where the system
// has them).
constexpr size_t kAFWCommitStepBytes = size_t{2} << 20;
// At most this many freed blocks are kept for the next writer (one writer's
// two buffers), each with at most this much of its memory; the rest goes back.
constexpr int kAFWKeptBlocks = 2;
constexpr size_t kAFWKeptBytesPerBlock = size_t{128} << 20;

struct AFWRecord {
  // The open file's descriptor (the data fork's reference number); kNoFile
  // when closed. Written by the producer only while nothing is in flight.
  int forkRefNum = fw::kNoFile;
  // Slot (0 to 19) of the background write thread that serves this file.
  int16_t threadIndex = 0;
  // 0: idle; kAFWWriteInFlight: a request is queued or being written; other:
  // the error of the last background write (sticky until close). Set to
  // kAFWWriteInFlight only by the producer, back to a result only by the
  // background thread (release), read with acquire, so whoever sees a
  // result also sees everything the write did.
  std::atomic<int32_t> writeStatus{0};
  uint8_t writeHeader = 0;
  // The two buffers; their sizes are kept beside them, as the handles' were.
  fw::AFWBlock buffer[2];
  int32_t bufferUsed[2] = {0, 0};  // bytes parked, not yet handed to a write
  int32_t bufferSize[2] = {0, 0};
  int8_t currentBuffer = 0;  // the backup buffer: receives data next

  // Of this port. Producer-only.
  ProgramFlavor flavor = ProgramFlavor::kHD;
  // The first failed write of the file (synchronous, or background as seen
  // by the producer): once set, nothing more is appended to the file.
  OSErr firstWriteError = noErr;
  // Named in the message of the 50-second stop.
  std::string path;

  // Write-behind (background_file_writer.h): the end of the data already on
  // the disk with their pages let go, and whether the file system refused
  // it. Touched only by whoever writes the file at the time: the thread
  // while a request is in flight, or the producer in a synchronous flush.
  uint64_t writtenBackBytes = 0;
  bool writeBehindRefused = false;
  // Tells this open file from any other the thread has made durable, also
  // one opened later at the same address. Set when the file is opened.
  uint64_t syncIdentity = 0;

  // What the producer has paid the disk so far: time spent in the wait for
  // the write in flight and in synchronous flushes of the backup buffer, the
  // number of both, and of the flushes alone. Plain producer-only fields (a clock read at each end of
  // a wait, none on the path that does not wait), so that a benchmark can
  // tell, between two calls, whether the capture loop was held up.
  uint64_t diskWaitNanoseconds = 0;
  uint32_t diskWaitCount = 0;
  uint32_t syncFlushCount = 0;
};

namespace fw {

// Test seam: the next `count` buffer allocations or growths fail as if no
// memory were left. Read only where a buffer is allocated or grown.
void AFWFailBufferAllocationsForTesting(int count);

}  // namespace fw
