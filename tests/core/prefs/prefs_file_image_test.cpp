#include "core/prefs/prefs_file_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/util/types.h"

using namespace fw;

namespace {

constexpr size_t kRecordOffset = 11;  // with an empty reserved block

PrefsStruct Defaults(ProgramFlavor flavor) {
  PrefsStruct p;
  std::memset(&p, 0xEE, sizeof p);  // so that bytes the defaults miss show
  SetPreferencesDefaults(&p, flavor);
  return p;
}

// A record with a distinct value in every field.
PrefsStruct Distinctive() {
  PrefsStruct p{};
  p.mainWindowSize = {-12, 345, 640, 480};
  p.hundredTimesMovieFPS = 2997;
  p.captureFormatOLD = 1;
  p.dateOrdering = 2;
  p.inputNum = 3;
  p.captureTrigger = kCaptureTriggerEveryFrame;
  p.ignoreFrameCount = 5;
  p.previewSizeOLD = 1;
  p.previewFlag = 0;
  p.deviceNameOLD[0] = 6;
  std::memcpy(p.deviceNameOLD + 1, "Camera", 6);
  p.flipHFlag = 1;
  p.flipVFlag = 1;
  p.captureLocation = kCaptureLocationDocuments;
  p.padding = 0x5A;
  p.trimTop = 10;
  p.trimLeft = -2;
  p.trimRight = 300;
  p.trimBottom = 4;
  std::strcpy(p.uniqueID, "v4l2:/dev/video0");
  return p;
}

bool SameBytes(const PrefsStruct& a, const PrefsStruct& b, size_t sizeBytes) {
  return std::memcmp(&a, &b, sizeBytes) == 0;
}

// A file as an older program version wrote it: another version number, and
// a reserved block that readers must skip.
std::vector<uint8_t> FileWithVersion(const PrefsStruct& p, ProgramFlavor flavor, int16_t version,
                                     uint8_t reservedBlockBytes = 0) {
  std::vector<uint8_t> file = BuildPreferencesFileImage(p, flavor);
  file[8] = reservedBlockBytes;
  file.insert(file.begin() + 9, reservedBlockBytes, 0xA5);
  file[9 + reservedBlockBytes] = static_cast<uint8_t>(static_cast<uint16_t>(version) >> 8);
  file[10 + reservedBlockBytes] = static_cast<uint8_t>(version);
  return file;
}

TEST(PrefsDefaults, EachProgramStartsFromItsOwnSettings) {
  PrefsStruct hd = Defaults(ProgramFlavor::kHD);
  PrefsStruct expected{};
  expected.hundredTimesMovieFPS = 1800;
  expected.previewFlag = 1;
  EXPECT_TRUE(SameBytes(hd, expected, sizeof hd));

  PrefsStruct classic = Defaults(ProgramFlavor::kClassic);
  expected = PrefsStruct{};
  expected.hundredTimesMovieFPS = 1500;
  expected.captureFormatOLD = 1;
  expected.previewFlag = 1;
  CopyToStr255("DV Video", expected.deviceNameOLD);
  EXPECT_TRUE(SameBytes(classic, expected, kPrefsRecordSizeClassic));
  // uniqueID is not the classic program's to touch.
  EXPECT_EQ(static_cast<uint8_t>(classic.uniqueID[0]), 0xEE);
}

TEST(PrefsFileImage, LayoutIsFixedWhateverTheHost) {
  std::vector<uint8_t> hd = BuildPreferencesFileImage(Distinctive(), ProgramFlavor::kHD);
  std::vector<uint8_t> classic = BuildPreferencesFileImage(Distinctive(), ProgramFlavor::kClassic);
  ASSERT_EQ(hd.size(), kRecordOffset + 224);
  ASSERT_EQ(classic.size(), kRecordOffset + 96);
  EXPECT_TRUE(std::equal(classic.begin(), classic.end(), hd.begin()));

  const std::vector<uint8_t> header{0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x04};
  EXPECT_TRUE(std::equal(header.begin(), header.end(), hd.begin()));
  const uint8_t* r = hd.data() + kRecordOffset;
  const std::vector<uint8_t> geometry{0xFF, 0xF4, 0x01, 0x59, 0x02, 0x80, 0x01, 0xE0};
  EXPECT_TRUE(std::equal(geometry.begin(), geometry.end(), r));
  const std::vector<uint8_t> fps{0x00, 0x00, 0x0B, 0xB5};  // 2997
  EXPECT_TRUE(std::equal(fps.begin(), fps.end(), r + 8));
  EXPECT_EQ(r[14], 0x03);  // inputNum, little-endian
  EXPECT_EQ(r[15], 0x00);
  const std::vector<uint8_t> trims{0x0A, 0x00, 0xFE, 0xFF, 0x2C, 0x01, 0x04, 0x00};
  EXPECT_TRUE(std::equal(trims.begin(), trims.end(), r + 88));
  EXPECT_EQ(r[87], 0x5A);  // the padding byte goes as it lies in memory
  EXPECT_EQ(Str255ToString(r + 20), "Camera");
  EXPECT_STREQ(reinterpret_cast<const char*>(r + 96), "v4l2:/dev/video0");
}

TEST(PrefsFileImage, ProgramsReadTheirOwnAndEachOthersFiles) {
  const PrefsStruct written = Distinctive();
  for (ProgramFlavor flavor : {ProgramFlavor::kHD, ProgramFlavor::kClassic}) {
    PrefsStruct read = Defaults(flavor);
    ASSERT_EQ(ParsePreferencesFileImage(BuildPreferencesFileImage(written, flavor), flavor, &read), noErr);
    EXPECT_TRUE(SameBytes(read, written, PrefsRecordSizeBytes(flavor)));
  }

  // The classic file ends after 96 bytes: HD takes them and keeps its own
  // defaults for the rest, so no device ID appears from nowhere.
  PrefsStruct hd = Defaults(ProgramFlavor::kHD);
  ASSERT_EQ(ParsePreferencesFileImage(BuildPreferencesFileImage(written, ProgramFlavor::kClassic),
                                      ProgramFlavor::kHD, &hd),
            noErr);
  EXPECT_TRUE(SameBytes(hd, written, kPrefsRecordSizeClassic));
  EXPECT_STREQ(hd.uniqueID, "");

  PrefsStruct classic = Defaults(ProgramFlavor::kClassic);
  std::strcpy(classic.uniqueID, "untouched");
  ASSERT_EQ(ParsePreferencesFileImage(BuildPreferencesFileImage(written, ProgramFlavor::kHD),
                                      ProgramFlavor::kClassic, &classic),
            noErr);
  EXPECT_TRUE(SameBytes(classic, written, kPrefsRecordSizeClassic));
  EXPECT_STREQ(classic.uniqueID, "untouched");
}

TEST(PrefsFileImage, OlderVersionsAreBroughtUpToDate) {
  PrefsStruct written = Distinctive();
  written.captureTrigger = kCaptureTriggerMouseUp;
  written.dateOrdering = 3;
  written.ignoreFrameCount = 7;
  written.previewSizeOLD = 1;

  struct Case {
    int16_t version;
    ProgramFlavor flavor;
    uint8_t captureTrigger, dateOrdering, ignoreFrameCount;
    int8_t previewSizeOLD;
  };
  const Case cases[] = {
      {4, ProgramFlavor::kHD, 0, 3, 7, 1},       {5, ProgramFlavor::kHD, 0, 3, 7, 1},
      {3, ProgramFlavor::kHD, 0, 3, 0, 1},       {2, ProgramFlavor::kHD, 1, 0, 0, 1},
      {1, ProgramFlavor::kHD, 1, 0, 0, 1},       {3, ProgramFlavor::kClassic, 0, 3, 0, 1},
      {2, ProgramFlavor::kClassic, 1, 0, 0, 1},  {1, ProgramFlavor::kClassic, 1, 0, 0, 0},
      {-1, ProgramFlavor::kClassic, 1, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "version " << c.version
                                    << (c.flavor == ProgramFlavor::kHD ? " HD" : " classic"));
    PrefsStruct read = Defaults(c.flavor);
    ASSERT_EQ(ParsePreferencesFileImage(FileWithVersion(written, c.flavor, c.version), c.flavor, &read),
              noErr);
    EXPECT_EQ(read.captureTrigger, c.captureTrigger);
    EXPECT_EQ(read.dateOrdering, c.dateOrdering);
    EXPECT_EQ(read.ignoreFrameCount, c.ignoreFrameCount);
    EXPECT_EQ(read.previewSizeOLD, c.previewSizeOLD);
    EXPECT_EQ(read.hundredTimesMovieFPS, 2997);
  }
}

TEST(PrefsFileImage, ReservedBlockIsSkippedUpTo150Bytes) {
  const PrefsStruct written = Distinctive();
  PrefsStruct read = Defaults(ProgramFlavor::kHD);
  ASSERT_EQ(ParsePreferencesFileImage(FileWithVersion(written, ProgramFlavor::kHD, 4, 150),
                                      ProgramFlavor::kHD, &read),
            noErr);
  EXPECT_TRUE(SameBytes(read, written, sizeof read));

  read = Defaults(ProgramFlavor::kHD);
  EXPECT_EQ(ParsePreferencesFileImage(FileWithVersion(written, ProgramFlavor::kHD, 4, 151),
                                      ProgramFlavor::kHD, &read),
            992);
  EXPECT_TRUE(SameBytes(read, Defaults(ProgramFlavor::kHD), sizeof read));
}

TEST(PrefsFileImage, FileCutBeforeTheRecordChangesNothing) {
  const std::vector<uint8_t> whole = FileWithVersion(Distinctive(), ProgramFlavor::kHD, 2, 20);
  const size_t recordOffset = kRecordOffset + 20;
  for (size_t size = 0; size < recordOffset; ++size) {
    SCOPED_TRACE(size);
    PrefsStruct read = Defaults(ProgramFlavor::kHD);
    EXPECT_EQ(ParsePreferencesFileImage(std::span(whole.data(), size), ProgramFlavor::kHD, &read), eofErr);
    EXPECT_TRUE(SameBytes(read, Defaults(ProgramFlavor::kHD), sizeof read));
  }
  // The version alone, with no record behind it, is still a file: only the
  // upgrades of its version apply.
  PrefsStruct read = Defaults(ProgramFlavor::kHD);
  EXPECT_EQ(ParsePreferencesFileImage(std::span(whole.data(), recordOffset), ProgramFlavor::kHD, &read),
            noErr);
  EXPECT_EQ(read.hundredTimesMovieFPS, 1800);
  EXPECT_EQ(read.captureTrigger, kCaptureTriggerMouseDown);
}

TEST(PrefsFileImage, RecordCutShortKeepsOnlyWholeFields) {
  const PrefsStruct written = Distinctive();
  const std::vector<uint8_t> whole = BuildPreferencesFileImage(written, ProgramFlavor::kHD);
  const PrefsStruct defaults = Defaults(ProgramFlavor::kHD);

  // Cut inside hundredTimesMovieFPS: the geometry before it is taken, the
  // rate is not pieced together from the file and the defaults.
  PrefsStruct read = defaults;
  ASSERT_EQ(ParsePreferencesFileImage(std::span(whole.data(), kRecordOffset + 10), ProgramFlavor::kHD, &read),
            noErr);
  EXPECT_EQ(read.mainWindowSize.x, 345);
  EXPECT_EQ(read.mainWindowSize.height, 480);
  EXPECT_EQ(read.hundredTimesMovieFPS, 1800);
  EXPECT_EQ(read.captureFormatOLD, 0);

  // Cut inside the device name and inside the unique ID.
  read = defaults;
  ASSERT_EQ(ParsePreferencesFileImage(std::span(whole.data(), kRecordOffset + 40), ProgramFlavor::kHD, &read),
            noErr);
  EXPECT_EQ(read.previewFlag, 0);
  EXPECT_EQ(read.deviceNameOLD[0], 0);
  EXPECT_EQ(read.trimTop, 0);

  read = defaults;
  ASSERT_EQ(
      ParsePreferencesFileImage(std::span(whole.data(), kRecordOffset + 150), ProgramFlavor::kHD, &read),
      noErr);
  EXPECT_TRUE(SameBytes(read, written, kPrefsRecordSizeClassic));
  EXPECT_STREQ(read.uniqueID, "");
}

TEST(PrefsFileImage, StringsFromAFileCannotRunPastTheirFields) {
  PrefsStruct written = Distinctive();
  std::memset(written.uniqueID, 'A', sizeof written.uniqueID);  // no terminator
  written.deviceNameOLD[0] = 200;
  PrefsStruct read = Defaults(ProgramFlavor::kHD);
  ASSERT_EQ(ParsePreferencesFileImage(BuildPreferencesFileImage(written, ProgramFlavor::kHD),
                                      ProgramFlavor::kHD, &read),
            noErr);
  EXPECT_EQ(std::strlen(read.uniqueID), 127u);
  EXPECT_EQ(read.deviceNameOLD[0], 63);
  EXPECT_EQ(std::memcmp(read.deviceNameOLD + 1, "Camera", 6), 0);
}

}  // namespace
