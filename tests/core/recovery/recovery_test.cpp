// Captures cut short: the record a running capture keeps, the lock on its
// file, and the pass that finishes it as a normal stop would have.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "core/capture/capture_movie.h"
#include "core/capture/frame_schedule.h"
#include "core/platform/clocks.h"
#include "core/recovery/capture_file_lock.h"
#include "core/recovery/capture_recovery.h"
#include "core/recovery/recovery_journal.h"
#include "core/recovery/recovery_record.h"
#include "movie/capture_file_fixture.h"
#include "support/temp_dir.h"

using namespace fw;

namespace {

using movie_test::InputScope;
using movie_test::MakeFrame;

constexpr int kWidth = 320, kHeight = 32;
constexpr uint32_t kFrameBytes = kWidth * kHeight * 2;

std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void AppendBytes(const std::string& path, const std::vector<uint8_t>& bytes, size_t count) {
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(count));
}

uint64_t InodeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

int64_t PinnedWallClock() {
  return 1765000000;
}

class RecoveryTest : public ::testing::Test {
 protected:
  void SetUp() override { SetWallClockForTesting(&PinnedWallClock); }
  void TearDown() override { SetWallClockForTesting(nullptr); }

  std::string RecordFolder() {
    std::string folder;
    EXPECT_EQ(GetRecoveryFolder(ProgramFlavor::kHD, FolderCreation::kCreateIfMissing, &folder), noErr);
    return folder;
  }
  std::vector<std::string> Records() { return ListRecoveryRecordFiles(RecordFolder()); }

  // A capture through the session as Framewright HD runs one, its journal
  // on; `whileRunning` looks at things after the last frame, before the stop.
  CaptureEnd Capture(const std::string& path, CaptureFileFormat format, uint32_t frames,
                     const std::function<void()>& whileRunning = {}) {
    CaptureSessionSettings settings;
    settings.format = format;
    settings.mode = CaptureMode::kEveryFrame;
    settings.journal = MakeRecoveryJournalFactory(ProgramFlavor::kHD, format, &DescribeHDCaptureMovie);
    std::unique_ptr<CaptureSession> session;
    EXPECT_EQ(CaptureSession::Start(
                  path, settings, schedule_,
                  [](const FileRef& file, int32_t size, int32_t count) {
                    return addMovieResourceToFile(&file, size, count);
                  },
                  &session),
              noErr);
    for (uint32_t i = 0; i < frames; ++i) {
      const std::vector<uint8_t> frame = MakeFrame(kWidth, kHeight, i);
      EXPECT_EQ(session->WriteFrame(frame.data(), kWidth * 2, kWidth * 2, kHeight), noErr);
    }
    if (whileRunning) whileRunning();
    return session->Finish(noErr);
  }

  // What a capture killed after `frames` whole frames and part of the next
  // leaves: the file as the writer left it and the record written before
  // its first frame.
  std::string LeaveKilledCapture(const std::string& path, CaptureFileFormat format, uint32_t frames,
                                 size_t partialBytes) {
    const bool movie = format == CaptureFileFormat::kQuickTimeMovie;
    if (movie) {
      EXPECT_EQ(movie_test::WriteCaptureFile(FileRef{path}, kWidth, kHeight, frames), noErr);
    } else {
      std::ofstream(path, std::ios::binary | std::ios::trunc).close();
      for (uint32_t i = 0; i < frames; ++i) AppendBytes(path, MakeFrame(kWidth, kHeight, i), kFrameBytes);
    }
    AppendBytes(path, MakeFrame(kWidth, kHeight, frames), partialBytes);
    CaptureRecoveryRecord record;
    record.format = format;
    record.capturePath = path;
    record.fileInode = InodeOf(path);
    record.frameDataSize = kFrameBytes;
    if (movie) {
      EXPECT_EQ(DescribeHDCaptureMovie(&record.movie), noErr);
    }
    const std::string recordPath = RecoveryRecordPath(RecordFolder(), path);
    EXPECT_EQ(WriteRecoveryRecordFile(recordPath, record), noErr);
    return recordPath;
  }

  TempHome home_;
  InputScope input_{kWidth, kHeight, 2500};
  FrameSchedule schedule_{ProgramFlavor::kHD};
};

TEST_F(RecoveryTest, ARunningCaptureKeepsItsRecordAndANormalStopRemovesIt) {
  const std::string path = home_.file("take.mov");
  gPrefs.flipHFlag = 1;
  CaptureEnd end = Capture(path, CaptureFileFormat::kQuickTimeMovie, 3, [&] {
    const std::vector<std::string> records = Records();
    ASSERT_EQ(records.size(), 1u);
    CaptureRecoveryRecord record;
    std::string problem;
    ASSERT_EQ(ReadRecoveryRecordFile(records[0], &record, &problem), noErr) << problem;
    EXPECT_EQ(record.capturePath, path);
    EXPECT_EQ(record.fileInode, InodeOf(path));
    EXPECT_EQ(record.frameDataSize, kFrameBytes);
    EXPECT_EQ(record.movie.width, uint32_t{kWidth});
    EXPECT_EQ(record.movie.height, uint32_t{kHeight});
    EXPECT_EQ(record.movie.timeScale, 2500);
    EXPECT_TRUE(record.movie.flipH);
    EXPECT_FALSE(record.movie.flipV);
    EXPECT_EQ(record.movie.description.cType, k2vuyPixelFormat);
    // A recovery while the capture runs leaves it alone.
    const RecoveryReport report = RecoverCaptureFromRecord(records[0], RecoveryAction::kRecover);
    EXPECT_EQ(report.outcome, RecoveryOutcome::kStillRunning);
    EXPECT_FALSE(report.IsFailure());
  });
  EXPECT_EQ(end.framesInFile, 3u);
  EXPECT_TRUE(Records().empty()) << "a capture that was never cut short leaves no record";
  EXPECT_TRUE(RecoverInterruptedCaptures(ProgramFlavor::kHD).empty());
}

TEST_F(RecoveryTest, RecoveredFilesAreByteForByteWhatANormalStopWrites) {
  for (const CaptureFileFormat format : {CaptureFileFormat::kQuickTimeMovie, CaptureFileFormat::kDVStream}) {
    SCOPED_TRACE(format == CaptureFileFormat::kDVStream ? "DV stream" : "movie");
    const std::string stopped = home_.file("stopped"), killed = home_.file("killed");
    ASSERT_EQ(Capture(stopped, format, 5).framesInFile, 5u);
    const std::string record = LeaveKilledCapture(killed, format, 5, kFrameBytes / 3);

    const RecoveryReport report = RecoverCaptureFromRecord(record, RecoveryAction::kRecover);
    EXPECT_EQ(report.outcome, RecoveryOutcome::kRecovered);
    EXPECT_EQ(report.frames, 5u);
    EXPECT_EQ(FileBytes(killed), FileBytes(stopped));
    EXPECT_FALSE(std::filesystem::exists(record));
    EXPECT_EQ(report.Sentence(),
              "The capture \"killed\", cut short, was recovered as " +
                  std::string(format == CaptureFileFormat::kDVStream ? "a DV stream" : "a movie") +
                  " of 5 frames in " + home_.path() + ".");
  }
}

TEST_F(RecoveryTest, ADryRunTellsWhatWouldBeDoneAndTouchesNothing) {
  const std::string path = home_.file("take.mov");
  const std::string record = LeaveKilledCapture(path, CaptureFileFormat::kQuickTimeMovie, 2, 100);
  const std::vector<uint8_t> before = FileBytes(path);
  const RecoveryReport report = RecoverCaptureFromRecord(record, RecoveryAction::kDryRun);
  EXPECT_EQ(report.outcome, RecoveryOutcome::kRecovered);
  EXPECT_EQ(report.frames, 2u);
  EXPECT_NE(report.Sentence().find("would be recovered as a movie of 2 frames"), std::string::npos);
  EXPECT_EQ(FileBytes(path), before);
  EXPECT_TRUE(std::filesystem::exists(record));
}

TEST_F(RecoveryTest, ACaptureLockedByAnotherProcessIsNotTouched) {
  const std::string path = home_.file("take.mov");
  const std::string record = LeaveKilledCapture(path, CaptureFileFormat::kQuickTimeMovie, 2, 100);
  const std::vector<uint8_t> before = FileBytes(path);
  int toChild[2], toParent[2];
  ASSERT_EQ(pipe(toChild), 0);
  ASSERT_EQ(pipe(toParent), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The other program: holds the file's lock until told to let go.
    std::unique_ptr<CaptureFileLock> lock;
    const char held = CaptureFileLock::Acquire(FileRef{path}, &lock, nullptr) == noErr ? 'y' : 'n';
    char go = 0;
    if (write(toParent[1], &held, 1) != 1 || read(toChild[0], &go, 1) != 1) _exit(2);
    _exit(0);
  }
  char held = 0;
  ASSERT_EQ(read(toParent[0], &held, 1), 1);
  ASSERT_EQ(held, 'y');
  const RecoveryReport running = RecoverCaptureFromRecord(record, RecoveryAction::kRecover);
  EXPECT_EQ(running.outcome, RecoveryOutcome::kStillRunning);
  EXPECT_EQ(FileBytes(path), before);
  EXPECT_TRUE(std::filesystem::exists(record));
  EXPECT_TRUE(RecoverInterruptedCaptures(ProgramFlavor::kHD).empty()) << "nothing to tell while it runs";

  ASSERT_EQ(write(toChild[1], "g", 1), 1);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  for (int fd : {toChild[0], toChild[1], toParent[0], toParent[1]}) close(fd);
  // Once the other program is gone, the next start finishes it.
  const std::vector<std::string> sentences = RecoverInterruptedCaptures(ProgramFlavor::kHD);
  ASSERT_EQ(sentences.size(), 1u);
  EXPECT_NE(sentences[0].find("recovered as a movie of 2 frames"), std::string::npos);
}

TEST_F(RecoveryTest, RecordsThatCannotBeFollowedAreReportedAndTouchNoCaptureFile) {
  const std::string folder = RecordFolder();
  const std::string capture = home_.file("other.mov");
  const std::string sub = home_.file("a folder");
  std::filesystem::create_directory(sub);
  struct Case {
    const char* name;
    // Leaves the record (and whatever it names); returns the record's path.
    std::function<std::string()> make;
    RecoveryOutcome outcome;
    const char* sentencePart;
  };
  const auto recordFor = [&](const std::string& target, CaptureFileFormat format) {
    CaptureRecoveryRecord r;
    r.format = format;
    r.capturePath = target;
    r.fileInode = InodeOf(target);
    r.frameDataSize = kFrameBytes;
    if (format == CaptureFileFormat::kQuickTimeMovie) {
      EXPECT_EQ(DescribeHDCaptureMovie(&r.movie), noErr);
    }
    return r;
  };
  const auto writeRecord = [&](const CaptureRecoveryRecord& r) {
    const std::string path = RecoveryRecordPath(folder, r.capturePath);
    EXPECT_EQ(WriteRecoveryRecordFile(path, r), noErr);
    return path;
  };
  const auto storeBytes = [&](const std::string& name, std::vector<uint8_t> bytes) {
    const std::string path = folder + "/" + name + ".record";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
  };
  const Case cases[] = {
      {"truncated",
       [&] {
         std::vector<uint8_t> bytes =
             SerialiseRecoveryRecord(recordFor(capture, CaptureFileFormat::kDVStream));
         bytes.resize(bytes.size() - 9);
         return storeBytes("truncated", bytes);
       },
       RecoveryOutcome::kDamagedRecord, "is damaged (cut short or too long)"},
      {"garbage", [&] { return storeBytes("garbage", std::vector<uint8_t>(300, 0xA5)); },
       RecoveryOutcome::kDamagedRecord, "is damaged (not a recovery record)"},
      {"one bit flipped",
       [&] {
         std::vector<uint8_t> bytes =
             SerialiseRecoveryRecord(recordFor(capture, CaptureFileFormat::kDVStream));
         bytes[20] ^= 0x10;
         return storeBytes("flipped", bytes);
       },
       RecoveryOutcome::kDamagedRecord, "is damaged (a wrong checksum)"},
      {"a device", [&] { return writeRecord(recordFor("/dev/null", CaptureFileFormat::kDVStream)); },
       RecoveryOutcome::kDamagedRecord, "is damaged (it names a folder or a device, not a capture file)"},
      {"a folder", [&] { return writeRecord(recordFor(sub, CaptureFileFormat::kQuickTimeMovie)); },
       RecoveryOutcome::kDamagedRecord, "is damaged (it names a folder or a device, not a capture file)"},
      {"a file that is gone",
       [&] { return writeRecord(recordFor(home_.file("gone.mov"), CaptureFileFormat::kQuickTimeMovie)); },
       RecoveryOutcome::kFileGone, "could not be recovered: it is no longer in"},
      {"no whole frame",
       [&] {
         return LeaveKilledCapture(home_.file("short.mov"), CaptureFileFormat::kQuickTimeMovie, 0,
                                   kFrameBytes - 1);
       },
       RecoveryOutcome::kNoWholeFrame, "holds no whole frame"},
      {"another file in its place",
       [&] {
         CaptureRecoveryRecord r = recordFor(capture, CaptureFileFormat::kDVStream);
         r.fileInode += 1;
         return writeRecord(r);
       },
       RecoveryOutcome::kNotTheCapture, "another file has taken its place"},
      {"not a capture file",
       [&] { return writeRecord(recordFor(capture, CaptureFileFormat::kQuickTimeMovie)); },
       RecoveryOutcome::kNotTheCapture, "another file has taken its place"},
  };
  std::vector<uint8_t> other(3 * kFrameBytes, 0x42);  // someone's file, not a capture
  std::ofstream(capture, std::ios::binary)
      .write(reinterpret_cast<const char*>(other.data()), static_cast<std::streamsize>(other.size()));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string record = c.make();
    const std::vector<uint8_t> captureBefore = FileBytes(capture);
    const std::vector<uint8_t> shortBefore = FileBytes(home_.file("short.mov"));
    const RecoveryReport report = RecoverCaptureFromRecord(record, RecoveryAction::kRecover);
    EXPECT_EQ(report.outcome, c.outcome);
    EXPECT_TRUE(report.IsFailure());
    EXPECT_NE(report.Sentence().find(c.sentencePart), std::string::npos) << report.Sentence();
    EXPECT_EQ(FileBytes(capture), captureBefore);
    EXPECT_EQ(FileBytes(home_.file("short.mov")), shortBefore);
    EXPECT_TRUE(std::filesystem::is_directory(sub));
    // A damaged record is set aside once; any other is done with.
    EXPECT_FALSE(std::filesystem::exists(record));
    EXPECT_EQ(std::filesystem::exists(record + ".damaged"), c.outcome == RecoveryOutcome::kDamagedRecord);
  }
  EXPECT_TRUE(Records().empty());
}

TEST(RecoveryRecordTest, StoresEveryFieldAndRefusesRecordsOutOfRange) {
  CaptureRecoveryRecord r;
  r.flavor = ProgramFlavor::kClassic;
  r.capturePath = "/home/someone/Movies/take one.mov";
  r.fileInode = 0x123456789ABCull;
  r.frameDataSize = 614400;
  r.movie.width = 640;
  r.movie.height = 480;
  r.movie.timeScale = 2997;
  r.movie.flipV = true;
  r.movie.setClip = true;
  r.movie.clip = Rect{10, 20, 470, 620};
  ImageDescriptionHandle description;
  ASSERT_EQ(MakeDVImageDescription(DVVideoSystem::k525Lines60Hz, &description), noErr);
  r.movie.description = *description;
  const std::vector<uint8_t> bytes = SerialiseRecoveryRecord(r);
  CaptureRecoveryRecord back;
  std::string problem;
  ASSERT_EQ(ParseRecoveryRecord(bytes.data(), bytes.size(), &back, &problem), noErr) << problem;
  EXPECT_EQ(SerialiseRecoveryRecord(back), bytes);
  EXPECT_EQ(back.flavor, ProgramFlavor::kClassic);
  EXPECT_EQ(back.capturePath, r.capturePath);
  EXPECT_EQ(back.fileInode, r.fileInode);
  EXPECT_EQ(back.movie.clip.bottom, 470);
  EXPECT_TRUE(back.movie.flipV && back.movie.setClip && !back.movie.flipH);
  EXPECT_EQ(back.movie.description.cType, kDVNTSCCodecType);

  struct Bad {
    const char* name;
    std::function<void(CaptureRecoveryRecord&)> spoil;
    const char* problem;
  };
  const Bad bad[] = {
      {"relative path", [](CaptureRecoveryRecord& x) { x.capturePath = "take.mov"; }, "no usable file path"},
      {"no frame size", [](CaptureRecoveryRecord& x) { x.frameDataSize = 0; }, "no frame size"},
      {"no movie rate", [](CaptureRecoveryRecord& x) { x.movie.timeScale = 0; },
       "a movie size or rate out of range"},
      {"too wide", [](CaptureRecoveryRecord& x) { x.movie.width = 70000; },
       "a movie size or rate out of range"},
  };
  for (const Bad& b : bad) {
    CaptureRecoveryRecord spoilt = r;
    b.spoil(spoilt);
    const std::vector<uint8_t> stored = SerialiseRecoveryRecord(spoilt);
    EXPECT_EQ(ParseRecoveryRecord(stored.data(), stored.size(), &back, &problem), paramErr) << b.name;
    EXPECT_EQ(problem, b.problem) << b.name;
  }
  // Every cut of a good record is refused.
  for (size_t n = 0; n < bytes.size(); ++n)
    ASSERT_EQ(ParseRecoveryRecord(bytes.data(), n, &back, nullptr), paramErr) << n << " bytes";
}

}  // namespace
