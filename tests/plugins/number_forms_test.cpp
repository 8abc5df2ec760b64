#include "glazier/number_forms.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "vlm/error.h"

namespace vlm::glazier {
namespace {

TEST(NumberForms, ParameterStringFloatsHaveSevenSignificantDigits) {
  EXPECT_EQ(FormatSingle(0.9f), "0.9");
  EXPECT_EQ(FormatSingle(202.0f), "202");
  EXPECT_EQ(FormatSingle(1.0f / 3.0f), "0.3333333");
  EXPECT_EQ(FormatSingle(0.0f), "0");
  EXPECT_EQ(FormatSingle(-0.0f), "0");
  EXPECT_EQ(FormatSingle(-2.5f), "-2.5");
  EXPECT_EQ(FormatSingle(12345678.0f), "1.234568E+07");
  EXPECT_EQ(FormatSingle(0.00001f), "1E-05");
}

TEST(NumberForms, ReadingAcceptsOnlyWholeFiniteNumbers) {
  float f = 7;
  EXPECT_TRUE(ParseSingle(" 0.5 ", f));
  EXPECT_EQ(f, 0.5f);
  EXPECT_TRUE(ParseSingle("+1.5E+02", f));
  EXPECT_EQ(f, 150.0f);
  for (const char* bad : {"", "abc", "1.5x", "0,5", "1e999", "-1e39", "inf", "nan", "++1", " "}) {
    f = 7;
    EXPECT_FALSE(ParseSingle(bad, f)) << bad;
    EXPECT_EQ(f, 7) << bad;
  }

  int16_t i = 9;
  EXPECT_TRUE(ParseInteger16("1", i));
  EXPECT_EQ(i, 1);
  EXPECT_TRUE(ParseInteger16("-1", i));
  EXPECT_EQ(i, -1);
  EXPECT_TRUE(ParseInteger16("2.5", i));  // half to even
  EXPECT_EQ(i, 2);
  EXPECT_TRUE(ParseInteger16("32767", i));
  for (const char* bad : {"", "yes", "32768", "-32769", "99999999999999999999"}) {
    i = 9;
    EXPECT_FALSE(ParseInteger16(bad, i)) << bad;
    EXPECT_EQ(i, 9) << bad;
  }
}

TEST(NumberForms, FormatRealKeepsOneDecimalAtLeast) {
  EXPECT_EQ(formatReal(1.0f), "1.0");
  EXPECT_EQ(formatReal(0.3f), "0.3");
  EXPECT_EQ(formatReal(202.0f), "202.0");
  EXPECT_EQ(formatReal(0.0f), "0.0");
  EXPECT_EQ(formatReal(-0.5f), "-0.5");
  EXPECT_EQ(formatReal(1.0f / 3.0f), "0.3333333");
  EXPECT_EQ(formatReal(0.00000001f), "0.0");
  EXPECT_EQ(formatReal(12345678.0f), "12345680.0");
}

TEST(NumberForms, FilePrintFormHasSignPlaceAndTrailingBlank) {
  EXPECT_EQ(PrintNumber(int16_t{0}), " 0 ");
  EXPECT_EQ(PrintNumber(int16_t{1}), " 1 ");
  EXPECT_EQ(PrintNumber(int16_t{-1}), "-1 ");
  EXPECT_EQ(PrintNumber(0.1f), " .1 ");
  EXPECT_EQ(PrintNumber(-0.25f), "-.25 ");
  EXPECT_EQ(PrintNumber(1.0f), " 1 ");
  EXPECT_EQ(PrintNumber(12.5f), " 12.5 ");
}

TEST(NumberForms, CaptionsAndColourValues) {
  EXPECT_EQ(FormatCaptionNumber(30 / 100.0), "0.3");
  EXPECT_EQ(FormatCaptionNumber(10 / 10.0), "1");
  EXPECT_EQ(FormatCaptionNumber(125 / 10.0), "12.5");
  EXPECT_EQ(FormatCaptionNumber(0), "0");

  EXPECT_EQ(ColorValue(0, 128 / 255.0f, 1), 128 * 256 + 255 * 65536);
  EXPECT_EQ(ColorValue(0.5f, 0, 0), 128);  // 127.5 rounds to the even 128
  EXPECT_EQ(ColorValue(1, 1, 1), 0xFFFFFF);
  try {
    ColorValue(0, 0, 1e6f);
    FAIL() << "no overflow";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), err::Overflow);
  }
}

}  // namespace
}  // namespace vlm::glazier
