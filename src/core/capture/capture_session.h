// One capture into one file, as both programs run it: the file made new, the
// asynchronous writer behind it, the frame schedule that says which incoming
// frames are written, each frame packed to exactly the bytes the movie says
// a frame holds, and at the end a finished file: a movie indexing the whole
// frames that reached the disk (cut back to them after an error), a DV stream
// of whole frames, or no file at all when no frame was written.
//
// The programs keep their own surface over it (the windows, the alerts, the
// devices); the session knows no screen and reads no global settings: what
// it needs comes in through its settings and the movie finisher.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/capture/capture_journal.h"
#include "core/capture/capture_records.h"
#include "core/capture/error_messages.h"
#include "core/capture/frame_schedule.h"
#include "core/platform/files.h"
#include "core/platform/program_flavor.h"

namespace fw {

enum class CaptureFileFormat {
  kQuickTimeMovie,  // 16-byte media data header, frames, movie resource
  kDVStream,        // the frames back to back, nothing else
};

enum class CaptureMode {
  kScheduled,   // frames the schedule asks for (clicks, keys)
  kEveryFrame,  // every incoming frame
};

// Finishes a movie file that holds its 16-byte header and `frameCount`
// frames of `frameDataSize` bytes from offset 16: final header and movie
// resource. The program supplies it, since only it knows how its frames are
// described.
using MovieFinisher = std::function<OSErr(const FileRef& file, int32_t frameDataSize, int32_t frameCount)>;

struct CaptureSessionSettings {
  ProgramFlavor flavor = ProgramFlavor::kHD;  // the writer's rules
  CaptureFileFormat format = CaptureFileFormat::kQuickTimeMovie;
  CaptureMode mode = CaptureMode::kScheduled;
  uint8_t ignoreFrameCount = 0;  // a trigger's delay in incoming frames
  // The size of the frames to come, when the input knows it: the writer
  // readies its memory for them before the first one (0: as they come).
  uint32_t expectedFrameSizeBytes = 0;
  // The journal that lets another run finish this capture should this one
  // be cut short; none when unset. A journal that cannot be kept (no state
  // folder, a file system without locks) costs the capture nothing but
  // that safety net.
  CaptureJournalFactory journal;
};

// How a capture ended.
struct CaptureEnd {
  OSErr captureErr = noErr;  // what ended it; 0 when the user did
  OSErr finishErr = noErr;   // of the last writes, the cut back or the movie
  uint32_t framesInFile = 0;

  // The one alert the capture's end deserves, if any: an error during the
  // capture names that step even when finishing then failed too.
  std::optional<ErrorStep> AlertStep() const;
  [[nodiscard]] OSErr AlertCode() const { return captureErr != noErr ? captureErr : finishErr; }
};

class CaptureSession {
 public:
  // Makes the file at `path` (new, or an existing regular file replaced:
  // a device or a FIFO there is refused, since truncating it would harm it
  // or hang) and opens the writer on it, with the media data header for a
  // movie. On failure nothing is left behind: kCannotCreateCaptureFileErr
  // when the file cannot be made, the writer's error otherwise.
  [[nodiscard]] static OSErr Start(const std::string& path, const CaptureSessionSettings& settings,
                                   FrameSchedule& schedule, MovieFinisher finisher,
                                   std::unique_ptr<CaptureSession>* outSession);
  // A session not finished yet is finished as an ordinary end, so no
  // capture is ever left without its movie.
  ~CaptureSession();
  CaptureSession(const CaptureSession&) = delete;
  CaptureSession& operator=(const CaptureSession&) = delete;

  // The record the programs show as gCapture.
  CaptureRecord& record() { return record_; }
  const CaptureRecord& record() const { return record_; }

  // A trigger given while the current incoming frame arrives.
  void ScheduleTrigger();
  // Whether the incoming frame now arriving is to be written.
  bool IsFrameDue() const;
  // The incoming frame is passed over.
  void SkipFrame() { ++record_.incomingFrameNumber; }
  // Writes the incoming frame: `rows` rows of `packedRowBytes` bytes, the
  // first at `firstRow` and each `rowBytes` after the one before. Rows are
  // packed when they do not already lie back to back, so the file holds
  // exactly the image. Every frame of a capture has one size. Returns the
  // writer's error, which should end the capture.
  [[nodiscard]] OSErr WriteFrame(const uint8_t* firstRow, size_t rowBytes, size_t packedRowBytes,
                                 uint32_t rows);
  // Takes the last frame written back out of the capture: waits until the
  // writer has it in the file, cuts the file back by one frame (durably),
  // and counts one frame less. A run cut short at any moment recovers
  // either the frames before or the frames after. eofErr when the capture
  // holds no frame, and nothing changes. Any other error is the writer's or
  // the file's and should end the capture like a failed write; the count
  // then still says how many frames the file may hold.
  [[nodiscard]] OSErr TakeBackLastFrame();

  // Closes the writer and finishes the file; `captureErr` is what ended the
  // capture (0 for the user). After an error the file is cut back to the
  // whole frames it holds, and a movie indexes exactly those; a capture
  // without frames removes its file. Only the first call does anything.
  CaptureEnd Finish(OSErr captureErr);

 private:
  CaptureSession(const CaptureSessionSettings& settings, FrameSchedule& schedule, MovieFinisher finisher);
  uint64_t HeaderSizeBytes() const;
  // The whole frames the file holds (at most those counted as written),
  // after cutting off a partial one.
  uint32_t CutBackToWholeFrames(OSErr* outErr);

  CaptureSessionSettings settings_;
  FrameSchedule& schedule_;
  MovieFinisher finisher_;
  CaptureRecord record_;
  std::vector<uint8_t> packedFrame_;  // reused; only for images with row padding
  bool finished_ = false;
  CaptureEnd end_;
  std::unique_ptr<CaptureJournal> journal_;  // null when none is kept
};

}  // namespace fw
