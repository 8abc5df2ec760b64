// A plug-in's help: what it does, what it works on, each dialog's controls with the label a
// person reads them by and the name a script gives them, and an example command.
#pragma once

#include <functional>
#include <string>

namespace vlm::host {

// The help of a registered plug-in: what it does, what it works on, each dialog's controls
// with the label a person reads them by and the name a script gives them, and an example
// command. Throws vlm::Error when the class cannot be made.
std::string PluginHelp(const std::string& progId);

// What F1 in the plug-in's dialogs shows, whatever help file it asks for: its help, made when
// first asked for ("" when it cannot be made).
std::function<std::string(const std::string& helpFile)> HelpFor(const std::string& progId);

}  // namespace vlm::host
