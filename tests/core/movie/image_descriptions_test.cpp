#include "core/movie/image_descriptions.h"

#include <gtest/gtest.h>

#include <string>

#include "core/util/byte_order.h"

using namespace fw;

namespace {

std::string Name(const ImageDescription& d) {
  return std::string(reinterpret_cast<const char*>(d.name + 1), d.name[0]);
}

ImageDescriptionHandle ForPixMap(OSType format, int16_t width, int16_t height) {
  PixMapHandle pm;
  EXPECT_EQ(MyNewPixMapWithoutStorage(format, Rect{0, 0, height, width}, 0, &pm), noErr);
  ImageDescriptionHandle d;
  EXPECT_EQ(MakeImageDescriptionForPixMap(pm.get(), &d), noErr);
  return d;
}

TEST(ImageDescriptionTest, TwoVuyFrames) {
  ImageDescriptionHandle d = ForPixMap(k2vuyPixelFormat, 608, 464);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->cType, FourCC("2vuy"));
  EXPECT_EQ(d->width, 608);
  EXPECT_EQ(d->height, 464);
  EXPECT_EQ(d->depth, 16);
  EXPECT_EQ(d->dataSize, 608 * 464 * 2);
  EXPECT_EQ(d->hRes, 0x00480000);
  EXPECT_EQ(d->vRes, 0x00480000);
  EXPECT_EQ(d->clutID, -1);
  EXPECT_EQ(d->frameCount, 1);
  EXPECT_FALSE(Name(*d).empty());
  EXPECT_EQ(d->idSize, 86 + 18) << "the 'colr' extension is counted";
  ColorTags tags;
  ASSERT_TRUE(FindColorTags(*d, &tags));
  EXPECT_EQ(tags, (ColorTags{6, 1, 6})) << "525-line BT.601";
}

TEST(ImageDescriptionTest, RawFramesAndDV) {
  ImageDescriptionHandle argb = ForPixMap(k32ARGBPixelFormat, 640, 480);
  EXPECT_EQ(argb->cType, FourCC("raw "));
  EXPECT_EQ(argb->depth, 32);
  EXPECT_EQ(argb->dataSize, 640 * 480 * 4);
  ImageDescriptionHandle grey = ForPixMap(40, 640, 480);
  EXPECT_EQ(grey->depth, 40);
  EXPECT_EQ(grey->dataSize, 307200);

  ImageDescriptionHandle ntsc, pal;
  ASSERT_EQ(MakeDVImageDescription(DVVideoSystem::k525Lines60Hz, &ntsc), noErr);
  ASSERT_EQ(MakeDVImageDescription(DVVideoSystem::k625Lines50Hz, &pal), noErr);
  EXPECT_EQ(ntsc->cType, FourCC("dvc "));
  EXPECT_EQ(ntsc->dataSize, 120000);
  EXPECT_EQ(ntsc->height, 480);
  EXPECT_EQ(pal->cType, FourCC("dvcp"));
  EXPECT_EQ(pal->dataSize, 144000);
  EXPECT_EQ(pal->height, 576);
  ColorTags tags;
  ASSERT_TRUE(FindColorTags(*pal, &tags));
  EXPECT_EQ(tags.primaries, 5) << "625-line primaries";
}

TEST(ImageDescriptionTest, UnsupportedPixelMapsAreRefused) {
  PixMapHandle pm;
  ASSERT_EQ(MyNewPixMapWithoutStorage(FourCC("BGRA"), Rect{0, 0, 10, 10}, 0, &pm), noErr);
  ImageDescriptionHandle d;
  EXPECT_EQ(MakeImageDescriptionForPixMap(pm.get(), &d), paramErr);
  ASSERT_EQ(MyNewPixMapWithoutStorage(k2vuyPixelFormat, Rect{0, 0, 0, 10}, 0, &pm), noErr);
  EXPECT_EQ(MakeImageDescriptionForPixMap(pm.get(), &d), paramErr) << "empty bounds";
  ASSERT_EQ(MyNewPixMapWithoutStorage(k32ARGBPixelFormat, Rect{0, 0, 32767, 32767}, 0, &pm), noErr);
  EXPECT_EQ(MakeImageDescriptionForPixMap(pm.get(), &d), paramErr) << "data size beyond 32 bits";
  EXPECT_EQ(MakeImageDescriptionForPixMap(nullptr, &d), paramErr);
  EXPECT_FALSE(d);
}

TEST(ImageDescriptionTest, ColoursFollowTheFrameSize) {
  EXPECT_EQ(ColorTagsFor(FourCC("2vuy"), 720, 486), (ColorTags{6, 1, 6}));
  EXPECT_EQ(ColorTagsFor(FourCC("2vuy"), 720, 576), (ColorTags{5, 1, 6}));
  EXPECT_EQ(ColorTagsFor(FourCC("2vuy"), 1280, 720), (ColorTags{1, 1, 1}));
  EXPECT_EQ(ColorTagsFor(FourCC("2vuy"), 3840, 2160), (ColorTags{1, 1, 1}));
  EXPECT_EQ(ColorTagsFor(FourCC("raw "), 1920, 1080).matrix, 0) << "RGB has no Y'CbCr matrix";
}

TEST(ImageDescriptionTest, SampleDescriptionEntryRoundTrip) {
  ImageDescriptionHandle d = ForPixMap(k2vuyPixelFormat, 1920, 1080);
  d->resvd1 = 0x12345678;
  d->dataRefIndex = 9;
  const std::vector<uint8_t> entry = SerialiseImageDescription(*d, 1);
  ASSERT_EQ(entry.size(), 104u);
  EXPECT_EQ(LoadBE32(entry.data()), 104u);
  EXPECT_EQ(LoadBE32(entry.data() + 4), FourCC("2vuy"));
  for (int i = 8; i < 14; ++i) EXPECT_EQ(entry[i], 0) << "reserved byte " << i;
  EXPECT_EQ(LoadBE16(entry.data() + 14), 1) << "the data reference index is the movie's";
  EXPECT_EQ(LoadBE32(entry.data() + 86 + 4), FourCC("colr"));

  ImageDescription back;
  ASSERT_EQ(ParseImageDescription(entry.data(), entry.size(), &back), noErr);
  EXPECT_EQ(back.width, 1920);
  EXPECT_EQ(back.height, 1080);
  EXPECT_EQ(back.depth, 16);
  EXPECT_EQ(back.clutID, -1);
  EXPECT_EQ(Name(back), Name(*d));
  ColorTags tags;
  ASSERT_TRUE(FindColorTags(back, &tags));
  EXPECT_EQ(tags, (ColorTags{1, 1, 1}));

  EXPECT_EQ(ParseImageDescription(entry.data(), 85, &back), paramErr);
  EXPECT_EQ(ParseImageDescription(entry.data(), 100, &back), paramErr) << "size field disagrees";
}

TEST(ImageDescriptionTest, ForeignDescriptionsAreWrittenSafely) {
  // A digitizer's description without extensions gets a 'colr' one; a
  // damaged extension and a stale idSize are not copied into the file.
  ImageDescription d;
  d.cType = FourCC("yuv2");
  d.width = 640;
  d.height = 480;
  d.idSize = 500;
  d.name[0] = 200;  // longer than the field
  d.extensions = {0, 0, 0, 50, 'x', 'y', 'z', 'w'};
  const std::vector<uint8_t> entry = SerialiseImageDescription(d, 1);
  ASSERT_EQ(entry.size(), 86u + 18u);
  EXPECT_EQ(LoadBE32(entry.data()), entry.size());
  EXPECT_EQ(entry[50], 31) << "the name's length fits its field";
  ImageDescription jpeg;
  jpeg.cType = FourCC("jpeg");
  EXPECT_EQ(SerialiseImageDescription(jpeg, 1).size(), 86u)
      << "no colours claimed for codecs we do not write";
}

}  // namespace
