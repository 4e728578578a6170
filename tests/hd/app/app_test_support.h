// The fixture of the application logic tests: a scratch home and settings
// folder, fake capture devices in place of the real ones, the recording
// view and preview, and helpers to write and read the settings file and to
// feed frames through the frame timer.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

#include "core/prefs/prefs_file.h"
#include "core/prefs/prefs_file_image.h"
#include "fake_app_view.h"
#include "fake_backend.h"
#include "hd/app/hd_app_delegate.h"
#include "hd/video/backends/decklink/decklink_api.h"
#include "support/temp_dir.h"

class AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(home_.path().empty());
    fw::SetDeckLinkLibraryPathForTesting("/nonexistent/libDeckLinkAPI.so");
    backend_.AddDevices(2);
    backend_.devices[0].inputSources = {"Composite", "S-Video"};
    fw::SetCaptureBackendsForTesting({&backend_});
    fw::SetPreferencesDefaults(&gPrefs, ProgramFlavor::kHD);
  }

  void TearDown() override {
    if (delegate_ != nullptr) delegate_->applicationWillTerminate();
    delegate_.reset();
    for (int32_t ref = 1; ref <= kMaxOpenDevices; ++ref) QTCaptureCloseDevice(ref);
    fw::SetCaptureBackendsForTesting({});
  }

  std::string ConfigFolder() const { return home_.path() + "/config"; }
  std::string PrefsFilePath() const { return ConfigFolder() + "/" + kPreferencesFileName; }

  // The settings file as a previous run would have left it.
  void WritePrefsFile(const PrefsStruct& prefs) {
    std::filesystem::create_directories(ConfigFolder());
    const std::vector<uint8_t> image = fw::BuildPreferencesFileImage(prefs, ProgramFlavor::kHD);
    std::ofstream(PrefsFilePath(), std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  }
  static PrefsStruct DefaultPrefs() {
    PrefsStruct prefs;
    fw::SetPreferencesDefaults(&prefs, ProgramFlavor::kHD);
    return prefs;
  }
  static void SetUniqueID(PrefsStruct* prefs, const char* id) {
    std::memset(prefs->uniqueID, 0, sizeof prefs->uniqueID);
    std::strncpy(prefs->uniqueID, id, sizeof prefs->uniqueID - 1);
  }
  // What the settings file on disk holds now.
  PrefsStruct ReadPrefsFile() {
    std::ifstream in(PrefsFilePath(), std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    PrefsStruct prefs = DefaultPrefs();
    EXPECT_EQ(fw::ParsePreferencesFileImage(bytes, ProgramFlavor::kHD, &prefs), noErr);
    return prefs;
  }

  void Launch() {
    delegate_ = std::make_unique<fw::HDAppDelegate>(view_, preview_, "file:///help/manual.html");
    delegate_->applicationDidFinishLaunching();
  }

  // One frame from the nth started device session, from a thread of its
  // own as a camera would send it, then one tick of the frame timer.
  void DeliverFrame(size_t session) {
    fw::FrameSink* sink = backend_.sessions.at(session)->sink;
    OnDeviceThread([sink] { sink->FrameArrived(std::make_shared<TaggedFrame>(7, 8, 4)); });
    ASSERT_TRUE(view_.onTick);
    view_.onTick();
  }

  // Opens the preferences window and answers it with `edit` applied to the
  // controls it showed.
  template <typename Edit>
  void AnswerPreferences(bool ok, Edit edit) {
    delegate_->preferences();
    ASSERT_FALSE(view_.prefsWindows.empty());
    auto window = view_.prefsWindows.back();
    ASSERT_NE(window->actions, nullptr);
    edit(window->edited);
    if (ok)
      window->actions->okClick();
    else
      window->actions->cancelClick();
  }

  TempHome home_;
  ScopedEnv configHome_{"XDG_CONFIG_HOME", ConfigFolder().c_str()};
  FakeBackend backend_;
  FakeAppView view_;
  FakePreviewPort preview_;
  std::unique_ptr<fw::HDAppDelegate> delegate_;
};
