// Small text helpers shared by the platform, the host and the plug-ins: trimming, ASCII case,
// UTF-8 and the shortest decimal form of a number. None of them reads the locale.
#pragma once

#include <charconv>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vlm {

// ---- splitting ---------------------------------------------------------------------------

// The parts of `text` between the separators, empty ones kept: "a__b" gives "a", "", "b" and
// "" gives one empty part.
inline std::vector<std::string> SplitAt(std::string_view text, char separator) {
  std::vector<std::string> parts;
  for (size_t at; (at = text.find(separator)) != std::string_view::npos; text.remove_prefix(at + 1))
    parts.emplace_back(text.substr(0, at));
  parts.emplace_back(text);
  return parts;
}

// ---- trimming ------------------------------------------------------------------------------

// Blanks within a line: space and tab.
inline constexpr std::string_view kBlanks = " \t";
// Every ASCII white-space character (what std::isspace takes in the "C" locale).
inline constexpr std::string_view kWhitespace = " \t\n\v\f\r";

// `text` without the leading and trailing characters that are in `set`.
constexpr std::string_view TrimAny(std::string_view text, std::string_view set) {
  const size_t first = text.find_first_not_of(set);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(set) - first + 1);
}

// `text` without leading and trailing spaces and tabs.
constexpr std::string_view Trim(std::string_view text) {
  return TrimAny(text, kBlanks);
}

// `text` without leading and trailing white space of any kind, line ends included.
constexpr std::string_view TrimWhitespace(std::string_view text) {
  return TrimAny(text, kWhitespace);
}

// ---- ASCII case ----------------------------------------------------------------------------

constexpr char ToLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char ToUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string ToLower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    c = ToLower(c);
  return out;
}

inline std::string ToUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    c = ToUpper(c);
  return out;
}

// `text` in double quotes with each '"' and '\\' escaped by a backslash: how .reg files and
// dialog scripts write a quoted value.
inline std::string QuotedWithEscapes(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

// A value as a dialog script quotes it: a quote and a backslash escaped by a backslash, a line
// break written \n (\r for a carriage return), so that what a transcript shows can be copied
// into a script.
inline std::string ScriptQuoted(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      if (c == '\\' || c == '"') out += '\\';
      out += c;
    }
  }
  return out + "\"";
}

// Whether `a` and `b` are equal when ASCII case is ignored.
constexpr bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (ToLower(a[i]) != ToLower(b[i])) return false;
  return true;
}

// Whether `text` begins with `prefix` when ASCII case is ignored.
constexpr bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// ---- UTF-8 ---------------------------------------------------------------------------------

// Reads UTF-8 one byte at a time, so that text arriving in pieces (a stream) is read as text
// given whole. A character is well formed in its shortest form only, up to U+10FFFF and not a
// surrogate; lead bytes that cannot start one (0x80-0xC1, 0xF5-0xFF) are refused at once.
class Utf8Decoder {
 public:
  enum class Step {
    Character,  // Held() is a whole character, Character() its code point
    NeedMore,   // Held() is the start of one
    Invalid,    // Held() is no character
    CutShort,   // Held() was cut short by the byte given, which was not taken: put it again
  };

  constexpr Step Put(char byte) {
    if (done_) have_ = need_ = 0, done_ = false;
    const auto b = static_cast<unsigned char>(byte);
    if (need_ > 0) {
      if ((b & 0xC0) != 0x80) return done_ = true, Step::CutShort;
      held_[have_++] = byte;
      code_ = code_ << 6 | (b & 0x3F);
      if (have_ < need_) return Step::NeedMore;
      done_ = true;
      const char32_t least = need_ == 2 ? 0x80 : need_ == 3 ? 0x800 : 0x10000;
      const bool bad = code_ < least || code_ > 0x10FFFF || (code_ >= 0xD800 && code_ <= 0xDFFF);
      return bad ? Step::Invalid : Step::Character;
    }
    held_[0] = byte;
    have_ = 1;
    done_ = true;
    if (b < 0x80) return code_ = b, Step::Character;
    need_ = b >= 0xC2 && b <= 0xDF   ? 2
            : b >= 0xE0 && b <= 0xEF ? 3
            : b >= 0xF0 && b <= 0xF4 ? 4
                                     : 0;
    if (need_ == 0) return Step::Invalid;
    done_ = false;
    code_ = b & (0x7F >> need_);
    return Step::NeedMore;
  }

  constexpr char32_t Character() const { return code_; }
  std::string_view Held() const { return {held_, have_}; }
  // The start of a character still held (NeedMore), to be given up at the end of the text.
  std::string_view Unfinished() const { return done_ ? std::string_view() : Held(); }
  constexpr void Reset() { have_ = need_ = 0, done_ = false; }

 private:
  char held_[4] = {};
  size_t have_ = 0, need_ = 0;
  char32_t code_ = 0;
  bool done_ = false;
};

// The length of the whole UTF-8 characters at the start of `s` (s.size() when all of it is).
constexpr size_t Utf8Length(std::string_view s) {
  Utf8Decoder decoder;
  size_t whole = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const Utf8Decoder::Step step = decoder.Put(s[i]);
    if (step == Utf8Decoder::Step::Character) {
      whole = i + 1;
    } else if (step != Utf8Decoder::Step::NeedMore) {
      break;
    }
  }
  return whole;
}

constexpr bool IsUtf8(std::string_view s) {
  return Utf8Length(s) == s.size();
}

// ---- numbers -------------------------------------------------------------------------------

// The shortest decimal text that reads back as the same float (std::to_chars), with "." as
// the decimal point whatever the locale: "0.1", "1e+20", "-0", "inf", "nan".
inline std::string ShortestText(float value) {
  char buffer[32];
  const auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, written.ptr);
}

}  // namespace vlm
