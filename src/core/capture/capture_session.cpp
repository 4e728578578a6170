// One capture into one file, shared by both programs.
#include "core/capture/capture_session.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <new>

#include "core/capture/capture_file_finish.h"
#include "core/movie/mdat_header.h"
#include "core/writer/async_file_writer.h"

namespace fw {

std::optional<ErrorStep> CaptureEnd::AlertStep() const {
  if (captureErr != noErr) return ErrorStep::kDuringCapture;
  if (finishErr != noErr) return ErrorStep::kFinishingCapture;
  return std::nullopt;
}

CaptureSession::CaptureSession(const CaptureSessionSettings& settings, FrameSchedule& schedule,
                               MovieFinisher finisher)
    : settings_(settings), schedule_(schedule), finisher_(std::move(finisher)) {}

OSErr CaptureSession::Start(const std::string& path, const CaptureSessionSettings& settings,
                            FrameSchedule& schedule, MovieFinisher finisher,
                            std::unique_ptr<CaptureSession>* outSession) {
  std::unique_ptr<CaptureSession> session(new (std::nothrow)
                                              CaptureSession(settings, schedule, std::move(finisher)));
  if (!session) return memFullErr;
  schedule.Clear();
  CaptureRecord& record = session->record_;
  record.incomingFrameNumber = 1;

  std::error_code ec;
  const auto existing = std::filesystem::status(path, ec).type();
  const bool replaceable =
      existing == std::filesystem::file_type::not_found || existing == std::filesystem::file_type::regular;
  FileRef file;
  if (!replaceable || MakeFileRef(path, &file) != noErr || CreateEmptyFile(file) != noErr) {
    session->finished_ = true;
    return kCannotCreateCaptureFileErr;
  }
  record.captureFile = file;
  record.fileCreated = true;
  if (settings.journal) {
    session->journal_ = settings.journal();
    if (session->journal_ && session->journal_->Claim(file) != noErr) session->journal_.reset();
  }
  const bool movie = settings.format == CaptureFileFormat::kQuickTimeMovie;
  if (OSErr err = AFWOpenFile(&record.captureFile, movie, &record.writer, settings.flavor); err != noErr) {
    record.writer = nullptr;
    session->Finish(noErr);  // removes the empty file
    return err;
  }
  AFWPrepareForFrames(record.writer, settings.expectedFrameSizeBytes);
  *outSession = std::move(session);
  return noErr;
}

CaptureSession::~CaptureSession() {
  Finish(noErr);
}

void CaptureSession::ScheduleTrigger() {
  schedule_.Schedule(record_.incomingFrameNumber, settings_.ignoreFrameCount);
}

bool CaptureSession::IsFrameDue() const {
  return settings_.mode == CaptureMode::kEveryFrame || schedule_.IsDue(record_.incomingFrameNumber);
}

OSErr CaptureSession::WriteFrame(const uint8_t* firstRow, size_t rowBytes, size_t packedRowBytes,
                                 uint32_t rows) {
  const uint64_t frameBytes = uint64_t{packedRowBytes} * rows;
  if (firstRow == nullptr || rows == 0 || packedRowBytes == 0 || rowBytes < packedRowBytes ||
      frameBytes > UINT32_MAX || (record_.frameDataSize != 0 && frameBytes != record_.frameDataSize)) {
    return paramErr;
  }
  // Once per capture: a capture taken back to no frame keeps its record,
  // whose facts do not change.
  if (record_.frameDataSize == 0 && journal_ &&
      journal_->Record(static_cast<uint32_t>(frameBytes)) != noErr) {
    // Without its record the capture goes on, only not recoverable; the
    // journal lets the file go again.
    journal_->Release();
    journal_.reset();
  }
  ++record_.framesWritten;
  record_.frameDataSize = static_cast<uint32_t>(frameBytes);
  const uint8_t* block = firstRow;
  if (rowBytes != packedRowBytes && rows > 1) {
    try {
      packedFrame_.resize(frameBytes);
    } catch (const std::bad_alloc&) {
      return memFullErr;
    }
    for (size_t row = 0; row < rows; ++row)
      std::memcpy(packedFrame_.data() + row * packedRowBytes, firstRow + row * rowBytes, packedRowBytes);
    block = packedFrame_.data();
  }
  const OSErr err = AFWWriteData(record_.writer, block, record_.frameDataSize, 1);
  if (err != noErr) return err;
  if (settings_.mode == CaptureMode::kScheduled) schedule_.ConsumeFirst();
  ++record_.incomingFrameNumber;
  return noErr;
}

OSErr CaptureSession::TakeBackLastFrame() {
  if (finished_ || record_.writer == nullptr) return paramErr;
  if (record_.framesWritten == 0) return eofErr;
  // The file is the only count a recovery trusts (its record holds the
  // frame size, not a number of frames), and the cut is one step: so the
  // record is true before, during and after. The count goes down only once
  // the cut is made, so a cut that fails leaves it matching the file.
  if (OSErr err = fw::AFWTruncateEnd(record_.writer, record_.frameDataSize); err != noErr) return err;
  --record_.framesWritten;
  return noErr;
}

uint64_t CaptureSession::HeaderSizeBytes() const {
  return settings_.format == CaptureFileFormat::kQuickTimeMovie ? kMdatHeaderSizeBytes : 0;
}

uint32_t CaptureSession::CutBackToWholeFrames(OSErr* outErr) {
  // Frames counted as written may never have reached the disk (the frame
  // whose write failed, those lost with a failed background write). A movie
  // indexing them would point past the end of its data, and a DV stream
  // with half a frame at its end confuses players: keep only whole frames.
  *outErr = noErr;
  if (record_.frameDataSize == 0) return 0;
  int fd = kNoFile;
  OSErr err = OpenFile(record_.captureFile, OpenMode::kReadWrite, &fd);
  uint64_t sizeBytes = 0;
  if (err == noErr) err = GetFileSizeBytes(fd, &sizeBytes);
  uint64_t wholeFrames = 0;
  const uint64_t header = HeaderSizeBytes();
  if (err == noErr && sizeBytes > header) {
    wholeFrames = std::min<uint64_t>((sizeBytes - header) / record_.frameDataSize, record_.framesWritten);
    const uint64_t wholeSize = header + wholeFrames * record_.frameDataSize;
    if (sizeBytes > wholeSize) err = TruncateFile(fd, wholeSize);
  }
  if (fd != kNoFile) {
    // The cut is made through this descriptor: a failed close fails it.
    const OSErr closeErr = CloseFile(fd);
    if (err == noErr) err = closeErr;
  }
  *outErr = err;
  return err == noErr ? static_cast<uint32_t>(wholeFrames) : 0;
}

CaptureEnd CaptureSession::Finish(OSErr captureErr) {
  if (finished_) return end_;
  finished_ = true;
  end_.captureErr = captureErr;

  // The first error of the last writes and the close: a capture whose last
  // frames never reached the disk must not end as a success.
  OSErr closeErr = noErr;
  if (record_.writer != nullptr) {
    closeErr = AFWCloseFile(record_.writer);
    AFWDispose(record_.writer);
    record_.writer = nullptr;
  }

  const bool mayBeShort = captureErr != noErr || closeErr != noErr;
  OSErr finishErr = noErr;
  uint32_t frames = 0;
  if (record_.framesWritten > 0 && settings_.format == CaptureFileFormat::kQuickTimeMovie) {
    // Cuts back to whole frames where needed, and further while the movie
    // resource finds no room on a full disk; removes a file left empty.
    finishErr = FinishCaptureFile(
        record_.captureFile, record_.frameDataSize, record_.framesWritten,
        mayBeShort ? CaptureFrameData::kMayBeShort : CaptureFrameData::kComplete,
        [this](int32_t frameCount) {
          return finisher_
                     ? finisher_(record_.captureFile, static_cast<int32_t>(record_.frameDataSize), frameCount)
                     : noErr;
        },
        &frames);
  } else if (record_.framesWritten > 0) {
    frames = record_.framesWritten;
    OSErr cutErr = noErr;
    if (mayBeShort) frames = CutBackToWholeFrames(&cutErr);
    if (closeErr == noErr) closeErr = cutErr;
    // A file that could not be looked at keeps whatever it holds.
    if (frames == 0 && cutErr == noErr) (void)DeleteFile(record_.captureFile);  // holds no frame
  } else if (record_.fileCreated) {
    (void)DeleteFile(record_.captureFile);  // an empty capture leaves no file; a stray one loses nothing
  }
  end_.framesInFile = frames;
  end_.finishErr = finishErr != noErr ? finishErr : closeErr;
  record_.running = false;
  // Only once the file is finished: a crash before this leaves the record,
  // and the next run finishes the file instead.
  if (journal_) {
    journal_->Release();
    journal_.reset();
  }
  return end_;
}

}  // namespace fw
