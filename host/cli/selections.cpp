// --select: the selection a run starts from, written as kind:PATH[:i,j,...].
#include "cli/selections.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <numbers>
#include <string_view>

#include "scene/document.h"
#include "scene/face_geometry.h"
#include "vlm/error.h"
#include "vlm/text.h"
#include "vlm/warnings.h"

namespace vlm::host {
namespace {

// One --select argument taken apart.
struct Selection {
  std::string text;  // as given, for messages
  std::string kind;
  std::string path;
  std::vector<int32_t> indices;  // faces: and polygons: only
  std::string rules;             // ...or the rules that choose them
};

// The rules a face selection may be given instead of indices, as they start.
constexpr std::string_view kRuleStarts[] = {"facing=", "material=", "box=", "all"};

bool StartsRule(std::string_view text) {
  for (std::string_view start : kRuleStarts)
    if (text.starts_with(start)) return start != "all" || text.size() == 3 || text[3] == '&';
  return false;
}

std::string RuleNames() {
  return "facing=AXIS[,within=DEG], material=NAME, box=x0,y0,z0,x1,y1,z1, all";
}

std::string Kinds() {
  return "group:, object:, faces:, node:, shape:, polygons:";
}

[[noreturn]] void RaiseBadSelection(const std::string& selection, const std::string& problem) {
  Raise(err::InvalidProcedureCall, "selection \"" + selection + "\"" + problem);
}

int32_t ParseIndex(std::string_view item, const std::string& selection) {
  int32_t value = 0;
  auto [end, ec] = std::from_chars(item.data(), item.data() + item.size(), value);
  if (item.empty() || ec != std::errc() || end != item.data() + item.size() || value < 0)
    RaiseBadSelection(selection,
                      ": \"" + std::string(item) + "\" is not an index (indices are 0, 1, 2, ...)");
  return value;
}

// "0, 2,5" as 0, 2, 5.
std::vector<int32_t> ParseIndices(std::string_view text, const std::string& selection) {
  std::vector<int32_t> out;
  while (!text.empty()) {
    size_t comma = text.find(',');
    out.push_back(ParseIndex(TrimAny(text.substr(0, comma), " "), selection));
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  if (out.empty()) RaiseBadSelection(selection, " lists no indices");
  return out;
}

Selection ParseSelection(const std::string& text) {
  size_t colon = text.find(':');
  if (colon == std::string::npos) RaiseBadSelection(text, " has no kind; use one of " + Kinds());
  Selection s{text, text.substr(0, colon), text.substr(colon + 1), {}, {}};
  if (s.kind == "faces" || s.kind == "polygons") {
    // Rules begin after the last ":" that a rule follows (a path may hold ":" itself).
    for (size_t at = s.path.rfind(':'); at != std::string::npos;
         at = at == 0 ? std::string::npos : s.path.rfind(':', at - 1))
      if (StartsRule(std::string_view(s.path).substr(at + 1))) {
        s.rules = s.path.substr(at + 1);
        s.path.resize(at);
        return s;
      }
    size_t last = s.path.rfind(':');
    if (last != std::string::npos &&
        s.path.find_first_not_of("0123456789, -", last + 1) != std::string::npos)
      RaiseBadSelection(text, ": \"" + s.path.substr(last + 1) +
                                  "\" is neither indices (0,1,...) nor a rule; the rules: " +
                                  RuleNames() + ", joined with &");
    if (last == std::string::npos)
      RaiseBadSelection(text, " needs indices: " + s.kind + ":PATH:0,1,...");
    s.indices = ParseIndices(std::string_view(s.path).substr(last + 1), text);
    s.path = s.path.substr(0, last);
  }
  return s;
}

void SelectGroup(HostDocument& document, const Selection& s) {
  std::string problem;
  HostNode* node = document.FindGroup(s.path, &problem);
  if (!node) RaiseBadSelection(s.text, ": " + problem);
  if (s.kind == "group")
    document.scriptingSelection.groups.push_back(node);
  else
    document.graphSelection.nodes.push_back(node);
}

void CheckFacesExist(const HostMesh& mesh, const Selection& s) {
  for (int32_t i : s.indices)
    if (static_cast<size_t>(i) >= mesh.FaceCount())
      RaiseBadSelection(s.text, ": face " + std::to_string(i) + " is outside 0.." +
                                    std::to_string(static_cast<int>(mesh.FaceCount()) - 1) +
                                    " of \"" + s.path + "\"");
}

void SelectMesh(HostDocument& document, const Selection& s) {
  std::string problem;
  HostMesh* mesh = document.FindMesh(s.path, &problem);
  if (!mesh) RaiseBadSelection(s.text, ": " + problem);
  CheckFacesExist(*mesh, s);
  std::vector<int32_t> repeats = s.kind == "object"  ? document.SelectObject(*mesh, 0, {})
                                 : s.kind == "faces" ? document.SelectObject(*mesh, 1, s.indices)
                                                     : document.SelectShape(*mesh, s.indices);
  // A tool would work twice on a face listed twice.
  for (int32_t i : repeats)
    Warn("selection \"" + s.text + "\": " + (s.kind == "faces" ? "face " : "polygon ") +
         std::to_string(i) + " is listed more than once; it is selected once");
}

// ---- selection by rule --------------------------------------------------------------------

using FaceTest = std::function<bool(const HostMesh&, const WorldFace&)>;

float ParseNumber(std::string_view item, const std::string& what, const Selection& s) {
  std::string text(TrimAny(item, " "));
  float value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() ||
      !std::isfinite(value))
    RaiseBadSelection(s.text, ": " + what + ": \"" + text + "\" is not a number");
  return value;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> out;
  for (;;) {
    size_t at = text.find(separator);
    out.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return out;
    text.remove_prefix(at + 1);
  }
}

FaceTest FacingRule(std::string_view rule, const Selection& s) {
  std::vector<std::string_view> parts = Split(rule.substr(7), ',');
  static const std::pair<std::string_view, Vec3> axes[] = {{"+x", {1, 0, 0}}, {"-x", {-1, 0, 0}},
                                                           {"+y", {0, 1, 0}}, {"-y", {0, -1, 0}},
                                                           {"+z", {0, 0, 1}}, {"-z", {0, 0, -1}}};
  Vec3 axis{};
  for (const auto& [name, v] : axes)
    if (parts[0] == name || (parts[0].size() == 1 && name[1] == parts[0][0] && name[0] == '+'))
      axis = v;
  if (axis == Vec3{})
    RaiseBadSelection(s.text, ": \"" + std::string(rule) +
                                  "\": facing takes an axis: +x, -x, +y, "
                                  "-y, +z or -z");
  double within = 1;  // degrees: a face turned by rounding alone still faces its axis
  if (parts.size() > 2 || (parts.size() == 2 && !parts[1].starts_with("within=")))
    RaiseBadSelection(s.text, ": \"" + std::string(rule) +
                                  "\": write facing=AXIS or "
                                  "facing=AXIS,within=DEGREES");
  if (parts.size() == 2) {
    within = ParseNumber(parts[1].substr(7), "within", s);
    if (within < 0 || within > 180)
      RaiseBadSelection(s.text, ": within=" + std::string(parts[1].substr(7)) +
                                    " is not an angle from 0 to 180 degrees");
  }
  // A small allowance for the rounding of a normal that lies exactly on the limit.
  const double least = std::cos(within * std::numbers::pi / 180) - 1e-6;
  return [axis, least](const HostMesh&, const WorldFace& f) {
    return f.normal != Vec3{} && PreciseDot(f.normal, axis) >= least;
  };
}

FaceTest MaterialRule(std::string_view rule, const HostDocument& document, const Selection& s) {
  std::string name(rule.substr(9));
  if (!name.empty() && !document.FindMaterial(name)) {
    std::string known;
    for (const auto& m : document.Materials())
      known += (known.empty() ? "\"" : ", \"") + m->name + "\"";
    RaiseBadSelection(s.text, ": the scene has no material \"" + name + "\"" +
                                  (known.empty() ? " (it has none)" : "; its materials: " + known));
  }
  return [name](const HostMesh& mesh, const WorldFace& f) {
    const HostMaterial* m = mesh.FaceMaterial(f.index);
    return m ? m->name == name : name.empty();
  };
}

FaceTest BoxRule(std::string_view rule, const Selection& s) {
  std::vector<std::string_view> parts = Split(rule.substr(4), ',');
  if (parts.size() != 6)
    RaiseBadSelection(s.text,
                      ": \"" + std::string(rule) + "\": box takes six numbers: x0,y0,z0,x1,y1,z1");
  float v[6];
  for (size_t i = 0; i < 6; ++i)
    v[i] = ParseNumber(parts[i], "box", s);
  // Either corner may come first.
  Vec3 lo{std::min(v[0], v[3]), std::min(v[1], v[4]), std::min(v[2], v[5])};
  Vec3 hi{std::max(v[0], v[3]), std::max(v[1], v[4]), std::max(v[2], v[5])};
  return [lo, hi](const HostMesh&, const WorldFace& f) {
    const Vec3 c = f.centre;
    return c.x >= lo.x && c.x <= hi.x && c.y >= lo.y && c.y <= hi.y && c.z >= lo.z && c.z <= hi.z;
  };
}

std::vector<FaceTest> ParseRules(const HostDocument& document, const Selection& s) {
  std::vector<FaceTest> tests;
  for (std::string_view rule : Split(s.rules, '&')) {
    if (rule == "all")
      tests.push_back([](const HostMesh&, const WorldFace&) { return true; });
    else if (rule.starts_with("facing="))
      tests.push_back(FacingRule(rule, s));
    else if (rule.starts_with("material="))
      tests.push_back(MaterialRule(rule, document, s));
    else if (rule.starts_with("box="))
      tests.push_back(BoxRule(rule, s));
    else
      RaiseBadSelection(s.text, ": unknown rule \"" + std::string(rule) +
                                    "\"; the rules: " + RuleNames() + ", joined with &");
  }
  return tests;
}

void ObjectsBelow(HostNode& node, std::vector<HostMesh*>& out) {
  for (const auto& mesh : node.meshes)
    out.push_back(mesh.get());
  for (const auto& child : node.children)
    ObjectsBelow(*child, out);
}

void SelectByRule(HostDocument& document, const Selection& s) {
  std::vector<FaceTest> tests = ParseRules(document, s);
  std::vector<HostMesh*> meshes;
  std::string problem;
  if (HostMesh* mesh = document.FindMesh(s.path, &problem)) {
    meshes.push_back(mesh);
  } else if (std::string groupProblem; HostNode* node = document.FindGroup(s.path, &groupProblem)) {
    ObjectsBelow(*node, meshes);
  } else {
    RaiseBadSelection(s.text, ": " + groupProblem + "; " + problem);
  }
  size_t selected = 0;
  for (HostMesh* mesh : meshes) {
    std::vector<int32_t> faces;
    for (const WorldFace& f : WorldFaces(*mesh)) {
      bool pass = true;
      for (const FaceTest& test : tests)
        pass = pass && test(*mesh, f);
      if (pass) faces.push_back(static_cast<int32_t>(f.index));
    }
    if (faces.empty()) continue;
    selected += faces.size();
    if (s.kind == "faces")
      document.SelectObject(*mesh, 1, std::move(faces));
    else
      document.SelectShape(*mesh, std::move(faces));
  }
  if (selected == 0)
    throw SelectsNothing(err::InvalidProcedureCall,
                         "selection \"" + s.text + "\" selects no " +
                             (s.kind == "faces" ? "face" : "polygon") + " (of " +
                             std::to_string(meshes.size()) +
                             (meshes.size() == 1 ? " object)" : " objects)"));
}

}  // namespace

void ApplySelections(HostDocument& document, const std::vector<std::string>& selections) {
  if (selections.empty()) return;
  document.ClearSelection();
  for (const std::string& text : selections) {
    Selection s = ParseSelection(text);
    if (s.kind == "group" || s.kind == "node")
      SelectGroup(document, s);
    else if (!s.rules.empty())
      SelectByRule(document, s);
    else if (s.kind == "object" || s.kind == "faces" || s.kind == "shape" || s.kind == "polygons")
      SelectMesh(document, s);
    else
      RaiseBadSelection(text, ": unknown kind \"" + s.kind + "\"; use one of " + Kinds());
  }
}

}  // namespace vlm::host
