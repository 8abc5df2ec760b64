// vlmhost validate, and the command line of inspect and validate.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <utility>

#include "cli/check_commands.h"
#include "cli/model_commands.h"
#include "cli/obj8_checks.h"
#include "cli/scene_checks.h"
#include "run/exit_status.h"
#include "run/scene_argument.h"
#include "run/selections.h"
#include "scene/document.h"
#include "vlm/error.h"

namespace vlm::host {

namespace {

// The OBJ8 files whose own lines are checked: for an OBJ8 export, the file the argument names
// and the other files of its export; none for a scene or another model.
std::vector<std::filesystem::path> Obj8Files(const ValidateOptions& options) {
  if (options.format != "obj8" || IsStandardStream(options.scene)) return {};
  return Obj8ExportFiles(options.scene);
}

// The findings of the files' own lines.
std::vector<Finding> Obj8FileFindings(const std::vector<std::filesystem::path>& files) {
  std::vector<Finding> findings;
  for (const std::filesystem::path& file : files) {
    const std::filesystem::path folder = file.parent_path();
    for (Finding& f : CheckObj8File(ReadObj8File(file), folder.empty() ? "." : folder))
      findings.push_back(std::move(f));
  }
  return findings;
}

void PrintFindings(const ValidateOptions& options, const std::vector<Finding>& findings,
                   std::ostream& out) {
  size_t errors = 0;
  for (const Finding& f : findings)
    errors += f.error;
  const size_t warnings = findings.size() - errors;
  if (options.json) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const Finding& f : findings) {
      nlohmann::ordered_json finding = {{"severity", f.error ? "error" : "warning"},
                                        {"check", f.check},
                                        {"kind", f.kind},
                                        {"path", f.path}};
      if (f.kind == "file") finding["line"] = f.line;
      finding["reason"] = f.reason;
      list.push_back(std::move(finding));
    }
    nlohmann::ordered_json report = {
        {"scene", IsStandardStream(options.scene) ? "-" : options.scene.string()},
        {"format", options.format},
        {"errors", errors},
        {"warnings", warnings},
        {"findings", std::move(list)}};
    out << report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    return;
  }
  for (const Finding& f : findings) {
    out << (f.error ? "error" : "warning") << ": ";
    if (f.kind == "material")
      out << "material " << f.path << ": ";
    else if (f.kind == "file")
      out << f.path << ":" << f.line << ": ";
    else if (!f.path.empty())
      out << f.path << ": ";
    out << f.reason << " [" << f.check << "]\n";
  }
  out << errors << (errors == 1 ? " error, " : " errors, ") << warnings
      << (warnings == 1 ? " warning" : " warnings") << " for " << options.format << "\n";
}

}  // namespace

int ValidateCommand(const ValidateOptions& options, std::ostream& out, std::ostream& err) {
  const ExportFormat format = options.format == "igs" ? ExportFormat::Igs : ExportFormat::Obj8;
  std::vector<Finding> findings;
  try {
    // An OBJ8 file's own lines are checked first, then the scene its import makes.
    const std::vector<std::filesystem::path> obj8Files = Obj8Files(options);
    findings = Obj8FileFindings(obj8Files);
    // A model is checked as `vlmhost import` would write it (read in a child process).
    ImportedModel loaded = LoadSceneOrModel(options.scene, options.limits);
    WarnOfImport(loaded, err);
    const std::unique_ptr<HostDocument> document = std::move(loaded.document);
    // Without a selection the whole scene is checked, whatever the file has selected.
    if (options.selections.empty()) document->ClearSelection();
    ApplySelections(*document, options.selections);
    const std::filesystem::path folder = IsStandardStream(options.scene)
                                             ? std::filesystem::current_path()
                                             : options.scene.parent_path();
    for (Finding& f :
         CheckForExport(*document, ScopeOfSelection(*document), format,
                        folder.empty() ? std::filesystem::path(".") : folder, !obj8Files.empty()))
      findings.push_back(std::move(f));
  } catch (const Error& e) {
    err << "error: " << e.Description() << "\n";
    return ExitBadInput;
  }
  PrintFindings(options, findings, out);
  return std::any_of(findings.begin(), findings.end(), [](const Finding& f) { return f.error; })
             ? ExitBadInput
             : ExitOk;
}

CommandAction AddCheckCommands(CLI::App& app) {
  auto state = std::make_shared<CheckCommands>();
  CheckCommands& commands = *state;
  InspectOptions& i = commands.inspectOptions;
  commands.inspect = app.add_subcommand(
      "inspect",
      "Show what an OBJ8, IGS, scene or model file holds: counts, levels of detail, draw "
      "batches, textures (found? pixel size), bounds, materials, IGS margins to its limits");
  commands.inspect->add_option("FILE", i.file, "The file (- for a scene on standard input)")
      ->required();
  commands.inspect->add_flag("--json", i.json, "Print the same as JSON");
  commands.inspect
      ->add_option("--max-memory", i.limits.memory,
                   "A model read by the exchange library, or an IGS file: the most memory its "
                   "reader may take, as 200M or 2G")
      ->transform(CLI::AsSizeValue(false).description(""))
      ->check(CLI::PositiveNumber)
      ->type_name("SIZE");
  commands.inspect
      ->add_option("--timeout", i.limits.seconds,
                   "A model read by the exchange library, or an IGS file: the most time its "
                   "reader may take, in seconds")
      ->check(CLI::PositiveNumber)
      ->type_name("SECONDS");

  ValidateOptions& v = commands.validateOptions;
  commands.validate = app.add_subcommand(
      "validate",
      "Check a scene for an export without exporting: missing or badly named textures, "
      "texture sides, degenerate faces, mirrored frames, numbers, names and limits of the "
      "format. Exit status 2 when an error is found");
  commands.validate
      ->add_option("SCENE", v.scene,
                   "Scene file (- for standard input), or a model, checked as import reads it; "
                   "an OBJ8 file's own lines are checked too")
      ->required();
  commands.validate->add_option("--for", v.format, "The format of the export: obj8 or igs")
      ->required()
      ->check(CLI::IsMember({"obj8", "igs"}));
  commands.validate->add_option(
      "--select", v.selections,
      "Check only what this selects, as run --select takes it (default: the whole scene)");
  commands.validate->add_flag("--json", v.json, "Print the findings as JSON");
  AddReaderLimitOptions(*commands.validate, v.limits);
  return [state] { return RunCheckCommands(*state, std::cout, std::cerr); };
}

std::optional<int> RunCheckCommands(const CheckCommands& commands, std::ostream& out,
                                    std::ostream& err) {
  if (commands.inspect->parsed()) return InspectCommand(commands.inspectOptions, out, err);
  if (commands.validate->parsed()) return ValidateCommand(commands.validateOptions, out, err);
  return std::nullopt;
}

}  // namespace vlm::host
