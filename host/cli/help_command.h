// vlmhost help NAME: a plug-in's help, the text F1 and the Help buttons of its dialogs show.
#pragma once

#include <functional>
#include <ostream>
#include <string>

namespace vlm::host {

// The help of a registered plug-in: what it does, what it works on, each dialog's controls
// with the label a person reads them by and the name a script gives them, and an example
// command. Throws vlm::Error when the class cannot be made.
std::string PluginHelp(const std::string& progId);

// What F1 in the plug-in's dialogs shows, whatever help file it asks for: its help, made when
// first asked for ("" when it cannot be made).
std::function<std::string(const std::string& helpFile)> HelpFor(const std::string& progId);

// Prints the help of the plug-in NAME (its identifier or short name).
int HelpCommand(const std::string& name, std::ostream& out, std::ostream& err);

}  // namespace vlm::host
