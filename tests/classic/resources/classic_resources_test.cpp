#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "classic/resources/alerts.h"
#include "classic/resources/string_lists.h"
#include "core/capture/classic_error_message.h"

using namespace fw;

namespace {

std::string IndString(int16_t listID, int16_t index) {
  Str255 s;
  std::memset(s, 0xEE, sizeof s);
  GetIndString(s, listID, index);
  return Str255ToString(s);
}

TEST(ClassicStringLists, CaptureFileBaseNames) {
  EXPECT_EQ(IndString(128, 3), "Framewright ");
  EXPECT_EQ(IndString(128, 4), "Framewright DV ");
}

TEST(ClassicStringLists, MissingEntriesAreEmpty) {
  EXPECT_EQ(IndString(129, 0), "");
  EXPECT_EQ(IndString(129, -1), "");
  EXPECT_EQ(IndString(129, 5), "");
  EXPECT_EQ(IndString(130, 22), "");
  EXPECT_EQ(IndString(130, 27), "");
  EXPECT_EQ(IndString(131, 1), "");
}

// Every code the composition can explain finds words, and so does every task.
TEST(ClassicStringLists, EveryErrorTextThatCanBeChosenExists) {
  for (int16_t task = 1; task <= 4; ++task) EXPECT_NE(IndString(129, task), "") << task;
  int explained = 0;
  for (int32_t err = -9000; err <= 0; ++err) {
    IndStringRef ref = GetErrorExplanationRef(err);
    if (ref.index == 0) continue;
    ++explained;
    EXPECT_NE(IndString(ref.listID, ref.index), "") << err;
  }
  EXPECT_GT(explained, 200);
}

TEST(ClassicErrorAlert, ComposedFromTheProgramsOwnTexts) {
  EXPECT_FALSE(ComposeClassicErrorMessage(2, 10, -128, GetIndString).has_value());

  auto params = ComposeClassicErrorMessage(4, 310, -42, GetIndString);
  ASSERT_TRUE(params.has_value());
  const AlertTemplate* alert = GetAlertTemplate(200);
  ASSERT_NE(alert, nullptr);
  EXPECT_EQ(alert->buttonTitle, "OK");
  const std::vector<std::string> texts{Str255ToString(params->task), Str255ToString(params->stepAndCode),
                                       Str255ToString(params->explanation)};
  EXPECT_EQ(texts[0], IndString(129, 4));
  EXPECT_EQ(texts[2], IndString(133, 1));
  EXPECT_EQ(SubstituteAlertParams(alert->text, texts),
            texts[0] + "\n\nStep and error code: 310,-42\n" + texts[2]);
  EXPECT_EQ(GetAlertTemplate(201), nullptr);
}

TEST(ClassicErrorAlert, ParametersAreInsertedLiterally) {
  const std::vector<std::string> params{"a^1b", "X"};
  EXPECT_EQ(SubstituteAlertParams("^0|^1|^2|^3|^4|^", params), "a^1b|X|||^4|^");
}

}  // namespace
