// vlmhost: the stand-in host on the command line. Loads a scene, runs a plug-in on it with
// scripted dialog input, and saves the result.
#include <CLI/CLI.hpp>

#include <csignal>
#include <iostream>
#include <new>

#include "cli/batch_command.h"
#include "cli/check_commands.h"
#include "cli/command_epilogues.h"
#include "cli/command_report.h"
#include "cli/describe_command.h"
#include "cli/help_command.h"
#include "cli/list_command.h"
#include "cli/model_commands.h"
#include "cli/plugin_names.h"
#include "cli/printing.h"
#include "cli/progress_bar.h"
#include "cli/register_commands.h"
#include "cli/run_command.h"
#include "cli/run_outputs.h"
#include "cli/show_command.h"
#include "vlm/component.h"
#include "vlm/warnings.h"
#if VLM_GUI
#include "gui/qt_dialogs.h"
#include "gui/screenshots.h"
#include "workbench/workbench.h"
#endif

namespace {

// A plug-in named by its identifier or its short name, as the registered identifier; false
// (after saying why) when no class or more than one goes by that name.
bool ResolveNames(std::vector<std::string*> names) {
  try {
    for (std::string* name : names)
      *name = vlm::host::ResolvePluginName(*name);
  } catch (const vlm::Error& e) {
    std::cerr << "error: " << e.Description() << "\n";
    return false;
  }
  return true;
}

#if !VLM_GUI
// A vlmhost built without Qt (VLM_GUI=OFF) has no windows: the commands that show or draw
// them stop at once.
int NoWindows(const char* what) {
  std::cerr << "error: this vlmhost was built without windows (VLM_GUI=OFF): " << what
            << " needs them\n";
  return vlm::host::ExitBadInput;
}
#endif

// The command line read and the command run; what main adds is the out-of-memory handler.
int Main(int argc, char** argv) {
  // A file size limit makes a write fail (EFBIG), which is reported; it does not kill the run.
  std::signal(SIGXFSZ, SIG_IGN);
  // Warnings go to standard error, which escapes them like everything else written there.
  vlm::host::EscapeControlCharacters(std::cerr);

  CLI::App app{
      "vlmhost: runs Vellum plug-ins on scene files from the command line.\n"
      "Configuration (settings, registry): $VLM_HOME, else ~/.config/vlm."};
  app.set_version_flag("--version", "vlmhost " VLM_VERSION);
  app.require_subcommand(1);
  app.footer(
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
      "written), 3 nothing done (the plug-in refused its input and changed nothing).");

  auto* list = app.add_subcommand("list", "List the registered classes and what they state");

  std::vector<std::filesystem::path> libraries;
  auto* reg =
      app.add_subcommand("register", "Register plug-in libraries (default: the built ones)");
  reg->add_option("LIBRARY", libraries, "Shared libraries to register");
  std::vector<std::filesystem::path> unregLibraries;
  auto* unreg = app.add_subcommand("unregister", "Remove the registrations of libraries");
  unreg->add_option("LIBRARY", unregLibraries, "Shared libraries to unregister")->required();

  vlm::host::ShowOptions showOptions;
  auto* show = app.add_subcommand(
      "show", "Print a scene file as a tree, each group and object with its path for --select");
  show->add_option("SCENE", showOptions.scene,
                   "Scene file (- for standard input), or a model, shown as import reads it")
      ->required();
  show->add_flag("--json", showOptions.json,
                 "Print the whole tree as JSON: paths, frames, counts, materials, world-space "
                 "boxes, custom fields");
  show->add_option("--faces", showOptions.faces,
                   "List the faces of the object at PATH: index, corners, material, world-space "
                   "centre and normal")
      ->type_name("PATH");
  vlm::host::AddReaderLimitOptions(*show, showOptions.limits);

  std::string describeId;
  bool describeJson = false;
  auto* describe = app.add_subcommand(
      "describe",
      "List every form a plug-in can open and each control on it, as a first run "
      "shows them");
  describe
      ->add_option("PLUGIN", describeId,
                   "Programmatic identifier (VLMPlugin9.Glazier) or short name (glazier)")
      ->required();
  describe->add_flag("--json", describeJson, "Print the same as JSON");

  std::string helpName;
  auto* help = app.add_subcommand(
      "help", "Print a plug-in's help: what it does, what it works on, its dialogs' controls");
  help->add_option("PLUGIN", helpName,
                   "Programmatic identifier (VLMPlugin9.Ridgepull) or short name (ridgepull)")
      ->required();

  std::filesystem::path shotDir;
  std::vector<std::string> shotIds;
  double shotScale = 1;
  bool shotOne = false;
  auto* shots = app.add_subcommand(
      "screenshots", "Draw every form of the plug-ins (each tab page) to PNG files, off screen");
  shots->add_option("DIR", shotDir, "Folder for the pictures")->required();
  shots->add_option("PLUGIN", shotIds,
                    "Plug-ins to draw, by identifier or short name (default: every registered "
                    "one)");
  shots->add_option("--scale", shotScale, "Screen scale (2: 200 %)")->check(CLI::Range(1.0, 4.0));
  shots->add_flag("--one", shotOne, "One picture per plug-in: its main dialog, as PROGID.png");

  vlm::host::RunOptions run;
  bool gui = false;
  auto* runCmd = app.add_subcommand("run", "Run a plug-in on a scene");
  runCmd
      ->add_option("PLUGIN", run.progId,
                   "Programmatic identifier (VLMPlugin9.Obverse) or short name (obverse, any "
                   "case; vlmhost list shows them)")
      ->required();
  runCmd
      ->add_option("SCENE", run.scene,
                   "Scene file (- for standard input), or any model import reads: imported in "
                   "memory, its scene and embedded textures written only where -o or "
                   "--scene-out says")
      ->required();
  vlm::host::AddReaderLimitOptions(*runCmd, run.limits);
  runCmd->add_option("-o,--output", run.output,
                     "Tools and operations: write the changed scene here (- for standard "
                     "output). Exporters: the export file name; a device or pipe gets that file "
                     "alone (no numbered parts or side files)");
  runCmd->add_option("--scene-out", run.sceneOutput,
                     "Exporters: also write the scene (with any fields the export added)");
  auto* copyTextures =
      runCmd->add_flag("--copy-textures", run.copyTextures,
                       "Exporters: copy the textures the exports name beside them (found relative "
                       "to the scene's folder) and name them there without folders: pictures "
                       "(PNG, DDS, BMP, TGA, JPEG) in the scene's folder or below it");
  runCmd
      ->add_flag("--allow-outside", run.allowOutside,
                 "With --copy-textures: also copy textures outside the scene's folder")
      ->needs(copyTextures);
  runCmd->add_option("--select", run.selections,
                     "Replace the selection: group:PATH, object:PATH, faces:PATH:i,j, "
                     "node:PATH, shape:PATH, polygons:PATH:i,j; or faces (polygons) by rule, "
                     "in world space, PATH an object or a group: faces:PATH:RULE[&RULE...], "
                     "RULE facing=+x|-x|+y|-y|+z|-z[,within=DEG] (default 1), material=NAME, "
                     "name=NAME (the object's), box=x0,y0,z0,x1,y1,z1 (the face's centre "
                     "inside), all; groups or objects by name at PATH and below: "
                     "group:PATH:name=NAME, object:PATH:name=NAME (node:, shape:). NAME may be "
                     "a shell wildcard pattern (Ziegel*, ?, [abc]; \\* is a * itself). A rule "
                     "that selects nothing is nothing done (3)");
  runCmd->add_option("--ui", run.ui, "Dialog actions, separated by ';'");
  runCmd->add_option("--ui-file", run.uiFile, "A file of dialog actions");
  runCmd->add_option("--param", run.params, "Operations: NAME=VALUE overrides a parameter");
  runCmd->add_flag("--gui", gui, "Show the dialogs as windows (needs a display)");
  runCmd->add_flag("--fresh", run.fresh,
                   "Run as a first run would: read no remembered settings and store none");
  runCmd->add_option("--save-pictures", run.savePictures,
                     "Write every drawing area of every dialog shown as DIR/FORM.CONTROL.svg");
  runCmd->add_flag("--quiet", run.quiet, "No progress bar and no transcript");
  runCmd
      ->add_option("--report", run.reportFile,
                   "Also write what the run did as JSON: outcome, files written, items made, "
                   "changed and removed, warnings, log, times (- for standard output when the "
                   "scene goes to a file)")
      ->type_name("FILE.json");
#if VLM_GUI
  vlm::workbench::WorkbenchOptions bench;
#else
  struct {
    std::optional<std::filesystem::path> file, picture;
    std::vector<std::string> selections;
  } bench;
#endif
  auto* guiCmd = app.add_subcommand(
      "gui", "Open the workbench: the scene in a 3D view, picking, every plug-in, undo");
  guiCmd->add_option("FILE", bench.file, "A scene file, or a model to import (as import reads it)");
  guiCmd->add_option("--select", bench.selections,
                     "Pick these to start with (as run --select takes them)");
  guiCmd->add_option("--picture", bench.picture,
                     "Draw the window to this PNG file once FILE is open, and close");
  vlm::host::ModelCommands models;
  vlm::host::AddModelCommands(app, models);
  vlm::host::BatchCommandLine batch;
  vlm::host::AddBatchCommand(app, batch);
  vlm::host::CheckCommands checks;
  vlm::host::AddCheckCommands(app, checks);
  vlm::host::AddCommandEpilogues(app);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : vlm::host::ExitBadInput;
  }

  run.progress = vlm::host::ProgressBarFor(run.quiet);
  models.options.progress = vlm::host::ProgressBarFor(models.options.quiet);
  if (auto status = vlm::host::RunModelCommands(models, std::cout, std::cerr)) return *status;
  if (*batch.command) {
    batch.options.version = VLM_VERSION;
    batch.options.program = std::filesystem::read_symlink("/proc/self/exe");
    return vlm::host::BatchCommand(batch.options, std::cout, std::cerr);
  }
  if (auto status = vlm::host::RunCheckCommands(checks, std::cout, std::cerr)) return *status;
  if (*list) return vlm::host::ListCommand(std::cout, std::cerr);
  if (*reg) {
    // Without arguments: every plug-in beside this program, installed or built.
    if (libraries.empty())
      libraries = vlm::host::PluginsBeside(vlm::host::ThisProgram(), VLM_INSTALLED_PLUGINS);
    if (libraries.empty()) {
      std::cerr << "error: no plug-in libraries beside vlmhost; name them: vlmhost register "
                   "LIBRARY...\n";
      return vlm::host::ExitBadInput;
    }
    return vlm::host::RegisterCommand(libraries, std::cout, std::cerr);
  }
  if (*unreg) return vlm::host::UnregisterCommand(unregLibraries, std::cout, std::cerr);
  if (*show) return vlm::host::ShowCommand(showOptions, std::cout, std::cerr);
#if VLM_GUI
  if (*guiCmd) return vlm::workbench::WorkbenchCommand(bench, std::cerr);
#else
  if (*guiCmd) return NoWindows("gui");
#endif
  // What is left is describe, screenshots and run, which name plug-ins.
  std::vector<std::string*> named;
  if (*help) return vlm::host::HelpCommand(helpName, std::cout, std::cerr);
  if (*describe)
    named = {&describeId};
  else if (*shots)
    for (std::string& id : shotIds)
      named.push_back(&id);
  else
    named = {&run.progId};
  if (!ResolveNames(named)) return vlm::host::ExitBadInput;
  if (*describe) return vlm::host::DescribeCommand(describeId, describeJson, std::cout, std::cerr);
#if VLM_GUI
  if (*shots)
    return vlm::gui::ScreenshotsCommand(shotDir, shotIds, shotScale, shotOne, std::cout, std::cerr);
  if (gui && !vlm::gui::DisplayProblem().empty()) {
    std::cerr << "error: " << vlm::gui::DisplayProblem() << "\n";
    return vlm::host::ExitBadInput;
  }
  if (gui) {
    auto windows = std::make_shared<vlm::gui::QtDialogs>();
    windows->SetHelp(vlm::host::HelpFor(run.progId));
    run.windows = windows;
  }
#else
  if (*shots) return NoWindows("screenshots");
  if (gui) return NoWindows("run --gui");
#endif
  if (!run.reportFile) return vlm::host::RunCommand(run, std::cout, std::cerr);
  // Standard output carries the scene when a run writes it there.
  const bool outIsData = vlm::host::TranscriptToStandardError(run);
  if (outIsData && vlm::host::ToStandardOutput(*run.reportFile)) {
    std::cerr << "error: --report " << run.reportFile->string()
              << ": standard output carries the scene; write the report to a file\n";
    return vlm::host::ExitBadInput;
  }
  try {
    vlm::host::CheckReportTarget(run, false);  // an exporter's parts once it is known
  } catch (const vlm::Error& e) {
    std::cerr << "error: " << e.Description() << "\n";
    return vlm::host::ExitBadInput;
  }
  vlm::host::CommandReport report("run", *run.reportFile, run.scene.string());
  report.SetPlugin(run.progId);
  run.report = &report;
  const bool quiet = run.quiet;
  run.quiet = false;  // the transcript goes to the report, not to the terminal
  return report.Run(outIsData, quiet, std::cout, std::cerr, [&](std::ostream& o, std::ostream& e) {
    return vlm::host::RunCommand(run, o, e);
  });
}

}  // namespace

// Running out of memory anywhere (a scene too large for this machine, or a limit set with
// ulimit) ends the command with a message, not an abort.
int main(int argc, char** argv) {
  try {
    return Main(argc, argv);
  } catch (const std::bad_alloc&) {
    std::cerr << "error: out of memory: the input is too large for the memory this program may "
                 "use\n";
    return vlm::host::ExitBadInput;
  }
}
