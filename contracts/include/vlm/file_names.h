// File names as scenes carry them: made on either kind of system, so both "/" and "\\" count
// as separators, and "C:" starts an absolute name.
#pragma once

#include <string>
#include <string_view>

namespace vlm {

// A file name without the folders before it ("D:\\maps\\wood.png" gives "wood.png").
inline std::string BareFileName(std::string_view name) {
  const size_t folder = name.find_last_of("/\\");
  return std::string(folder == std::string_view::npos ? name : name.substr(folder + 1));
}

// Whether a file name is absolute on some system: "/x", "\\x", "C:x".
inline bool IsAbsoluteFileName(std::string_view name) {
  if (!name.empty() && (name[0] == '/' || name[0] == '\\')) return true;
  return name.size() >= 2 && name[1] == ':' &&
         ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
}

}  // namespace vlm
