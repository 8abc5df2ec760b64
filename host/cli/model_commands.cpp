#include "cli/model_commands.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <iostream>
#include <memory>
#include <ostream>
#include <set>

#include "cli/command_report.h"
#include "cli/progress_bar.h"
#include "exchange/model_export.h"
#include "exchange/model_import.h"
#include "exchange/model_reader_process.h"
#include "run/exit_status.h"
#include "run/printing.h"
#include "run/run_outputs.h"
#include "run/scene_argument.h"
#include "scene/document.h"
#include "scene/scene_counts.h"
#include "scene/scene_file.h"
#include "scene/texture_names.h"
#include "vlm/error.h"
#include "vlm/files.h"
#include "vlm/run_context.h"

namespace vlm::host {
namespace {

int Fail(std::ostream& err, const Error& e, int status) {
  err << "error: " << e.Description() << "\n";
  return status;
}

const std::vector<EmbeddedTexture>& NoTextures() {
  static const std::vector<EmbeddedTexture> none;
  return none;
}

// `log`, or with --quiet `none`, a stream that drops what it is given.
std::ostream& Transcript(const ModelCommandOptions& options, std::ostream& log,
                         std::ostream& none) {
  return options.quiet ? none : log;
}

// The command's context: its progress display, its output transaction, its warnings.
void Prepare(RunContext& context, const ModelCommandOptions& options) {
  context.SetProgressDisplay(options.progress);
}

std::string Plural(int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// One line that says what an import made: its counts, whether the textures its materials name
// are there (carried inside the model, or files from the model's folder) and its box in the
// scene's axes and unit.
std::string ImportSummary(const HostDocument& document, const std::filesystem::path& folder,
                          const std::vector<EmbeddedTexture>& embedded) {
  const SceneCounts c = CountScene(document.Root());
  std::set<std::string> names;
  for (const auto& m : document.Materials())
    for (const std::string* name :
         {&m->diffuseMap, &m->bumpMap, &m->detailMap, &m->specularMap, &m->environmentMap})
      if (!name->empty()) names.insert(*name);
  int64_t found = 0;
  for (const std::string& name : names) {
    const std::filesystem::path file = TextureFileFrom(name, folder);
    std::error_code ec;
    found += std::any_of(embedded.begin(), embedded.end(),
                         [&](const EmbeddedTexture& e) { return e.file == name; }) ||
             std::filesystem::is_regular_file(file, ec);
  }
  static const char* const kUnits[] = {"m", "cm", "ft"};
  const char* unit = document.units >= 0 && document.units <= 2 ? kUnits[document.units] : "m";
  std::string line = "imported " + Plural(c.groups, "group", "groups") + ", " +
                     Plural(c.objects, "object", "objects") + ", " +
                     Plural(c.triangles, "triangle", "triangles") +
                     "; textures: " + std::to_string(found) + " found, " +
                     std::to_string(static_cast<int64_t>(names.size()) - found) + " missing";
  if (const Box& b = c.bounds; b.any)
    line += "; bounds " + Number(b.min.x) + " " + Number(b.min.y) + " " + Number(b.min.z) + " to " +
            Number(b.max.x) + " " + Number(b.max.y) + " " + Number(b.max.z) + " " + unit;
  return line;
}

}  // namespace

int ImportCommand(const ModelCommandOptions& options, std::ostream& out, std::ostream& err) {
  const bool toOut = options.output && ToStandardOutput(*options.output);
  const std::filesystem::path target =
      options.output ? *options.output
                     : std::filesystem::path(options.input.stem().string() + ".json");
  // A scene written to a device or pipe has no folder for its textures: they are left out.
  const bool textures = toOut || !IsWrittenDirectly(target);
  std::ostream none(nullptr);
  std::ostream& log = Transcript(options, toOut ? err : out, none);
  RunContext context;
  Prepare(context, options);
  RunContext::Scope scope(context);
  ImportedModel model;
  try {
    if (!toOut) CheckOutputTarget(target);
    std::vector<std::filesystem::path> models{options.input};
    models.insert(models.end(), options.moreInputs.begin(), options.moreInputs.end());
    model = ImportModelsInChildProcess(models, {options.name, options.scale, options.allowOutside},
                                       options.limits);
  } catch (const Error& e) {
    return Fail(err, e, ExitBadInput);
  }
  WarnOfImport(model, err);
  // Embedded textures go beside the scene: the names its materials give are relative to it.
  const std::filesystem::path folder = toOut ? std::filesystem::path() : target.parent_path();
  std::vector<std::string> written;
  std::string text;
  try {
    OutputTransaction transaction(context);
    for (const EmbeddedTexture& texture : textures ? model.textures : NoTextures()) {
      transaction.Stage(folder / texture.file, texture.bytes);
      written.push_back((folder / texture.file).string());
    }
    // The model's texture names lead from its folder; the scene's lead from where it is written.
    std::vector<std::string> beside;
    for (const EmbeddedTexture& texture : model.textures)
      beside.push_back(texture.file);
    TextureNamesMoved moved(*model.document, options.input.parent_path(), folder, beside);
    for (const std::string& warning : moved.Warnings())
      err << "warning: " << warning << "\n";
    if (toOut) {
      text = SerializeScene(*model.document, "standard output");
    } else {
      const std::string origin = target.string();
      transaction.StageWith(target,
                            [&](OutputSink& sink) { WriteScene(*model.document, origin, sink); });
      written.push_back(origin);
    }
    transaction.Commit([&] {
      if (toOut) WriteToStream(out, text);
    });
  } catch (const Error& e) {
    return Fail(err, e, ExitRunFailed);
  }
  if (!textures)
    for (const EmbeddedTexture& texture : model.textures)
      err << "warning: the embedded texture " << texture.file
          << " was not written: " << target.string() << " is a device or pipe\n";
  for (const std::string& file : written)
    log << "wrote " << file << "\n";
  log << ImportSummary(*model.document, options.input.parent_path(), model.textures) << "\n";
  if (options.report) {
    options.report->After(*model.document);
    for (const std::string& file : written)
      options.report->Wrote(file);
    if (toOut) options.report->Wrote("-");
  }
  return ExitOk;
}

int ExportModelCommand(const ModelCommandOptions& options, std::ostream& out, std::ostream& err) {
  const std::filesystem::path& target = *options.output;
  std::ostream none(nullptr);
  std::ostream& log = Transcript(options, ToStandardOutput(target) ? err : out, none);
  RunContext context;
  Prepare(context, options);
  RunContext::Scope scope(context);
  ImportedModel scene;
  try {
    if (ModelFormatFor(target).empty())
      Raise(err::BadFileName, target.string() +
                                  ": the extension names no format written; known: .glb, .gltf, "
                                  ".obj, .dae, .ply, .stl");
    CheckOutputTarget(target);
    scene = LoadSceneOrModel(options.input, options.limits);
  } catch (const Error& e) {
    return Fail(err, e, ExitBadInput);
  }
  WarnOfImport(scene, err);
  try {
    OutputTransaction transaction(context);
    transaction.SetExportFile(target);
    // The document was read only to be written: the export lets it go as it goes.
    ExportModelTaking(std::move(scene.document), target);
    // A model's embedded textures go beside the model written, which names them as its source
    // did.
    for (const EmbeddedTexture& texture : scene.textures)
      transaction.Stage(target.parent_path() / texture.file, texture.bytes);
    const auto staged = transaction.StagedTargets();
    transaction.Commit();
    for (const auto& file : transaction.Discarded())
      err << "warning: " << file.string() << " was not written: an export to a device or pipe "
          << "writes that one file\n";
    const auto& discarded = transaction.Discarded();
    for (const auto& file : staged) {
      log << "wrote " << file.string() << "\n";
      if (options.report && std::find(discarded.begin(), discarded.end(), file) == discarded.end())
        options.report->Wrote(file);
    }
    if (options.report) options.report->NoItems();
  } catch (const Error& e) {
    return Fail(err, e, ExitRunFailed);
  }
  return ExitOk;
}

void AddReaderLimitOptions(CLI::App& command, ReaderLimits& limits) {
  command
      .add_option("--max-memory", limits.memory,
                  "The most memory the model's reader may take, as 200M or 2G (default: half "
                  "the machine's memory, at most 8G)")
      ->transform(CLI::AsSizeValue(false).description(""))
      ->check(CLI::PositiveNumber)
      ->type_name("SIZE");
  command
      .add_option("--timeout", limits.seconds,
                  "The most time the model's reader may take, in seconds (default: " +
                      std::to_string(static_cast<int>(kDefaultReaderSeconds)) + ")")
      ->check(CLI::PositiveNumber)
      ->type_name("SECONDS");
}

CommandAction AddModelCommands(CLI::App& app) {
  auto state = std::make_shared<ModelCommands>();
  ModelCommands& commands = *state;
  ModelCommandOptions& o = commands.options;
  commands.import = app.add_subcommand("import",
                                       "Read a model (glTF, OBJ, FBX, Collada, 3DS, AC3D, PLY, "
                                       "STL, ..., X-Plane OBJ8) into a scene");
  commands.import->add_option("MODEL", o.input, "The model file")->required();
  commands.import->add_option(
      "MORE", o.moreInputs,
      "Further OBJ8 files of the same export (house.1.obj ...), imported under the same top group");
  commands.import->add_option("-o,--output", o.output,
                              "The scene file (default: MODEL's name with .json; - for standard "
                              "output); embedded textures are written beside it (in the current "
                              "folder for -, not at all for a device or pipe)");
  commands.import->add_option("--name", o.name, "The top group's name (default: MODEL's name)");
  commands.import->add_option("--scale", o.scale, "Multiply every length by S")
      ->check(CLI::PositiveNumber);
  commands.import->add_flag("--allow-outside", o.allowOutside,
                            "Let the model read files outside its own folder (a glTF's buffers, "
                            "an OBJ's materials); without it the import is refused");
  AddReaderLimitOptions(*commands.import, o.limits);
  commands.exportModel = app.add_subcommand(
      "export-model", "Write a scene as a model for any viewer (.glb .gltf .obj .dae .ply .stl)");
  commands.exportModel
      ->add_option("SCENE", o.input,
                   "Scene file (- for standard input), or any model import reads (imported in "
                   "memory; its embedded textures go beside the model written)")
      ->required();
  commands.exportModel
      ->add_option("-o,--output", o.output,
                   "The model file; its extension chooses the format. A device or pipe gets "
                   "that file alone: no side files")
      ->required();
  AddReaderLimitOptions(*commands.exportModel, o.limits);
  for (CLI::App* command : {commands.import, commands.exportModel}) {
    command->add_flag("--quiet", o.quiet, "No progress bar and no transcript");
    command
        ->add_option("--report", o.reportFile,
                     "Also write what the command did as JSON: outcome, files written, items "
                     "made, warnings, log, times (- for standard output when the output "
                     "goes to a file)")
        ->type_name("FILE.json");
  }
  return [state] {
    state->options.progress = ProgressBarFor(state->options.quiet);
    return RunModelCommands(*state, std::cout, std::cerr);
  };
}

std::optional<int> RunModelCommands(const ModelCommands& commands, std::ostream& out,
                                    std::ostream& err) {
  const bool import = commands.import->parsed();
  if (!import && !commands.exportModel->parsed()) return std::nullopt;
  auto command = import ? ImportCommand : ExportModelCommand;
  ModelCommandOptions options = commands.options;
  if (!options.reportFile) return command(options, out, err);
  // Standard output carries the scene of "import -o -" or the model of "export-model -o -".
  const bool outIsData = options.output && ToStandardOutput(*options.output);
  if (outIsData && ToStandardOutput(*options.reportFile)) {
    err << "error: --report " << options.reportFile->string() << ": standard output carries the "
        << (import ? "scene" : "model") << "; write the report to a file\n";
    return ExitBadInput;
  }
  CommandReport report(import ? "import" : "export-model", *options.reportFile,
                       options.input.string());
  if (options.output) report.AvoidOutput("the -o file", *options.output);
  options.report = &report;
  const bool quiet = options.quiet;
  options.quiet = false;  // the transcript goes to the report, not to the terminal
  return report.Run(outIsData, quiet, out, err,
                    [&](std::ostream& o, std::ostream& e) { return command(options, o, e); });
}

}  // namespace vlm::host
