// hdapp_startup_driver: one start and quit of Framewright HD's application
// logic as framewright-hd runs it, without the windows: the real device
// list and the built-in test-pattern camera on its own thread, the frame
// timer, a short capture of every frame into Documents, then the quit. The
// sanitizer builds hold no Qt, so this is how they start the program many
// times over with damaged settings files (startup_loop_test.sh).
//
//   hdapp_startup_driver FOLDER KIND
// FOLDER: a fresh folder that serves as home and settings folder. KIND: what
// stands at the settings path at the start: none, good, reserved255, empty,
// truncated, newer, mode000, fifo, folder, device.
// Prints each alert on a line of its own; status 0, or 1 when the quit left
// no settings file where a regular file may go, 2 for a bad command line.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/prefs/prefs_file.h"
#include "core/prefs/prefs_file_image.h"
#include "hd/app/hd_app_delegate.h"
#include "hd/video/backends/test_pattern/test_pattern_camera.h"

using namespace fw;

namespace {

class HeadlessView final : public AppView {
 public:
  void ShowWindow(WindowId) override {}
  void HideWindow(WindowId) override {}
  void HideAuxiliaryWindows() override {}
  void ShowAuxiliaryWindows() override {}
  void SetCaptureTrigger(uint8_t) override {}
  void SetAuxiliaryMenuItems(Enablement) override {}
  void SetCaptureButton(Enablement e) override { captureButton = e == Enablement::kEnabled; }
  void SetFrameCount(uint32_t) override {}
  WindowFrame FrameOf(WindowId) override { return {100, 80, 820, 640}; }
  void MovePointerTo(int, int) override {}
  void ShowAlert(WindowId, const std::string& message, std::function<void()> onDismissed) override {
    std::printf("alert: %s\n", message.c_str());
    if (onDismissed) onDismissed();
  }
  void ShowSavePanel(const std::string&, std::function<void(std::optional<std::string>)> onDone) override {
    onDone(std::nullopt);
  }
  void StartFrameTimer(std::chrono::microseconds, std::function<void()> tick) override {
    onTick = std::move(tick);
  }
  std::vector<ScreenArea> ScreenAreas() override { return {{0, 0, 1920, 1050}}; }
  void MoveWindowTo(WindowId, int, int) override {}
  std::unique_ptr<PrefsWindowView> CreatePrefsWindowView() override { return nullptr; }
  std::unique_ptr<AboutBoxView> CreateAboutBoxView() override { return nullptr; }
  void SetInputTitle(const std::string&) override {}
  OSErr LaunchURL(const char*) override { return noErr; }

  std::function<void()> onTick;
  bool captureButton = false;
};

class HeadlessPreview final : public PreviewPort {
 public:
  void CalculatePreviewRect(Rect* outRect) override { *outRect = Rect{0, 0, 480, 640}; }
  OSErr VPStartPreview(const PixMap*, const ImageDescription*, WindowId, const Rect*, bool, bool, bool,
                       VideoPreviewRef* outRef) override {
    *outRef = reinterpret_cast<VideoPreviewRef>(&token_);
    return noErr;
  }
  OSErr VPDisplayFrame(VideoPreviewRef) override { return noErr; }
  void VPDisposePreview(VideoPreviewRef) override {}

 private:
  int token_ = 0;
};

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

bool MakeSettings(const std::string& path, const std::string& kind) {
  PrefsStruct prefs;
  SetPreferencesDefaults(&prefs, ProgramFlavor::kHD);
  prefs.captureLocation = kCaptureLocationDocuments;
  prefs.captureTrigger = kCaptureTriggerEveryFrame;
  std::strncpy(prefs.uniqueID, kTestPatternUniqueID, sizeof prefs.uniqueID - 1);
  std::vector<uint8_t> image = BuildPreferencesFileImage(prefs, ProgramFlavor::kHD);
  if (kind == "none") return true;
  if (kind == "good") return WriteBytes(path, image);
  if (kind == "reserved255") {
    image[8] = 255;
    return WriteBytes(path, image);
  }
  if (kind == "empty") return WriteBytes(path, {});
  if (kind == "truncated") return WriteBytes(path, std::vector<uint8_t>(image.begin(), image.begin() + 10));
  if (kind == "newer") {
    image[10] = 0x7F;
    return WriteBytes(path, image);
  }
  if (kind == "mode000") return WriteBytes(path, image) && ::chmod(path.c_str(), 0) == 0;
  if (kind == "fifo") return ::mkfifo(path.c_str(), 0600) == 0;
  if (kind == "folder") return ::mkdir(path.c_str(), 0700) == 0;
  if (kind == "device") return ::symlink("/dev/null", path.c_str()) == 0;
  return false;
}

void Tick(HeadlessView& view, int ticks) {
  for (int i = 0; i < ticks; ++i) {
    view.onTick();
    std::this_thread::sleep_for(std::chrono::microseconds(16'667));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: hdapp_startup_driver FOLDER KIND\n");
    return 2;
  }
  const std::string folder = argv[1];
  const std::string kind = argv[2];
  setenv("HOME", folder.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
  std::filesystem::create_directories(folder + "/config");
  const std::string settings = folder + "/config/" + kPreferencesFileName;
  if (!MakeSettings(settings, kind)) {
    std::fprintf(stderr, "hdapp_startup_driver: cannot make the %s settings file\n", kind.c_str());
    return 2;
  }

  HeadlessView view;
  HeadlessPreview preview;
  {
    HDAppDelegate delegate(view, preview, "file:///manual.html");
    delegate.applicationDidFinishLaunching();
    // The picture, then a short capture of every frame, as a user would.
    Tick(view, 10);
    gPrefs.captureTrigger = kCaptureTriggerEveryFrame;
    gPrefs.captureLocation = kCaptureLocationDocuments;
    if (view.captureButton) {
      delegate.startCapture();
      Tick(view, 6);
    }
    delegate.applicationWillTerminate();
  }
  // A regular file (or none) at the path is replaced by the session's
  // settings; anything else stays.
  std::error_code ec;
  const auto type = std::filesystem::symlink_status(settings, ec).type();
  const bool special = kind == "fifo" || kind == "folder" || kind == "device";
  if (!special && type != std::filesystem::file_type::regular) {
    std::fprintf(stderr, "hdapp_startup_driver: no settings file after the quit\n");
    return 1;
  }
  return 0;
}
