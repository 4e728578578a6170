#include "core/util/rects.h"

#include <gtest/gtest.h>

namespace {

TEST(RectsTest, CenterTruncatesTowardsZero) {
  Rect r{0, 0, 10, 10};
  const Rect in{0, 0, 21, 21};  // odd difference: 11 / 2 = 5
  CenterRectInRect(&r, &in);
  EXPECT_EQ(r, (Rect{5, 5, 15, 15}));

  Rect big{0, 0, 21, 21};
  const Rect small{0, 0, 10, 10};  // -11 / 2 = -5, not -6
  CenterRectInRect(&big, &small);
  EXPECT_EQ(big, (Rect{-5, -5, 16, 16}));
}

TEST(RectsTest, MoveAndCompare) {
  Rect r{10, 20, 30, 60};
  MoveRect(&r, 0, 0);
  EXPECT_EQ(r, (Rect{0, 0, 20, 40}));
  MoveRect(&r, -5, 7);
  EXPECT_EQ(r, (Rect{7, -5, 27, 35}));
  Rect same = r;
  EXPECT_TRUE(CompareRects(&r, &same));
  same.right++;
  EXPECT_FALSE(CompareRects(&r, &same));
}

TEST(RectsTest, AllFourEdgesAreInside) {
  const Rect r{10, 20, 30, 40};
  EXPECT_TRUE(IsPointInRect({10, 20}, &r));
  EXPECT_TRUE(IsPointInRect({30, 40}, &r));
  EXPECT_TRUE(IsPointInRect({30, 20}, &r));
  EXPECT_FALSE(IsPointInRect({31, 30}, &r));
  EXPECT_FALSE(IsPointInRect({20, 19}, &r));
  EXPECT_FALSE(IsPointInRect({9, 30}, &r));
  EXPECT_FALSE(IsPointInRect({20, 41}, &r));
}

TEST(RectsTest, FitAndCenter) {
  Rect wide{0, 0, 480, 640};
  const Rect square{0, 0, 400, 400};
  FitAndCenterRectInRect(&wide, &square);
  EXPECT_EQ(wide, (Rect{50, 0, 350, 400}));

  Rect sd{0, 0, 486, 720};
  const Rect box{0, 0, 600, 1000};
  FitAndCenterRectInRect(&sd, &box);
  EXPECT_EQ(sd, (Rect{0, 55, 600, 944}));

  Rect hd{0, 0, 1080, 1920};
  const Rect preview{36, 10, 546, 790};
  FitAndCenterRectInRect(&hd, &preview);
  EXPECT_EQ(hd, (Rect{71, 10, 510, 790}));

  Rect sameRatio{0, 0, 300, 400};
  const Rect doubled{0, 0, 600, 800};
  FitAndCenterRectInRect(&sameRatio, &doubled);
  EXPECT_EQ(sameRatio, doubled);

  Rect empty{0, 0, 0, 0};
  FitAndCenterRectInRect(&empty, &doubled);  // nothing to scale; only centred
  EXPECT_EQ(empty, (Rect{300, 400, 300, 400}));
}

}  // namespace
