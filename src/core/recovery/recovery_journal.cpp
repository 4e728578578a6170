// The capture journal that keeps recovery records.
#include "core/recovery/recovery_journal.h"

#include "core/capture/capture_records.h"
#include "core/platform/error_codes.h"
#include "core/prefs/prefs_struct.h"
#include "core/recovery/capture_file_lock.h"

namespace fw {

namespace {

class RecoveryJournal final : public CaptureJournal {
 public:
  RecoveryJournal(ProgramFlavor flavor, CaptureFileFormat format, DescribeCaptureMovie describe)
      : flavor_(flavor), format_(format), describe_(std::move(describe)) {}
  ~RecoveryJournal() override { Release(); }

  OSErr Claim(const FileRef& file) override {
    std::string folder;
    OSErr err = GetRecoveryFolder(flavor_, FolderCreation::kCreateIfMissing, &folder);
    if (err == noErr) err = CaptureFileLock::Acquire(file, &lock_, &record_.fileInode);
    if (err != noErr) return err;
    record_.flavor = flavor_;
    record_.format = format_;
    record_.capturePath = file.path;
    recordPath_ = RecoveryRecordPath(folder, file.path);
    return noErr;
  }

  OSErr Record(uint32_t frameDataSize) override {
    if (!lock_) return badCallOrderErr;
    record_.frameDataSize = frameDataSize;
    if (format_ == CaptureFileFormat::kQuickTimeMovie) {
      if (!describe_) return paramErr;
      if (const OSErr err = describe_(&record_.movie); err != noErr) return err;
    }
    if (const OSErr err = WriteRecoveryRecordFile(recordPath_, record_); err != noErr) return err;
    recorded_ = true;
    // The capture file's own name must survive a power cut as well as the
    // record that points at it.
    return SyncFolder(FolderOf(FileRef{record_.capturePath}));
  }

  void Release() override {
    // The record goes before the lock: whoever finds the file unlocked and
    // the record still there knows the capture never finished.
    if (recorded_) (void)DeleteFile(FileRef{recordPath_});
    recorded_ = false;
    lock_.reset();
  }

 private:
  ProgramFlavor flavor_;
  CaptureFileFormat format_;
  DescribeCaptureMovie describe_;
  std::unique_ptr<CaptureFileLock> lock_;
  CaptureRecoveryRecord record_;
  std::string recordPath_;
  bool recorded_ = false;
};

}  // namespace

OSErr DescribeHDCaptureMovie(RecoveryMovieFacts* out) {
  if (gInput == nullptr || !gInput->imageDescription) return kNoVideoInputForMovieErr;
  RecoveryMovieFacts facts;
  facts.width = gInput->trimmedWidth;
  facts.height = gInput->trimmedHeight;
  facts.description = *gInput->imageDescription;
  facts.timeScale = gPrefs.hundredTimesMovieFPS;
  facts.flipH = gPrefs.flipHFlag != 0;
  facts.flipV = gPrefs.flipVFlag != 0;
  *out = std::move(facts);
  return noErr;
}

OSErr DescribeClassicCaptureMovie(ClassicCaptureSource& source, RecoveryMovieFacts* out) {
  ImageDescriptionHandle description;
  OSErr err = source.GetImageDescription(&description);
  if (err == noErr && !description) err = paramErr;
  if (err != noErr) return err;
  const Rect grabber = source.GrabberRect();
  RecoveryMovieFacts facts;
  facts.width = static_cast<uint16_t>(grabber.right);
  facts.height = static_cast<uint16_t>(grabber.bottom);
  facts.description = *description;
  facts.timeScale = gPrefs.hundredTimesMovieFPS;
  facts.flipH = gPrefs.flipHFlag != 0;
  facts.flipV = gPrefs.flipVFlag != 0;
  if (gPrefs.trimTop != 0 || gPrefs.trimLeft != 0 || gPrefs.trimRight != 0 || gPrefs.trimBottom != 0) {
    facts.setClip = true;
    facts.clip.left = static_cast<int16_t>(grabber.left + gPrefs.trimLeft);
    facts.clip.top = static_cast<int16_t>(grabber.top + gPrefs.trimTop);
    facts.clip.right = static_cast<int16_t>(grabber.right - gPrefs.trimRight);
    facts.clip.bottom = static_cast<int16_t>(grabber.bottom - gPrefs.trimBottom);
  }
  *out = std::move(facts);
  return noErr;
}

CaptureJournalFactory MakeRecoveryJournalFactory(ProgramFlavor flavor, CaptureFileFormat format,
                                                 DescribeCaptureMovie describe) {
  return [flavor, format, describe = std::move(describe)]() -> std::unique_ptr<CaptureJournal> {
    return std::make_unique<RecoveryJournal>(flavor, format, describe);
  };
}

}  // namespace fw
