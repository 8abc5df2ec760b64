// Preparing a model for the simulators: the steps a scenery author takes in a modeller before
// exporting (move, turn and scale it, give it textures, name its parts as the formats take
// them, flatten it, simplify it into levels of detail), each a change of the document.
//
// A step has a name ("transform"), options (`--ground`, `--scale 0.01`) and works on the
// document's selection, or on the whole scene when nothing is selected. The command line
// (`vlmhost prep STEP`), a batch job's steps ({"prep": "transform", ...}) and the workbench's
// Prepare menu all give a step the same options as text, and the run layer runs it as it runs
// a plug-in (run/document_run.h): same selections, same outputs, same report.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vlm/error.h"
#include "vlm/math.h"

namespace vlm::host {

class HostDocument;
class HostMesh;
class HostNode;

// A value a step cannot take: the run is refused (bad input), nothing changed. The text names
// the option ("--scale: 0 would flatten the model; give a factor other than 0").
class PrepBadValue : public Error {
 public:
  explicit PrepBadValue(std::string description)
      : Error(err::InvalidProcedureCall, std::move(description)) {}
};

// The step found nothing to do on its targets (a lod of a group with no faces): nothing done.
class PrepNothingToDo : public Error {
 public:
  explicit PrepNothingToDo(std::string description)
      : Error(err::InvalidProcedureCall, std::move(description)) {}
};

// One option of a step as `vlmhost prep STEP --help` lists it.
struct PrepOptionInfo {
  std::string name;       // without the dashes: "scale"
  std::string valueName;  // "S|SX,SY,SZ"; empty for a flag
  std::string help;
  bool repeatable = false;  // may be given more than once (each value kept, in order)
};

// The options a step was given: NAME=VALUE texts (a flag: NAME alone). The readers refuse a
// value that is not what they ask for with PrepBadValue naming the option.
class PrepArgs {
 public:
  PrepArgs() = default;
  explicit PrepArgs(std::vector<std::string> options) : options_(std::move(options)) {}

  bool Has(std::string_view name) const;
  // The last value given (a repeatable option: every value, in order).
  std::optional<std::string> Text(std::string_view name) const;
  std::vector<std::string> Texts(std::string_view name) const;
  bool Flag(std::string_view name) const { return Has(name); }
  // A finite number within [low, high].
  std::optional<double> Number(std::string_view name, double low, double high) const;
  // A whole number within [low, high].
  std::optional<long long> Whole(std::string_view name, long long low, long long high) const;
  // Three numbers "x,y,z".
  std::optional<Vec3> Vector(std::string_view name) const;
  // One of the given words (any case); the word as listed.
  std::optional<std::string> Choice(std::string_view name,
                                    const std::vector<std::string>& words) const;

  // A PrepBadValue for this option: "--NAME VALUE: PROBLEM".
  [[noreturn]] void Refuse(std::string_view name, const std::string& problem) const;

  const std::vector<std::string>& Options() const { return options_; }

 private:
  std::vector<std::string> options_;
};

// What a step works on: the selected groups and objects (an object whose faces are selected
// counts whole), or, with nothing selected, every group and object at the top of the scene.
struct PrepTargets {
  std::vector<HostNode*> groups;
  std::vector<HostMesh*> objects;
  bool wholeScene = false;

  // Every object of the targets, those inside the groups too, each once, in scene order.
  std::vector<HostMesh*> AllObjects() const;
};

// What a step is given to work with.
struct PrepContext {
  HostDocument& document;
  const PrepArgs& args;
  PrepTargets targets;
  // Where relative texture names lead from: the scene's folder.
  std::filesystem::path sceneFolder;
  // The step's transcript: one line per thing done ("moved 3 groups by (0, 1.2, 0)").
  std::ostream& log;
  std::function<void(const std::string&)> warn;
};

struct PrepStepInfo {
  std::string name;
  std::string summary;  // one line, for the list of steps and the menu
  std::vector<PrepOptionInfo> options;
  std::function<void(PrepContext&)> run;
};

// Every step, in the order the help lists them.
const std::vector<PrepStepInfo>& PrepSteps();
// The step of this name, or null.
const PrepStepInfo* FindPrepStep(std::string_view name);

// Checks the options against the step's list (an unknown option, a flag given a value, a value
// missing, an option given twice that is not repeatable): PrepBadValue naming it.
void CheckPrepOptions(const PrepStepInfo& step, const std::vector<std::string>& options);

// The targets of the document's selection (see PrepTargets).
PrepTargets PrepTargetsOf(HostDocument& document);

// Runs a step on the document's selection: PrepBadValue for a value it cannot take (nothing
// changed then), PrepNothingToDo when there is nothing to do.
void RunPrepStep(HostDocument& document, const std::string& step,
                 const std::vector<std::string>& options, const std::filesystem::path& sceneFolder,
                 std::ostream& log, const std::function<void(const std::string&)>& warn);

}  // namespace vlm::host
