// The commands about the plug-ins themselves: list, register, unregister, describe and help.
#pragma once

#include <string>

#include "cli/command.h"

namespace vlm::host {

CommandAction AddListCommand(CLI::App& app);
// `installed`: where the installed plug-ins lie, relative to the program's folder; register
// without arguments takes the plug-ins found there, or in the build tree.
CommandAction AddRegisterCommands(CLI::App& app, std::string installed);
CommandAction AddDescribeCommand(CLI::App& app);
CommandAction AddHelpCommand(CLI::App& app);

// A plug-in named by its identifier or its short name, as the registered identifier; false
// (after saying why on standard error) when no class or more than one goes by that name.
bool ResolveNames(const std::vector<std::string*>& names);

}  // namespace vlm::host
