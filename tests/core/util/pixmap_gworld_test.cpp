#include <gtest/gtest.h>

#include "core/util/gworld.h"
#include "core/util/pixmap.h"

using namespace fw;

namespace {

struct Layout {
  OSType format;
  int16_t pixelSize, cmpCount, cmpSize;
};

TEST(PixMapTest, LayoutByFormat) {
  const Layout table[] = {
      {16, 16, 3, 5},
      {FourCC("5551"), 16, 3, 5},
      {FourCC("B565"), 16, 3, 5},
      {FourCC("L555"), 16, 3, 5},
      {FourCC("L565"), 16, 3, 5},
      {24, 24, 3, 8},
      {FourCC("24BG"), 24, 3, 8},
      {32, 32, 4, 8},
      {FourCC("BGRA"), 32, 4, 8},
      {40, 8, 1, 8},
      {FourCC("2vuy"), 16, 4, 8},
      {FourCC("UYVY"), 16, 4, 8},
      {FourCC("YVYU"), 16, 4, 8},
      {FourCC("yuv2"), 16, 4, 8},
      {FourCC("yuvs"), 16, 4, 8},
      {FourCC("yuvu"), 16, 4, 8},
  };
  for (const Layout& row : table) {
    PixMapHandle pm;
    ASSERT_EQ(MyNewPixMapWithoutStorage(row.format, Rect{0, 0, 480, 640}, 0, &pm), noErr)
        << FourCCToString(row.format);
    EXPECT_EQ(pm->pixelSize, row.pixelSize);
    EXPECT_EQ(pm->cmpCount, row.cmpCount);
    EXPECT_EQ(pm->cmpSize, row.cmpSize);
    EXPECT_EQ(pm->rowBytes, 640 * row.pixelSize / 8);
    EXPECT_EQ(pm->pixelFormat, row.format);
    EXPECT_EQ(pm->baseAddr, nullptr);
    EXPECT_EQ(pm->pmVersion, 4);
    EXPECT_EQ(pm->hRes, 0x00480000);
    EXPECT_EQ(pm->vRes, 0x00480000);
    EXPECT_EQ(pm->pixelType, 16);
    EXPECT_EQ(pm->bounds, (Rect{0, 0, 480, 640}));
  }
  PixMapHandle pm;
  ASSERT_EQ(MyNewPixMapWithoutStorage(FourCC("2vuy"), Rect{0, 0, 464, 608}, 1280, &pm), noErr);
  EXPECT_EQ(pm->rowBytes, 1280) << "given row bytes win over the computed ones";
  PixMapHandle none;
  EXPECT_EQ(MyNewPixMapWithoutStorage(FourCC("jpeg"), Rect{0, 0, 1, 1}, 0, &none), paramErr);
  EXPECT_EQ(MyNewPixMapWithoutStorage(8, Rect{0, 0, 1, 1}, 0, &none), paramErr);
  EXPECT_EQ(none, nullptr);
}

TEST(PixMapTest, YUVFormats) {
  EXPECT_TRUE(IsYUVFormat(FourCC("2vuy")));
  EXPECT_TRUE(IsYUVFormat(FourCC("yuvs")));
  EXPECT_TRUE(IsYUVFormat(FourCC("yuvu")));
  EXPECT_TRUE(IsYUVFormat(FourCC("yuv2")));
  EXPECT_FALSE(IsYUVFormat(FourCC("UYVY")));
  EXPECT_FALSE(IsYUVFormat(FourCC("raw ")));
}

TEST(GWorldTest, DepthRulesAndBoundsMovedInPlace) {
  struct Case {
    int16_t asked, made;
    bool grey;
  };
  const Case cases[] = {{24, 32, false}, {0, 32, false}, {41, 32, false}, {-3, 32, false}, {16, 16, false},
                        {8, 8, false},   {40, 8, true},  {33, 1, true},   {1, 1, false},   {32, 32, false}};
  for (const Case& c : cases) {
    Rect bounds{10, 20, 58, 84};
    std::unique_ptr<GWorld> world;
    ASSERT_EQ(MyNewGWorld(&world, c.asked, &bounds, nullptr), noErr) << c.asked;
    EXPECT_EQ(bounds, (Rect{0, 0, 48, 64})) << "bounds moved to the origin in place";
    EXPECT_EQ(world->pixMap.pixelSize, c.made) << c.asked;
    EXPECT_EQ(world->pixMap.bounds, bounds);
    EXPECT_GE(world->pixMap.rowBytes, 64 * c.made / 8);
    EXPECT_EQ(world->pixels.size(), static_cast<size_t>(world->pixMap.rowBytes) * 48);
    EXPECT_TRUE(world->pixelsLocked);
    EXPECT_EQ(world->foreColor, 1);
    EXPECT_EQ(world->backColor, 0);
    if (c.grey) {
      ASSERT_NE(world->pixMap.pmTable, nullptr);
      EXPECT_EQ(world->pixMap.pmTable->entries.size(), size_t{1} << c.made);
      EXPECT_EQ(world->pixMap.pmTable->entries.front().red, 0xFFFF);
      EXPECT_EQ(world->pixMap.pmTable->entries.back().red, 0);
    }
  }
  EXPECT_EQ(GetGWorld(), nullptr) << "the current world is restored";
}

TEST(GWorldTest, CallerTableIsUsedAndUnsupportedDepthsFail) {
  auto table = std::make_unique<ColorTable>();
  table->entries.resize(4, RGBColor{1, 2, 3});
  Rect bounds{0, 0, 2, 2};
  std::unique_ptr<GWorld> world;
  ASSERT_EQ(MyNewGWorld(&world, 2, &bounds, std::move(table)), noErr);
  ASSERT_NE(world->pixMap.pmTable, nullptr);
  EXPECT_EQ(world->pixMap.pmTable->entries[3].blue, 3);

  std::unique_ptr<GWorld> none;
  Rect odd{0, 0, 2, 2};
  EXPECT_EQ(MyNewGWorld(&none, 35, &odd, nullptr), cDepthErr);  // grey of 3 bits does not exist
  Rect empty{5, 5, 5, 9};
  EXPECT_EQ(MyNewGWorld(&none, 32, &empty, nullptr), paramErr);
  EXPECT_EQ(empty, (Rect{0, 0, 0, 4}));
  EXPECT_EQ(none, nullptr);
}

}  // namespace

#include <vector>

#include "core/util/frame_stamp.h"

namespace {

TEST(FrameStampTest, RoundTripsInsideAWiderRowAndRejectsPlainPictures) {
  const int width = 320, height = 20, rowBytes = 2 * width + 64;
  std::vector<uint8_t> picture(static_cast<size_t>(rowBytes) * height, 0x80);
  uint32_t number = 0;
  EXPECT_FALSE(ReadFrameStamp(picture.data(), rowBytes, width, height, &number));
  for (uint32_t value : {0u, 1u, 15u, 0x80000001u, 0xFFFFFFFFu}) {
    StampFrameNumber(picture.data(), rowBytes, width, height, value);
    ASSERT_TRUE(ReadFrameStamp(picture.data(), rowBytes, width, height, &number));
    EXPECT_EQ(number, value);
  }
  // Too small to hold a stamp: nothing is written and nothing is read.
  std::vector<uint8_t> tiny(2 * 100 * 10, 0x80);
  StampFrameNumber(tiny.data(), 200, 100, 10, 7);
  EXPECT_FALSE(ReadFrameStamp(tiny.data(), 200, 100, 10, &number));
  EXPECT_EQ(tiny, std::vector<uint8_t>(2 * 100 * 10, 0x80));
}

}  // namespace
