#include "core/platform/folders.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "support/temp_dir.h"

using namespace fw;

namespace {

// A scratch home for one test, with XDG_CONFIG_HOME unset.
class FoldersTest : public ::testing::Test {
 protected:
  TempHome home_;
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
