// vlmhost describe: every form a plug-in can open and every control on it.
#pragma once

#include <iosfwd>
#include <nlohmann/json.hpp>
#include <string>

namespace vlm::host {

// The forms of the class as JSON ({"progId": ..., "forms": [{"name", "caption", "controls":
// [{"name", "kind", "caption", "label", ...}]}]}), as a first run shows them. A form that
// cannot be made is named on `err` and sets `status` to 1. vlm::Error when the class cannot be
// made.
nlohmann::json DescribeForms(const std::string& progId, std::ostream& err, int& status);

// Prints the forms of the class registered under `progId`, as a first run shows them (no
// remembered settings are read or written), as text or as JSON. Returns the exit status.
int DescribeCommand(const std::string& progId, bool json, std::ostream& out, std::ostream& err);

}  // namespace vlm::host
