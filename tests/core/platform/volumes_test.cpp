#include "core/platform/volumes.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/platform/folders.h"
#include "core/util/types.h"

using namespace fw;

namespace {

int16_t DiskNumberOf(const std::string& path) {
  FileRef ref{path};
  VolumeRef volume = 0;
  EXPECT_EQ(MyGetFSRefInfo(&ref, &volume, nullptr, nullptr), noErr) << path;
  return MyGetDiskNumberFromVolumeRef(volume);
}

bool OnBlockDevice(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return false;
  return std::filesystem::exists("/sys/dev/block/" + std::to_string(major(st.st_dev)) + ":" +
                                 std::to_string(minor(st.st_dev)));
}

TEST(VolumesTest, FilesInOneFolderShareADiskNumber) {
  // The build folder lies on a real disk, unlike /tmp on some machines.
  std::string folder;
  ASSERT_EQ(GetApplicationFolder(&folder), noErr);
  const std::string a = folder + "/volumes_test_a", b = folder + "/volumes_test_b";
  std::ofstream(a) << "a";
  std::ofstream(b) << "b";
  const int16_t first = DiskNumberOf(a);
  EXPECT_EQ(first, DiskNumberOf(b));
  EXPECT_EQ(first, DiskNumberOf(a)) << "numbers are stable within a run";
  if (OnBlockDevice(folder)) {
    EXPECT_GE(first, 0);
  }
  std::filesystem::remove(a);
  std::filesystem::remove(b);
}

TEST(VolumesTest, MemoryAndVirtualFileSystemsHaveNoDisk) {
  if (std::filesystem::is_directory("/dev/shm")) {
    const std::string shm = "/dev/shm/fw_volumes_test";
    std::ofstream(shm) << "x";
    EXPECT_EQ(DiskNumberOf(shm), -1);
    std::filesystem::remove(shm);
  }
  EXPECT_EQ(DiskNumberOf("/proc/self/status"), -1);
}

TEST(VolumesTest, InfoGivesParentAndName) {
  std::string folder;
  ASSERT_EQ(GetApplicationFolder(&folder), noErr);
  FileRef ref{folder + "/platform_tests"};
  uint64_t parent = 0;
  Str255 name;
  ASSERT_EQ(MyGetFSRefInfo(&ref, nullptr, &parent, name), noErr);
  struct stat st {};
  ASSERT_EQ(stat(folder.c_str(), &st), 0);
  EXPECT_EQ(parent, st.st_ino);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(name + 1), name[0]), "platform_tests");
  FileRef missing{folder + "/does-not-exist"};
  EXPECT_EQ(MyGetFSRefInfo(&missing, nullptr, nullptr, nullptr), fnfErr);
}

TEST(VolumesTest, ResolverCanBeReplacedForTests) {
  SetDiskNumberResolverForTesting([](VolumeRef v) { return static_cast<int16_t>(v % 7); });
  EXPECT_EQ(MyGetDiskNumberFromVolumeRef(12), 5);
  SetDiskNumberResolverForTesting(nullptr);
  EXPECT_EQ(DiskNumberOf("/proc/self/status"), -1);
}

}  // namespace
