// Small text helpers shared by the platform and the plug-ins: trimming, ASCII case and the
// shortest decimal form of a number. None of them reads the locale.
#pragma once

#include <charconv>
#include <string>
#include <string_view>

namespace vlm {

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

// ---- numbers -------------------------------------------------------------------------------

// The shortest decimal text that reads back as the same float (std::to_chars), with "." as
// the decimal point whatever the locale: "0.1", "1e+20", "-0", "inf", "nan".
inline std::string ShortestText(float value) {
  char buffer[32];
  const auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, written.ptr);
}

}  // namespace vlm
