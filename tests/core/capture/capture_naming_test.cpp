#include "core/capture/capture_naming.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

#include "core/util/strings.h"
#include "support/temp_dir.h"

using namespace fw;

namespace {

const LocalDateTime kDecember8{2026, 12, 8, 14, 5, 33.9};

TEST(CaptureNamingTest, HDNamesInEveryDateOrder) {
  EXPECT_EQ(MakeCaptureFileName(kDecember8, 0), "Framewright 8-12-2026 14-05-33.mov");
  EXPECT_EQ(MakeCaptureFileName(kDecember8, 1), "Framewright 12-8-2026 14-05-33.mov");
  EXPECT_EQ(MakeCaptureFileName(kDecember8, 2), "Framewright 2026-12-8 14-05-33.mov");
  EXPECT_EQ(MakeCaptureFileName(kDecember8, 3), "Framewright 2026-8-12 14-05-33.mov");
  EXPECT_EQ(MakeCaptureFileName({2027, 1, 2, 3, 4, 5.0}, 0), "Framewright 2-1-2027 03-04-05.mov");
}

TEST(CaptureNamingTest, FixedFoldersNeverReplaceAnEarlierCapture) {
  TempDir dir;
  const std::string name = "Framewright 8-12-2026 14-05-33.mov";
  EXPECT_EQ(UniqueCapturePath(dir.path(), name), dir.file(name));
  std::ofstream(dir.file(name)) << "first";
  EXPECT_EQ(UniqueCapturePath(dir.path(), name), dir.file("Framewright 8-12-2026 14-05-33 2.mov"));
  std::ofstream(dir.file("Framewright 8-12-2026 14-05-33 2.mov")) << "second";
  EXPECT_EQ(UniqueCapturePath(dir.path(), name), dir.file("Framewright 8-12-2026 14-05-33 3.mov"));
}

TEST(CaptureNamingTest, CaptureFoldersByLocation) {
  TempHome home;
  std::string folder;
  ASSERT_EQ(GetCaptureFolder(3, &folder), noErr);
  EXPECT_EQ(folder, home.file("Documents"));
  ASSERT_EQ(GetCaptureFolder(2, &folder), noErr);
  EXPECT_EQ(folder, home.file("Desktop"));
  ASSERT_EQ(GetCaptureFolder(1, &folder), noErr);
  EXPECT_TRUE(std::filesystem::exists(folder + "/capture_tests"));
  EXPECT_EQ(GetCaptureFolder(0, &folder), paramErr);
  EXPECT_EQ(GetCaptureFolder(7, &folder), paramErr);
}

std::string Classic(uint8_t flags, uint8_t ordering, bool useDash) {
  Str255 s;
  CopyToStr255("Framewright ", s);
  AddDateToString(ClassicSecondsOf(kDecember8), s, flags, ordering, useDash);
  return Str255ToString(s).substr(12);
}

TEST(CaptureNamingTest, ClassicDateStrings) {
  EXPECT_EQ(Classic(15, 0, true), "08-12-26 1405-33");
  EXPECT_EQ(Classic(15, 1, true), "12-08-26 1405-33");
  EXPECT_EQ(Classic(15, 2, true), "26-12-08 1405-33");
  EXPECT_EQ(Classic(15, 3, true), "26-08-12 1405-33");
  EXPECT_EQ(Classic(15, 0, false), "08/12/26 14:05:33");
  EXPECT_EQ(Classic(1, 0, true), "08-12");
  EXPECT_EQ(Classic(2, 0, true), "26");
  EXPECT_EQ(Classic(2, 3, true), "26");
  EXPECT_EQ(Classic(4, 0, false), "14:05");
  EXPECT_EQ(Classic(8, 0, false), "") << "seconds only come with hour and minute";
  EXPECT_EQ(Classic(7, 9, true), " 1405") << "an unknown order appends no date";
  EXPECT_EQ(ClassicSecondsOf({1904, 1, 1, 0, 0, 0}), 0u);
  EXPECT_EQ(ClassicSecondsOf({1904, 1, 2, 0, 0, 1}), 86401u);
}

}  // namespace
