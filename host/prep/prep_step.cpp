// The options of a step as text, read into numbers, vectors and words; the targets of the
// selection; the list of steps.
#include "prep/prep_step.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>

#include "prep/prep_steps.h"
#include "scene/document.h"

namespace vlm::host {
namespace {

std::string_view NameOf(std::string_view option) {
  return option.substr(0, option.find('='));
}

std::optional<std::string_view> ValueOf(std::string_view option) {
  const size_t eq = option.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return option.substr(eq + 1);
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// A number the whole text is, or nullopt ("1e3", "-0.5"; no blanks, no trailing words).
std::optional<double> ParseNumber(std::string_view text) {
  double value = 0;
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() ||
      !std::isfinite(value))
    return std::nullopt;
  return value;
}

// Every object below a group, depth first, the group's own first.
void CollectObjects(HostNode& group, std::vector<HostMesh*>& out) {
  for (const auto& mesh : group.meshes)
    out.push_back(mesh.get());
  for (const auto& child : group.children)
    CollectObjects(*child, out);
}

}  // namespace

bool PrepArgs::Has(std::string_view name) const {
  return std::any_of(options_.begin(), options_.end(),
                     [&](const std::string& o) { return NameOf(o) == name; });
}

std::optional<std::string> PrepArgs::Text(std::string_view name) const {
  std::optional<std::string> last;
  for (const std::string& o : options_)
    if (NameOf(o) == name) last = std::string(ValueOf(o).value_or(""));
  return last;
}

std::vector<std::string> PrepArgs::Texts(std::string_view name) const {
  std::vector<std::string> all;
  for (const std::string& o : options_)
    if (NameOf(o) == name) all.emplace_back(ValueOf(o).value_or(""));
  return all;
}

void PrepArgs::Refuse(std::string_view name, const std::string& problem) const {
  const auto value = Text(name);
  std::string text = "--" + std::string(name);
  if (value && !value->empty()) text += " " + *value;
  throw PrepBadValue(text + ": " + problem);
}

std::optional<double> PrepArgs::Number(std::string_view name, double low, double high) const {
  const auto text = Text(name);
  if (!text) return std::nullopt;
  const auto value = ParseNumber(*text);
  if (!value) Refuse(name, "not a number");
  if (*value < low || *value > high) {
    char range[96];
    std::snprintf(range, sizeof range, "give a number from %g to %g", low, high);
    Refuse(name, range);
  }
  return value;
}

std::optional<long long> PrepArgs::Whole(std::string_view name, long long low,
                                         long long high) const {
  const auto text = Text(name);
  if (!text) return std::nullopt;
  long long value = 0;
  auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
  if (text->empty() || ec != std::errc() || end != text->data() + text->size())
    Refuse(name, "not a whole number");
  if (value < low || value > high)
    Refuse(name, "give a whole number from " + std::to_string(low) + " to " + std::to_string(high));
  return value;
}

std::optional<Vec3> PrepArgs::Vector(std::string_view name) const {
  const auto text = Text(name);
  if (!text) return std::nullopt;
  double xyz[3];
  std::string_view rest = *text;
  for (int i = 0; i < 3; ++i) {
    const size_t comma = rest.find(',');
    if ((i < 2) != (comma != std::string_view::npos)) Refuse(name, "give three numbers x,y,z");
    const auto value = ParseNumber(rest.substr(0, comma));
    if (!value || std::fabs(*value) > 3e38) Refuse(name, "give three numbers x,y,z");
    xyz[i] = *value;
    rest = i < 2 ? rest.substr(comma + 1) : std::string_view();
  }
  return Vec3{static_cast<float>(xyz[0]), static_cast<float>(xyz[1]), static_cast<float>(xyz[2])};
}

std::optional<std::string> PrepArgs::Choice(std::string_view name,
                                            const std::vector<std::string>& words) const {
  const auto text = Text(name);
  if (!text) return std::nullopt;
  for (const std::string& word : words)
    if (Lower(word) == Lower(*text)) return word;
  std::string list;
  for (const std::string& word : words)
    list += (list.empty() ? "" : ", ") + word;
  Refuse(name, "give one of " + list);
}

std::vector<HostMesh*> PrepTargets::AllObjects() const {
  std::vector<HostMesh*> all;
  for (HostNode* group : groups)
    CollectObjects(*group, all);
  all.insert(all.end(), objects.begin(), objects.end());
  // A target inside another counts once.
  std::set<HostMesh*> seen;
  std::erase_if(all, [&](HostMesh* m) { return !seen.insert(m).second; });
  return all;
}

const std::vector<PrepStepInfo>& PrepSteps() {
  static const std::vector<PrepStepInfo> steps{
      TransformStep(), MaterialsStep(), RenameStep(), ShortenStep(), FlattenStep(),
      MergeStep(),     SplitStep(),     CleanStep(),  NormalsStep(), LodStep()};
  return steps;
}

const PrepStepInfo* FindPrepStep(std::string_view name) {
  for (const PrepStepInfo& step : PrepSteps())
    if (step.name == name) return &step;
  return nullptr;
}

void CheckPrepOptions(const PrepStepInfo& step, const std::vector<std::string>& options) {
  std::set<std::string_view> given;
  for (const std::string& option : options) {
    const std::string_view name = NameOf(option);
    const auto info = std::find_if(step.options.begin(), step.options.end(),
                                   [&](const PrepOptionInfo& o) { return o.name == name; });
    if (info == step.options.end()) {
      std::string list;
      for (const PrepOptionInfo& o : step.options)
        list += (list.empty() ? "--" : ", --") + o.name;
      throw PrepBadValue("--" + std::string(name) + ": no such option" +
                         (list.empty() ? std::string() : " (it takes " + list + ")"));
    }
    const bool valued = ValueOf(option).has_value();
    if (info->valueName.empty() && valued)
      throw PrepBadValue("--" + std::string(name) + " takes no value");
    if (!info->valueName.empty() && !valued)
      throw PrepBadValue("--" + std::string(name) + " needs a value: " + info->valueName);
    if (!given.insert(name).second && !info->repeatable)
      throw PrepBadValue("--" + std::string(name) + " is given twice");
  }
}

PrepTargets PrepTargetsOf(HostDocument& document) {
  PrepTargets targets;
  auto addGroup = [&](HostNode* g) {
    if (std::find(targets.groups.begin(), targets.groups.end(), g) == targets.groups.end())
      targets.groups.push_back(g);
  };
  auto addObject = [&](HostMesh* m) {
    if (std::find(targets.objects.begin(), targets.objects.end(), m) == targets.objects.end())
      targets.objects.push_back(m);
  };
  for (HostNode* g : document.scriptingSelection.groups)
    addGroup(g);
  for (HostNode* g : document.graphSelection.nodes)
    addGroup(g);
  for (const auto& entry : document.scriptingSelection.objects)
    addObject(entry.mesh);
  for (const auto& entry : document.graphSelection.shapes)
    addObject(entry.mesh);
  if (targets.groups.empty() && targets.objects.empty()) {
    targets.wholeScene = true;
    for (const auto& child : document.Root().children)
      targets.groups.push_back(child.get());
    for (const auto& mesh : document.Root().meshes)
      targets.objects.push_back(mesh.get());
  }
  return targets;
}

void RunPrepStep(HostDocument& document, const std::string& name,
                 const std::vector<std::string>& options, const std::filesystem::path& sceneFolder,
                 std::ostream& log, const std::function<void(const std::string&)>& warn) {
  const PrepStepInfo* step = FindPrepStep(name);
  if (!step) {
    std::string list;
    for (const PrepStepInfo& s : PrepSteps())
      list += (list.empty() ? "" : ", ") + s.name;
    throw PrepBadValue("no preparation step \"" + name + "\": the steps are " + list);
  }
  CheckPrepOptions(*step, options);
  const PrepArgs args(options);
  PrepContext context{document, args, PrepTargetsOf(document), sceneFolder, log, warn};
  step->run(context);
}

}  // namespace vlm::host
