#include "core/imaging/soft_scaler.h"

#include <gtest/gtest.h>

#include "preview_test_support.h"

using namespace fw;

namespace {

using namespace preview_test;

struct Picture {
  std::vector<uint32_t> pixels;
  int32_t width, height;
  RGB At(int32_t x, int32_t y) const { return Unpack(pixels[static_cast<size_t>(y) * width + x]); }
};

Picture Draw(YCbCrScaler* scaler, const Frame2vuy& frame, const uint8_t* base, int32_t w, int32_t h,
             int32_t dw, int32_t dh, Mirroring mirroring, YCbCrMatrix matrix) {
  Picture p{std::vector<uint32_t>(static_cast<size_t>(dw) * dh, 0), dw, dh};
  scaler->Draw(YCbCrImageView{base, frame.rowBytes, w, h}, RGB32ImageView{p.pixels.data(), dw * 4, dw, dh},
               mirroring, matrix);
  return p;
}

void ExpectMatchesReference(const Picture& p, const Frame2vuy& frame, const uint8_t* base, int32_t w,
                            int32_t h, Mirroring m, YCbCrMatrix matrix, int tolerance) {
  const std::vector<RGB> ref = ReferencePicture(base, frame.rowBytes, w, h, p.width, p.height,
                                                MirrorsHorizontally(m), MirrorsVertically(m), matrix);
  int worst = 0, worstX = 0, worstY = 0;
  for (int32_t y = 0; y < p.height; ++y) {
    for (int32_t x = 0; x < p.width; ++x) {
      const int d = MaxChannelDifference(p.At(x, y), ref[static_cast<size_t>(y) * p.width + x]);
      if (d > worst) worst = d, worstX = x, worstY = y;
    }
  }
  EXPECT_LE(worst, tolerance) << "at " << worstX << "," << worstY;
}

TEST(SoftScalerTest, ColourBarsGiveTheirRGBInBothMatrices) {
  struct Case {
    const std::array<YCbCr, 8>* bars;
    YCbCrMatrix matrix;
  };
  for (const Case& c : {Case{&kBars601, YCbCrMatrix::kBT601}, Case{&kBars709, YCbCrMatrix::kBT709}}) {
    Frame2vuy frame(640, 48);
    DrawBars(&frame, *c.bars, 0, 0, 640, 48);
    YCbCrScaler scaler;
    // 1:1, halved, and enlarged: each bar's middle keeps its colour.
    for (const auto& [dw, dh] : {std::pair{640, 48}, std::pair{320, 24}, std::pair{1000, 60}}) {
      const Picture p = Draw(&scaler, frame, frame.bytes.data(), 640, 48, dw, dh, Mirroring::kNone, c.matrix);
      for (int bar = 0; bar < 8; ++bar) {
        const int32_t x = (2 * bar + 1) * dw / 16;
        EXPECT_LE(MaxChannelDifference(p.At(x, dh / 2), kBarsRGB[bar]), 2) << "bar " << bar << " at " << dw;
      }
    }
  }
}

TEST(SoftScalerTest, EachFlipMirrorsThePicture) {
  const Frame2vuy card = MakeTestCard(160, 90);
  YCbCrScaler scaler;
  const Picture plain =
      Draw(&scaler, card, card.bytes.data(), 160, 90, 120, 70, Mirroring::kNone, YCbCrMatrix::kBT601);
  const Picture h =
      Draw(&scaler, card, card.bytes.data(), 160, 90, 120, 70, Mirroring::kHorizontal, YCbCrMatrix::kBT601);
  const Picture v =
      Draw(&scaler, card, card.bytes.data(), 160, 90, 120, 70, Mirroring::kVertical, YCbCrMatrix::kBT601);
  const Picture both =
      Draw(&scaler, card, card.bytes.data(), 160, 90, 120, 70, Mirroring::kBoth, YCbCrMatrix::kBT601);
  int mismatches = 0;
  for (int32_t y = 0; y < 70; ++y) {
    for (int32_t x = 0; x < 120; ++x) {
      const uint32_t p = plain.pixels[static_cast<size_t>(y) * 120 + x];
      mismatches += h.pixels[static_cast<size_t>(y) * 120 + (119 - x)] != p;
      mismatches += v.pixels[static_cast<size_t>(69 - y) * 120 + x] != p;
      mismatches += both.pixels[static_cast<size_t>(69 - y) * 120 + (119 - x)] != p;
    }
  }
  EXPECT_EQ(mismatches, 0);
  // The white block of the top-left corner moves to the mirrored corners.
  const RGB white{255, 255, 255};
  EXPECT_EQ(MaxChannelDifference(plain.At(5, 5), white), 0);
  EXPECT_EQ(MaxChannelDifference(h.At(114, 5), white), 0);
  EXPECT_EQ(MaxChannelDifference(v.At(5, 64), white), 0);
  EXPECT_EQ(MaxChannelDifference(both.At(114, 64), white), 0);
  EXPECT_GT(MaxChannelDifference(plain.At(114, 64), white), 50);

  // Bars run the other way round when mirrored horizontally.
  Frame2vuy bars(320, 16);
  DrawBars(&bars, kBars601, 0, 0, 320, 16);
  const Picture mirrored =
      Draw(&scaler, bars, bars.bytes.data(), 320, 16, 160, 8, Mirroring::kHorizontal, YCbCrMatrix::kBT601);
  for (int bar = 0; bar < 8; ++bar) {
    EXPECT_LE(MaxChannelDifference(mirrored.At((2 * bar + 1) * 10, 4), kBarsRGB[7 - bar]), 2) << bar;
  }
}

TEST(SoftScalerTest, SamplesWhereTheReferenceDoes) {
  // Downscaled by uneven factors, upscaled, mirrored, odd sizes: the fixed
  // point may round differently from double precision, but not more.
  const Frame2vuy card = MakeTestCard(161, 97);
  YCbCrScaler scaler;
  struct Case {
    int32_t dw, dh;
    Mirroring m;
  };
  for (const Case& c : {Case{161, 97, Mirroring::kNone}, Case{80, 45, Mirroring::kNone},
                        Case{123, 61, Mirroring::kBoth}, Case{400, 250, Mirroring::kHorizontal},
                        Case{7, 3, Mirroring::kVertical}, Case{1, 1, Mirroring::kNone}}) {
    SCOPED_TRACE(testing::Message() << c.dw << "x" << c.dh);
    const Picture p = Draw(&scaler, card, card.bytes.data(), 161, 97, c.dw, c.dh, c.m, YCbCrMatrix::kBT709);
    ExpectMatchesReference(p, card, card.bytes.data(), 161, 97, c.m, YCbCrMatrix::kBT709, 3);
  }
}

TEST(SoftScalerTest, TrimmedImageInsideAWiderFrameShowsOnlyItself) {
  // A 200 × 60 frame, red all round; the middle 120 × 40 holds the bars.
  Frame2vuy frame(200, 60);
  frame.Fill(0, 0, 200, 60, kBars601[5]);
  frame.Fill(40, 10, 160, 50, kBars601[0]);  // background of the trimmed area
  DrawBars(&frame, kBars601, 40, 10, 120, 40);
  const uint8_t* trimmedBase = frame.Row(10) + 2 * 40;
  YCbCrScaler scaler;
  const Picture p = Draw(&scaler, frame, trimmedBase, 120, 40, 60, 20, Mirroring::kNone, YCbCrMatrix::kBT601);
  for (int bar = 0; bar < 8; ++bar) {
    const int32_t x = (2 * bar + 1) * 60 / 16;
    for (int32_t y : {0, 10, 19}) {
      EXPECT_LE(MaxChannelDifference(p.At(x, y), kBarsRGB[bar]), 2) << "bar " << bar << " row " << y;
    }
  }
  // The edges show the first and last bar, never the red margin.
  for (int32_t y = 0; y < 20; ++y) {
    EXPECT_LE(MaxChannelDifference(p.At(0, y), kBarsRGB[0]), 2);
    EXPECT_LE(MaxChannelDifference(p.At(59, y), kBarsRGB[7]), 2);
  }
  ExpectMatchesReference(p, frame, trimmedBase, 120, 40, Mirroring::kNone, YCbCrMatrix::kBT601, 3);
}

TEST(SoftScalerTest, OddWidthReadsNoFurtherThanItsLastPair) {
  // Width 5: three pairs, the last one half used. The buffer ends with the
  // last pair; AddressSanitizer catches a read beyond it.
  Frame2vuy frame(5, 3);
  frame.Fill(0, 0, 5, 3, kBars601[3]);
  ASSERT_EQ(frame.bytes.size(), 36u);
  YCbCrScaler scaler;
  const Picture p =
      Draw(&scaler, frame, frame.bytes.data(), 5, 3, 9, 5, Mirroring::kBoth, YCbCrMatrix::kBT601);
  for (int32_t x = 0; x < 9; ++x) EXPECT_LE(MaxChannelDifference(p.At(x, 2), kBarsRGB[3]), 2) << x;
}

TEST(SoftScalerTest, RGB32ScalingMatchesYCbCrScalingOfTheSamePicture) {
  // The off-screen mode converts first and scales after; the window mode does
  // both at once. The pictures must agree (the conversion is linear).
  const Frame2vuy card = MakeTestCard(160, 90);
  YCbCrScaler scaler;
  const Picture full =
      Draw(&scaler, card, card.bytes.data(), 160, 90, 160, 90, Mirroring::kNone, YCbCrMatrix::kBT601);
  const Picture direct =
      Draw(&scaler, card, card.bytes.data(), 160, 90, 100, 56, Mirroring::kBoth, YCbCrMatrix::kBT601);
  std::vector<uint32_t> scaled(100 * 56);
  RGB32Scaler rgb;
  rgb.Draw(ConstRGB32ImageView{full.pixels.data(), 160 * 4, 160, 90},
           RGB32ImageView{scaled.data(), 400, 100, 56}, Mirroring::kBoth);
  int worst = 0;
  for (size_t i = 0; i < scaled.size(); ++i) {
    worst = std::max(worst, MaxChannelDifference(Unpack(scaled[i]), Unpack(direct.pixels[i])));
  }
  EXPECT_LE(worst, 4);
}

TEST(SoftScalerTest, ConversionAgreesWithTheTablesOnEveryLumaAndAGridOfChroma) {
  // 1:1, so every first pixel of a pair is its own Y0, Cb and Cr unblended:
  // each row holds all 256 luma codes, each row another Cb and Cr.
  constexpr int32_t kWidth = 512;
  std::vector<std::pair<int, int>> chroma;
  for (int cb = 0; cb < 256; cb += 5)
    for (int cr = 0; cr < 256; cr += 5) chroma.push_back({cb, cr});
  chroma.push_back({255, 255});
  const auto height = static_cast<int32_t>(chroma.size());
  std::vector<uint8_t> frame(static_cast<size_t>(kWidth) * 2 * height);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t pair = 0; pair < kWidth / 2; ++pair) {
      uint8_t* p = &frame[(static_cast<size_t>(y) * kWidth + 2 * pair) * 2];
      p[0] = static_cast<uint8_t>(chroma[y].first);
      p[1] = p[3] = static_cast<uint8_t>(pair);
      p[2] = static_cast<uint8_t>(chroma[y].second);
    }
  }
  for (YCbCrMatrix matrix : {YCbCrMatrix::kBT601, YCbCrMatrix::kBT709}) {
    const YCbCrTables tables(matrix);
    YCbCrScaler scaler;
    std::vector<uint32_t> out(static_cast<size_t>(kWidth) * height);
    scaler.Draw(YCbCrImageView{frame.data(), kWidth * 2, kWidth, height},
                RGB32ImageView{out.data(), kWidth * 4, kWidth, height}, Mirroring::kNone, matrix);
    int worst = 0;
    for (int32_t y = 0; y < height; ++y) {
      for (int32_t pair = 0; pair < kWidth / 2; ++pair) {
        const uint32_t expected = tables.ToRGB32(pair, chroma[y].first, chroma[y].second);
        worst = std::max(worst, MaxChannelDifference(Unpack(out[static_cast<size_t>(y) * kWidth + 2 * pair]),
                                                     Unpack(expected)));
      }
    }
    EXPECT_LE(worst, 1) << "matrix " << static_cast<int>(matrix);
  }
}

TEST(SoftScalerTest, SampleStepsStayInsideTheSource) {
  for (const auto& [source, dest] :
       {std::pair{1, 7}, std::pair{7, 1}, std::pair{1920, 960}, std::pair{3, 1000}}) {
    for (bool mirrored : {false, true}) {
      const std::vector<SampleStep> steps = MakeSampleSteps(source, dest, mirrored);
      ASSERT_EQ(steps.size(), static_cast<size_t>(dest));
      for (const SampleStep& s : steps) {
        EXPECT_GE(s.first, 0);
        EXPECT_LT(s.second, source);
        EXPECT_LE(s.first, s.second);
        EXPECT_LT(s.weight, 256u);
      }
    }
  }
  // Halving samples exactly between each pair of pixels.
  const std::vector<SampleStep> half = MakeSampleSteps(8, 4, false);
  EXPECT_EQ(half[1].first, 2);
  EXPECT_EQ(half[1].second, 3);
  EXPECT_EQ(half[1].weight, 128u);
}

}  // namespace
