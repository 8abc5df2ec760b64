// vlmhost help NAME: a plug-in's help, the text F1 and the Help buttons of its dialogs show.
#pragma once

#include <ostream>
#include <string>

namespace vlm::host {

// Prints the help of the plug-in NAME (its identifier or short name).
int HelpCommand(const std::string& name, std::ostream& out, std::ostream& err);

}  // namespace vlm::host
