// Finishing captures that were cut short: for each recovery record whose
// capture file no running capture holds, the file is cut back to its last
// whole frame and finished exactly as a normal stop finishes it (the final
// media data header and the movie resource for a movie; nothing more for a
// DV stream), the record is removed, and the user is told in one plain
// sentence what was recovered and where.
//
// Nothing but the record is ever deleted: a file that is gone or holds no
// whole frame is reported and its record removed; a damaged record is set
// aside (renamed, so that it is reported once) and no capture file is
// touched for it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/capture/capture_session.h"
#include "core/platform/os_errors.h"
#include "core/platform/program_flavor.h"

namespace fw {

enum class RecoveryOutcome {
  kRecovered,        // finished into a movie or a DV stream; record removed
  kStillRunning,     // another run is writing the file; left alone
  kAlreadyFinished,  // the capture had been finished; only the record removed
  kFileGone,         // record removed
  kNoWholeFrame,     // record removed, the file left as it is
  kNotTheCapture,    // another file took the capture's place; record removed, file left
  kDamagedRecord,    // refused; the record set aside, no file touched
  kFailed,           // finishing failed; the record kept for a later try
};

struct RecoveryReport {
  RecoveryOutcome outcome = RecoveryOutcome::kFailed;
  std::string recordPath;
  std::string capturePath;  // empty when the record could not be read
  CaptureFileFormat format = CaptureFileFormat::kQuickTimeMovie;
  uint32_t frames = 0;  // whole frames in the finished file (or that would be)
  OSErr err = noErr;    // of kFailed
  std::string problem;  // of kDamagedRecord, in a few words
  bool dryRun = false;

  // The one plain sentence for the user.
  std::string Sentence() const;
  // Whether the capture could not be recovered (fwrecover's exit status).
  bool IsFailure() const;
  // Whether a program tells the user about it at its start: everything but
  // a capture another run is still writing and one finished already.
  bool IsWorthTelling() const;
};

enum class RecoveryAction { kRecover, kDryRun };

// Recovers the capture of one record file.
RecoveryReport RecoverCaptureFromRecord(const std::string& recordPath, RecoveryAction action);

// Every record of a program's state folder, in order of their names.
std::vector<RecoveryReport> RecoverCapturesOf(ProgramFlavor flavor, RecoveryAction action);

// Both programs call this at start: the sentences of one alert, empty when
// there is nothing to say.
std::vector<std::string> RecoverInterruptedCaptures(ProgramFlavor flavor);

// The text of the alert that tells of them all.
std::string RecoveryAlertText(const std::vector<std::string>& sentences);

}  // namespace fw
