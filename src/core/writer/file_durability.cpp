// The syncing thread of the write threads' files.
#include "core/writer/file_durability.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "core/platform/clocks.h"
#include "core/platform/files.h"
#include "core/writer/async_file_writer_record.h"
#include "core/writer/background_file_writer.h"

namespace fw {

namespace {

std::atomic<BFWSyncObserver> gSyncObserver{nullptr};
std::atomic<int64_t> gSyncIntervalMs{kBFWSyncIntervalMs};

// A file idle this long with nothing left to sync is let go.
constexpr uint64_t kForgetIdleNs = 1'000'000'000;

uint64_t SyncIntervalNs() {
  return static_cast<uint64_t>(gSyncIntervalMs.load(std::memory_order_relaxed)) * 1'000'000ull;
}

struct FileState {
  int fd = -1;              // a duplicate of the file's descriptor; -1 when none
  uint64_t bytes = 0;       // written since the last sync began
  uint64_t lastSyncNs = 0;  // when the last sync began; 0 for none yet
  uint64_t lastWriteNs = 0;
  bool syncing = false;
  OSErr err = noErr;  // of a failed sync, for the file's next write
  // The end of the pages let go (only the syncing thread touches it).
  uint64_t droppedEndBytes = 0;
};

// After a sync, the pages more than the write-behind window behind the end
// are on the disk: they are let go, so a long capture does not fill the
// page cache. Only whole 64 KiB blocks, so no page is left behind at the
// edges whatever the page size.
void DropSyncedPages(int fd, uint64_t sizeBytes, uint64_t* droppedEndBytes) {
  const uint64_t window = BFWWriteBehindWindowBytes();
  if (sizeBytes <= window) return;
  constexpr uint64_t kAlignBytes = 64 * 1024;
  const uint64_t dropEndBytes = (sizeBytes - window) & ~(kAlignBytes - 1);
  if (dropEndBytes <= *droppedEndBytes) return;
  // Letting the pages go only spares memory: the data are on the disk either way.
  (void)DropCachedPages(fd, *droppedEndBytes, dropEndBytes - *droppedEndBytes);
  *droppedEndBytes = dropEndBytes;
}

class Syncer {
 public:
  OSErr NoteWritten(const AFWRecord* file, uint32_t countBytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!started_) {
      std::thread([this] { Run(); }).detach();
      started_ = true;
    }
    FileState& f = files_[file->syncIdentity];
    if (f.err != noErr) {
      const OSErr err = f.err;
      f.err = noErr;
      return err;
    }
    if (f.fd < 0) f.fd = ::fcntl(file->forkRefNum, F_DUPFD_CLOEXEC, 0);
    if (f.fd < 0) {
      // No descriptor to spare: the file is only as durable as the system
      // makes it on its own.
      files_.erase(file->syncIdentity);
      return noErr;
    }
    f.bytes += countBytes;
    f.lastWriteNs = MonotonicNanoseconds();
    if (Due(f, f.lastWriteNs)) wake_.notify_one();
    return noErr;
  }

 private:
  static bool Due(const FileState& f, uint64_t nowNs) {
    return !f.syncing && f.fd >= 0 && f.bytes > 0 &&
           (f.bytes >= kBFWSyncIntervalBytes || f.lastSyncNs == 0 ||
            nowNs - f.lastSyncNs >= SyncIntervalNs());
  }

  [[noreturn]] void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      const uint64_t now = MonotonicNanoseconds();
      const auto due =
          std::find_if(files_.begin(), files_.end(), [now](const auto& e) { return Due(e.second, now); });
      if (due != files_.end()) {
        const uint64_t identity = due->first;
        FileState& f = due->second;
        f.syncing = true;
        f.bytes = 0;
        f.lastSyncNs = now;
        const int fd = f.fd;
        uint64_t* droppedEndBytes = &f.droppedEndBytes;  // a syncing entry stays put
        lock.unlock();
        uint64_t sizeBytes = 0;
        const OSErr sizeErr = GetFileSizeBytes(fd, &sizeBytes);
        OSErr err = SyncFileData(fd);
        // A file that cannot be synced (a device, some special file
        // systems) is as durable as it gets.
        if (err == OSErrFromErrno(EINVAL) || err == paramErr) err = noErr;
        if (err == noErr && sizeErr == noErr) {
          DropSyncedPages(fd, sizeBytes, droppedEndBytes);
          if (BFWSyncObserver observer = gSyncObserver.load(std::memory_order_relaxed))
            observer(identity, sizeBytes);
        }
        lock.lock();
        FileState& after = files_[identity];  // a syncing entry is never erased
        after.syncing = false;
        if (err != noErr) after.err = err;
        continue;
      }
      // Let go of files done with; wait until the next one is due.
      uint64_t waitNs = kForgetIdleNs;
      for (auto it = files_.begin(); it != files_.end();) {
        FileState& f = it->second;
        if (!f.syncing && f.bytes == 0 && now - f.lastWriteNs >= kForgetIdleNs) {
          if (f.fd >= 0) ::close(f.fd);
          f.fd = -1;
          if (f.err == noErr) {
            it = files_.erase(it);
            continue;
          }
        } else if (!f.syncing && f.bytes > 0) {
          waitNs = std::min(waitNs, f.lastSyncNs + SyncIntervalNs() - now);
        }
        ++it;
      }
      wake_.wait_for(lock, std::chrono::nanoseconds(std::max<uint64_t>(waitNs, 1'000'000)));
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  bool started_ = false;
  std::map<uint64_t, FileState> files_;  // by AFWRecord::syncIdentity
};

// Lives as long as the process, as its thread does.
Syncer& TheSyncer() {
  static Syncer* syncer = new Syncer();
  return *syncer;
}

}  // namespace

OSErr BFWNoteWrittenForDurability(const AFWRecord* file, uint32_t countBytes) {
  return TheSyncer().NoteWritten(file, countBytes);
}

void BFWSetSyncObserverForTesting(BFWSyncObserver observer) {
  gSyncObserver.store(observer, std::memory_order_relaxed);
}

void BFWSetSyncIntervalForTesting(int64_t milliseconds) {
  gSyncIntervalMs.store(milliseconds > 0 ? milliseconds : kBFWSyncIntervalMs, std::memory_order_relaxed);
}

}  // namespace fw
