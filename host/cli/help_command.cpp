// vlmhost help NAME: a plug-in's help, the text F1 and the Help buttons of its dialogs show.
#include "cli/help_command.h"

#include <ostream>

#include "run/exit_status.h"
#include "run/plugin_help.h"
#include "run/plugin_names.h"
#include "vlm/error.h"

namespace vlm::host {

int HelpCommand(const std::string& name, std::ostream& out, std::ostream& err) {
  try {
    out << PluginHelp(ResolvePluginName(name));
  } catch (const Error& e) {
    err << "error: " << e.Description() << "\n";
    return ExitBadInput;
  }
  return ExitOk;
}

}  // namespace vlm::host
