// What each command's --help ends with: an example and what its exit status says.
#pragma once

namespace CLI {
class App;
}

namespace vlm::host {

// Gives every command of `app` added so far, and the subcommands of those that have them (the
// steps of prep), its own epilogue; a command with none keeps the program's.
void AddCommandEpilogues(CLI::App& app);

}  // namespace vlm::host
