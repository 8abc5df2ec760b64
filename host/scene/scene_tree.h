// Scene text to a JSON tree, refusing what the JSON library would let through.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

namespace vlm::host {

// Ordered, so that members keep the order of the text.
using SceneJson = nlohmann::ordered_json;

// The tree of a scene text; `origin` names the text in error messages. Raises vlm::Error (5)
// for text that is not JSON (naming its line and column), a key given twice in one object,
// and values nested too deep to walk.
SceneJson ParseTree(std::string_view text, const std::string& origin);

}  // namespace vlm::host
