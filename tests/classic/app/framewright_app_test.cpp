// Framewright's logic on the headless toolbox with the built-in cameras:
// start-up, the setup window, the preferences dialog played by keys, and
// whole captures into real files (DV streams and movies), with the faults a
// capture can meet.
#include "classic/app/framewright_app.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "classic/app/app_resources.h"
#include "classic/capture/new_capture_file.h"
#include "classic/grabber/dv_camera.h"
#include "classic/grabber/raw_test_camera.h"
#include "classic/grabber/test_pictures.h"
#include "core/movie/atom_walker.h"
#include "core/movie/movie_reader.h"
#include "core/platform/fault_injection.h"
#include "core/platform/files.h"
#include "core/platform/folders.h"
#include "core/prefs/prefs_file.h"
#include "core/prefs/prefs_file_image.h"
#include "core/util/frame_stamp.h"
#include "core/util/strings.h"
#include "dialog_driving.h"
#include "luma_stamp.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

using namespace fw;

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kDVFrameBytes = 120000;
constexpr int32_t kRawWidth = kRawTestCameraWidthPixels;
constexpr int32_t kRawHeight = kRawTestCameraHeightPixels;
constexpr size_t kRawFrameBytes = size_t{kRawWidth} * kRawHeight * 4;

// The raw test camera's frame `number` as it delivers it (bytes A R G B).
std::vector<uint8_t> RawCameraFrame(uint32_t number) {
  std::vector<uint8_t> picture(size_t{kRawWidth} * 2 * kRawHeight), argb(kRawFrameBytes);
  DrawCameraTestPicture(picture.data(), kRawWidth * 2, kRawWidth, kRawHeight, number);
  Convert2vuyToARGB32(picture.data(), kRawWidth * 2, argb.data(), kRawWidth * 4, kRawWidth, kRawHeight);
  return argb;
}

// A frame as a window shows it: words 0xFFRRGGBB.
std::vector<uint32_t> AsWindowPixels(const std::vector<uint8_t>& argb) {
  std::vector<uint32_t> pixels(argb.size() / 4);
  for (size_t i = 0; i < pixels.size(); ++i)
    pixels[i] =
        0xFF000000u | uint32_t{argb[i * 4 + 1]} << 16 | uint32_t{argb[i * 4 + 2]} << 8 | argb[i * 4 + 3];
  return pixels;
}

// The raw camera's untrimmed full-size picture in the front (capture)
// window: centred under the window's 40-pixel band. Empty when it does
// not fit.
std::vector<uint32_t> CapturePreview() {
  const PortPixels port = GetPortPixels(GetWindowPort(FrontWindow()));
  const int32_t top = (40 + port.height - kRawHeight) / 2, left = (port.width - kRawWidth) / 2;
  if (top < 40 || left < 0 || top + kRawHeight > port.height) return {};
  std::vector<uint32_t> preview(size_t{kRawWidth} * kRawHeight);
  for (int32_t y = 0; y < kRawHeight; ++y)
    std::memcpy(&preview[size_t(y) * kRawWidth], port.pixels + size_t(top + y) * port.width + left,
                kRawWidth * 4);
  return preview;
}

// The frame number stamped in a preview; nothing when it shows no whole
// stamp (a blend of two frames, say).
std::optional<uint32_t> PreviewStamp(const std::vector<uint32_t>& preview) {
  if (preview.empty()) return std::nullopt;
  std::vector<uint8_t> luma(size_t{kRawWidth} * kFrameStampHeightPixels);
  for (size_t i = 0; i < luma.size(); ++i) luma[i] = static_cast<uint8_t>(preview[i] >> 8);  // grey: green
  uint32_t number = 0;
  if (!ReadLumaStamp(luma.data(), kRawWidth, &number)) return std::nullopt;
  return number;
}

// Whether every channel of `shown` is within 3 levels of `over` laid at
// `weight` over `under`.
bool IsBlend(const std::vector<uint32_t>& shown, const std::vector<uint32_t>& over,
             const std::vector<uint32_t>& under, double weight) {
  if (shown.size() != over.size() || shown.size() != under.size()) return false;
  for (size_t i = 0; i < shown.size(); ++i) {
    for (int shift = 0; shift <= 16; shift += 8) {
      const double expected =
          weight * ((over[i] >> shift) & 0xFF) + (1 - weight) * ((under[i] >> shift) & 0xFF);
      if (std::abs(((shown[i] >> shift) & 0xFF) - expected) > 3) return false;
    }
  }
  return true;
}

// The raw camera's live frame that `shown` lays the written frame `over`
// over at `weight`: the number of a frame after it, or nothing.
std::optional<uint32_t> LiveFrameUnderOnionSkin(const std::vector<uint32_t>& shown, uint32_t over,
                                                double weight) {
  const std::vector<uint32_t> overPixels = AsWindowPixels(RawCameraFrame(over));
  for (uint32_t live = over + 1; live < over + 2000; ++live) {
    if (IsBlend(shown, overPixels, AsWindowPixels(RawCameraFrame(live)), weight)) return live;
  }
  return std::nullopt;
}

uint64_t NowMillis() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

// The frames a movie file indexes, read by our own reader; -1 when it is no
// movie.
int64_t MovieFrameCount(const std::string& path) {
  FileRef file;
  int fd = kNoFile;
  uint64_t sizeBytes = 0;
  if (MakeFileRef(path, &file) != noErr || OpenFile(file, OpenMode::kReadOnly, &fd) != noErr) return -1;
  MovieFileInfo info;
  std::string problem;
  const bool read = GetFileSizeBytes(fd, &sizeBytes) == noErr &&
                    ReadMovieFile(FileByteSource(fd, sizeBytes), &info, &problem) == noErr &&
                    info.tracks.size() == 1;
  (void)CloseFile(fd);
  return read ? int64_t{info.tracks[0].sampleCount} : -1;
}

// Answers every alert with Return, keeping its text.
std::vector<std::string> gAlerts;
WindowRef gAnsweredAlert = nullptr;
void AnswerAlerts(EventLoopTimerRef, void*) {
  WindowRef front = FrontWindow();
  Str255 title{};
  if (front != nullptr) GetWTitle(front, title);
  if (front == nullptr || Str255ToString(title) != "Framewright Alert") {
    gAnsweredAlert = nullptr;
    return;
  }
  if (front == gAnsweredAlert) return;
  gAnsweredAlert = front;
  ControlRef text = nullptr;
  if (GetDialogItemAsControl(GetDialogFromWindow(front), 2, &text) == noErr)
    gAlerts.push_back(GetControlText(text));
  PostKeyEvent(keyDown, kReturnCharCode, 0, 0);
}

// A capture played by what the capture window shows rather than by the
// clock: each step waits until its condition holds (looked at every
// tick), then acts, so a slow build (a sanitizer's) plays the same
// script as a fast one. Clicks wait for the frame before them to be
// counted; a step still waiting after a minute fails the test and ends
// the capture with Escape.
class CaptureScript {
 public:
  using Condition = std::function<bool()>;
  using Action = std::function<void()>;

  CaptureScript& When(Condition ready, Action act) {
    steps_.push_back({std::move(ready), std::move(act)});
    return *this;
  }
  // Once the frames before are counted.
  CaptureScript& Then(Action act) {
    return When([frames = framesCounted_] { return CountedFrames() == frames; }, std::move(act));
  }
  CaptureScript& Clicks(int clicks) {
    for (int i = 0; i < clicks; ++i) {
      Then(Click);
      ++framesCounted_;
    }
    return *this;
  }
  CaptureScript& TakeBack(char key) {
    Then([key] { Key(key); });
    --framesCounted_;
    return *this;
  }
  CaptureScript& Escape() {
    return Then([] { Key(static_cast<char>(kEscapeCharCode)); });
  }

  // Runs the capture with the script playing.
  OSErr Capture() {
    EventLoopTimerRef timer = nullptr;
    if (InstallEventLoopTimer(GetMainEventLoop(), 0, 1.0 / 60, OnTick, this, &timer) != noErr)
      return memFullErr;
    stepBegan_ = std::chrono::steady_clock::now();
    const OSErr err = DoCapture();
    (void)RemoveEventLoopTimer(timer);
    return err;
  }

  // The count the capture window shows; -1 while it is not in front.
  static int CountedFrames() {
    WindowRef front = FrontWindow();
    Str255 title{};
    if (front != nullptr) GetWTitle(front, title);
    ControlRef text = nullptr;
    if (front == nullptr || Str255ToString(title) != "Capture" ||
        GetDialogItemAsControl(GetDialogFromWindow(front), kCaptureFrameCountItem, &text) != noErr)
      return -1;
    return std::stoi(GetControlText(text));
  }
  static bool KeysTaken() {
    EventRecord pending;
    return !EventAvail(keyDownMask, &pending);
  }
  static void Click() { PostMouseEvent(mouseUp, Point{500, 500}, 0); }
  static void Key(char ch) { PostKeyEvent(keyDown, static_cast<uint8_t>(ch), 0, 0); }

 private:
  struct Step {
    Condition ready;
    Action act;
  };
  static void OnTick(EventLoopTimerRef, void* userData) {
    auto& self = *static_cast<CaptureScript*>(userData);
    if (self.next_ >= self.steps_.size()) return;
    if (self.steps_[self.next_].ready()) {
      self.steps_[self.next_++].act();
      self.stepBegan_ = std::chrono::steady_clock::now();
    } else if (std::chrono::steady_clock::now() - self.stepBegan_ > std::chrono::minutes(1)) {
      ADD_FAILURE() << "step " << self.next_ << " of the capture script waited a minute";
      self.next_ = self.steps_.size();
      Key(static_cast<char>(kEscapeCharCode));
    }
  }

  std::vector<Step> steps_;
  size_t next_ = 0;
  int framesCounted_ = 0;
  std::chrono::steady_clock::time_point stepBegan_;
};

// The put-file dialog answering with a fixed file, or Cancel.
class FakePutFileDialog : public PutFileDialog {
 public:
  OSErr AskForFile(const std::string&, FileRef* outFile, bool* outReplacing) override {
    ++asked;
    if (path.empty()) return userCanceledErr;
    *outReplacing = false;
    return MakeFileRef(path, outFile);
  }
  std::string path;
  int asked = 0;
};

class FramewrightAppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto backend = std::make_unique<HeadlessBackend>();
    backend_ = backend.get();
    InitToolbox(std::move(backend));
    SetDVCameraSpeedForTesting(2);
    SetRawTestCameraSpeedForTesting(2);
    gAlerts.clear();
    gAnsweredAlert = nullptr;
    ASSERT_EQ(InstallEventLoopTimer(GetMainEventLoop(), 0, 1.0 / 60, AnswerAlerts, nullptr, &alertTimer_),
              noErr);
    documents_ = home_.path() + "/Documents";
    fs::create_directories(documents_);
    SetPutFileDialog(&putFileDialog_);
  }
  void TearDown() override {
    CleanUp(false);
    ClearWriteFaults();
    ShutdownToolbox();
    SetDVCameraSpeedForTesting(1);
    SetRawTestCameraSpeedForTesting(1);
    SetPutFileDialog(nullptr);
  }

  // The preferences file, as the classic program would find it: its
  // defaults with `change` applied.
  void WritePrefsFile(const std::function<void(PrefsStruct&)>& change) {
    SetPreferencesDefaults(&gPrefs, ProgramFlavor::kClassic);
    gPrefs.captureLocation = kCaptureLocationDocuments;
    change(gPrefs);
    ASSERT_EQ(WritePreferences(ProgramFlavor::kClassic), noErr);
  }

  std::vector<fs::path> Captures() const {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(documents_, ec)) files.push_back(entry.path());
    return files;
  }

  // A movie of two 640 x 480 32-bit 'raw ' frames that ffprobe decodes,
  // whose frame numbers (the raw camera's stamp) increase.
  void ExpectRawMovieOfTwoNumberedFrames(const fs::path& file) {
    const CommandResult probe = RunCommand(
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
        "stream=codec_tag_string,width,height,nb_read_frames -of default=noprint_wrappers=1 " +
        Quote(file.string()));
    EXPECT_EQ(probe.out, "codec_tag_string=raw \nwidth=640\nheight=480\nnb_read_frames=2\n");
    const std::string gray = home_.file("frames.gray");
    ASSERT_EQ(RunCommand("ffmpeg -y -v error -i " + Quote(file.string()) + " -f rawvideo -pix_fmt gray " +
                         Quote(gray))
                  .status,
              0);
    std::ifstream in(gray, std::ios::binary);
    std::vector<uint8_t> frame(640 * 480);
    std::vector<uint32_t> numbers;
    while (in.read(reinterpret_cast<char*>(frame.data()), static_cast<std::streamsize>(frame.size()))) {
      uint32_t number = 0;
      ASSERT_TRUE(ReadLumaStamp(frame.data(), 640, &number));
      numbers.push_back(number);
    }
    ASSERT_EQ(numbers.size(), 2u);
    EXPECT_LT(numbers[0], numbers[1]);
  }

  // The raw camera at full size, untrimmed, into movies at `hundredTimesMovieFPS`.
  void StartOnTheRawCamera(int32_t hundredTimesMovieFPS) {
    WritePrefsFile([hundredTimesMovieFPS](PrefsStruct& p) {
      CopyToStr255(kRawTestCameraName, p.deviceNameOLD);
      p.captureFormatOLD = 0;
      p.previewSizeOLD = 1;
      p.hundredTimesMovieFPS = hundredTimesMovieFPS;
    });
    ASSERT_EQ(Initialise(), noErr);
  }

  // The frames of the one raw movie captured, each checked to be the raw
  // camera's own frame byte for byte: their stamped numbers.
  std::vector<uint32_t> NumbersOfTheCapturedRawFrames() {
    const auto files = Captures();
    if (files.size() != 1) {
      ADD_FAILURE() << files.size() << " captures";
      return {};
    }
    const int64_t count = MovieFrameCount(files[0].string());
    std::ifstream in(files[0], std::ios::binary);
    std::vector<uint8_t> frame(kRawFrameBytes);
    std::vector<uint32_t> numbers;
    for (int64_t i = 0; i < count; ++i) {
      in.seekg(static_cast<std::streamoff>(16 + i * static_cast<int64_t>(kRawFrameBytes)));
      if (!in.read(reinterpret_cast<char*>(frame.data()), static_cast<std::streamsize>(frame.size()))) break;
      const std::optional<uint32_t> number = PreviewStamp(AsWindowPixels(frame));
      EXPECT_TRUE(number.has_value()) << "frame " << i;
      if (!number) continue;
      EXPECT_TRUE(frame == RawCameraFrame(*number))
          << "frame " << i << " is not the camera's frame " << *number;
      numbers.push_back(*number);
    }
    EXPECT_EQ(static_cast<int64_t>(numbers.size()), count);
    return numbers;
  }

  TempHome home_;
  std::string documents_;
  HeadlessBackend* backend_ = nullptr;
  EventLoopTimerRef alertTimer_ = nullptr;
  EventLoopTimerRef watchTimer_ = nullptr;
  FakePutFileDialog putFileDialog_;
};

TEST(RestoredWindowPositionTest, ScreenMarginRule) {
  const Rect screens[] = {Rect{0, 0, 1080, 1920}, Rect{0, 1920, 1080, 3840}};
  struct Case {
    const char* what;
    Rect saved;
    bool restored;
  };
  const Case cases[] = {
      {"10 below the main screen's top, inside its menu bar margin", Rect{10, 100, 300, 400}, false},
      {"well inside the main screen", Rect{200, 100, 490, 440}, true},
      {"10 below the second screen's top (5-pixel margin)", Rect{10, 2000, 300, 2300}, true},
      {"right equal to left", Rect{200, 100, 490, 100}, false},
      {"left of every screen but for 20 pixels", Rect{200, -300, 490, 20}, false},
      {"below every screen but for 20 pixels", Rect{1060, 100, 1300, 400}, false},
  };
  for (const Case& c : cases) {
    Point topLeft{-1, -1};
    EXPECT_EQ(RestoredWindowPosition(c.saved, screens, 2, &topLeft), c.restored) << c.what;
    if (c.restored) {
      EXPECT_EQ(topLeft.v, c.saved.top) << c.what;
      EXPECT_EQ(topLeft.h, c.saved.left) << c.what;
    }
  }
}

TEST_F(FramewrightAppTest, StartsOnTheDVCameraWithTheSetupWindowAroundTheHalfSizePreview) {
  ASSERT_EQ(Initialise(), noErr);
  EXPECT_EQ(gVdigType, kDigitizerTypeDV);
  EXPECT_EQ(gPrefs.hundredTimesMovieFPS, 1500);
  WindowRef setup = GetDialogWindow(gSetupDialog);
  EXPECT_TRUE(IsWindowVisible(setup));
  // 720 × 480 at half size: 360 × 240 at (10, 10), 10 to the right, 40 below.
  EXPECT_EQ(GetWindowRectLocal(setup), (Rect{0, 0, 290, 380}));
  ControlRef button = nullptr;
  ASSERT_EQ(GetDialogItemAsControl(gSetupDialog, kSetupCaptureItem, &button), noErr);
  Rect bounds;
  GetControlBounds(button, &bounds);
  EXPECT_EQ(bounds.top, 260) << "30 above the window's bottom";
  EXPECT_EQ(bounds.left + bounds.right, 380) << "centred";
  EXPECT_NE(gDecompressionSeq, 0);
  EXPECT_NE(GetMenuHandle(kHMHelpMenuID), nullptr);
  EXPECT_EQ(CountMenuItems(GetMenuHandle(kHMHelpMenuID)), gHelpMenuFirstItem + 1);
}

TEST_F(FramewrightAppTest, ThreeClicksGiveThreeWholeDVFramesInDocuments) {
  WritePrefsFile([](PrefsStruct&) {});
  ASSERT_EQ(Initialise(), noErr);
  CaptureScript script;
  script.Clicks(3).Escape();
  ASSERT_EQ(script.Capture(), noErr);
  const auto files = Captures();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].extension(), ".dv");
  EXPECT_EQ(fs::file_size(files[0]), 3 * kDVFrameBytes);
  EXPECT_TRUE(gAlerts.empty());
  EXPECT_TRUE(IsWindowVisible(GetDialogWindow(gSetupDialog))) << "the setup window is back";
}

TEST_F(FramewrightAppTest, FullDiskAfterFiveFramesEndsWithOneAlertAndFiveWholeFrames) {
  for (const uint8_t format : {uint8_t{1}, uint8_t{0}}) {
    SCOPED_TRACE(format == 0 ? "movie" : "DV stream");
    WritePrefsFile([format](PrefsStruct& p) {
      p.captureFormatOLD = format;
      p.captureLocation = kCaptureLocationAsk;
    });
    ASSERT_EQ(Initialise(), noErr);
    gAlerts.clear();
    gAnsweredAlert = nullptr;  // a new alert may reuse the last one's address
    putFileDialog_.path = documents_ + (format == 0 ? "/full.mov" : "/full.dv");
    // Room for 5 frames and half a sixth (after the movie's header): the
    // writer's chunks meet the full disk mid-frame, as on a real disk.
    const uint64_t header = format == 0 ? 16 : 0;
    InjectWriteFault(
        {.path = putFileDialog_.path, .sizeLimitBytes = header + 5 * kDVFrameBytes + kDVFrameBytes / 2});
    CaptureScript script;
    script.Clicks(9).Escape();
    ASSERT_EQ(script.Capture(), noErr);
    FlushEvents(everyEvent, 0);
    const auto files = Captures();
    ASSERT_EQ(files.size(), 1u);
    ASSERT_EQ(gAlerts.size(), 1u);
    EXPECT_NE(gAlerts[0].find("Step and error code: 30,-34"), std::string::npos) << gAlerts[0];
    EXPECT_NE(gAlerts[0].find("The disk is full."), std::string::npos) << gAlerts[0];
    if (format == 1) {
      EXPECT_EQ(fs::file_size(files[0]), 5 * kDVFrameBytes);
    } else {
      EXPECT_EQ(MovieFrameCount(files[0].string()), 5u);
    }
    ClearWriteFaults();
    CleanUp(false);
    fs::remove(files[0]);
  }
}

TEST_F(FramewrightAppTest, CapturesThatDoNotStartLeaveNoFile) {
  struct Case {
    const char* what;
    uint8_t location;
    int32_t hundredTimesMovieFPS;
    const char* chosenName;  // what the put-file dialog answers; null: Cancel
    bool headerWriteFails;
    OSErr result;
    const char* alert;  // its start and, after a blank line, the step and code; null: none
  };
  const Case cases[] = {
      {"a movie at 0 frames per second", kCaptureLocationDocuments, 0, nullptr, false, noErr,
       "The movie frame rate is 0."},
      {"Cancel in the put-file dialog", kCaptureLocationAsk, 1500, nullptr, false, userCanceledErr, nullptr},
      // The file was made, then the writer could not start on it: it goes.
      {"the movie's header cannot be written", kCaptureLocationAsk, 1500, "header.mov", true, dskFulErr,
       "Sorry, the capture file could not be written.\n\nStep and error code: 20,-34"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WritePrefsFile([&c](PrefsStruct& p) {
      p.captureFormatOLD = 0;
      p.captureLocation = c.location;
      p.hundredTimesMovieFPS = c.hundredTimesMovieFPS;
    });
    ASSERT_EQ(Initialise(), noErr);
    gAlerts.clear();
    gAnsweredAlert = nullptr;  // a new alert may reuse the last one's address
    putFileDialog_.path = c.chosenName != nullptr ? documents_ + "/" + c.chosenName : std::string();
    if (c.headerWriteFails) InjectWriteFault({.path = putFileDialog_.path, .failOnWriteNumber = 1});
    EXPECT_EQ(DoCapture(), c.result);
    if (c.alert != nullptr) {
      ASSERT_EQ(gAlerts.size(), 1u);
      EXPECT_EQ(gAlerts[0].rfind(c.alert, 0), 0u) << gAlerts[0];
    } else {
      EXPECT_TRUE(gAlerts.empty());
    }
    EXPECT_TRUE(Captures().empty());
    EXPECT_TRUE(IsWindowVisible(GetDialogWindow(gSetupDialog)));
    ClearWriteFaults();
    CleanUp(false);
  }
}

// The raw test camera chosen in the preferences with the DV stream format
// there: a movie of 32-bit 'raw ' frames, and format 0 saved. Trims of 10 on
// every side at full size: the capture window holds the 620 × 460 crop.
TEST_F(FramewrightAppTest, RawCameraWithTrimsCapturesARawMovieAndShowsTheCrop) {
  WritePrefsFile([](PrefsStruct& p) {
    CopyToStr255(kRawTestCameraName, p.deviceNameOLD);
    p.captureFormatOLD = 1;
    p.previewSizeOLD = 1;
    p.trimTop = p.trimLeft = p.trimRight = p.trimBottom = 10;
  });
  ASSERT_EQ(Initialise(), noErr);
  EXPECT_NE(gVdigType, kDigitizerTypeDV);
  EXPECT_EQ(gGrabberRect, (Rect{0, 0, 480, 640}));

  Rect captureWindow{};
  std::vector<uint32_t> previewRow;
  CaptureScript script;
  script.Clicks(1).Then([&] {
    WindowRef window = FrontWindow();
    captureWindow = GetWindowRectLocal(window);
    const PortPixels pixels = GetPortPixels(GetWindowPort(window));
    // Source row 400 (no moving box there) lands on row 440: 40 for the
    // band above the preview, then the crop's 10 top rows cut off.
    if (pixels.height > 440 && pixels.width >= 640)
      previewRow.assign(pixels.pixels + 440 * pixels.width, pixels.pixels + 441 * pixels.width);
  });
  script.Clicks(1).Escape();
  ASSERT_EQ(script.Capture(), noErr);
  EXPECT_TRUE(gAlerts.empty());
  EXPECT_EQ(gPrefs.captureFormatOLD, 0) << "the DV stream format needs the DV camera";
  EXPECT_GE(captureWindow.right, 640);
  EXPECT_GE(captureWindow.bottom, 520);

  // The crop's left edge (source column 10) sits at column 10, unscaled: the
  // colour bars' edges stay where the camera draws them.
  std::vector<uint8_t> picture(640 * 2 * 480), argb(640 * 4 * 480);
  DrawCameraTestPicture(picture.data(), 640 * 2, 640, 480, 1);
  Convert2vuyToARGB32(picture.data(), 640 * 2, argb.data(), 640 * 4, 640, 480);
  ASSERT_EQ(previewRow.size(), static_cast<size_t>(captureWindow.right));
  int matching = 0;
  for (int x = 10; x < 630; ++x) {
    const uint8_t* source = &argb[(400 * 640 + static_cast<size_t>(x)) * 4];
    const uint32_t expected = 0xFF000000u | uint32_t{source[1]} << 16 | uint32_t{source[2]} << 8 | source[3];
    if (previewRow[static_cast<size_t>(x)] == expected) ++matching;
  }
  EXPECT_GE(matching, 600) << "of 620 preview pixels on the row";

  const auto files = Captures();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].extension(), ".mov");
  ExpectRawMovieOfTwoNumberedFrames(files[0]);
}

// The raw test camera chosen in the video settings dialog, from the menu:
// the next capture is a movie of its 32-bit 'raw ' frames.
TEST_F(FramewrightAppTest, RawCameraChosenInTheVideoSettingsDialogGivesARawMovie) {
  WritePrefsFile([](PrefsStruct&) {});
  ASSERT_EQ(Initialise(), noErr);
  ASSERT_EQ(gVdigType, kDigitizerTypeDV);

  // Once the dialog is in front: the raw camera in its Camera pop-up, then OK.
  int step = 0;
  std::function<void()> play = [&] {
    DialogRef front = GetDialogFromWindow(FrontWindow());
    EventRecord pending;
    if (front == nullptr || dialog_driving::WindowTitle(front) != "Video Settings" ||
        EventAvail(everyEvent, &pending)) {
      if (step < 2) backend_->ScheduleAtTick(TickCount() + 2, play);
      return;
    }
    if (step++ == 0) {
      dialog_driving::Pick(*backend_, dialog_driving::ControlTitled(front, "Camera:"), kRawTestCameraName);
      backend_->ScheduleAtTick(TickCount() + 10, play);
    } else {
      EXPECT_EQ(dialog_driving::Shown(dialog_driving::ControlTitled(front, "Camera:")), kRawTestCameraName);
      PostKeyEvent(keyDown, kReturnCharCode, 0, 0);
    }
  };
  backend_->ScheduleAtTick(TickCount() + 2, play);
  DoMenu(int32_t{kAppMenuID} << 16 | kAppMenuVideoSettingsItem, 0);
  EXPECT_EQ(step, 2) << "the dialog did not come up";
  EXPECT_TRUE(gAlerts.empty());
  EXPECT_NE(gVdigType, kDigitizerTypeDV);

  CaptureScript script;
  script.Clicks(2).Escape();
  ASSERT_EQ(script.Capture(), noErr);
  const auto files = Captures();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].extension(), ".mov");
  ExpectRawMovieOfTwoNumberedFrames(files[0]);
}

// The frame rate box, typed at: what it stores on OK.
TEST_F(FramewrightAppTest, FrameRateTypedInThePreferencesDialog) {
  ASSERT_EQ(Initialise(), noErr);
  struct Case {
    const char* typed;
    int32_t stored;
  };
  const Case cases[] = {
      {"29.97", 2997}, {"12.5", 1250}, {"", 1800}, {"0", 0}, {"1.2.3", 123}};  // a second period is refused
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    // The delay box has the focus; Tab goes on to the frame rate box.
    PostKeyEvent(keyDown, kTabCharCode, 0, 0);
    PostKeyEvent(keyDown, 'a', 0, cmdKey);
    PostKeyEvent(keyDown, kBackspaceCharCode, 0, 0);
    for (const char* ch = c.typed; *ch != 0; ++ch) PostKeyEvent(keyDown, static_cast<uint8_t>(*ch), 0, 0);
    PostKeyEvent(keyDown, kReturnCharCode, 0, 0);
    ShowPreferences();
    EXPECT_EQ(gPrefs.hundredTimesMovieFPS, c.stored);
  }
}

// The web page and Help items open the installed manual's pages (the build
// places it beside the programs and the tests alike); the about box shows at
// most 15 characters of the version.
TEST_F(FramewrightAppTest, MenuCommandsOpenTheManualAndTheAboutBoxCutsTheVersion) {
  std::string folder;
  ASSERT_EQ(GetApplicationFolder(&folder), noErr);
  if (!fs::exists(folder + "/../share/doc/framewright/manual.html"))
    GTEST_SKIP() << "only the full build places the manual beside the programs";
  ASSERT_EQ(Initialise(), noErr);
  DoMenu(int32_t{kAppMenuID} << 16 | kAppMenuWebPageItem, 0);
  DoMenu(int32_t{kHMHelpMenuID} << 16 | gHelpMenuFirstItem, 0);
  DoMenu(int32_t{kHMHelpMenuID} << 16 | (gHelpMenuFirstItem + 1), 0);
  const auto& urls = backend_->openedURLs();
  ASSERT_EQ(urls.size(), 3u);
  const std::string manual =
      "file://" + fs::canonical(folder + "/../share/doc/framewright/manual.html").string();
  EXPECT_EQ(urls[0], manual);
  EXPECT_EQ(urls[1], manual + "#framewright");
  EXPECT_EQ(urls[2], manual);
  EXPECT_EQ(GetHilitedMenu(), 0);

  SetProgramVersion("1.2.3-beta.4+build.567");
  std::string shown;
  backend_->ScheduleAtTick(TickCount() + 2, [&shown] {
    ControlRef version = nullptr;
    if (GetDialogItemAsControl(GetDialogFromWindow(FrontWindow()), kAboutVersionItem, &version) == noErr)
      shown = GetControlText(version);
    PostKeyEvent(keyDown, kReturnCharCode, 0, 0);
  });
  AboutBox();
  EXPECT_EQ(shown, "Version 1.2.3-beta.4+bu") << "15 characters of the version";
  SetProgramVersion("0");
}

// The onion skin: O lays the last frame written over the live picture at
// half strength, ] and [ step it by a quarter, O again takes it away and
// the window shows the last frame written as before. The file holds the
// camera's frames untouched.
TEST_F(FramewrightAppTest, OnionSkinLaysTheLastWrittenFrameOverTheLivePictureOnly) {
  StartOnTheRawCamera(1500);
  struct Look {
    const char* keys;  // typed before the look
    double weight;     // of the last written frame; 1: it alone
    std::vector<uint32_t> preview;
  };
  Look looks[] = {{"o", 0.5, {}}, {"]", 0.75, {}}, {"[[", 0.25, {}}, {"O", 1, {}}};
  CaptureScript script;
  script.Clicks(2);
  std::vector<uint32_t> shownWhenTaken;
  for (Look& look : looks) {
    // A new weight shows on the next incoming frame drawn; taking the skin
    // away shows the last frame written at once.
    script
        .Then([&look] {
          for (const char* ch = look.keys; *ch != 0; ++ch) CaptureScript::Key(*ch);
        })
        .When(CaptureScript::KeysTaken, [&shownWhenTaken] { shownWhenTaken = CapturePreview(); })
        .When([&] { return look.weight == 1 || CapturePreview() != shownWhenTaken; },
              [&look] { look.preview = CapturePreview(); });
  }
  script.Escape();
  ASSERT_EQ(script.Capture(), noErr);
  EXPECT_TRUE(gAlerts.empty());

  const std::vector<uint32_t> numbers = NumbersOfTheCapturedRawFrames();
  ASSERT_EQ(numbers.size(), 2u);
  const uint32_t last = numbers[1];
  for (const Look& look : looks) {
    SCOPED_TRACE(look.keys);
    ASSERT_FALSE(look.preview.empty());
    if (look.weight == 1) {
      const std::vector<uint32_t> lastPixels = AsWindowPixels(RawCameraFrame(last));
      EXPECT_TRUE(IsBlend(look.preview, lastPixels, lastPixels, 1));
    } else {
      EXPECT_TRUE(LiveFrameUnderOnionSkin(look.preview, last, look.weight).has_value());
    }
  }
}

// P plays the last frames written at the movie's rate (5 a second here)
// without the onion skin, then the window shows what it showed before: the
// live picture under the skin. A click during a review still writes its
// frame.
TEST_F(FramewrightAppTest, ReviewPlaysTheLastFramesAtTheMovieRateAndClicksStillWrite) {
  StartOnTheRawCamera(500);
  struct Seen {
    uint64_t millis;
    std::optional<uint32_t> number;
  };
  std::vector<Seen> seen;
  std::vector<uint32_t> afterReview;
  // The first review seen through: four numbered pictures and what follows.
  const auto firstNumbered = [&seen] {
    return std::find_if(seen.begin(), seen.end(), [](const Seen& s) { return s.number.has_value(); });
  };
  CaptureScript script;
  script.Clicks(4).Then([] { CaptureScript::Key('o'); });
  // Every change of the picture from just before the review, as often as
  // the program polls the camera and more.
  script.When(CaptureScript::KeysTaken, [&] {
    ASSERT_EQ(InstallEventLoopTimer(
                  GetMainEventLoop(), 0, 1.0 / 120,
                  [](EventLoopTimerRef, void* userData) {
                    auto& changes = *static_cast<std::vector<Seen>*>(userData);
                    const std::optional<uint32_t> number = PreviewStamp(CapturePreview());
                    if (changes.empty() || changes.back().number != number)
                      changes.push_back({NowMillis(), number});
                  },
                  &seen, &watchTimer_),
              noErr);
  });
  script.Then([] { CaptureScript::Key('p'); })
      .When([&] { return seen.end() - firstNumbered() >= 5; },
            [&] {
              (void)RemoveEventLoopTimer(watchTimer_);
              watchTimer_ = nullptr;
              afterReview = CapturePreview();
              CaptureScript::Key('p');
            })
      .When(CaptureScript::KeysTaken, [] {})
      .Clicks(1)
      .Escape();
  ASSERT_EQ(script.Capture(), noErr);
  if (watchTimer_ != nullptr) (void)RemoveEventLoopTimer(watchTimer_);
  EXPECT_TRUE(gAlerts.empty());

  const std::vector<uint32_t> numbers = NumbersOfTheCapturedRawFrames();
  ASSERT_EQ(numbers.size(), 5u) << "four clicks, then one during the second review";
  // The first review: the four frames in order, then no single frame (the
  // watch began on the onion-skinned picture).
  const auto first = firstNumbered();
  ASSERT_GE(seen.end() - first, 5);
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(first[i].number, numbers[i]) << "review frame " << i;
  EXPECT_EQ(first[4].number, std::nullopt) << "the live picture under the onion skin";
  // 200 ms a frame, from the first frame's start to the last's: each
  // change waits for the next incoming frame, which a busy machine (or a
  // sanitizer) delays, but the delays do not add up. The margin is wide
  // for a loaded machine yet far from the default rate's 56 ms or a rate
  // read in the wrong unit.
  const double frameMillis = static_cast<double>(first[3].millis - first[0].millis) / 3;
  EXPECT_NEAR(frameMillis, 200, 70);
  ASSERT_FALSE(afterReview.empty());
  EXPECT_TRUE(LiveFrameUnderOnionSkin(afterReview, numbers[3], 0.5).has_value());
}

// Backspace and Delete take the last frame back: with none written the
// bell rings; five frames, two taken back and one more make a movie of
// the first three and the last, and meanwhile the window shows the third
// with the count at 3.
TEST_F(FramewrightAppTest, TakingBackFramesLeavesTheFramesBeforeThem) {
  StartOnTheRawCamera(1500);
  const uint32_t beepsBefore = GetSysBeepCount();
  // The frame the window shows as each frame is counted: the one written.
  std::vector<std::optional<uint32_t>> written;
  const auto noteWritten = [&written] { written.push_back(PreviewStamp(CapturePreview())); };
  std::optional<uint32_t> shownAfterTakingBack;
  CaptureScript script;
  script.Then([] { CaptureScript::Key(kBackspaceCharCode); }).When(CaptureScript::KeysTaken, [] {});
  for (int i = 0; i < 5; ++i) script.Clicks(1).Then(noteWritten);
  script.TakeBack(kBackspaceCharCode)
      .TakeBack(kDeleteCharCode)
      .Then([&shownAfterTakingBack] { shownAfterTakingBack = PreviewStamp(CapturePreview()); })
      .Clicks(1)
      .Then(noteWritten)
      .Escape();
  ASSERT_EQ(script.Capture(), noErr);
  EXPECT_TRUE(gAlerts.empty());
  EXPECT_EQ(GetSysBeepCount() - beepsBefore, 1u);

  ASSERT_EQ(written.size(), 6u);
  for (size_t i = 0; i < written.size(); ++i) {
    ASSERT_TRUE(written[i].has_value()) << "frame " << i;
    if (i > 0) {
      ASSERT_GT(*written[i], *written[i - 1]) << "frame " << i;
    }
  }
  EXPECT_EQ(NumbersOfTheCapturedRawFrames(),
            (std::vector<uint32_t>{*written[0], *written[1], *written[2], *written[5]}));
  EXPECT_EQ(shownAfterTakingBack, written[2]);
}

// A take-back that meets a disk gone full (the third frame did not fit)
// ends the capture with one alert naming its step; the file keeps the
// whole frames it holds.
TEST_F(FramewrightAppTest, TakingBackOnAFullDiskEndsTheCaptureWithItsAlert) {
  WritePrefsFile([](PrefsStruct& p) { p.captureLocation = kCaptureLocationAsk; });
  ASSERT_EQ(Initialise(), noErr);
  putFileDialog_.path = documents_ + "/full.dv";
  InjectWriteFault({.path = putFileDialog_.path, .sizeLimitBytes = 2 * kDVFrameBytes + kDVFrameBytes / 2});
  CaptureScript script;
  script.Clicks(3).TakeBack(kBackspaceCharCode).Escape();
  ASSERT_EQ(script.Capture(), noErr);
  FlushEvents(everyEvent, 0);
  ASSERT_EQ(gAlerts.size(), 1u);
  EXPECT_NE(gAlerts[0].find("Step and error code: 32,-34"), std::string::npos) << gAlerts[0];
  EXPECT_EQ(fs::file_size(putFileDialog_.path), 2 * kDVFrameBytes);
}

}  // namespace
