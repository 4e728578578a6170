// Background write threads: one per disk, each draining its ring.
#include "core/writer/background_file_writer.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <new>

#include "core/platform/clocks.h"
#include "core/platform/random.h"
#include "core/writer/async_file_writer_record.h"

std::atomic<BFWThreadTable*> gBFileThreadStruct{nullptr};

namespace {

// Guards the creation of the table and the taking of slots: opens are rare,
// and several producers may open files at once.
std::mutex gTableMutex;

// --- Test seams. gTestHooksOn is the only thing the normal path reads.
std::atomic<bool> gTestHooksOn{false};
std::atomic<bool> gHoldWrites{false};
std::atomic<BFWWriteObserver> gWriteObserver{nullptr};
std::atomic<int64_t> gPollIntervalMs{kBFWPollIntervalMs};
std::atomic<bool> gSuppressSignals{false};
std::atomic<uint64_t> gWriteBehindWindowBytes{kBFWWriteBehindWindowBytes};
std::atomic<BFWSyncObserver> gSyncObserver{nullptr};
std::atomic<int64_t> gSyncIntervalMs{kBFWSyncIntervalMs};
std::atomic<uint64_t> gNextSyncIdentity{0};
std::mutex gHoldMutex;
std::condition_variable gHoldReleased;

void UpdateTestHooksOn() {
  const bool on = gHoldWrites.load() || gWriteObserver.load() != nullptr || gSuppressSignals.load();
  gTestHooksOn.store(on, std::memory_order_relaxed);
}

void WaitWhileHeld() {
  std::unique_lock<std::mutex> lock(gHoldMutex);
  gHoldReleased.wait(lock, [] { return !gHoldWrites.load(); });
}

// Where the thread would write with hooks on: stop at the gate, tell the observer.
void BeforeWriteHooks(const BFWRequest& request) {
  if (gHoldWrites.load()) WaitWhileHeld();
  if (BFWWriteObserver observer = gWriteObserver.load()) observer(request.file, request.data, request.count);
}

BFWThreadTable* GetOrCreateTable(OSErr* outErr) {
  BFWThreadTable* table = gBFileThreadStruct.load(std::memory_order_acquire);
  if (table != nullptr) return table;
  table = new (std::nothrow) BFWThreadTable();
  if (table == nullptr) {
    *outErr = OSErrFromErrno(ENOMEM);
    return nullptr;
  }
  gBFileThreadStruct.store(table, std::memory_order_release);
  return table;
}

OSErr GetThreadForVolumeLocked(BFWThreadTable* table, VolumeRef volume, int16_t* outIndex,
                               ProgramFlavor flavor) {
  const auto disk = static_cast<uint16_t>(MyGetDiskNumberFromVolumeRef(volume));
  int freeSlot = -1;
  for (int i = 0; i < kBFWMaxThreads; ++i) {
    BFWThreadRecord& slot = table->slots[i];
    if (!slot.used.load(std::memory_order_acquire)) {
      freeSlot = i;  // slots are taken in order: the first free one ends the used prefix
      break;
    }
    if (slot.diskNumber == disk) {
      *outIndex = static_cast<int16_t>(i);
      return noErr;
    }
  }
  if (freeSlot < 0) {
    // All used: share the thread of some other disk. The classic random
    // form rounds, so 19 gives 0 to 19 as well.
    const int32_t n = flavor == ProgramFlavor::kHD ? kBFWMaxThreads : kBFWMaxThreads - 1;
    *outIndex = static_cast<int16_t>(MyPositiveRandomNumber(n, flavor));
    return noErr;
  }
  BFWThreadRecord& slot = table->slots[freeSlot];
  // Set before the thread exists, so the thread only ever reads it.
  slot.diskNumber = disk;
  pthread_attr_t attributes;
  int err = pthread_attr_init(&attributes);
  if (err != 0) return OSErrFromErrno(err);
  err = pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  if (err == 0) err = pthread_create(&slot.thread, &attributes, &BFWWorkerThreadEntryPoint, &slot);
  pthread_attr_destroy(&attributes);
  if (err != 0) {
    slot.diskNumber = 0;
    return OSErrFromErrno(err);
  }
  slot.used.store(true, std::memory_order_release);
  *outIndex = static_cast<int16_t>(freeSlot);
  return noErr;
}

void Signal(BFWThreadRecord* slot) {
  if (gTestHooksOn.load(std::memory_order_relaxed) && gSuppressSignals.load()) return;
  {
    std::lock_guard<std::mutex> lock(slot->mutex);
    slot->signaled = true;
  }
  slot->wake.notify_one();
}

uint64_t SyncIntervalNs() {
  return static_cast<uint64_t>(gSyncIntervalMs.load(std::memory_order_relaxed)) * 1000000ull;
}

// Makes what the file's last writes left in the cache durable.
OSErr SyncPending(BFWPendingSync& p) {
  if (p.fd < 0 || p.bytes == 0) return noErr;
  OSErr err = SyncFileData(p.fd);
  p.lastSyncNs = MonotonicNanoseconds();
  p.bytes = 0;
  // A file that cannot be synced (a device, some special file systems) is
  // as durable as it gets.
  if (err == OSErrFromErrno(EINVAL) || err == paramErr) err = noErr;
  if (BFWSyncObserver observer = gSyncObserver.load(std::memory_order_relaxed);
      observer != nullptr && err == noErr) {
    uint64_t sizeBytes = 0;
    if (GetFileSizeBytes(p.fd, &sizeBytes) == noErr) observer(p.identity, sizeBytes);
  }
  return err;
}

void ClosePendingDescriptor(BFWPendingSync& p) {
  if (p.fd >= 0) ::close(p.fd);
  p.fd = -1;
}

// After a write of `count` bytes to `file`, before its result is posted:
// takes the file on as the one to make durable (a duplicate descriptor, so
// that the file may be closed meanwhile). Returns the error of an earlier
// sync of this file, which the write then reports: data it had written
// may be lost.
OSErr NoteWrittenForSync(BFWPendingSync& p, const AFWRecord* file, uint32_t count) {
  if (p.identity != file->syncIdentity) {
    // Another file's data go first; the new file's first write is made
    // durable at once, since nothing of it has been yet.
    (void)SyncPending(p);
    ClosePendingDescriptor(p);
    p = BFWPendingSync{};
    p.identity = file->syncIdentity;
  }
  if (p.err != noErr) {
    const OSErr err = p.err;
    p.err = noErr;
    return err;
  }
  if (p.fd < 0) p.fd = ::fcntl(file->forkRefNum, F_DUPFD_CLOEXEC, 0);  // none: not made durable early
  if (p.fd >= 0) p.bytes += count;
  return noErr;
}

// Syncs when the interval has passed or enough bytes have gone out, or,
// with `idle`, when the interval has passed with the writes paused; the
// duplicate descriptor is let go then. Runs after the write's result is
// posted: the producer goes on meanwhile.
void SyncIfDue(BFWPendingSync& p, bool idle) {
  if (p.fd < 0) return;
  if (p.bytes == 0) {
    // Nothing left to sync: a closed file is not kept open by the thread.
    if (idle) ClosePendingDescriptor(p);
    return;
  }
  const bool intervalPassed = MonotonicNanoseconds() - p.lastSyncNs >= SyncIntervalNs();
  if (!intervalPassed && p.bytes < kBFWSyncIntervalBytes) return;
  p.err = SyncPending(p);
  if (idle) ClosePendingDescriptor(p);
}

// How long a waiting thread may sleep before its pending data are due.
std::chrono::milliseconds WaitTimeout(const BFWPendingSync& p) {
  const int64_t pollMs = gPollIntervalMs.load(std::memory_order_relaxed);
  if (p.fd < 0 || p.bytes == 0) return std::chrono::milliseconds(pollMs);
  const uint64_t dueNs = p.lastSyncNs + SyncIntervalNs();
  const uint64_t now = MonotonicNanoseconds();
  const int64_t dueMs = dueNs > now ? static_cast<int64_t>((dueNs - now + 999999) / 1000000) : 0;
  return std::chrono::milliseconds(std::max<int64_t>(1, std::min(pollMs, dueMs)));
}

}  // namespace

OSErr BFWOpenFile(AFWRecord* record, const FileRef* file) {
  if (record == nullptr || file == nullptr) return paramErr;
  {
    std::lock_guard<std::mutex> lock(gTableMutex);
    OSErr err = noErr;
    if (GetOrCreateTable(&err) == nullptr) return err;
  }
  record->forkRefNum = kNoFile;
  record->threadIndex = 0;
  record->writeStatus.store(noErr, std::memory_order_release);
  record->syncIdentity = gNextSyncIdentity.fetch_add(1, std::memory_order_relaxed) + 1;

  VolumeRef volume = 0;
  OSErr err = MyGetFSRefInfo(file, &volume, nullptr, nullptr);
  if (err != noErr) return err;
  err = BFWGetThreadForVolume(volume, &record->threadIndex, record->flavor);
  if (err != noErr) return err;
  err = OpenFile(*file, OpenMode::kReadWrite, &record->forkRefNum);
  if (err != noErr) return err;
  return MoveMarkToEnd(record->forkRefNum);
}

OSErr BFWGetThreadForVolume(VolumeRef volume, int16_t* outIndex, ProgramFlavor flavor) {
  if (outIndex == nullptr) return paramErr;
  std::lock_guard<std::mutex> lock(gTableMutex);
  OSErr err = noErr;
  BFWThreadTable* table = GetOrCreateTable(&err);
  if (table == nullptr) return err;
  return GetThreadForVolumeLocked(table, volume, outIndex, flavor);
}

OSErr BFWWriteDataAsync(AFWRecord* record, const void* data, uint32_t count) {
  BFWThreadTable* table = gBFileThreadStruct.load(std::memory_order_acquire);
  const int index = record->threadIndex;
  if (table == nullptr || index < 0 || index >= kBFWMaxThreads) return kNoWriteThreadErr;
  BFWThreadRecord* slot = &table->slots[index];
  if (!slot->used.load(std::memory_order_acquire)) return kNoWriteThreadErr;

  // Only re-checks a state the writer has just waited for.
  while (record->writeStatus.load(std::memory_order_acquire) == kAFWWriteInFlight) sched_yield();
  record->writeStatus.store(kAFWWriteInFlight, std::memory_order_release);

  int32_t i;
  {
    std::lock_guard<std::mutex> lock(slot->mutex);
    i = slot->nextRequest;
    slot->nextRequest = (i + 1 == kBFWRingSize) ? 0 : i + 1;
  }
  BFWRequest& request = slot->requests[i];
  // Busy only when 256 requests are outstanding on this thread.
  while (request.busy.load(std::memory_order_acquire) != 0) sched_yield();
  request.data = data;
  request.count = count;
  request.file = record;
  request.busy.store(1, std::memory_order_release);
  Signal(slot);
  return noErr;
}

void BFWWriteBehind(AFWRecord* file, uint32_t countBytes) {
  if (file->writeBehindRefused || countBytes == 0) return;
  uint64_t endBytes = 0;
  // A mark that does not move with the writes (a device) or a range the
  // system does not write back: nothing to do for this file, now or later.
  if (GetMarkBytes(file->forkRefNum, &endBytes) != noErr || endBytes < countBytes ||
      StartWriteback(file->forkRefNum, endBytes - countBytes, countBytes) != noErr) {
    file->writeBehindRefused = true;
    return;
  }
  const uint64_t window = gWriteBehindWindowBytes.load(std::memory_order_relaxed);
  if (endBytes < window) return;
  // Only whole pages can be let go: the ranges end on a boundary of any page
  // size, or the page across each end would stay behind every time.
  constexpr uint64_t kAlignBytes = 64 * 1024;
  const uint64_t dropEndBytes = (endBytes - window) & ~(kAlignBytes - 1);
  if (dropEndBytes > file->writtenBackBytes) {
    // Letting the pages go only spares memory: the data are written either way.
    (void)WaitWritebackAndDropPages(file->forkRefNum, file->writtenBackBytes,
                                    dropEndBytes - file->writtenBackBytes);
    file->writtenBackBytes = dropEndBytes;
  }
}

void BFWDrainRequests(BFWThreadRecord* slot) {
  int32_t next = slot->nextToWrite.load(std::memory_order_relaxed);
  for (;;) {
    BFWRequest& request = slot->requests[next];
    if (request.busy.load(std::memory_order_acquire) != 1) break;
    if (gTestHooksOn.load(std::memory_order_relaxed)) [[unlikely]]
      BeforeWriteHooks(request);
    AFWRecord* file = request.file;
    OSErr result = WriteAtMark(file->forkRefNum, request.data, request.count);
    if (result == noErr) BFWWriteBehind(file, request.count);
    if (result == noErr) result = NoteWrittenForSync(slot->pendingSync, file, request.count);
    // The file's result before the entry is freed: a producer that sees the
    // entry free also sees the status. The record may be closed and freed as
    // soon as this store is seen, so `file` is not touched after it.
    file->writeStatus.store(result, std::memory_order_release);
    request.busy.store(0, std::memory_order_release);
    next = (next + 1 == kBFWRingSize) ? 0 : next + 1;
    slot->nextToWrite.store(next, std::memory_order_relaxed);
    SyncIfDue(slot->pendingSync, false);
  }
}

void* BFWWorkerThreadEntryPoint(void* argument) {
  auto* slot = static_cast<BFWThreadRecord*>(argument);
  if (gTestHooksOn.load(std::memory_order_relaxed) && gHoldWrites.load()) WaitWhileHeld();
  for (;;) {
    // The first turn is the timer that fires at once: it finds what was
    // queued while the thread was starting.
    BFWDrainRequests(slot);
    // The writes have paused: what they left in the cache is made durable
    // once due, so the last frames before a pause are not left there.
    SyncIfDue(slot->pendingSync, true);
    std::unique_lock<std::mutex> lock(slot->mutex);
    if (!slot->signaled) slot->wake.wait_for(lock, WaitTimeout(slot->pendingSync));
    slot->signaled = false;
  }
  return nullptr;
}

void BFWHoldWritesForTesting(bool hold) {
  {
    std::lock_guard<std::mutex> lock(gHoldMutex);
    gHoldWrites.store(hold);
    UpdateTestHooksOn();
  }
  if (!hold) gHoldReleased.notify_all();
}

void BFWSetWriteObserverForTesting(BFWWriteObserver observer) {
  std::lock_guard<std::mutex> lock(gHoldMutex);
  gWriteObserver.store(observer);
  UpdateTestHooksOn();
}

void BFWSetPollIntervalForTesting(int64_t milliseconds) {
  gPollIntervalMs.store(milliseconds > 0 ? milliseconds : kBFWPollIntervalMs);
  // Threads asleep on the old interval wake once and take up the new one.
  if (BFWThreadTable* table = gBFileThreadStruct.load(std::memory_order_acquire)) {
    for (BFWThreadRecord& slot : table->slots) {
      if (!slot.used.load(std::memory_order_acquire)) break;
      std::lock_guard<std::mutex> lock(slot.mutex);
      slot.wake.notify_all();
    }
  }
}

void BFWSetSyncObserverForTesting(BFWSyncObserver observer) {
  gSyncObserver.store(observer, std::memory_order_relaxed);
}

void BFWSetSyncIntervalForTesting(int64_t milliseconds) {
  gSyncIntervalMs.store(milliseconds > 0 ? milliseconds : kBFWSyncIntervalMs, std::memory_order_relaxed);
}

void BFWSetWriteBehindWindowForTesting(uint64_t bytes) {
  gWriteBehindWindowBytes.store(bytes > 0 ? bytes : kBFWWriteBehindWindowBytes, std::memory_order_relaxed);
}

void BFWSuppressSignalsForTesting(bool suppress) {
  std::lock_guard<std::mutex> lock(gHoldMutex);
  gSuppressSignals.store(suppress);
  UpdateTestHooksOn();
}
