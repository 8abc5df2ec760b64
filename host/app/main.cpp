// vlmhost: the stand-in host on the command line. Loads a scene, runs a plug-in on it with
// scripted dialog input, and saves the result; imports, exports, checks and batches models;
// opens the workbench. Each command adds itself to the command line; main reads the line,
// runs the command chosen and turns what escapes it into an exit status.
#include <CLI/CLI.hpp>

#include <csignal>
#include <iostream>
#include <new>
#include <vector>

#include "app/window_commands.h"
#include "cli/batch_command.h"
#include "cli/check_commands.h"
#include "cli/command_epilogues.h"
#include "cli/model_commands.h"
#include "cli/plugin_commands.h"
#include "cli/prep_command.h"
#include "cli/run_command.h"
#include "cli/show_command.h"
#include "run/exit_status.h"
#include "run/printing.h"
#include "vlm/error.h"

namespace {

constexpr const char* kFooter =
    "A SCENE of \"-\" is read from standard input; \"run ... -o -\" writes the scene to\n"
    "standard output (the transcript then goes to standard error), as does an output that\n"
    "names the file standard output writes to (/dev/stdout, or the file it is redirected\n"
    "to). Two outputs of one run naming one file are refused.\n"
    "Paths in a selection (group:Hangar/Wing) join names with \"/\". Inside a name, \"/\" is\n"
    "written \\/, a backslash \\\\ and \"[\" \\[; Name[n] is the n-th sibling of that name,\n"
    "counted from 1 (docs/scene-format.md, \"Paths\").\n"
    "A scene may hold up to 8 GiB, a --ui-file up to 16 MiB; larger input is refused (2).\n"
    "Exit status: 0 done, 1 the plug-in failed or an output could not be written,\n"
    "2 bad input (scene, selection, script, argument, an output location that cannot be\n"
    "written), 3 nothing done (the plug-in refused its input and changed nothing).";

int Main(int argc, char** argv) {
  using namespace vlm::host;
  // A file size limit makes a write fail (EFBIG), which is reported; it does not kill the run.
  std::signal(SIGXFSZ, SIG_IGN);
  // Warnings go to standard error, which escapes them like everything else written there.
  EscapeControlCharacters(std::cerr);

  CLI::App app{
      "vlmhost: runs Vellum plug-ins on scene files from the command line.\n"
      "Configuration (settings, registry): $VLM_HOME, else ~/.config/vlm."};
  app.set_version_flag("--version", "vlmhost " VLM_VERSION);
  app.require_subcommand(1);
  app.footer(kFooter);
  // In the order `vlmhost --help` lists them.
  const std::vector<CommandAction> commands = {
      AddListCommand(app),
      AddRegisterCommands(app, VLM_INSTALLED_PLUGINS),
      AddShowCommand(app),
      AddDescribeCommand(app),
      AddHelpCommand(app),
      vlm::app::AddScreenshotsCommand(app),
      AddRunCommand(app, vlm::app::DialogWindows()),
      AddPrepCommand(app),
      vlm::app::AddWorkbenchCommand(app),
      AddModelCommands(app),
      AddBatchCommand(app, VLM_VERSION),
      AddCheckCommands(app),
  };
  AddCommandEpilogues(app);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : ExitBadInput;
  }
  for (const CommandAction& command : commands)
    if (std::optional<int> status = command()) return *status;
  return ExitBadInput;
}

}  // namespace

// What escapes a command ends it with a message and an exit status, never an abort: running
// out of memory anywhere (a scene too large for this machine, or a limit set with ulimit) and
// a fault a command did not name itself are bad input, any other exception a failure.
int main(int argc, char** argv) {
  try {
    return Main(argc, argv);
  } catch (const std::bad_alloc&) {
    std::cerr << "error: out of memory: the input is too large for the memory this program may "
                 "use\n";
    return vlm::host::ExitBadInput;
  } catch (const vlm::Error& e) {
    std::cerr << "error: " << e.Description() << "\n";
    return vlm::host::ExitBadInput;
  } catch (const std::exception& e) {
    std::cerr << "error: " << e.what() << "\n";
    return vlm::host::ExitRunFailed;
  }
}
