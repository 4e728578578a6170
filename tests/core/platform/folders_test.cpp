#include "core/platform/folders.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "support/temp_dir.h"

namespace {

// Points HOME and XDG_CONFIG_HOME at a scratch home for one test.
class FoldersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Save("HOME", &savedHome_);
    Save("XDG_CONFIG_HOME", &savedConfig_);
    setenv("HOME", home_.path().c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
  }
  void TearDown() override {
    Restore("HOME", savedHome_);
    Restore("XDG_CONFIG_HOME", savedConfig_);
  }
  static void Save(const char* name, std::optional<std::string>* out) {
    const char* v = std::getenv(name);
    if (v != nullptr) *out = v;
  }
  static void Restore(const char* name, const std::optional<std::string>& v) {
    if (v) {
      setenv(name, v->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }

  TempDir home_;
  std::optional<std::string> savedHome_, savedConfig_;
};

TEST_F(FoldersTest, PreferencesFolderIsCreatedUnderConfigHome) {
  std::string folder;
  ASSERT_EQ(GetPreferencesFolder(&folder), noErr);
  EXPECT_EQ(folder, home_.path() + "/.config");
  EXPECT_TRUE(std::filesystem::is_directory(folder));

  setenv("XDG_CONFIG_HOME", home_.file("cfg").c_str(), 1);
  ASSERT_EQ(GetPreferencesFolder(&folder), noErr);
  EXPECT_EQ(folder, home_.file("cfg"));
  EXPECT_TRUE(std::filesystem::is_directory(folder));

  setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
  ASSERT_EQ(GetPreferencesFolder(&folder), noErr);
  EXPECT_EQ(folder, home_.path() + "/.config");
}

TEST_F(FoldersTest, UserDirectoriesFollowUserDirsFileWithFallbacks) {
  std::string desktop, documents;
  EXPECT_EQ(GetDesktopFolder(&desktop, FolderCreation::kUseAsIs), fnfErr);
  ASSERT_EQ(GetDesktopFolder(&desktop, FolderCreation::kCreateIfMissing), noErr);
  EXPECT_EQ(desktop, home_.path() + "/Desktop");
  EXPECT_TRUE(std::filesystem::is_directory(desktop));

  std::filesystem::create_directories(home_.file(".config"));
  std::ofstream(home_.file(".config/user-dirs.dirs"))
      << "# written by xdg-user-dirs-update\n"
      << "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
      << "XDG_DOCUMENTS_DIR=\"" << home_.path() << "/Dokumente/\"\n";
  ASSERT_EQ(GetDesktopFolder(&desktop, FolderCreation::kCreateIfMissing), noErr);
  EXPECT_EQ(desktop, home_.path() + "/Schreibtisch");
  ASSERT_EQ(GetDocumentsFolder(&documents, FolderCreation::kCreateIfMissing), noErr);
  EXPECT_EQ(documents, home_.path() + "/Dokumente");
}

TEST_F(FoldersTest, ApplicationFolderHoldsTheRunningExecutable) {
  std::string folder;
  ASSERT_EQ(GetApplicationFolder(&folder), noErr);
  EXPECT_TRUE(std::filesystem::exists(folder + "/platform_tests"));
}

}  // namespace
