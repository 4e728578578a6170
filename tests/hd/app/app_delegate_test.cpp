// Start-up, the video input and the end of the run of Framewright HD's
// application logic, against fake devices and a recording view.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "app_test_support.h"
#include "core/capture/error_messages.h"
#include "core/movie/image_descriptions.h"
#include "core/movie/mdat_header.h"
#include "core/movie/movie_reader.h"
#include "core/recovery/recovery_record.h"

using namespace fw;

namespace {

bool Contains(const std::vector<std::string>& calls, const std::string& call) {
  return std::find(calls.begin(), calls.end(), call) != calls.end();
}

TEST_F(AppTest, FirstLaunchOpensTheFirstDeviceAndItsFramesEnableCapture) {
  Launch();
  EXPECT_EQ(view_.tickInterval, std::chrono::microseconds(16'667));
  EXPECT_EQ(gPrefs.hundredTimesMovieFPS, 1800);
  EXPECT_EQ(gPrefs.previewFlag, 1);
  EXPECT_TRUE(Contains(view_.calls, "show main"));
  EXPECT_TRUE(view_.alerts.empty());
  // No settings file yet: the window stays where the desktop put it.
  EXPECT_FALSE(view_.movedMainTo.has_value());
  EXPECT_EQ(gPrefs.mainWindowSize.x, 100);
  EXPECT_EQ(gPrefs.mainWindowSize.y, 80);
  EXPECT_EQ(gPrefs.mainWindowSize.width, 820);
  EXPECT_EQ(gPrefs.mainWindowSize.height, 640);

  ASSERT_EQ(gDeviceCount, 2);
  ASSERT_EQ(backend_.sessions.size(), 1u);
  EXPECT_EQ(backend_.sessions[0]->uniqueID, "fake:0");
  EXPECT_EQ(backend_.sessions[0]->request.inputSource, 0);
  EXPECT_EQ(view_.inputTitle, "Camera 0 - Composite");

  // The button waits for the input's first frame, which also starts the
  // preview in the main window.
  EXPECT_FALSE(view_.captureButtonEnabled);
  DeliverFrame(0);
  EXPECT_TRUE(view_.captureButtonEnabled);
  ASSERT_EQ(preview_.starts, 1);
  EXPECT_EQ(preview_.startWindows[0], WindowId::kMainWindow);
}

TEST_F(AppTest, SavedWindowPositionIsRestoredOnlyWhereAScreenShowsIt) {
  PrefsStruct saved = DefaultPrefs();
  saved.mainWindowSize = MySize{240, 2000, 820, 640};  // y, x: on the second screen only
  WritePrefsFile(saved);
  view_.screens = {{0, 0, 1920, 1050}, {1920, 0, 1280, 1024}};
  Launch();
  ASSERT_TRUE(view_.movedMainTo.has_value());
  EXPECT_EQ(*view_.movedMainTo, std::make_pair(2000, 240));
  EXPECT_EQ(gPrefs.mainWindowSize.x, 2000);
  EXPECT_EQ(gPrefs.mainWindowSize.y, 240);
}

TEST_F(AppTest, SavedWindowPositionOffEveryScreenIsIgnored) {
  PrefsStruct saved = DefaultPrefs();
  saved.mainWindowSize = MySize{300, 2500, 820, 640};  // a display that has since gone
  WritePrefsFile(saved);
  Launch();
  EXPECT_FALSE(view_.movedMainTo.has_value());
  // The window's own place is what the next run will remember.
  EXPECT_EQ(gPrefs.mainWindowSize.x, 100);
  EXPECT_EQ(gPrefs.mainWindowSize.y, 80);
}

TEST(WindowPositionTest, FourEdgesOfTheUsableArea) {
  const std::vector<ScreenArea> screens{{0, 30, 1920, 1050}};
  auto at = [&](int x, int y) {
    return testWindowPosition(MySize{int16_t(y), int16_t(x), 800, 600}, screens);
  };
  EXPECT_TRUE(at(100, 100));
  EXPECT_TRUE(at(1910, 100));  // left edge 10 inside the right edge
  EXPECT_FALSE(at(1911, 100));
  EXPECT_TRUE(at(-790, 100));  // right edge 10 inside the left edge
  EXPECT_FALSE(at(-791, 100));
  EXPECT_TRUE(at(100, 30));    // title bar at the top of the area
  EXPECT_FALSE(at(100, 29));   // title bar above it
  EXPECT_TRUE(at(100, 1070));  // top edge 10 above the area's bottom
  EXPECT_FALSE(at(100, 1071));
  EXPECT_FALSE(testWindowPosition(MySize{100, 100, 800, 600}, {}));  // no screen at all
  // Any screen will do, not only the first.
  EXPECT_TRUE(testWindowPosition(MySize{100, -1000, 800, 600}, {{0, 0, 1920, 1080}, {-1280, 0, 1280, 1024}}));
}

TEST_F(AppTest, SavedDeviceIsOpenedOnItsInput) {
  PrefsStruct saved = DefaultPrefs();
  SetUniqueID(&saved, "fake:0");
  saved.inputNum = 1;
  WritePrefsFile(saved);
  Launch();
  ASSERT_EQ(backend_.sessions.size(), 1u);
  EXPECT_EQ(backend_.sessions[0]->uniqueID, "fake:0");
  EXPECT_EQ(backend_.sessions[0]->request.inputSource, 1);
  EXPECT_EQ(view_.inputTitle, "Camera 0 - S-Video");
  EXPECT_TRUE(view_.alerts.empty());
}

TEST_F(AppTest, SavedDeviceThatIsGoneOpensTheFirstDeviceWithoutAMessage) {
  PrefsStruct saved = DefaultPrefs();
  SetUniqueID(&saved, "fake:unplugged");
  saved.inputNum = 3;
  WritePrefsFile(saved);
  Launch();
  ASSERT_EQ(backend_.sessions.size(), 1u);
  EXPECT_EQ(backend_.sessions[0]->uniqueID, "fake:0");
  EXPECT_EQ(backend_.sessions[0]->request.inputSource, 0);
  EXPECT_TRUE(view_.alerts.empty());
  ASSERT_NE(gInput, nullptr);
  EXPECT_NE(gInput->deviceRef, 0);
}

TEST_F(AppTest, NoDeviceAtAllShowsTheInitialisingMessage) {
  backend_.devices.clear();
  Launch();
  ASSERT_EQ(view_.alerts.size(), 1u);
  EXPECT_EQ(view_.alerts[0].window, WindowId::kMainWindow);
  EXPECT_EQ(
      view_.alerts[0].message,
      "Sorry, there was an error while initialising: error 1300, no video input devices were found. Please "
      "check that a device is connected and any necessary driver software is installed.");
  EXPECT_TRUE(backend_.sessions.empty());
  EXPECT_EQ(gInput, nullptr);
  EXPECT_FALSE(view_.captureButtonEnabled);
  EXPECT_EQ(view_.inputTitle, "");
  // The program carries on: the window is up and the timer ticks.
  EXPECT_TRUE(Contains(view_.calls, "show main"));
  view_.onTick();
}

TEST_F(AppTest, DeviceThatCannotBeOpenedShowsOneMessageForTheLastAttempt) {
  PrefsStruct saved = DefaultPrefs();
  SetUniqueID(&saved, "fake:1");
  WritePrefsFile(saved);
  backend_.startError = kCannotOpenVideoInputErr;
  Launch();
  // The saved device, then the first one; only the second failure is told.
  ASSERT_EQ(backend_.sessions.size(), 2u);
  EXPECT_EQ(backend_.sessions[0]->uniqueID, "fake:1");
  EXPECT_EQ(backend_.sessions[1]->uniqueID, "fake:0");
  ASSERT_EQ(view_.alerts.size(), 1u);
  EXPECT_EQ(view_.alerts[0].message,
            "Sorry, there was an error opening the video input device: error 90020, count not open the video "
            "input.");
  // The record stays, without a device, until the input is closed.
  ASSERT_NE(gInput, nullptr);
  EXPECT_EQ(gInput->deviceRef, 0);
  EXPECT_FALSE(view_.captureButtonEnabled);
}

TEST_F(AppTest, QuitClosesTheInputAndRemembersWhereTheWindowIs) {
  Launch();
  DeliverFrame(0);
  view_.mainFrame = WindowFrame{640, 360, 820, 640};
  delegate_->applicationWillTerminate();

  EXPECT_EQ(gInput, nullptr);
  EXPECT_TRUE(backend_.sessions[0]->stopped);
  EXPECT_EQ(gDevices, nullptr);
  EXPECT_EQ(gDeviceCount, 0);
  EXPECT_EQ(gVideoPreviewRef, nullptr);
  EXPECT_EQ(preview_.disposals, 1);
  const PrefsStruct written = ReadPrefsFile();
  EXPECT_EQ(written.mainWindowSize.x, 640);
  EXPECT_EQ(written.mainWindowSize.y, 360);
  EXPECT_EQ(written.mainWindowSize.width, 820);
  EXPECT_EQ(written.mainWindowSize.height, 640);
  EXPECT_EQ(written.hundredTimesMovieFPS, 1800);

  // A second quit (the destructor's path) changes nothing.
  delegate_->applicationWillTerminate();
  EXPECT_EQ(preview_.disposals, 1);
}

TEST_F(AppTest, QuitDuringACaptureFinishesTheMovie) {
  PrefsStruct saved = DefaultPrefs();
  saved.captureLocation = kCaptureLocationDocuments;
  WritePrefsFile(saved);
  Launch();
  DeliverFrame(0);
  delegate_->startCapture();
  ASSERT_NE(gCapture, nullptr);
  EXPECT_TRUE(Contains(view_.calls, "show capture"));
  for (int frame = 0; frame < 2; ++frame) {
    delegate_->scheduleFrameCapture();
    DeliverFrame(0);
  }
  ASSERT_EQ(gCapture->framesWritten, 2u);

  delegate_->applicationWillTerminate();
  EXPECT_EQ(gCapture, nullptr);
  EXPECT_TRUE(view_.alerts.empty());
  std::vector<std::filesystem::path> movies;
  for (const auto& entry : std::filesystem::directory_iterator(home_.path() + "/Documents"))
    movies.push_back(entry.path());
  ASSERT_EQ(movies.size(), 1u);
  const int fd = open(movies[0].c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  MovieFileInfo movie;
  std::string problem;
  const OSErr err =
      ReadMovieFile(FileByteSource(fd, std::filesystem::file_size(movies[0])), &movie, &problem);
  close(fd);
  ASSERT_EQ(err, noErr) << problem;
  ASSERT_EQ(movie.tracks.size(), 1u);
  EXPECT_EQ(movie.tracks[0].sampleCount, 2u);
}

// Two captures a crash cut short: the next start finishes both before
// anything else and tells of them in one alert, a sentence each.
TEST_F(AppTest, CapturesCutShortAreFinishedAtStartAndToldInOneAlert) {
  std::string folder;
  ASSERT_EQ(GetRecoveryFolder(ProgramFlavor::kHD, FolderCreation::kCreateIfMissing, &folder), noErr);
  PixMapHandle pixMap;
  ImageDescriptionHandle description;
  ASSERT_EQ(MyNewPixMapWithoutStorage(k2vuyPixelFormat, Rect{0, 0, 8, 16}, 32, &pixMap), noErr);
  ASSERT_EQ(MakeImageDescriptionForPixMap(pixMap.get(), &description), noErr);
  const std::string names[] = {"first.mov", "second.mov"};
  for (int i = 0; i < 2; ++i) {
    CaptureRecoveryRecord record;
    record.capturePath = home_.file(names[i]);
    record.frameDataSize = 16 * 8 * 2;
    record.movie.width = 16;
    record.movie.height = 8;
    record.movie.timeScale = 1800;
    record.movie.description = *description;
    // The placeholder header, i + 2 whole frames and a part of the next.
    std::vector<uint8_t> bytes(kMdatHeaderSizeBytes + (i + 2) * record.frameDataSize + 100, 0x80);
    std::memcpy(bytes.data(), "\0\0\0\x08wide\0\0\0\0mdat", kMdatHeaderSizeBytes);
    std::ofstream(record.capturePath, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    struct stat st {};
    ASSERT_EQ(stat(record.capturePath.c_str(), &st), 0);
    record.fileInode = st.st_ino;
    ASSERT_EQ(WriteRecoveryRecordFile(RecoveryRecordPath(folder, record.capturePath), record), noErr);
  }

  Launch();
  ASSERT_EQ(view_.alerts.size(), 1u);
  EXPECT_EQ(view_.alerts[0].window, WindowId::kMainWindow);
  const std::string first =
      "The capture \"first.mov\", cut short, was recovered as a movie of 2 frames in " + home_.path() + ".";
  const std::string second =
      "The capture \"second.mov\", cut short, was recovered as a movie of 3 frames in " + home_.path() + ".";
  // Records are taken in the order of their names, which hash the paths.
  EXPECT_TRUE(view_.alerts[0].message == first + "\n\n" + second ||
              view_.alerts[0].message == second + "\n\n" + first)
      << view_.alerts[0].message;
  EXPECT_TRUE(ListRecoveryRecordFiles(folder).empty());
  for (int i = 0; i < 2; ++i) {
    const std::string path = home_.file(names[i]);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    MovieFileInfo movie;
    std::string problem;
    const OSErr err = ReadMovieFile(FileByteSource(fd, std::filesystem::file_size(path)), &movie, &problem);
    close(fd);
    ASSERT_EQ(err, noErr) << problem;
    ASSERT_EQ(movie.tracks.size(), 1u);
    EXPECT_EQ(movie.tracks[0].sampleCount, uint32_t(i + 2));
  }
  delegate_->applicationWillTerminate();
  view_.alerts.clear();
  Launch();
  EXPECT_TRUE(view_.alerts.empty()) << "told once";
}

// A damaged settings file and a FIFO in its place: the program starts at
// once with the defaults and says so once; at the quit the damaged file is
// kept beside the new one and the FIFO is left as it was.
TEST_F(AppTest, SettingsFileThatCannotBeReadIsToldOnceAndNotLost) {
  std::filesystem::create_directories(ConfigFolder());
  ASSERT_EQ(mkfifo(PrefsFilePath().c_str(), 0600), 0);
  Launch();
  ASSERT_EQ(view_.alerts.size(), 1u);
  EXPECT_EQ(view_.alerts[0].window, WindowId::kMainWindow);
  EXPECT_EQ(view_.alerts[0].message,
            "\"" + PrefsFilePath() +
                "\" is not a regular file, so Framewright HD starts with the default "
                "settings and does not save them there.");
  EXPECT_EQ(backend_.sessions.size(), 1u) << "the start went on";
  delegate_->applicationWillTerminate();
  EXPECT_TRUE(std::filesystem::is_fifo(PrefsFilePath()));
  delegate_.reset();
  std::filesystem::remove(PrefsFilePath());

  std::vector<uint8_t> damaged = BuildPreferencesFileImage(DefaultPrefs(), ProgramFlavor::kHD);
  damaged[8] = 255;  // the reserved block's length byte
  std::ofstream(PrefsFilePath(), std::ios::binary)
      .write(reinterpret_cast<const char*>(damaged.data()), static_cast<std::streamsize>(damaged.size()));
  view_.alerts.clear();
  Launch();
  ASSERT_EQ(view_.alerts.size(), 1u);
  const std::string keptName = GetPreferencesFileStatus().keepName;
  EXPECT_EQ(keptName.rfind("Framewright Preferences (unreadable ", 0), 0u) << keptName;
  EXPECT_EQ(
      view_.alerts[0].message,
      "The preferences file \"" + PrefsFilePath() +
          "\" could not be read (error 992), so Framewright HD starts with the default settings and keeps "
          "the old file beside it as \"" +
          keptName + "\" when it saves them.");
  view_.mainFrame = WindowFrame{640, 360, 820, 640};
  delegate_->applicationWillTerminate();
  std::ifstream kept(ConfigFolder() + "/" + keptName, std::ios::binary);
  EXPECT_EQ(std::vector<uint8_t>(std::istreambuf_iterator<char>(kept), std::istreambuf_iterator<char>()),
            damaged);
  EXPECT_EQ(ReadPrefsFile().mainWindowSize.x, 640) << "the new file holds the session's settings";
}

TEST_F(AppTest, ManualOpensTheHelpPage) {
  Launch();
  delegate_->manual();
  EXPECT_EQ(view_.launchedURLs, std::vector<std::string>{"file:///help/manual.html"});
}

TEST_F(AppTest, AboutBoxIsOneWindowItsTextALinkAndNoneDuringACapture) {
  Launch();
  delegate_->about();
  delegate_->about();
  ASSERT_EQ(view_.aboutBoxes.size(), 1u);
  auto box = view_.aboutBoxes[0];
  EXPECT_TRUE(box->visible);
  EXPECT_EQ(box->showCount, 2);  // the second command brings it to the front
  ASSERT_TRUE(box->link.has_value());
  EXPECT_EQ(box->link->first, "file:///manual.html");
  EXPECT_EQ(box->link->second, "file:///manual.html");

  view_.calls.clear();
  box->actions->windowWillClose();
  EXPECT_TRUE(box->destroyed);
  EXPECT_FALSE(delegate_->HasAboutBox());
  EXPECT_TRUE(Contains(view_.calls, "show main"));

  CaptureRecord capture;
  gCapture = &capture;
  delegate_->about();
  delegate_->preferences();
  gCapture = nullptr;
  EXPECT_EQ(view_.aboutBoxes.size(), 1u);
  EXPECT_TRUE(view_.prefsWindows.empty());
}

TEST_F(AppTest, AboutBoxWithAnEmptyLinkFieldShowsNoLink) {
  view_.aboutLinkText.clear();
  Launch();
  delegate_->about();
  ASSERT_EQ(view_.aboutBoxes.size(), 1u);
  EXPECT_FALSE(view_.aboutBoxes[0]->link.has_value());
  EXPECT_TRUE(view_.aboutBoxes[0]->visible);
}

}  // namespace
