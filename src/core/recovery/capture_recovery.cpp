// The recovery pass over the records of captures that were cut short.
#include "core/recovery/capture_recovery.h"

#include <algorithm>
#include <cstring>

#include "core/capture/capture_file_finish.h"
#include "core/movie/mdat_header.h"
#include "core/movie/movie_resource.h"
#include "core/recovery/capture_file_lock.h"
#include "core/recovery/recovery_record.h"

namespace fw {

namespace {

constexpr uint8_t kPlaceholderHeader[kMdatHeaderSizeBytes] = {0, 0, 0, 8, 'w', 'i', 'd', 'e',
                                                              0, 0, 0, 0, 'm', 'd', 'a', 't'};

// The final media data header of a finished movie, in either of its forms.
bool IsFinishedHeader(const uint8_t* h) {
  static constexpr uint8_t kWide[8] = {0, 0, 0, 8, 'w', 'i', 'd', 'e'};
  static constexpr uint8_t kLarge[8] = {0, 0, 0, 1, 'm', 'd', 'a', 't'};
  if (std::memcmp(h, kWide, 8) == 0)
    return std::memcmp(h + 12, "mdat", 4) == 0 && std::memcmp(h + 8, "\0\0\0\0", 4) != 0;
  return std::memcmp(h, kLarge, 8) == 0;
}

std::string Quoted(const std::string& path) {
  return "\"" + NameOf(FileRef{path}) + "\"";
}

std::string Folder(const std::string& path) {
  return FolderOf(FileRef{path});
}

void RemoveRecord(const RecoveryReport& r) {
  if (!r.dryRun) (void)DeleteFile(FileRef{r.recordPath});
}

RecoveryReport Finish(RecoveryReport r, RecoveryOutcome outcome) {
  r.outcome = outcome;
  switch (outcome) {
    case RecoveryOutcome::kAlreadyFinished:
    case RecoveryOutcome::kFileGone:
    case RecoveryOutcome::kNoWholeFrame:
    case RecoveryOutcome::kNotTheCapture:
    case RecoveryOutcome::kRecovered:
      RemoveRecord(r);
      break;
    case RecoveryOutcome::kDamagedRecord:
      // Kept for whoever wants to look, under a name no pass reads again.
      if (!r.dryRun) (void)RenameFile(FileRef{r.recordPath}, FileRef{r.recordPath + ".damaged"});
      break;
    case RecoveryOutcome::kStillRunning:
    case RecoveryOutcome::kFailed:
      break;
  }
  return r;
}

// Cuts a DV stream back to its whole frames.
OSErr KeepWholeDVFrames(const FileRef& file, uint64_t wholeSizeBytes) {
  int fd = kNoFile;
  OSErr err = OpenFile(file, OpenMode::kReadWrite, &fd);
  if (err != noErr) return err;
  uint64_t sizeBytes = 0;
  err = GetFileSizeBytes(fd, &sizeBytes);
  if (err == noErr && sizeBytes > wholeSizeBytes) err = TruncateFile(fd, wholeSizeBytes);
  const OSErr closeErr = CloseFile(fd);
  return err != noErr ? err : closeErr;
}

}  // namespace

std::string RecoveryReport::Sentence() const {
  const std::string name = Quoted(capturePath), folder = Folder(capturePath);
  const char* kind = format == CaptureFileFormat::kDVStream ? "a DV stream" : "a movie";
  const std::string frameText = std::to_string(frames) + (frames == 1 ? " frame" : " frames");
  switch (outcome) {
    case RecoveryOutcome::kRecovered:
      if (dryRun)
        return "The capture " + name + " in " + folder + ", cut short, would be recovered as " + kind +
               " of " + frameText + ".";
      return "The capture " + name + ", cut short, was recovered as " + kind + " of " + frameText + " in " +
             folder + ".";
    case RecoveryOutcome::kStillRunning:
      return "The capture " + name + " in " + folder +
             " is still being written by another program and was left alone.";
    case RecoveryOutcome::kAlreadyFinished:
      if (capturePath.empty())
        return "The recovery record " + recordPath + " was dealt with by another program.";
      return "The capture " + name + " in " + folder +
             " had been finished already; only its recovery record " +
             (dryRun ? "would be removed." : "was removed.");
    case RecoveryOutcome::kFileGone:
      return "The capture " + name + ", cut short, could not be recovered: it is no longer in " + folder +
             ".";
    case RecoveryOutcome::kNoWholeFrame:
      return "The capture " + name + " in " + folder +
             ", cut short, holds no whole frame, so there is nothing to recover; the file is left as it is.";
    case RecoveryOutcome::kNotTheCapture:
      return "The capture " + name + " in " + folder +
             ", cut short, could not be recovered: another file has taken its place and is left as it is.";
    case RecoveryOutcome::kDamagedRecord:
      return "The recovery record " + recordPath + " is damaged (" + problem + ") and " +
             (dryRun ? "would be set aside" : "was set aside") + "; no capture file was touched.";
    case RecoveryOutcome::kFailed:
      return "The capture " + name + " in " + folder + ", cut short, could not be recovered (error " +
             std::to_string(err) + "); it will be tried again next time.";
  }
  return {};
}

bool RecoveryReport::IsFailure() const {
  return outcome != RecoveryOutcome::kRecovered && outcome != RecoveryOutcome::kStillRunning &&
         outcome != RecoveryOutcome::kAlreadyFinished;
}

bool RecoveryReport::IsWorthTelling() const {
  return outcome != RecoveryOutcome::kStillRunning && outcome != RecoveryOutcome::kAlreadyFinished;
}

RecoveryReport RecoverCaptureFromRecord(const std::string& recordPath, RecoveryAction action) {
  RecoveryReport r;
  r.recordPath = recordPath;
  r.dryRun = action == RecoveryAction::kDryRun;
  CaptureRecoveryRecord record;
  OSErr err = ReadRecoveryRecordFile(recordPath, &record, &r.problem);
  if (err == fnfErr) {
    r.outcome = RecoveryOutcome::kAlreadyFinished;  // another pass took it meanwhile
    return r;
  }
  if (err != noErr) return Finish(r, RecoveryOutcome::kDamagedRecord);
  r.capturePath = record.capturePath;
  r.format = record.format;

  // The lock before any look at the file: a capture still running is not
  // even read.
  const FileRef file{record.capturePath};
  std::unique_ptr<CaptureFileLock> lock;
  uint64_t inode = 0;
  err = CaptureFileLock::Acquire(file, &lock, &inode);
  if (err == fnfErr || err == dirNFErr) return Finish(r, RecoveryOutcome::kFileGone);
  if (err == notAFileErr) {
    r.problem = "it names a folder or a device, not a capture file";
    return Finish(r, RecoveryOutcome::kDamagedRecord);
  }
  if (err == kCaptureFileBusyErr) return Finish(r, RecoveryOutcome::kStillRunning);
  if (err != noErr) {
    r.err = err;
    return Finish(r, RecoveryOutcome::kFailed);
  }
  if (inode != record.fileInode) return Finish(r, RecoveryOutcome::kNotTheCapture);

  uint64_t sizeBytes = 0;
  err = GetFileSizeBytes(lock->fd(), &sizeBytes);
  const bool movie = record.format == CaptureFileFormat::kQuickTimeMovie;
  const uint64_t headerBytes = movie ? kMdatHeaderSizeBytes : 0;
  if (err == noErr && movie) {
    // A movie being captured starts with the placeholder header; the final
    // one means the capture was finished and only the record stayed.
    uint8_t header[kMdatHeaderSizeBytes] = {};
    if (sizeBytes < headerBytes) return Finish(r, RecoveryOutcome::kNotTheCapture);
    err = ReadAtOffset(lock->fd(), 0, header, sizeof header);
    if (err == noErr && std::memcmp(header, kPlaceholderHeader, sizeof header) != 0)
      return Finish(
          r, IsFinishedHeader(header) ? RecoveryOutcome::kAlreadyFinished : RecoveryOutcome::kNotTheCapture);
  }
  if (err != noErr) {
    r.err = err;
    return Finish(r, RecoveryOutcome::kFailed);
  }
  // Sample counts are signed in the movie toolbox.
  const uint64_t wholeFrames =
      std::min<uint64_t>((sizeBytes - headerBytes) / record.frameDataSize, INT32_MAX);
  if (wholeFrames == 0) return Finish(r, RecoveryOutcome::kNoWholeFrame);
  r.frames = static_cast<uint32_t>(wholeFrames);
  if (r.dryRun) return Finish(r, RecoveryOutcome::kRecovered);

  if (movie) {
    // What the program's own finishing builds, from the facts it recorded.
    const RecoveryMovieFacts& facts = record.movie;
    MovieRequest request;
    request.flavor = record.flavor;
    request.file = &file;
    request.frameDataSize = static_cast<int32_t>(record.frameDataSize);
    request.width = facts.width;
    request.height = facts.height;
    request.description = &facts.description;
    request.timeScale = facts.timeScale;
    request.setMatrix = facts.flipH || facts.flipV;
    request.matrix = FlipMatrix(facts.flipH, facts.flipV);
    request.setClip = facts.setClip;
    request.clip = facts.clip;
    uint32_t framesInMovie = 0;
    err = FinishCaptureFile(
        file, record.frameDataSize, r.frames, CaptureFrameData::kMayBeShort,
        [&request](int32_t frameCount) {
          request.frameCount = frameCount;
          MovieFailure failure;
          return AppendMovieResource(request, &failure);
        },
        &framesInMovie);
    r.frames = framesInMovie;
  } else {
    err = KeepWholeDVFrames(file, wholeFrames * record.frameDataSize);
  }
  if (err != noErr) {
    r.err = err;
    return Finish(r, RecoveryOutcome::kFailed);
  }
  return Finish(r, RecoveryOutcome::kRecovered);
}

std::vector<RecoveryReport> RecoverCapturesOf(ProgramFlavor flavor, RecoveryAction action) {
  std::vector<RecoveryReport> reports;
  std::string folder;
  if (GetRecoveryFolder(flavor, FolderCreation::kUseAsIs, &folder) != noErr) return reports;
  for (const std::string& path : ListRecoveryRecordFiles(folder))
    reports.push_back(RecoverCaptureFromRecord(path, action));
  return reports;
}

std::vector<std::string> RecoverInterruptedCaptures(ProgramFlavor flavor) {
  std::vector<std::string> sentences;
  for (const RecoveryReport& report : RecoverCapturesOf(flavor, RecoveryAction::kRecover)) {
    if (report.IsWorthTelling()) sentences.push_back(report.Sentence());
  }
  return sentences;
}

std::string RecoveryAlertText(const std::vector<std::string>& sentences) {
  std::string text;
  for (const std::string& sentence : sentences) text += (text.empty() ? "" : "\n\n") + sentence;
  return text;
}

}  // namespace fw
