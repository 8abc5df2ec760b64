#include "cli/plugin_commands.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#include <memory>
#include <vector>

#include "cli/describe_command.h"
#include "cli/help_command.h"
#include "cli/list_command.h"
#include "cli/register_commands.h"
#include "run/exit_status.h"
#include "run/plugin_names.h"
#include "vlm/error.h"

namespace vlm::host {

bool ResolveNames(const std::vector<std::string*>& names) {
  try {
    for (std::string* name : names)
      *name = ResolvePluginName(*name);
  } catch (const Error& e) {
    std::cerr << "error: " << e.Description() << "\n";
    return false;
  }
  return true;
}

CommandAction AddListCommand(CLI::App& app) {
  auto* list = app.add_subcommand("list", "List the registered classes and what they state");
  return [list]() -> std::optional<int> {
    if (!*list) return std::nullopt;
    return ListCommand(std::cout, std::cerr);
  };
}

CommandAction AddRegisterCommands(CLI::App& app, std::string installed) {
  auto libraries = std::make_shared<std::vector<std::filesystem::path>>();
  auto* reg =
      app.add_subcommand("register", "Register plug-in libraries (default: the built ones)");
  reg->add_option("LIBRARY", *libraries, "Shared libraries to register");
  auto unregLibraries = std::make_shared<std::vector<std::filesystem::path>>();
  auto* unreg = app.add_subcommand("unregister", "Remove the registrations of libraries");
  unreg->add_option("LIBRARY", *unregLibraries, "Shared libraries to unregister")->required();
  return [=]() -> std::optional<int> {
    if (*unreg) return UnregisterCommand(*unregLibraries, std::cout, std::cerr);
    if (!*reg) return std::nullopt;
    // Without arguments: every plug-in beside this program, installed or built.
    if (libraries->empty()) *libraries = PluginsBeside(ThisProgram(), installed);
    if (libraries->empty()) {
      std::cerr << "error: no plug-in libraries beside vlmhost; name them: vlmhost register "
                   "LIBRARY...\n";
      return ExitBadInput;
    }
    return RegisterCommand(*libraries, std::cout, std::cerr);
  };
}

CommandAction AddDescribeCommand(CLI::App& app) {
  auto id = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  auto* describe = app.add_subcommand(
      "describe",
      "List every form a plug-in can open and each control on it, as a first run "
      "shows them");
  describe
      ->add_option("PLUGIN", *id,
                   "Programmatic identifier (VLMPlugin9.Glazier) or short name (glazier)")
      ->required();
  describe->add_flag("--json", *json, "Print the same as JSON");
  return [=]() -> std::optional<int> {
    if (!*describe) return std::nullopt;
    if (!ResolveNames({id.get()})) return ExitBadInput;
    return DescribeCommand(*id, *json, std::cout, std::cerr);
  };
}

CommandAction AddHelpCommand(CLI::App& app) {
  auto name = std::make_shared<std::string>();
  auto* help = app.add_subcommand(
      "help", "Print a plug-in's help: what it does, what it works on, its dialogs' controls");
  help->add_option("PLUGIN", *name,
                   "Programmatic identifier (VLMPlugin9.Ridgepull) or short name (ridgepull)")
      ->required();
  return [=]() -> std::optional<int> {
    if (!*help) return std::nullopt;
    return HelpCommand(*name, std::cout, std::cerr);
  };
}

}  // namespace vlm::host
