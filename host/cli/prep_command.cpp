// Each step is a subcommand of `prep` whose options are the step's own list; once the line is
// read, the options given become the request's NAME=VALUE texts in the order of that list.
#include "cli/prep_command.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/model_commands.h"
#include "cli/progress_bar.h"
#include "cli/run_command.h"
#include "prep/prep_step.h"

namespace vlm::host {
namespace {

// What one step's subcommand reads: every option's values as given.
struct StepLine {
  const PrepStepInfo* step = nullptr;
  CLI::App* command = nullptr;
  std::map<std::string, std::vector<std::string>> values;
  std::map<std::string, bool> flags;
};

void AddCommonOptions(CLI::App& command, RunCommandLine& line) {
  RunRequest& r = line.request;
  command.add_option("SCENE", r.scene, "Scene file (- for standard input), or a model to import")
      ->required();
  AddReaderLimitOptions(command, line.limits);
  command.add_option("--select", r.selections,
                     "Work on these items only, as vlmhost run --select takes them (group:PATH, "
                     "object:PATH, group:PATH:name=NAME, ...); default: the whole scene");
  command.add_option("-o,--output", r.output,
                     "Write the changed scene here (- for standard output)");
  command.add_flag("--quiet", line.quiet, "No transcript");
  command
      .add_option("--report", r.reportFile,
                  "Also write what the step did as JSON: outcome, items made, changed and "
                  "removed, warnings, log")
      ->type_name("FILE.json");
}

void AddStepOptions(StepLine& step) {
  for (const PrepOptionInfo& option : step.step->options) {
    const std::string name = "--" + option.name;
    if (option.valueName.empty()) {
      step.command->add_flag(name, step.flags[option.name], option.help);
      continue;
    }
    auto* o = step.command->add_option(name, step.values[option.name], option.help)
                  ->type_name(option.valueName)
                  ->allow_extra_args(false);
    if (!option.repeatable) o->expected(1);
  }
}

std::vector<std::string> OptionsGiven(const StepLine& step) {
  std::vector<std::string> options;
  for (const PrepOptionInfo& option : step.step->options) {
    if (option.valueName.empty()) {
      if (step.flags.at(option.name)) options.push_back(option.name);
      continue;
    }
    for (const std::string& value : step.values.at(option.name))
      options.push_back(option.name + "=" + value);
  }
  return options;
}

}  // namespace

CommandAction AddPrepCommand(CLI::App& app) {
  auto* prep = app.add_subcommand(
      "prep",
      "Prepare a scene or model for the simulators: one step (transform, materials, "
      "names, flatten, levels of detail, ...) on the selection or the whole scene");
  prep->require_subcommand(1);
  auto line = std::make_shared<RunCommandLine>();
  auto steps = std::make_shared<std::vector<StepLine>>();
  steps->reserve(PrepSteps().size());
  for (const PrepStepInfo& info : PrepSteps()) {
    StepLine& step = steps->emplace_back();
    step.step = &info;
    step.command = prep->add_subcommand(info.name, info.summary);
    AddCommonOptions(*step.command, *line);
    AddStepOptions(step);
  }
  return [prep, line, steps]() -> std::optional<int> {
    if (!*prep) return std::nullopt;
    for (const StepLine& step : *steps) {
      if (!*step.command) continue;
      line->request.prepStep = step.step->name;
      line->request.prepOptions = OptionsGiven(step);
    }
    line->progress = ProgressBarFor(line->quiet);
    if (line->request.reportFile) return RunCommandWithReport(*line);
    return RunCommand(*line, std::cout, std::cerr);
  };
}

}  // namespace vlm::host
