// Durability of what the write threads write: the data reach the disk
// (fdatasync) on their own pace, at the latest 250 ms after the file's last
// sync began or once 64 MiB have been written since, whichever comes first,
// and also when the writes pause, so the last frames before a pause are not
// left in the cache. Neither the producer nor the write threads wait for
// it: one thread of its own syncs, through a duplicate of each file's
// descriptor, so a file closed meanwhile is still made durable.
#pragma once

#include <cstdint>

#include "core/platform/os_errors.h"

struct AFWRecord;

namespace fw {

constexpr int64_t kBFWSyncIntervalMs = 250;
constexpr uint64_t kBFWSyncIntervalBytes = 64ull << 20;

// Called by a write thread after each successful write of `countBytes` to
// `file`. Returns the error of an earlier sync of the file that failed
// (once): data it had written may be lost, and the write reports it.
[[nodiscard]] OSErr BFWNoteWrittenForDurability(const AFWRecord* file, uint32_t countBytes);

// --- Test seams.
// Called on the syncing thread after each sync with the file's identity
// (AFWRecord::syncIdentity) and the size it made durable.
using BFWSyncObserver = void (*)(uint64_t identity, uint64_t durableSizeBytes);
void BFWSetSyncObserverForTesting(BFWSyncObserver observer);
// The sync interval; 0 restores kBFWSyncIntervalMs.
void BFWSetSyncIntervalForTesting(int64_t milliseconds);

}  // namespace fw
