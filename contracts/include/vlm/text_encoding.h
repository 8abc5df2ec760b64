// Text from files that other programs wrote, brought to the UTF-8 the scene holds.
//
// Older tools write 8-bit text in the Windows code page 1252; newer ones write UTF-8. Bytes
// that are valid UTF-8 are taken as UTF-8 (an 8-bit text with letters above 127 is almost
// never valid UTF-8 by chance), anything else as Windows-1252.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vlm::text {

// True when `bytes` is well-formed UTF-8: shortest forms only, no surrogates, nothing above
// U+10FFFF.
bool IsUtf8(std::string_view bytes);

// Decodes the UTF-8 character at `at` into `c` and moves past it; false (with `at` unchanged)
// when the bytes there are no well-formed character.
bool NextCodePoint(std::string_view bytes, size_t& at, char32_t& c);

// The UTF-8 bytes of one character (a code point up to U+10FFFF) appended to `out`.
void AppendUtf8(std::string& out, char32_t c);

// Every byte one character of Windows-1252. The five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the control characters of the same number, as
// Windows itself maps them.
std::string Windows1252ToUtf8(std::string_view bytes);

// Text as read from a file: a UTF-8 byte order mark at the start is dropped; valid UTF-8 is
// kept as it is; anything else is decoded as Windows-1252.
std::string DecodeText(std::string_view bytes);

// The characters of valid UTF-8 text (the result of DecodeText), one code point each.
std::u32string CodePoints(std::string_view utf8);

}  // namespace vlm::text
