// The memory behind the writer's two buffers.
//
// A buffer that grows while the disk lags used to be moved by realloc and
// given back at close, so every capture took its memory afresh from the
// system, one page fault per 4 KiB as the frames were copied in. On a
// virtual machine whose host backs memory lazily a first touch costs tens of
// microseconds, and a capture that outruns the disk for a moment paid that
// for hundreds of MiB in the middle of the capture loop. Here a block holds
// address space for the largest size a buffer may reach, so growing never
// moves or copies it; the part in use is made usable in huge-page steps and
// faulted in with one call as soon as the size grows; and a closed writer's
// blocks are kept for the next one.
#include <sys/mman.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <mutex>

#include "core/writer/async_file_writer_record.h"

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23  // Linux 5.14
#endif

namespace fw {

namespace {

// Room for the largest size a buffer may be given (the sizes are signed
// 32-bit), plus one step so that the start can be aligned to a huge page.
constexpr size_t kMappingBytes = (size_t{1} << 31) + kAFWCommitStepBytes;

std::atomic<int> gFailAllocations{0};

// The test seam: true when this allocation is to fail.
bool AllocationFailsForTesting() {
  return gFailAllocations.load(std::memory_order_relaxed) > 0 && gFailAllocations.fetch_sub(1) > 0;
}

size_t RoundUpToStep(size_t n) {
  return (n + kAFWCommitStepBytes - 1) & ~(kAFWCommitStepBytes - 1);
}

// Thin wrappers: 0 or the errno of the call.
int ReserveAddressSpace(size_t bytes, uint8_t** outMapping) {
  void* p = ::mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) return errno;
  *outMapping = static_cast<uint8_t*>(p);
  return 0;
}

int MakeUsable(uint8_t* start, size_t bytes) {
  return ::mprotect(start, bytes, PROT_READ | PROT_WRITE) == 0 ? 0 : errno;
}

int FaultIn(uint8_t* start, size_t bytes) {
  return ::madvise(start, bytes, MADV_POPULATE_WRITE) == 0 ? 0 : errno;
}

// Gives the memory of a range back and makes it unusable again.
void Release(uint8_t* start, size_t bytes) {
  (void)::madvise(start, bytes, MADV_DONTNEED);
  (void)::mprotect(start, bytes, PROT_NONE);
}

struct KeptBlock {
  uint8_t* mapping = nullptr;
  size_t mappingBytes = 0;
  uint8_t* bytes = nullptr;
  size_t committedBytes = 0;
};

// Freed blocks waiting for the next writer; opens and closes are rare.
std::mutex gKeptMutex;
std::array<KeptBlock, kAFWKeptBlocks> gKept;

// Blocks are kept and taken in order, so a writer that closes its buffers 0
// then 1 hands each of them to the same buffer of the next writer: a capture
// like the last one finds each buffer as large as it needs.
bool TakeKeptBlock(KeptBlock* out) {
  std::lock_guard<std::mutex> lock(gKeptMutex);
  for (KeptBlock& k : gKept) {
    if (k.mapping != nullptr) {
      *out = k;
      k = KeptBlock{};
      return true;
    }
  }
  return false;
}

bool KeepBlock(const KeptBlock& block) {
  std::lock_guard<std::mutex> lock(gKeptMutex);
  for (KeptBlock& k : gKept) {
    if (k.mapping == nullptr) {
      k = block;
      return true;
    }
  }
  return false;
}

}  // namespace

OSErr AFWBlock::Resize(int64_t newSizeBytes) {
  if (newSizeBytes < 0 || newSizeBytes > INT32_MAX) return memFullErr;
  if (AllocationFailsForTesting()) return memFullErr;
  return Commit(static_cast<size_t>(newSizeBytes));
}

OSErr AFWBlock::Commit(size_t sizeBytes) {
  if (sizeBytes > INT32_MAX) return memFullErr;
  if (mapping_ == nullptr) {
    KeptBlock kept;
    if (!TakeKeptBlock(&kept)) {
      if (ReserveAddressSpace(kMappingBytes, &kept.mapping) != 0) return memFullErr;
      kept.mappingBytes = kMappingBytes;
      const auto address = reinterpret_cast<uintptr_t>(kept.mapping);
      kept.bytes = kept.mapping + (RoundUpToStep(address) - address);
      // Huge pages where the system offers them on request: one fault per
      // 2 MiB instead of 512. Without them the block works the same.
      (void)::madvise(kept.bytes, kMappingBytes - kAFWCommitStepBytes, MADV_HUGEPAGE);
    }
    mapping_ = kept.mapping;
    mappingBytes_ = kept.mappingBytes;
    bytes_ = kept.bytes;
    committedBytes_ = kept.committedBytes;
  }
  const size_t wanted = RoundUpToStep(sizeBytes > 0 ? sizeBytes : 1);
  if (wanted <= committedBytes_) return noErr;
  uint8_t* start = bytes_ + committedBytes_;
  const size_t grow = wanted - committedBytes_;
  if (MakeUsable(start, grow) != 0) return memFullErr;
  // Faulted in now, in one call, rather than a page at a time by the copies
  // into the buffer. A system without the call leaves that to the copies;
  // a system without the memory says so here, where it is a growth that
  // failed, rather than by ending the process at the first touch.
  if (FaultIn(start, grow) == ENOMEM) {
    Release(start, grow);
    return memFullErr;
  }
  committedBytes_ = wanted;
  return noErr;
}

void AFWBlock::Free() {
  if (mapping_ == nullptr) return;
  KeptBlock block{mapping_, mappingBytes_, bytes_, committedBytes_};
  if (block.committedBytes > kAFWKeptBytesPerBlock) {
    Release(block.bytes + kAFWKeptBytesPerBlock, block.committedBytes - kAFWKeptBytesPerBlock);
    block.committedBytes = kAFWKeptBytesPerBlock;
  }
  if (!KeepBlock(block)) (void)::munmap(mapping_, mappingBytes_);
  mapping_ = nullptr;
  mappingBytes_ = 0;
  bytes_ = nullptr;
  committedBytes_ = 0;
}

void AFWFailBufferAllocationsForTesting(int count) {
  gFailAllocations.store(count > 0 ? count : 0);
}

}  // namespace fw
