// lod: simplified copies of one detailed group, one per level of detail, named as the
// exporters' "Custom LODs" find them.
//
// The levels are placed and named here; they are simplified in lod_simplify.cpp.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "prep/lod_simplify.h"
#include "prep/prep_steps.h"
#include "scene/document.h"
#include "vlm/text.h"

namespace vlm::host {
namespace {

// The exporters' Custom LODs: the last level node's level ends at 1000 m.
constexpr double kExportersFar = 1000;
// Trackline takes at most this many level nodes, the detailed group's own among them.
constexpr size_t kMostLevelNodes = 10;

struct Level {
  double ratio = 1;     // of the triangles to keep, in (0, 1]
  double distance = 0;  // from where it is seen, in metres
};

// What the options ask for, read and checked before anything changes.
struct Plan {
  std::vector<Level> levels;
  double error = 0.01;  // a fraction of the group's size
  bool range = false;   // level groups "LOD near-far" inside the group, else "G_D" beside it
  double far = kExportersFar;
};

std::string Trimmed(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
    text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.remove_suffix(1);
  return std::string(text);
}

std::optional<double> NumberText(const std::string& text) {
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() ||
      !std::isfinite(value))
    return std::nullopt;
  return value;
}

// A distance as the level's name shows it: 200, 0.5 (as the OBJ8 import names its groups).
std::string DistanceText(double value) {
  char text[32];
  const auto r = std::to_chars(text, text + sizeof text, static_cast<float>(value));
  return std::string(text, r.ptr);
}

// "12.5" for 0.125, as the log gives a ratio in percent.
std::string Percent(double fraction) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", fraction * 100);
  return text;
}

std::string Short(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2g", value);
  return text;
}

std::vector<Level> ReadLevels(const PrepArgs& args) {
  const auto text = args.Text("levels");
  if (!text)
    throw PrepBadValue(
        "--levels is needed: give the levels as RATIO@DISTANCE pairs, such as "
        "50%@200,10%@500,2%@1000");
  const std::string form = "give RATIO@DISTANCE pairs such as 50%@200,10%@500,2%@1000";
  std::vector<Level> levels;
  size_t start = 0;
  while (true) {
    const size_t comma = text->find(',', start);
    const std::string item = Trimmed(std::string_view(*text).substr(
        start, comma == std::string::npos ? std::string::npos : comma - start));
    const size_t at = item.find('@');
    if (item.empty() || at == std::string::npos)
      args.Refuse("levels", "\"" + item + "\" is not a level: " + form);
    std::string ratioText = Trimmed(std::string_view(item).substr(0, at));
    const bool percent = !ratioText.empty() && ratioText.back() == '%';
    if (percent) ratioText = Trimmed(std::string_view(ratioText).substr(0, ratioText.size() - 1));
    auto ratio = NumberText(ratioText);
    const auto distance = NumberText(Trimmed(std::string_view(item).substr(at + 1)));
    if (!ratio || !distance) args.Refuse("levels", "\"" + item + "\" is not a level: " + form);
    if (percent) *ratio /= 100;
    if (!(*ratio > 0) || *ratio > 1)
      args.Refuse("levels", "\"" + item + "\": a level keeps a share of the triangles above 0 " +
                                "and up to all of them: give a percent from 0% to 100% (not " +
                                "0) or a fraction from 0 to 1 (not 0)");
    if (!(*distance > 0))
      args.Refuse("levels", "\"" + item + "\": a level starts at a distance above 0 m (the " +
                                "detailed group is seen from 0 m)");
    if (!levels.empty() && *distance <= levels.back().distance)
      args.Refuse("levels", "\"" + item + "\": the distances must go up from level to level");
    if (!levels.empty() && *ratio > levels.back().ratio)
      args.Refuse("levels", "\"" + item +
                                "\": a farther level keeps no more of the triangles "
                                "than a nearer one: give shares that go down from level to level");
    levels.push_back({*ratio, *distance});
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return levels;
}

Plan ReadPlan(const PrepArgs& args) {
  Plan plan;
  plan.levels = ReadLevels(args);
  plan.error = args.Number("error", 0, 1).value_or(plan.error);
  plan.range = args.Choice("naming", {"suffix", "range"}).value_or("suffix") == "range";
  const double last = plan.levels.back().distance;
  if (plan.range) {
    plan.far = args.Number("far", 0, 1e9).value_or(kExportersFar);
    if (plan.far <= last)
      args.Refuse("far", "the last level ends there, so it must lie beyond the last level's " +
                             DistanceText(last) + " m");
  } else {
    if (args.Has("far"))
      args.Refuse("far",
                  "suffix levels end where the exporters' Custom LODs end (1000 m); --far is "
                  "for --naming range");
    for (const Level& level : plan.levels)
      if (level.distance != std::floor(level.distance))
        args.Refuse("levels",
                    "the exporters read a level node's distance as a whole number of "
                    "metres, and " +
                        DistanceText(level.distance) +
                        " is not one: give whole distances, or --naming range");
    if (last >= kExportersFar)
      args.Refuse("levels", "the exporters' Custom LODs end at 1000 m, so a level node from " +
                                DistanceText(last) +
                                " m would never be seen: give distances below 1000, or "
                                "--naming range with --far");
    if (plan.levels.size() + 1 > kMostLevelNodes)
      args.Refuse("levels", "Trackline takes at most " + std::to_string(kMostLevelNodes) +
                                " level nodes, the detailed group's own among them: give at "
                                "most " +
                                std::to_string(kMostLevelNodes - 1) + " levels");
  }
  return plan;
}

// ---- the group and the level nodes around it ----

// The number after the group's name and one separator ("Body_200" of "Body"), as the exporters
// read level nodes, in any case; nothing for a name that is not a level node's.
std::optional<double> LevelNumber(const std::string& group, const std::string& name) {
  if (name.size() <= group.size() + 1 || !ToLower(name).starts_with(ToLower(group)))
    return std::nullopt;
  const std::string rest = name.substr(group.size() + 1);
  // Only digits and a point may start it, as the exporters read it.
  if (!std::isdigit(static_cast<unsigned char>(rest[0])) && rest[0] != '.' && rest[0] != '+')
    return std::nullopt;
  const auto value = NumberText(rest[0] == '+' ? rest.substr(1) : rest);
  if (!value) return std::nullopt;
  return std::nearbyint(*value);
}

// A level group's range from its name ("LOD 0-300"), as Wingform reads it.
bool LevelRangeOf(const std::string& name, double& nearDistance, double& farDistance) {
  if (!name.starts_with("LOD ")) return false;
  const std::string range = name.substr(4);
  for (size_t dash = range.find('-', 1); dash != std::string::npos;
       dash = range.find('-', dash + 1)) {
    const auto a = NumberText(range.substr(0, dash)), b = NumberText(range.substr(dash + 1));
    if (a && b && *a >= 0 && *b > *a) {
      nearDistance = *a, farDistance = *b;
      return true;
    }
  }
  return false;
}

std::string Quoted(const std::string& name) {
  return "\"" + name + "\"";
}

// The group lod works on: the one selected, or the scene's one top-level group (leaving out
// level nodes named after another top-level group, as an earlier lod made them).
HostNode& ChooseGroup(PrepContext& context) {
  const PrepTargets& t = context.targets;
  if (!t.wholeScene) {
    if (t.groups.size() == 1 && t.objects.empty()) return *t.groups[0];
    throw PrepBadValue("lod makes the levels of one group, and the selection holds " +
                       std::to_string(t.groups.size()) + " groups and " +
                       std::to_string(t.objects.size()) +
                       " objects: select the one group with --select group:PATH");
  }
  std::vector<HostNode*> groups;
  for (HostNode* g : t.groups) {
    const bool levelNode = std::any_of(t.groups.begin(), t.groups.end(), [&](HostNode* other) {
      return other != g && LevelNumber(other->name, g->name).has_value();
    });
    if (!levelNode) groups.push_back(g);
  }
  if (groups.size() == 1) return *groups[0];
  std::string names;
  for (size_t i = 0; i < groups.size() && i < 5; ++i)
    names += (i ? ", " : "") + Quoted(groups[i]->name);
  if (groups.size() > 5) names += ", ...";
  throw PrepBadValue("lod makes the levels of one group, and the scene has " +
                     std::to_string(groups.size()) + " top-level groups" +
                     (groups.empty() ? "" : " (" + names + ")") +
                     ": choose one with --select group:PATH");
}

// ---- the levels ----

// An object as it is, in another group.
void CopyWhole(HostDocument& document, HostNode& into, const HostMesh& mesh) {
  HostMesh& copy = document.NewMesh(into, mesh.name);
  copy.kind = mesh.kind;
  copy.smoothingAngle = mesh.smoothingAngle;
  copy.vertices = mesh.vertices;
  copy.normals = mesh.normals;
  copy.uvs = mesh.uvs;
  std::vector<HostPoint> points;
  std::vector<uint32_t> ends;
  std::vector<HostMaterial*> materials;
  points.reserve(mesh.TotalPoints());
  for (size_t f = 0; f < mesh.FaceCount(); ++f) {
    if (mesh.FaceRemoved(f)) continue;
    const auto p = mesh.Points(f);
    points.insert(points.end(), p.begin(), p.end());
    ends.push_back(static_cast<uint32_t>(points.size()));
    materials.push_back(mesh.FaceMaterial(f));
  }
  copy.AddFaces(std::move(points), std::move(ends), std::move(materials));
}

// A group as it is, with everything inside it, in another group.
void CopyTree(HostDocument& document, HostNode& into, const HostNode& group) {
  HostNode& node = document.NewNode(into, group.name);
  node.position = group.position;
  node.forward = group.forward;
  node.up = group.up;
  node.animationKeys = group.animationKeys;
  node.fields = group.fields;
  for (const auto& mesh : group.meshes)
    CopyWhole(document, node, *mesh);
  for (const auto& child : group.children)
    CopyTree(document, node, *child);
}

std::string LevelText(const std::vector<std::string>& names) {
  std::string text;
  for (size_t i = 0; i < names.size() && i < 5; ++i)
    text += (i ? ", " : "") + Quoted(names[i]);
  if (names.size() > 5) text += ", ...";
  return text;
}

void RunLod(PrepContext& context) {
  const Plan plan = ReadPlan(context.args);
  HostDocument& document = context.document;
  HostNode& group = ChooseGroup(context);
  const size_t n = plan.levels.size();

  // The names of the levels, and the level nodes or groups there already.
  std::vector<std::string> names(n);
  std::vector<HostNode*> replaced;
  std::vector<std::string> otherLevels;
  HostNode* detail = nullptr;  // range: an earlier run's "LOD 0-D1" group
  std::string detailName;
  if (!plan.range) {
    if (group.parent != &document.Root())
      throw PrepBadValue(
          "--naming suffix: the exporters' Custom LODs find level nodes named after a group at "
          "the top of the scene, beside it, and \"" +
          group.Path() +
          "\" is inside another group: select a top-level group, or give --naming range");
    std::vector<std::string> inside;
    for (const auto& child : group.children) {
      double a = 0, b = 0;
      if (LevelRangeOf(child->name, a, b)) inside.push_back(child->name);
    }
    if (!inside.empty())
      throw PrepBadValue("--naming suffix: " + Quoted(group.name) + " holds the level groups " +
                         LevelText(inside) +
                         ", which Wingform takes before level nodes: give --naming range with "
                         "the same distances");
    for (size_t k = 0; k < n; ++k)
      names[k] = group.name + "_" + DistanceText(plan.levels[k].distance);
    for (const auto& child : document.Root().children) {
      if (child.get() == &group) continue;
      const auto number = LevelNumber(group.name, child->name);
      if (!number || *number <= 0) continue;
      const auto same = std::find_if(plan.levels.begin(), plan.levels.end(),
                                     [&](const Level& l) { return l.distance == *number; });
      if (same != plan.levels.end())
        replaced.push_back(child.get());
      else
        otherLevels.push_back(child->name);
    }
  } else {
    for (size_t k = 0; k < n; ++k)
      names[k] = "LOD " + DistanceText(plan.levels[k].distance) + "-" +
                 DistanceText(k + 1 < n ? plan.levels[k + 1].distance : plan.far);
    detailName = "LOD 0-" + DistanceText(plan.levels[0].distance);
    std::vector<std::string> others;
    for (const auto& child : group.children) {
      double a = 0, b = 0;
      if (!LevelRangeOf(child->name, a, b)) continue;
      if (child->name == detailName && !detail)
        detail = child.get();
      else if (std::find(names.begin(), names.end(), child->name) != names.end())
        replaced.push_back(child.get());
      else
        others.push_back(child->name);
    }
    if (!others.empty())
      throw PrepBadValue(Quoted(group.name) + " already holds the level groups " +
                         LevelText(others) +
                         " of other distances: give --levels with their distances to make "
                         "them again, or select a group without levels");
  }

  // The detailed subtree, read before anything changes.
  const std::set<const HostNode*> skip(replaced.begin(), replaced.end());
  Counts counts;
  const NodeSource source = GatherNode(detail ? *detail : group, skip, counts);
  if (counts.triangles == 0)
    throw PrepNothingToDo(Quoted(group.name) + " has no faces of three or more points to simplify");
  const double size = SizeOf(source);
  const double limit = plan.error * size;

  // From here on the document changes.
  if (counts.badFaces)
    context.warn(std::to_string(counts.badFaces) + " faces of " + Quoted(group.name) +
                 " name a vertex, normal or texture coordinate their object does not have; the "
                 "levels leave them out");
  for (const std::string& other : otherLevels)
    context.warn(Quoted(other) + " is a level node of " + Quoted(group.name) +
                 " from another run, left as it is: the exporters take it as one of its levels");
  for (HostNode* old : replaced) {
    context.warn("replaced the level " + Quoted(old->name));
    document.RemoveNode(*old);
  }
  // With range naming the detailed content goes into "LOD 0-D1", made first so that the
  // level groups follow it nearest first; it is filled once the levels are made from it.
  const bool moveContent = plan.range && !detail;
  std::vector<HostNode*> oldChildren;
  std::vector<HostMesh*> oldMeshes;
  if (moveContent) {
    for (const auto& child : group.children)
      oldChildren.push_back(child.get());
    for (const auto& mesh : group.meshes)
      oldMeshes.push_back(mesh.get());
    detail = &document.NewNode(group, detailName);
  }
  const HostNode& frame = plan.range ? *detail : group;  // whose frame the levels take
  for (size_t k = 0; k < n; ++k) {
    const Level& level = plan.levels[k];
    HostNode& node = document.NewNode(plan.range ? group : document.Root(), names[k]);
    node.position = frame.position;
    node.forward = frame.forward;
    node.up = frame.up;
    if (!plan.range) node.fields = group.fields;
    LevelOutcome outcome;
    CopyNode(document, node, source, level.ratio, limit, outcome);
    context.log << names[k] << " (from " << DistanceText(level.distance)
                << " m): " << Percent(level.ratio) << " % asked, " << outcome.kept << " of "
                << counts.triangles << " triangles kept, error " << Short(outcome.error) << " ("
                << Short(size > 0 ? 100 * outcome.error / size : 0) << " % of the size)";
    if (outcome.kept > outcome.asked && outcome.kept < counts.triangles)
      context.log << "; the error limit " << Short(limit) << " (" << Short(100 * plan.error)
                  << " % of the size) or the borders kept stopped it short of the ratio";
    context.log << "\n";
    if (outcome.kept >= counts.triangles)
      context.warn(names[k] + " keeps every triangle of " + Quoted(group.name) +
                   ": it is no simpler (the error limit " + Short(limit) + ", " +
                   Short(100 * plan.error) +
                   " % of the size, or the borders kept allow no "
                   "fewer)");
  }
  if (moveContent) {
    for (HostMesh* mesh : oldMeshes) {
      CopyWhole(document, *detail, *mesh);
      document.RemoveMesh(*mesh);
    }
    for (HostNode* child : oldChildren) {
      CopyTree(document, *detail, *child);
      document.RemoveNode(*child);
    }
    context.log << "moved the content of " << Quoted(group.name) << " into " << Quoted(detailName)
                << " (from 0 m)\n";
  }
}

}  // namespace

PrepStepInfo LodStep() {
  return {"lod",
          "simplified copies of one group as levels of detail, for the exporters' Custom LODs",
          {{"levels", "R@D[,R@D...]",
            "the levels to make: from distance D on (metres, above 0, going up) keep the share "
            "R of the triangles, a percent (10%) or a fraction (0.1) above 0 and up to 1; "
            "e.g. 50%@200,10%@500,2%@1000 (needed)"},
           {"error", "E",
            "the largest error a level may have, as a fraction of the group's size (the "
            "diagonal of its box): a level stops simplifying there even short of its share, and "
            "the log says so (default 0.01)"},
           {"naming", "suffix|range",
            "suffix: top-level groups named GROUP_D beside the group (which must be at the top "
            "of the scene, the distances whole and below 1000), as Wingform's and Trackline's "
            "Custom LODs find them; range: groups \"LOD D1-D2\" inside the group, as the OBJ8 "
            "import makes them, the group's content moved into \"LOD 0-D1\" (default suffix). "
            "Levels of the same names are replaced"},
           {"far", "F",
            "with --naming range: where the last level ends, in metres, beyond its distance "
            "(default 1000)"}},
          RunLod};
}

}  // namespace vlm::host
