// The background write threads: one thread per physical disk (up
// to 20), started the first time a file on that disk is opened and kept for
// the life of the process, each draining a 256-entry ring of write requests
// queued by the asynchronous writer (async_file_writer.h).
//
// Hand-over: a producer fills a ring entry, then sets its `busy` byte with a
// release store; the thread sees it with an acquire load, writes, stores the
// result in the file's writeStatus (release) and only then clears `busy`
// (release). No standalone fences, so ThreadSanitizer can follow it.
//
// Waiting: a condition variable stands in for the run loop, its source and
// its 0.2-second timer. A queued request sets a flag under the slot's mutex
// and notifies, so a signal given before the thread waits is not lost; the
// wait also ends every 0.2 s, and the thread drains once as soon as it
// starts (the timer that fires at once).
#pragma once

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "core/platform/error_codes.h"
#include "core/platform/files.h"
#include "core/platform/os_errors.h"
#include "core/platform/program_flavor.h"
#include "core/platform/volumes.h"
#include "core/writer/async_file_writer.h"

constexpr int kBFWMaxThreads = 20;
constexpr int kBFWRingSize = 256;
// The poll interval of a waiting thread (the run loop timer's).
constexpr int64_t kBFWPollIntervalMs = 200;

struct BFWRequest {
  std::atomic<uint8_t> busy{0};  // 1 while the entry holds a request not yet written
  const void* data = nullptr;
  uint32_t count = 0;
  AFWRecord* file = nullptr;
};

struct BFWThreadRecord {
  pthread_t thread{};
  // Set (release) once `thread` exists: marks the slot used; never cleared.
  std::atomic<bool> used{false};
  // Guards nextRequest and signaled; the condition variable waits on it.
  std::mutex mutex;
  std::condition_variable wake;
  bool signaled = false;    // a request was queued since the thread last looked
  uint16_t diskNumber = 0;  // 0xFFFF for volumes not on a numbered local disk
  BFWRequest requests[kBFWRingSize];
  int32_t nextRequest = 0;  // producers' index, under `mutex`
  // The thread's index. Only the thread writes it; atomic (relaxed) so that
  // tests may read it.
  std::atomic<int32_t> nextToWrite{0};
};

struct BFWThreadTable {
  BFWThreadRecord slots[kBFWMaxThreads];
};

// Allocated on the first BFWOpenFile (or BFWGetThreadForVolume) and never
// freed. Slots are taken in index order, under a lock of this module, so
// several producers may open files at once.
extern std::atomic<BFWThreadTable*> gBFileThreadStruct;

// Binds the record to its disk's thread (record->threadIndex), opens the
// file read/write into record->forkRefNum and moves the mark to the end.
[[nodiscard]] OSErr BFWOpenFile(AFWRecord* record, const fw::FileRef* file);

// Finds the used slot of the volume's disk, or starts a thread in the first
// free slot; when all 20 are used, gives a random one (0 to 19).
[[nodiscard]] OSErr BFWGetThreadForVolume(VolumeRef volume, int16_t* outIndex,
                                          ProgramFlavor flavor = ProgramFlavor::kHD);

// Queues one write of the record's file and returns at once: waits until
// the record has no write in flight, marks it kAFWWriteInFlight, takes the
// next ring entry (waiting for it only when 256 requests are outstanding)
// and wakes the thread. 777 for a slot without a thread, writeStatus left as
// it was.
[[nodiscard]] OSErr BFWWriteDataAsync(AFWRecord* record, const void* data, uint32_t count);

namespace fw {

// Write-behind, after each write of a file's data: the new bytes start for
// the disk at once, and the pages of data more than a window behind the end
// are let go once the syncing thread has them on the disk
// (file_durability.h). So a long capture holds about the window and one
// sync interval (besides the writer's two buffers) in the page cache and
// keeps reusing those pages instead of taking fresh memory, and the writing
// back overlaps the capture instead of piling up for the final sync. No
// write thread waits for the disk: a frame held up in the writer's buffers
// would be lost if the program died. Advisory: where the file system does
// not support it (tmpfs, devices) nothing is done, and its failures are not
// the write's.
constexpr uint64_t kBFWWriteBehindWindowBytes = 64ull << 20;
void BFWWriteBehind(AFWRecord* file, uint32_t countBytes);
uint64_t BFWWriteBehindWindowBytes();

}  // namespace fw

// The thread's body (the argument is its BFWThreadRecord).
void* BFWWorkerThreadEntryPoint(void* slot);

namespace fw {

// Writes every busy entry from nextToWrite on (what the run loop source's
// and the timer's routines do). Runs on the slot's own thread only.
void BFWDrainRequests(BFWThreadRecord* slot);

// --- Test seams. Off, they cost one relaxed atomic load per write and per
// signal, and nothing else.

// While held, every thread stops before each write and before its first
// drain, until released. Makes "a write in flight" deterministic.
void BFWHoldWritesForTesting(bool hold);
// Called on the thread before each write.
using BFWWriteObserver = void (*)(const AFWRecord* file, const void* data, uint32_t count);
void BFWSetWriteObserverForTesting(BFWWriteObserver observer);
// The interval after which a waiting thread looks at its ring unasked;
// 0 restores 200 ms. Waiting threads take it up at once.
void BFWSetPollIntervalForTesting(int64_t milliseconds);
// Queued requests wake nobody; only the poll finds them.
void BFWSuppressSignalsForTesting(bool suppress);
// The write-behind window; 0 restores kBFWWriteBehindWindowBytes.
void BFWSetWriteBehindWindowForTesting(uint64_t bytes);

}  // namespace fw
