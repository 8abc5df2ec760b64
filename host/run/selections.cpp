// --select: the selection a run starts from, written as kind:PATH[:i,j,...].
#include "run/selections.h"

#include <fnmatch.h>

#include <charconv>
#include <cmath>
#include <functional>
#include <numbers>
#include <set>
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
constexpr std::string_view kRuleStarts[] = {"facing=", "material=", "name=", "box=", "all"};

bool StartsRule(std::string_view text) {
  for (std::string_view start : kRuleStarts)
    if (text.starts_with(start)) return start != "all" || text.size() == 3 || text[3] == '&';
  return false;
}

std::string RuleNames() {
  return "facing=AXIS[,within=DEG], material=PATTERN, name=PATTERN, box=x0,y0,z0,x1,y1,z1, all";
}

bool IsFaceKind(const std::string& kind) {
  return kind == "faces" || kind == "polygons";
}

// Whether a name fits a rule's pattern: the name itself, or a shell-style wildcard pattern
// ("*" any text, "?" one character, "[...]" one of a set, "\*" a "*" itself).
bool Fits(const std::string& name, const std::string& pattern) {
  return name == pattern || ::fnmatch(pattern.c_str(), name.c_str(), 0) == 0;
}

std::string Kinds() {
  return "group:, object:, faces:, node:, shape:, polygons:";
}

[[noreturn]] void RaiseBadSelection(const std::string& selection, const std::string& problem) {
  Raise(err::InvalidProcedureCall, "selection \"" + selection + "\"" + problem);
}

// A selection as a message quotes it: whole up to 80 bytes, else its start and end around
// "...", cut between characters.
std::string Shortened(std::string_view text) {
  constexpr size_t kHead = 56, kTail = 20;
  if (text.size() <= 80) return std::string(text);
  const auto continues = [&](size_t at) {
    return (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80;
  };
  size_t head = kHead, tail = text.size() - kTail;
  while (head > 0 && continues(head))
    --head;
  while (tail < text.size() && continues(tail))
    ++tail;
  return std::string(text.substr(0, head)) + "..." + std::string(text.substr(tail));
}

// 15999 as "15,999".
std::string Grouped(size_t n) {
  std::string digits = std::to_string(n);
  for (size_t at = digits.size(); at > 3; at -= 3)
    digits.insert(at - 3, ",");
  return digits;
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
  // Groups and objects may be chosen by name below PATH: group:PATH:name=PATTERN.
  if (const size_t last = s.path.rfind(':');
      !IsFaceKind(s.kind) && last != std::string::npos &&
      std::string_view(s.path).substr(last + 1).starts_with("name=")) {
    s.rules = s.path.substr(last + 1);
    s.path.resize(last);
    return s;
  }
  if (IsFaceKind(s.kind)) {
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
  // A tool would work twice on a face listed twice: it is selected once, and one warning
  // stands for every repeat of the selection, however many.
  if (!repeats.empty())
    Warn("--select " + Shortened(s.text) + ": " + Grouped(repeats.size()) + " repeated " +
         (repeats.size() == 1 ? "index" : "indices") +
         " ignored (first: " + std::to_string(repeats.front()) + ")");
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

// The faces of the materials whose names fit the pattern ("material=": of none).
FaceTest MaterialRule(std::string_view rule, const HostDocument& document, const Selection& s) {
  const std::string pattern(rule.substr(9));
  std::set<const HostMaterial*> fitting;
  for (const auto& m : document.Materials())
    if (Fits(m->name, pattern)) fitting.insert(m.get());
  if (!pattern.empty() && fitting.empty()) {
    std::string known;
    for (const auto& m : document.Materials())
      known += (known.empty() ? "\"" : ", \"") + m->name + "\"";
    RaiseBadSelection(s.text, ": the scene has no material \"" + pattern + "\"" +
                                  (known.empty() ? " (it has none)" : "; its materials: " + known));
  }
  return [fitting = std::move(fitting), none = pattern.empty()](const HostMesh& mesh,
                                                                const WorldFace& f) {
    const HostMaterial* m = mesh.FaceMaterial(f.index);
    return m ? fitting.contains(m) : none;
  };
}

// The faces of the objects whose names fit the pattern.
FaceTest NameRule(std::string_view rule) {
  return [pattern = std::string(rule.substr(5)), last = static_cast<const HostMesh*>(nullptr),
          fits = false](const HostMesh& mesh, const WorldFace&) mutable {
    if (last != &mesh) last = &mesh, fits = Fits(mesh.name, pattern);
    return fits;
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
    else if (rule.starts_with("name="))
      tests.push_back(NameRule(rule));
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

void GroupsBelow(HostNode& node, std::vector<HostNode*>& out) {
  out.push_back(&node);
  for (const auto& child : node.children)
    GroupsBelow(*child, out);
}

// group:PATH:name=PATTERN (node:), object:PATH:name=PATTERN (shape:): the groups, or the
// objects, at PATH and below it whose names fit, in the tree's order.
void SelectByName(HostDocument& document, const Selection& s) {
  if (!s.rules.starts_with("name=") || s.rules.find('&') != std::string::npos)
    RaiseBadSelection(s.text, ": " + s.kind + ": takes the one rule name=PATTERN");
  const std::string pattern = s.rules.substr(5);
  const bool groups = s.kind == "group" || s.kind == "node";
  std::string problem;
  std::vector<HostNode*> nodes;
  std::vector<HostMesh*> meshes;
  if (HostNode* node = document.FindGroup(s.path, &problem)) {
    if (groups)
      GroupsBelow(*node, nodes);
    else
      ObjectsBelow(*node, meshes);
  } else if (HostMesh* mesh = groups ? nullptr : document.FindMesh(s.path, nullptr)) {
    meshes.push_back(mesh);
  } else {
    RaiseBadSelection(s.text, ": " + problem);
  }
  size_t selected = 0;
  for (HostNode* node : nodes)
    if (node != &document.Root() && Fits(node->name, pattern)) {
      ++selected;
      (s.kind == "group" ? document.scriptingSelection.groups : document.graphSelection.nodes)
          .push_back(node);
    }
  for (HostMesh* mesh : meshes)
    if (Fits(mesh->name, pattern)) {
      ++selected;
      if (s.kind == "object")
        document.SelectObject(*mesh, 0, {});
      else
        document.SelectShape(*mesh, {});
    }
  if (selected == 0)
    throw SelectsNothing(err::InvalidProcedureCall,
                         "selection \"" + s.text + "\" selects no " +
                             (groups ? "group" : "object") + " (of " +
                             std::to_string(groups ? nodes.size() : meshes.size()) + ")");
}

}  // namespace

void ApplySelections(HostDocument& document, const std::vector<std::string>& selections) {
  if (selections.empty()) return;
  document.ClearSelection();
  for (const std::string& text : selections) {
    Selection s = ParseSelection(text);
    const bool known = s.kind == "group" || s.kind == "node" || s.kind == "object" ||
                       s.kind == "shape" || IsFaceKind(s.kind);
    if (known && !s.rules.empty() && !IsFaceKind(s.kind))
      SelectByName(document, s);
    else if (s.kind == "group" || s.kind == "node")
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
