// Background write threads: one per disk, each draining its ring.
#include "core/writer/background_file_writer.h"

#include <sched.h>

#include <cerrno>
#include <chrono>
#include <new>

#include "core/platform/random.h"
#include "core/writer/async_file_writer_record.h"
#include "core/writer/file_durability.h"

using namespace fw;

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

void fw::BFWWriteBehind(AFWRecord* file, uint32_t countBytes) {
  if (file->writeBehindRefused || countBytes == 0) return;
  uint64_t endBytes = 0;
  // A mark that does not move with the writes (a device) or a range the
  // system does not write back: nothing to do for this file, now or later.
  if (GetMarkBytes(file->forkRefNum, &endBytes) != noErr || endBytes < countBytes ||
      StartWriteback(file->forkRefNum, endBytes - countBytes, countBytes) != noErr) {
    file->writeBehindRefused = true;
  }
  // The pages more than the window behind the end are let go by the
  // syncing thread once they are on the disk (file_durability.h): waiting
  // for the disk here would hold up the writes behind this one, and a
  // frame held up in the writer's buffers is lost if the program dies.
}

uint64_t fw::BFWWriteBehindWindowBytes() {
  return gWriteBehindWindowBytes.load(std::memory_order_relaxed);
}

void fw::BFWDrainRequests(BFWThreadRecord* slot) {
  int32_t next = slot->nextToWrite.load(std::memory_order_relaxed);
  for (;;) {
    BFWRequest& request = slot->requests[next];
    if (request.busy.load(std::memory_order_acquire) != 1) break;
    if (gTestHooksOn.load(std::memory_order_relaxed)) [[unlikely]]
      BeforeWriteHooks(request);
    AFWRecord* file = request.file;
    OSErr result = WriteAtMark(file->forkRefNum, request.data, request.count);
    if (result == noErr) BFWWriteBehind(file, request.count);
    // An earlier sync of the file that failed fails this write: data it
    // had written may be lost.
    if (result == noErr) result = BFWNoteWrittenForDurability(file, request.count);
    // The file's result before the entry is freed: a producer that sees the
    // entry free also sees the status. The record may be closed and freed as
    // soon as this store is seen, so `file` is not touched after it.
    file->writeStatus.store(result, std::memory_order_release);
    request.busy.store(0, std::memory_order_release);
    next = (next + 1 == kBFWRingSize) ? 0 : next + 1;
    slot->nextToWrite.store(next, std::memory_order_relaxed);
  }
}

void* BFWWorkerThreadEntryPoint(void* argument) {
  auto* slot = static_cast<BFWThreadRecord*>(argument);
  if (gTestHooksOn.load(std::memory_order_relaxed) && gHoldWrites.load()) WaitWhileHeld();
  for (;;) {
    // The first turn is the timer that fires at once: it finds what was
    // queued while the thread was starting.
    BFWDrainRequests(slot);
    std::unique_lock<std::mutex> lock(slot->mutex);
    if (!slot->signaled) {
      slot->wake.wait_for(lock, std::chrono::milliseconds(gPollIntervalMs.load(std::memory_order_relaxed)));
    }
    slot->signaled = false;
  }
  return nullptr;
}

void fw::BFWHoldWritesForTesting(bool hold) {
  {
    std::lock_guard<std::mutex> lock(gHoldMutex);
    gHoldWrites.store(hold);
    UpdateTestHooksOn();
  }
  if (!hold) gHoldReleased.notify_all();
}

void fw::BFWSetWriteObserverForTesting(BFWWriteObserver observer) {
  std::lock_guard<std::mutex> lock(gHoldMutex);
  gWriteObserver.store(observer);
  UpdateTestHooksOn();
}

void fw::BFWSetPollIntervalForTesting(int64_t milliseconds) {
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

void fw::BFWSetWriteBehindWindowForTesting(uint64_t bytes) {
  gWriteBehindWindowBytes.store(bytes > 0 ? bytes : kBFWWriteBehindWindowBytes, std::memory_order_relaxed);
}

void fw::BFWSuppressSignalsForTesting(bool suppress) {
  std::lock_guard<std::mutex> lock(gHoldMutex);
  gSuppressSignals.store(suppress);
  UpdateTestHooksOn();
}
