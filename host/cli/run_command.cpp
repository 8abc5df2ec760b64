// vlmhost run: the scene read, the run asked of the run layer with the terminal as its echo,
// and its outcome turned into the exit status.
#include "cli/run_command.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <ostream>

#include "cli/command_report.h"
#include "cli/model_commands.h"
#include "cli/progress_bar.h"
#include "run/document_run.h"
#include "run/exit_status.h"
#include "run/plugin_names.h"
#include "run/run_outputs.h"
#include "run/scene_argument.h"
#include "scene/document.h"
#include "vlm/error.h"
#include "vlm/run_context.h"

namespace vlm::host {
namespace {

void AddRunOptions(CLI::App& run, RunCommandLine& line) {
  RunRequest& r = line.request;
  run.add_option("PLUGIN", r.progId,
                 "Programmatic identifier (VLMPlugin9.Obverse) or short name (obverse, any "
                 "case; vlmhost list shows them)")
      ->required();
  run.add_option("SCENE", r.scene,
                 "Scene file (- for standard input), or any model import reads: imported in "
                 "memory, its scene and embedded textures written only where -o or "
                 "--scene-out says")
      ->required();
  AddReaderLimitOptions(run, line.limits);
  run.add_option("-o,--output", r.output,
                 "Tools and operations: write the changed scene here (- for standard "
                 "output). Exporters: the export file name; a device or pipe gets that file "
                 "alone (no numbered parts or side files)");
  run.add_option("--scene-out", r.sceneOutput,
                 "Exporters: also write the scene (with any fields the export added)");
  auto* copyTextures =
      run.add_flag("--copy-textures", r.copyTextures,
                   "Exporters: copy the textures the exports name beside them (found relative "
                   "to the scene's folder) and name them there without folders: pictures "
                   "(PNG, DDS, BMP, TGA, JPEG) in the scene's folder or below it");
  run.add_flag("--allow-outside", r.allowOutside,
               "With --copy-textures: also copy textures outside the scene's folder")
      ->needs(copyTextures);
  run.add_option("--select", r.selections,
                 "Replace the selection: group:PATH, object:PATH, faces:PATH:i,j, "
                 "node:PATH, shape:PATH, polygons:PATH:i,j; or faces (polygons) by rule, "
                 "in world space, PATH an object or a group: faces:PATH:RULE[&RULE...], "
                 "RULE facing=+x|-x|+y|-y|+z|-z[,within=DEG] (default 1), material=NAME, "
                 "name=NAME (the object's), box=x0,y0,z0,x1,y1,z1 (the face's centre "
                 "inside), all; groups or objects by name at PATH and below: "
                 "group:PATH:name=NAME, object:PATH:name=NAME (node:, shape:). NAME may be "
                 "a shell wildcard pattern (Ziegel*, ?, [abc]; \\* is a * itself). A rule "
                 "that selects nothing is nothing done (3)");
  run.add_option("--ui", r.ui, "Dialog actions, separated by ';'");
  run.add_option("--ui-file", r.uiFile, "A file of dialog actions");
  run.add_option("--param", r.params, "Operations: NAME=VALUE overrides a parameter");
  run.add_flag("--gui", line.gui, "Show the dialogs as windows (needs a display)");
  run.add_flag("--fresh", r.fresh,
               "Run as a first run would: read no remembered settings and store none");
  run.add_option("--save-pictures", r.savePictures,
                 "Write every drawing area of every dialog shown as DIR/FORM.CONTROL.svg");
  run.add_flag("--quiet", line.quiet, "No progress bar and no transcript");
  run.add_option("--report", r.reportFile,
                 "Also write what the run did as JSON: outcome, files written, items made, "
                 "changed and removed, warnings, log, times (- for standard output when the "
                 "scene goes to a file)")
      ->type_name("FILE.json");
}

}  // namespace

CommandAction AddRunCommand(CLI::App& app, WindowsMaker windows) {
  auto line = std::make_shared<RunCommandLine>();
  auto* run = app.add_subcommand("run", "Run a plug-in on a scene");
  AddRunOptions(*run, *line);
  return [run, line, windows]() -> std::optional<int> {
    if (!*run) return std::nullopt;
    RunRequest& request = line->request;
    try {
      request.progId = ResolvePluginName(request.progId);
      if (line->gui) request.windows = windows(request.progId);
    } catch (const Error& e) {
      std::cerr << "error: " << e.Description() << "\n";
      return ExitBadInput;
    }
    line->progress = ProgressBarFor(line->quiet);
    if (request.reportFile) return RunCommandWithReport(*line);
    return RunCommand(*line, std::cout, std::cerr);
  };
}

// --report FILE: the run with its streams recorded for the report.
int RunCommandWithReport(RunCommandLine line) {
  const RunRequest& request = line.request;
  // Standard output carries the scene when a run writes it there.
  const bool outIsData = TranscriptToStandardError(request);
  if (outIsData && ToStandardOutput(*request.reportFile)) {
    std::cerr << "error: --report " << request.reportFile->string()
              << ": standard output carries the scene; write the report to a file\n";
    return ExitBadInput;
  }
  try {
    CheckReportTarget(request, false);  // an exporter's parts once it is known
  } catch (const Error& e) {
    std::cerr << "error: " << e.Description() << "\n";
    return ExitBadInput;
  }
  CommandReport report(request.IsPrep() ? "prep" : "run", *request.reportFile,
                       request.scene.string());
  report.SetRun(request);
  const bool quiet = line.quiet;
  line.quiet = false;  // the transcript goes to the report, not to the terminal
  return report.Run(outIsData, quiet, std::cout, std::cerr, [&](std::ostream& o, std::ostream& e) {
    return RunCommand(line, o, e, &report);
  });
}

int RunCommand(const RunCommandLine& line, std::ostream& out, std::ostream& err,
               CommandReport* report) {
  const RunRequest& request = line.request;
  std::ostream none(nullptr);
  std::ostream& log = line.quiet ? none : TranscriptToStandardError(request) ? err : out;
  // Everything the run shares with the plug-in, made new for this run and installed once, for
  // the whole run: the scene read, the plug-in made and called, the outcome judged.
  RunContext context;
  context.SetWarningSink([&err](const std::string& m) { err << "warning: " << m << "\n"; });
  context.SetProgressDisplay(line.progress);
  DocumentRun::Configure(context, request);
  RunContext::Scope scope(context);
  ImportedModel scene;
  try {
    CheckDialogInput(request);
    scene = LoadSceneOrModel(request.scene, line.limits);
  } catch (const Error& e) {
    err << "error: " << e.Description() << "\n";
    return ExitBadInput;
  }
  WarnOfImport(scene, err);
  RunScene source{IsModelArgument(request.scene), &scene.textures};
  RunEcho echo{[&log](const std::string& l) { log << l << "\n"; },
               [&err](const std::string& l) { err << l << "\n"; }};
  DocumentRun run(request, context, source, echo, report);
  const RunOutcome* outcome = &run.Run(*scene.document);
  if (outcome->Done()) outcome = &run.Commit(*scene.document, out);
  if (outcome->Done() && report) {
    report->After(*scene.document);
    for (const auto& file : outcome->files)
      report->Wrote(file);
  }
  return StatusOf(outcome->kind);
}

}  // namespace vlm::host
