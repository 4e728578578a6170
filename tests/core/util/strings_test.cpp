#include "core/util/strings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace fw;

namespace {

// A Str255 built from text, for readable tests.
struct P {
  explicit P(const std::string& text) { CopyToStr255(text, s); }
  std::string str() const { return Str255ToString(s); }
  Str255 s;
};

TEST(StringsTest, AddStringAndNumbers) {
  P s("Framewright ");
  AddString(P("08").s, s.s);
  EXPECT_EQ(s.str(), "Framewright 08");

  P n("");
  AddNumberToString(5, n.s, true);
  EXPECT_EQ(n.str(), "05");
  AddNumberToString(5, n.s, false);
  EXPECT_EQ(n.str(), "055");
  P neg("");
  AddNumberToString(-5, neg.s, true);
  EXPECT_EQ(neg.str(), "-5");
  P big("");
  AddNumberToString(-32768, big.s, true);
  EXPECT_EQ(big.str(), "-32768");

  // The sum is capped at 255 characters rather than written past the buffer.
  P full(std::string(250, 'x'));
  AddString(P("0123456789").s, full.s);
  EXPECT_EQ(full.s[0], 255);
  EXPECT_EQ(full.str().substr(250), "01234");
}

TEST(StringsTest, Comparisons) {
  EXPECT_TRUE(CompareStrings(P("").s, P("").s));
  EXPECT_FALSE(CompareStrings(P("").s, P("a").s));
  EXPECT_FALSE(CompareStrings(P("DV").s, P("dv").s));
  EXPECT_TRUE(CompareStringsBeginning(P("DV Video").s, P("DV").s));
  EXPECT_FALSE(CompareStringsBeginning(P("DV Video").s, P("dv").s));
  EXPECT_FALSE(CompareStringsBeginning(P("DV Video").s, P("").s));
  EXPECT_FALSE(CompareStringsBeginning(P("DV").s, P("DV Video").s));
  EXPECT_EQ(CountPeriodsInString(P("1.2.3.").s), 3);
}

TEST(StringsTest, FloatsBothWays) {
  P out("");
  MyFloatToString(12.0f, out.s, 2, true);
  EXPECT_EQ(out.str(), "12");
  MyFloatToString(29.97f, out.s, 2, true);
  EXPECT_EQ(out.str(), "29.97");
  MyFloatToString(12.0f, out.s, 2, false);
  EXPECT_EQ(out.str(), "12.00");
  MyFloatToString(2.5f, out.s, 2, true);
  EXPECT_EQ(out.str(), "2.5");
  MyFloatToString(100.0f, out.s, 1, true);
  EXPECT_EQ(out.str(), "100") << "zeros before the point stay";

  P in("29.97");
  EXPECT_FLOAT_EQ(StringToFloat(in.s), 29.97f);
  EXPECT_STREQ(reinterpret_cast<const char*>(in.s), "29.97");
  P longest(std::string(255, '1'));
  EXPECT_TRUE(std::isinf(StringToFloat(longest.s)));  // what matters is that nothing overruns
}

TEST(StringsTest, Hexadecimal) {
  EXPECT_EQ(StringToNumHex64(P("1f").s), 31u);
  EXPECT_EQ(StringToNumHex64(P("x1F").s), 31u);
  EXPECT_EQ(StringToNumHex64(P("").s), 0u);
  EXPECT_EQ(StringToNumHex64(P("12g34").s), 0x34u) << "only the run at the end counts";
  EXPECT_EQ(StringToNumHex64(P("FFFF0123456789ABCDEF").s), 0x0123456789ABCDEFu)
      << "only the last 16 digits count";
  P out("");
  NumToStringHex32(0x2A, out.s);
  EXPECT_EQ(out.str(), "0000002A");
  NumToStringHex64(0xDEADBEEF00000001ull, out.s);
  EXPECT_EQ(out.str(), "DEADBEEF00000001");
  EXPECT_EQ(StringToNumHex64(out.s), 0xDEADBEEF00000001ull);
}

}  // namespace
