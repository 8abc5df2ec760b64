// Small text helpers of the IGS exporter: case, blanks and numbers written in texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "vlm/igs_parameters.h"

namespace vlm::igs {

bool StartsWith(std::string_view text, std::string_view prefix);
bool Contains(std::string_view text, std::string_view part);

// NumberIn, and the rules below, are the contracts' (vlm/igs_parameters.h): the host checks
// scenes with them.
// The number rounded to the nearest integer, halves to the even neighbour. A text that is not
// a number, or a number outside the 32-bit range, stops the export with a message naming
// `item` (ExportStopped).
int32_t ReadInteger(std::string_view text, std::string_view item);
// The number as a 32-bit float; stops the export as ReadInteger does.
float ReadFloat(std::string_view text, std::string_view item);

}  // namespace vlm::igs
