#include "core/prefs/prefs_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "core/platform/clocks.h"
#include "core/platform/error_reporter.h"
#include "core/platform/fault_injection.h"
#include "support/temp_dir.h"

using namespace fw;

namespace {

namespace fs = std::filesystem;

std::vector<std::tuple<int16_t, int32_t, int32_t>> gReports;
void RecordReport(int16_t messageIndex, int32_t location, int32_t err) {
  gReports.emplace_back(messageIndex, location, err);
}

MySize gWindow{};
bool gWindowOpen = false;
bool WindowSource(MySize* out) {
  if (gWindowOpen) *out = gWindow;
  return gWindowOpen;
}

std::string gDeviceName;
bool DeviceNameSource(Str255 out) {
  CopyToStr255(gDeviceName, out);
  return true;
}

// Runs each test against a scratch preferences folder, never the user's.
class PrefsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr) savedConfig_ = config;
    setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
    SetClassicErrorReporter(RecordReport);
    gReports.clear();
    gWindowOpen = false;
    SetPreferencesDefaults(&gPrefs, ProgramFlavor::kHD);
  }
  void TearDown() override {
    if (savedConfig_) {
      setenv("XDG_CONFIG_HOME", savedConfig_->c_str(), 1);
    } else {
      unsetenv("XDG_CONFIG_HOME");
    }
    SetClassicErrorReporter(nullptr);
    SetPreferencesWindowGeometrySource(nullptr);
    SetPreferencesDeviceNameSource(nullptr);
    ClearWriteFaults();
  }

  std::string PrefsPath() const { return config_.file("Framewright Preferences"); }

  std::vector<uint8_t> FileBytes() const {
    std::ifstream in(PrefsPath(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  void PutFile(const std::vector<uint8_t>& bytes) const {
    std::ofstream(PrefsPath(), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }

  std::vector<std::string> FolderContents() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(config_.path())) names.push_back(entry.path().filename());
    return names;
  }

  TempDir config_;
  std::optional<std::string> savedConfig_;
};

TEST_F(PrefsFileTest, NoFileKeepsTheDefaults) {
  EXPECT_EQ(ReadPreferences(ProgramFlavor::kHD), noErr);
  PrefsStruct defaults;
  SetPreferencesDefaults(&defaults, ProgramFlavor::kHD);
  EXPECT_EQ(std::memcmp(&gPrefs, &defaults, sizeof defaults), 0);
  EXPECT_FALSE(fs::exists(PrefsPath()));

  SetPreferencesDefaults(&gPrefs, ProgramFlavor::kClassic);
  EXPECT_EQ(ReadPreferences(ProgramFlavor::kClassic), noErr);
  EXPECT_TRUE(gReports.empty());
}

TEST_F(PrefsFileTest, HDWritesAndReadsBackThroughTheFile) {
  gPrefs.hundredTimesMovieFPS = 2500;
  gPrefs.trimLeft = 8;
  std::strcpy(gPrefs.uniqueID, "pattern:0");
  gWindowOpen = true;
  gWindow = {40, 60, 800, 600};
  SetPreferencesWindowGeometrySource(WindowSource);
  ASSERT_EQ(WritePreferences(ProgramFlavor::kHD), noErr);
  EXPECT_EQ(FileBytes(), BuildPreferencesFileImage(gPrefs, ProgramFlavor::kHD));
  EXPECT_EQ(FolderContents(), std::vector<std::string>{"Framewright Preferences"});

  SetPreferencesDefaults(&gPrefs, ProgramFlavor::kHD);
  ASSERT_EQ(ReadPreferences(ProgramFlavor::kHD), noErr);
  EXPECT_EQ(gPrefs.hundredTimesMovieFPS, 2500);
  EXPECT_EQ(gPrefs.trimLeft, 8);
  EXPECT_STREQ(gPrefs.uniqueID, "pattern:0");
  EXPECT_EQ(gPrefs.mainWindowSize.x, 60);
  EXPECT_EQ(gPrefs.mainWindowSize.width, 800);
}

TEST_F(PrefsFileTest, HDStoresZeroGeometryWithoutAMainWindow) {
  gPrefs.mainWindowSize = {1, 2, 3, 4};
  ASSERT_EQ(WritePreferences(ProgramFlavor::kHD), noErr);  // no source installed
  EXPECT_EQ(gPrefs.mainWindowSize.y, 0);
  EXPECT_EQ(gPrefs.mainWindowSize.height, 0);

  gPrefs.mainWindowSize = {1, 2, 3, 4};
  SetPreferencesWindowGeometrySource(WindowSource);  // installed, window closed
  ASSERT_EQ(WritePreferences(ProgramFlavor::kHD), noErr);
  EXPECT_EQ(gPrefs.mainWindowSize.x, 0);
  EXPECT_EQ(gPrefs.mainWindowSize.width, 0);
}

TEST_F(PrefsFileTest, ClassicStoresSetupWindowAndDigitizerName) {
  SetPreferencesDefaults(&gPrefs, ProgramFlavor::kClassic);
  gPrefs.mainWindowSize = WindowGeometryFromRect(Rect{50, 20, 290, 340});
  ASSERT_EQ(WritePreferences(ProgramFlavor::kClassic), noErr);  // no sources: the read values stay
  EXPECT_EQ(RectFromWindowGeometry(gPrefs.mainWindowSize), (Rect{50, 20, 290, 340}));
  EXPECT_EQ(Str255ToString(gPrefs.deviceNameOLD), "DV Video");

  gWindowOpen = true;
  gWindow = WindowGeometryFromRect(Rect{-5, 100, 235, 420});
  gDeviceName = std::string(100, 'n');  // longer than the field holds
  SetPreferencesWindowGeometrySource(WindowSource);
  SetPreferencesDeviceNameSource(DeviceNameSource);
  ASSERT_EQ(WritePreferences(ProgramFlavor::kClassic), noErr);
  EXPECT_EQ(FileBytes().size(), 11u + 96u);

  gDeviceName = "USB";  // a shorter name leaves no bytes of the longer one
  ASSERT_EQ(WritePreferences(ProgramFlavor::kClassic), noErr);
  SetPreferencesDefaults(&gPrefs, ProgramFlavor::kClassic);
  ASSERT_EQ(ReadPreferences(ProgramFlavor::kClassic), noErr);
  EXPECT_EQ(RectFromWindowGeometry(gPrefs.mainWindowSize), (Rect{-5, 100, 235, 420}));
  uint8_t expectedName[64] = {3, 'U', 'S', 'B'};
  EXPECT_EQ(std::memcmp(gPrefs.deviceNameOLD, expectedName, sizeof expectedName), 0);

  gDeviceName = std::string(100, 'n');
  ASSERT_EQ(WritePreferences(ProgramFlavor::kClassic), noErr);
  EXPECT_EQ(gPrefs.deviceNameOLD[0], 63);
  EXPECT_EQ(gPrefs.flipHFlag, 0);  // the field behind the name is intact
  EXPECT_TRUE(gReports.empty());
}

TEST_F(PrefsFileTest, ClassicFileReadByHDKeepsHDOnlySettings) {
  SetPreferencesDefaults(&gPrefs, ProgramFlavor::kClassic);
  gPrefs.hundredTimesMovieFPS = 1200;
  std::strcpy(gPrefs.uniqueID, "left over in memory");  // not the classic program's to write
  ASSERT_EQ(WritePreferences(ProgramFlavor::kClassic), noErr);

  SetPreferencesDefaults(&gPrefs, ProgramFlavor::kHD);
  ASSERT_EQ(ReadPreferences(ProgramFlavor::kHD), noErr);
  EXPECT_EQ(gPrefs.hundredTimesMovieFPS, 1200);
  EXPECT_EQ(gPrefs.captureFormatOLD, 1);
  EXPECT_STREQ(gPrefs.uniqueID, "");
}

TEST_F(PrefsFileTest, FailedWriteLeavesThePreviousFileAsItWas) {
  gPrefs.hundredTimesMovieFPS = 2400;
  ASSERT_EQ(WritePreferences(ProgramFlavor::kHD), noErr);
  const std::vector<uint8_t> before = FileBytes();

  for (ProgramFlavor flavor : {ProgramFlavor::kHD, ProgramFlavor::kClassic}) {
    ClearWriteFaults();
    gReports.clear();
    WriteFault fault;
    fault.path = config_.file(PreferencesTempFileName());
    fault.failOnWriteNumber = 1;
    fault.partialBytes = 20;  // a disk that fills up part-way through
    InjectWriteFault(fault);
    gPrefs.hundredTimesMovieFPS = 3000;
    EXPECT_EQ(WritePreferences(flavor), dskFulErr);
    EXPECT_EQ(FileBytes(), before);
    EXPECT_EQ(FolderContents(), std::vector<std::string>{"Framewright Preferences"});
    using Report = std::tuple<int16_t, int32_t, int32_t>;
    if (flavor == ProgramFlavor::kClassic) {
      EXPECT_EQ(gReports, (std::vector<Report>{{4, 310, dskFulErr}}));
    } else {
      EXPECT_TRUE(gReports.empty());
    }
  }

  SetPreferencesDefaults(&gPrefs, ProgramFlavor::kHD);
  ASSERT_EQ(ReadPreferences(ProgramFlavor::kHD), noErr);
  EXPECT_EQ(gPrefs.hundredTimesMovieFPS, 2400);
}

TEST_F(PrefsFileTest, WriteThatCannotReplaceTheFileCleansUp) {
  fs::create_directory(PrefsPath());  // something in the way that rename cannot replace
  EXPECT_NE(WritePreferences(ProgramFlavor::kHD), noErr);
  EXPECT_EQ(FolderContents(), std::vector<std::string>{"Framewright Preferences"});
  EXPECT_TRUE(fs::is_directory(PrefsPath()));
}

TEST_F(PrefsFileTest, ClassicReportsReadFailuresHDReturnsThem) {
  std::vector<uint8_t> malformed(11 + 96, 0);
  malformed[8] = 151;
  PutFile(malformed);
  EXPECT_EQ(ReadPreferences(ProgramFlavor::kHD), 992);
  EXPECT_TRUE(gReports.empty());

  SetPreferencesDefaults(&gPrefs, ProgramFlavor::kClassic);
  EXPECT_EQ(ReadPreferences(ProgramFlavor::kClassic), 992);
  EXPECT_EQ(gPrefs.hundredTimesMovieFPS, 1500);

  PutFile({});  // an empty file has no header
  EXPECT_EQ(ReadPreferences(ProgramFlavor::kClassic), eofErr);
  using Report = std::tuple<int16_t, int32_t, int32_t>;
  EXPECT_EQ(gReports, (std::vector<Report>{{4, 110, 992}, {4, 110, eofErr}}));
}

}  // namespace

namespace {

namespace fs = std::filesystem;

int64_t NinthOfDecember() {
  return 1796817600;  // 2026-12-09 12:00 UTC
}

// What stands at the preferences path, made by each case.
struct SpecialFile {
  const char* what;
  std::function<void(const std::string& path)> make;
  fs::file_type type;
};

class PrefsFileProblemTest : public PrefsFileTest {
 protected:
  void SetUp() override {
    PrefsFileTest::SetUp();
    setenv("TZ", "UTC", 1);
    SetWallClockForTesting(&NinthOfDecember);
  }
  void TearDown() override {
    SetWallClockForTesting(nullptr);
    PrefsFileTest::TearDown();
  }
  std::vector<uint8_t> BytesOf(const std::string& path) const {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
};

TEST_F(PrefsFileProblemTest, FoldersFifosAndDevicesAreNeitherReadNorReplaced) {
  const std::vector<SpecialFile> cases = {
      {"FIFO", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }, fs::file_type::fifo},
      {"folder", [](const std::string& p) { fs::create_directory(p); }, fs::file_type::directory},
      {"device", [](const std::string& p) { fs::create_symlink("/dev/null", p); }, fs::file_type::character},
  };
  for (const SpecialFile& c : cases) {
    SCOPED_TRACE(c.what);
    c.make(PrefsPath());
    SetPreferencesDefaults(&gPrefs, ProgramFlavor::kHD);
    // A FIFO with no writer would block an open for reading for good.
    EXPECT_EQ(ReadPreferences(ProgramFlavor::kHD), notAFileErr);
    EXPECT_EQ(GetPreferencesFileStatus().condition, PreferencesFileCondition::kNotAFile);
    EXPECT_EQ(gPrefs.hundredTimesMovieFPS, 1800);
    EXPECT_EQ(PreferencesFileNotice("Framewright HD"),
              "\"" + PrefsPath() +
                  "\" is not a regular file, so Framewright HD starts with the default settings and does not "
                  "save them there.");
    gPrefs.hundredTimesMovieFPS = 2500;
    EXPECT_EQ(WritePreferences(ProgramFlavor::kHD), notAFileErr);
    EXPECT_EQ(fs::status(PrefsPath()).type(), c.type) << "left as it was";
    EXPECT_EQ(FolderContents(), std::vector<std::string>{"Framewright Preferences"});
    fs::remove(PrefsPath());
  }
}

// Files that hold settings this program cannot read, and one written by a
// newer version: each is kept, byte for byte, beside the new file that the
// first write makes, and the user is told once at the start.
TEST_F(PrefsFileProblemTest, FilesThatCouldNotBeReadAreKeptBeforeTheFirstWrite) {
  std::vector<uint8_t> good = BuildPreferencesFileImage(gPrefs, ProgramFlavor::kHD);
  std::vector<uint8_t> reserved255 = good;
  reserved255[8] = 255;
  std::vector<uint8_t> newer = good;
  newer[10] = 5;  // version 5
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    fs::perms mode;
    std::optional<OSErr> readFault;  // how the read fails where the file alone cannot make it
    OSErr readErr;
    const char* keptAs;
  };
  // Root reads a mode-000 file all the same; the read fault then stands in
  // for the permission a user lacks.
  const std::optional<OSErr> rootReads = geteuid() == 0 ? std::optional<OSErr>(permErr) : std::nullopt;
  const std::vector<Case> cases = {
      {"reserved block of 255", reserved255, fs::perms::owner_read | fs::perms::owner_write, std::nullopt,
       kMalformedPreferencesErr, "Framewright Preferences (unreadable 2026-12-09).bak"},
      {"empty",
       {},
       fs::perms::owner_read | fs::perms::owner_write,
       std::nullopt,
       eofErr,
       "Framewright Preferences (unreadable 2026-12-09 2).bak"},
      {"mode 000", good, fs::perms::none, rootReads, permErr,
       "Framewright Preferences (unreadable 2026-12-09 3).bak"},
      {"I/O error", good, fs::perms::owner_read | fs::perms::owner_write, ioErr, ioErr,
       "Framewright Preferences (unreadable 2026-12-09 4).bak"},
      {"newer version", newer, fs::perms::owner_read | fs::perms::owner_write, std::nullopt, noErr,
       "Framewright Preferences (newer version 2026-12-09).bak"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PutFile(c.bytes);
    fs::permissions(PrefsPath(), c.mode);
    if (c.readFault) InjectReadFault({PrefsPath(), *c.readFault});
    SetPreferencesDefaults(&gPrefs, ProgramFlavor::kHD);
    EXPECT_EQ(ReadPreferences(ProgramFlavor::kHD), c.readErr);
    ClearWriteFaults();
    EXPECT_EQ(GetPreferencesFileStatus().keepName, c.keptAs);
    const std::string notice = PreferencesFileNotice("Framewright HD");
    if (c.readErr != noErr) {
      EXPECT_EQ(notice, "The preferences file \"" + PrefsPath() + "\" could not be read (error " +
                            std::to_string(c.readErr) +
                            "), so Framewright HD starts with the default settings and keeps the old file "
                            "beside it as \"" +
                            c.keptAs + "\" when it saves them.");
      EXPECT_EQ(gPrefs.hundredTimesMovieFPS, 1800) << "the defaults stay";
    } else {
      EXPECT_EQ(notice,
                "The preferences file \"" + PrefsPath() +
                    "\" was written by a newer version, so Framewright HD keeps it beside the new one as "
                    "\"" +
                    c.keptAs + "\" when it saves its settings.");
    }

    gPrefs.hundredTimesMovieFPS = 2500;  // the session's settings
    ASSERT_EQ(WritePreferences(ProgramFlavor::kHD), noErr);
    const std::string kept = config_.file(c.keptAs);
    ASSERT_TRUE(fs::exists(kept));
    EXPECT_EQ(fs::status(kept).permissions() & fs::perms::all, c.mode);
    fs::permissions(kept, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(BytesOf(kept), c.bytes) << "kept intact";
    EXPECT_EQ(FileBytes(), BuildPreferencesFileImage(gPrefs, ProgramFlavor::kHD));
    // Kept once: the next write replaces the new file as usual.
    const size_t files = FolderContents().size();
    ASSERT_EQ(WritePreferences(ProgramFlavor::kHD), noErr);
    EXPECT_EQ(FolderContents().size(), files);
  }
  // A good file, or none, is quiet and keeps nothing.
  const size_t files = FolderContents().size();
  for (bool present : {true, false}) {
    if (!present) fs::remove(PrefsPath());
    EXPECT_EQ(ReadPreferences(ProgramFlavor::kHD), noErr);
    EXPECT_EQ(PreferencesFileNotice("Framewright HD"), "");
    ASSERT_EQ(WritePreferences(ProgramFlavor::kHD), noErr);
    EXPECT_EQ(FolderContents().size(), files);
  }
}

}  // namespace
