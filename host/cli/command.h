// How each of vlmhost's commands joins the command line: it adds itself (its options, help and
// checks) and gives back what runs it once the line is read.
#pragma once

#include <functional>
#include <optional>

namespace CLI {
class App;
}

namespace vlm::host {

// The exit status of the command, when the command line chose it; nullopt for another.
using CommandAction = std::function<std::optional<int>()>;

}  // namespace vlm::host
