#include "core/capture/classic_error_message.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace fw;

namespace {

// Stands in for the string lists: each string names where it came from.
std::vector<IndStringRef> gLookups;
void FakeGetIndString(Str255 out, int16_t listID, int16_t index) {
  gLookups.push_back({listID, index});
  CopyToStr255(std::to_string(listID) + "/" + std::to_string(index), out);
}

TEST(ClassicErrorMessage, CancelShowsNothing) {
  gLookups.clear();
  EXPECT_FALSE(ComposeClassicErrorMessage(2, 10, -128, FakeGetIndString).has_value());
  EXPECT_TRUE(gLookups.empty());
}

TEST(ClassicErrorMessage, ParametersAreTaskStepWithCodeAndExplanation) {
  auto params = ComposeClassicErrorMessage(3, 1030, -108, FakeGetIndString);
  ASSERT_TRUE(params.has_value());
  EXPECT_EQ(Str255ToString(params->task), "129/3");
  EXPECT_EQ(Str255ToString(params->stepAndCode), "1030,-108");
  EXPECT_EQ(Str255ToString(params->explanation), "130/11");

  gLookups.clear();
  params = ComposeClassicErrorMessage(4, 310, 0, FakeGetIndString);
  ASSERT_TRUE(params.has_value());
  EXPECT_EQ(Str255ToString(params->stepAndCode), "310,0");
  EXPECT_EQ(params->explanation[0], 0);
  EXPECT_EQ(gLookups, (std::vector<IndStringRef>{{129, 4}}));
}

TEST(ClassicErrorMessage, SingleCodesWinOverTheRangesTheyFallIn) {
  struct Case {
    int32_t err;
    IndStringRef ref;
  };
  const Case cases[] = {
      {-108, {130, 11}},  {-41, {130, 11}},  {-34, {130, 12}},   {-37, {130, 13}},   {-48, {130, 14}},
      {-120, {130, 15}},  {-192, {130, 16}}, {-47, {130, 17}},   {-2005, {130, 18}}, {-50, {130, 19}},
      {-8973, {130, 20}}, {-43, {130, 21}},  {-8961, {130, 23}}, {-2048, {130, 25}}, {-8960, {130, 26}},
  };
  for (const Case& c : cases) EXPECT_EQ(GetErrorExplanationRef(c.err), c.ref) << c.err;
}

TEST(ClassicErrorMessage, RangesAreTriedInOrderToTheirEdges) {
  struct Case {
    int32_t err;
    int16_t index;  // in list 133; 0 for no explanation
  };
  const Case cases[] = {
      {-42, 1},   {-33, 1},   {-61, 1},   {-32, 0},   {-62, 0},  {-121, 2},  {-127, 2}, {-1300, 2},
      {-1305, 2}, {-1299, 0}, {-1306, 0}, {-185, 3},  {-199, 3}, {-184, 0},  {-200, 4}, {-232, 4},
      {-233, 0},  {-1700, 5}, {-1719, 5}, {-1720, 0}, {-109, 6}, {-117, 6},  {-118, 0}, {-2000, 7},
      {-2209, 7}, {-2210, 0}, {-8962, 0}, {0, 0},     {992, 0},  {90022, 0},
  };
  for (const Case& c : cases) {
    const IndStringRef expected = c.index == 0 ? IndStringRef{} : IndStringRef{133, c.index};
    EXPECT_EQ(GetErrorExplanationRef(c.err), expected) << c.err;
  }
}

}  // namespace
