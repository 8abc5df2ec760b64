// What the scene reader and writer share: places in a file (JSON pointers), quoting in
// messages, and the text form of 32-bit floats.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vlm/math.h"
#include "vlm/text.h"

namespace vlm::host::scene_text {

inline constexpr std::string_view kFormatName = "vellum-scene";

// Deeper JSON than this is refused before it is walked, and never written: the format needs
// about two levels per nested group, and the reader and the document recurse over groups.
inline constexpr size_t kMaxNesting = 512;

// Raises vlm::Error `number` reading "<origin>: <place>: <problem>".
[[noreturn]] void Fail(int32_t number, const std::string& origin, const std::string& place,
                       const std::string& problem);

// One reference token of a JSON pointer (RFC 6901: "~" is written "~0", "/" is "~1").
std::string Token(std::string_view key);
std::string At(const std::string& pointer, std::string_view key);
std::string At(const std::string& pointer, size_t index);
// A pointer as a message names it: "top level" for the whole text.
std::string Place(const std::string& pointer);

// "text" with its control characters escaped (see Printable).
std::string Quoted(std::string_view text);
std::string QuotedList(const std::vector<std::string>& names);

// Text as a terminal may be given it: control characters (C0, DEL and C1) are written as
// \u001b, bytes that are not UTF-8 as \xff; everything else passes, and with `keepLines`
// line breaks and tabs do too. The bytes of one character may come one call at a time.
class PrintableText {
 public:
  explicit PrintableText(bool keepLines) : keepLines_(keepLines) {}
  void Put(char byte, std::string& out);
  // A character left unfinished is written as bytes.
  void Finish(std::string& out);

 private:
  static void EscapeBytes(std::string_view bytes, std::string& out);

  bool keepLines_;
  Utf8Decoder decoder_;
};
// The whole of `text` that way; names printed on a line of their own escape line breaks too.
std::string Printable(std::string_view text, bool keepLines = false);

// A float is written as the shortest decimal text that reads back as the same float
// (std::to_chars), handed to the JSON library as the double that text denotes. Reading back
// inverts exactly that step: plain rounding of the double to float is not enough, because
// a few shortest texts (7.038531e-26 is one) land on the midpoint between two floats.
double WrittenValue(float value);
// The text of WrittenValue(value) for a finite float, laid out as the JSON library lays out a
// double (12.0, 0.5, 1e+20) with the shortest digits that read back as that double, written
// at `at` (room for kFloatRoom bytes); the end of it.
inline constexpr size_t kFloatRoom = 32;
char* FloatText(char* at, float value);
// `value` is finite and within rounding distance of the float range.
float ReadValue(double value);

bool SameBits(float a, float b);
bool SameBits(Vec3 a, Vec3 b);

}  // namespace vlm::host::scene_text
