// The forms a plug-in can open and the controls on them, as a first run shows them: for
// `vlmhost describe`, a plug-in's help and the dialogs' F1.
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

}  // namespace vlm::host
