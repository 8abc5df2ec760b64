#include "vlm/text_encoding.h"

#include <gtest/gtest.h>

namespace vlm {
namespace {

// What a file's bytes become: UTF-8 stays, 8-bit text is read as Windows-1252.
TEST(TextEncoding, DecodesEightBitTextAndKeepsUtf8) {
  struct Case {
    std::string bytes, text;
    bool utf8;
  } cases[] = {
      {"plain", "plain", true},
      {"caf\xC3\xA9", "caf\xC3\xA9", true},  // UTF-8 é kept
      {"caf\xE9", "caf\xC3\xA9", false},     // Latin-1 é
      {"\x80 \x93x\x94 \x9F", "\xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D \xC5\xB8", false},
      {"\x81\x8D", "\xC2\x81\xC2\x8D", false},  // undefined: the controls
      {"\xEF\xBB\xBF"
       "abc",
       "abc", true},                                            // byte order mark dropped
      {"\xC0\xAF", "\xC3\x80\xC2\xAF", false},                  // overlong "/"
      {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC", false},  // a surrogate
      {"\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xE2\x82\xAC\xE2\x82\xAC", false},  // > U+10FFFF
      {"\xC3", "\xC3\x83", false},                                              // cut short
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80", true},                           // four bytes
  };
  for (const Case& c : cases) {
    EXPECT_EQ(text::IsUtf8(c.bytes), c.utf8) << c.bytes;
    EXPECT_EQ(text::DecodeText(c.bytes), c.text) << c.bytes;
    EXPECT_TRUE(text::IsUtf8(text::DecodeText(c.bytes))) << c.bytes;
  }
  EXPECT_EQ(text::CodePoints("a\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80"),
            (std::u32string{U'a', 0xFC, 0x20AC, 0x1F600}));
  EXPECT_EQ(text::CodePoints("\xFC"), std::u32string{0xFC});  // a stray byte as Windows-1252
}

}  // namespace
}  // namespace vlm
