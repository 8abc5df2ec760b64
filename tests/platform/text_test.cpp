#include "vlm/text.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <limits>

namespace vlm {
namespace {

TEST(Text, TrimmingKeepsWhatEachVariantDoesNotName) {
  struct Case {
    std::string_view text, blanks, whitespace;
  };
  const Case cases[] = {
      {"", "", ""},
      {" \t ", "", ""},
      {"\t a b \t", "a b", "a b"},
      {"\r\n a \n", "\r\n a \n", "a"},
      {"\v\fa\f", "\v\fa\f", "a"},
      {" \xC2\xA0x ", "\xC2\xA0x", "\xC2\xA0x"},  // only ASCII white space counts
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Trim(c.text), c.blanks) << c.text;
    EXPECT_EQ(TrimWhitespace(c.text), c.whitespace) << c.text;
  }
  EXPECT_EQ(TrimAny("--a-b--", "-"), "a-b");
}

TEST(Text, CaseIsAsciiOnly) {
  EXPECT_EQ(ToLower("MiXeD 09_Z\xC3\x84"), "mixed 09_z\xC3\x84");
  EXPECT_EQ(ToUpper("MiXeD 09_z\xC3\xA4"), "MIXED 09_Z\xC3\xA4");
  struct Case {
    std::string_view a, b;
    bool equal, prefix;
  };
  const Case cases[] = {
      {"HKLM", "hklm", true, true},
      {"dword:0", "DWORD:", false, true},
      {"main", "Mains", false, false},
      {"[", "{", false, false},  // differ by 0x20, not letters
      {"", "", true, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EqualsNoCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
    EXPECT_EQ(StartsWithNoCase(c.a, c.b), c.prefix) << c.a << " / " << c.b;
  }
}

TEST(Text, ShortestTextReadsBackAsTheSameFloat) {
  struct Case {
    float value;
    const char* text;
  };
  const Case cases[] = {
      {0.1f, "0.1"},           {-0.0f, "-0"},
      {1e20f, "1e+20"},        {FLT_MAX, "3.4028235e+38"},
      {FLT_TRUE_MIN, "1e-45"}, {std::numeric_limits<float>::infinity(), "inf"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ShortestText(c.value), c.text);
}

}  // namespace
}  // namespace vlm
