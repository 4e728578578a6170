// The journal the programs give their capture sessions: a lock on the
// capture file from its creation, and a recovery record (recovery_record.h)
// written and made durable before the first frame reaches the writer,
// removed once the capture is finished.
#pragma once

#include <functional>

#include "core/capture/capture_journal.h"
#include "core/capture/capture_movie.h"
#include "core/capture/capture_session.h"
#include "core/platform/program_flavor.h"
#include "core/recovery/recovery_record.h"

namespace fw {

// Gathers the movie's facts for the record, as the program's own finishing
// would gather them at the stop.
using DescribeCaptureMovie = std::function<OSErr(RecoveryMovieFacts* out)>;

// Framewright HD: the open input (gInput) and the preferences (gPrefs), as
// addMovieResourceToFile reads them.
[[nodiscard]] OSErr DescribeHDCaptureMovie(RecoveryMovieFacts* out);

// Framewright: the video channel's description and capture rectangle and
// the preferences, as AddMovieResourceToFile2 reads them.
[[nodiscard]] OSErr DescribeClassicCaptureMovie(ClassicCaptureSource& source, RecoveryMovieFacts* out);

// The factory for CaptureSessionSettings::journal: records go to the
// program's state folder. `describe` is asked only for a QuickTime movie.
CaptureJournalFactory MakeRecoveryJournalFactory(ProgramFlavor flavor, CaptureFileFormat format,
                                                 DescribeCaptureMovie describe);

}  // namespace fw
