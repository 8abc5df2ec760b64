// Small text helpers the dialog back-ends share: blanks, case, quoting and whole numbers as the
// dialog script writes them.
#pragma once

#include <cctype>
#include <charconv>
#include <string>
#include <string_view>
#include <vector>

#include "vlm/text.h"

namespace vlm::dialog_text {

// What separates the words of an action (line ends too: a script given on the command line
// may span lines).
inline constexpr const char* kBlanks = " \t\r\n";

inline std::string_view Trim(std::string_view s) {
  return TrimAny(s, kBlanks);
}

inline std::string Lower(std::string_view s) {
  return ToLower(s);
}

inline std::string Quote(std::string_view s) {
  return "\"" + std::string(s) + "\"";
}

// `s` with each byte that is not part of UTF-8 text written \xNN, for a message.
inline std::string ShownBytes(std::string_view s) {
  std::string out;
  while (!s.empty()) {
    const size_t good = Utf8Length(s);
    out += s.substr(0, good);
    if (good == s.size()) break;
    static constexpr char kHex[] = "0123456789ABCDEF";
    const auto bad = static_cast<unsigned char>(s[good]);
    out += std::string("\\x") + kHex[bad >> 4] + kHex[bad & 15];
    s.remove_prefix(good + 1);
  }
  return out;
}

// "a", "b", "c" with the quotes.
inline std::string QuotedList(const std::vector<std::string>& items) {
  std::string list;
  for (const std::string& item : items)
    list += (list.empty() ? "" : ", ") + Quote(item);
  return list;
}

// A whole decimal integer, with an optional sign, and nothing else.
inline bool ParseInt(std::string_view s, int& out) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return !s.empty() && ec == std::errc() && end == s.data() + s.size();
}

}  // namespace vlm::dialog_text
