// What a capture leaves beside its file while it runs, so that a capture
// cut short by a crash, a kill or a power cut can be finished later by
// another run. The capture session drives it; what it writes, and where,
// belongs to whoever provides it (the programs hand the session a factory).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "core/platform/files.h"
#include "core/platform/os_errors.h"

namespace fw {

class CaptureJournal {
 public:
  virtual ~CaptureJournal() = default;
  // The capture file has just been made and holds nothing of the capture
  // yet: claim it, so that no other run finishes it while this one writes.
  [[nodiscard]] virtual OSErr Claim(const FileRef& file) = 0;
  // Before the first frame reaches the writer: everything another run needs
  // to finish the file, on the disk before this returns.
  [[nodiscard]] virtual OSErr Record(uint32_t frameDataSize) = 0;
  // The capture ended and its file is finished (or gone): nothing is left
  // to recover, and the file is let go.
  virtual void Release() = 0;
};

// Makes the journal of one capture; may give null (no journal kept).
using CaptureJournalFactory = std::function<std::unique_ptr<CaptureJournal>()>;

}  // namespace fw
