// lod: simplified copies of one detailed group, one per level of detail, named as the
// exporters' "Custom LODs" find them.
//
// Each object is simplified material by material, so the boundaries between materials stay
// where they are: every such run of faces is a mesh of its own for the simplifier, with its
// open borders locked. Its vertices are the distinct corners (position, normal, texture
// coordinate) of its faces, so a texture seam is two corners at one place, which the
// simplifier keeps apart. Every level is made from the detailed group, not from the level
// before it, so the errors do not add up.
#include <meshoptimizer.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "prep/prep_steps.h"
#include "scene/document.h"
#include "vlm/text.h"

namespace vlm::host {
namespace {

// The exporters' Custom LODs: the last level node's level ends at 1000 m.
constexpr double kExportersFar = 1000;
// Trackline takes at most this many level nodes, the detailed group's own among them.
constexpr size_t kMostLevelNodes = 10;
constexpr uint32_t kNone = UINT32_MAX;
// The simplifier measures its error as a mean distance to the planes of the faces a vertex
// came from, which on real models stays at about a third to a half of the farthest a level
// lies from the detailed surface: it is held to this share of the limit, so that the
// farthest distance stays within it.
constexpr double kErrorShare = 1.0 / 3;

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

// ---- the faces to simplify ----

// One object's faces of one material: their distinct corners and their fan triangles over
// them, as the simplifier takes them.
struct Part {
  HostMaterial* material = nullptr;
  std::vector<HostPoint> corners;
  std::vector<uint8_t> flat;        // by corner: its normal is its face's own (see FlatNormals)
  std::vector<float> positions;     // x, y, z of each corner
  std::vector<uint32_t> triangles;  // three corners each
  float scale = 0;                  // the simplifier's measure of the part's size
  // What the nearer level kept of it, and that level's error.
  mutable std::vector<uint32_t> nearer;
  mutable double nearerError = 0;
  mutable bool simplified = false;
};

// An object of the group, ready to be simplified.
struct ObjectSource {
  const HostMesh* mesh = nullptr;
  std::vector<Part> parts;
  std::vector<size_t> loose;  // faces of fewer than three points: copied as they are
};

// A group of the detailed subtree with its objects.
struct NodeSource {
  const HostNode* node = nullptr;
  std::vector<ObjectSource> objects;
  std::vector<NodeSource> children;
};

struct Counts {
  size_t triangles = 0;
  size_t badFaces = 0;  // faces naming a vertex, normal or texture coordinate that is not there
};

uint64_t CornerHash(const HostPoint& p) {
  uint64_t h = static_cast<uint32_t>(p.vertex) * 0x9E3779B97F4A7C15ull;
  h ^= static_cast<uint32_t>(p.normal + 1) * 0xC2B2AE3D27D4EB4Full;
  h ^= static_cast<uint32_t>(p.uv + 1) * 0x165667B19E3779F9ull;
  return h ^ (h >> 31);
}

bool PointFits(const HostMesh& mesh, const HostPoint& p) {
  return p.vertex >= 0 && static_cast<size_t>(p.vertex) < mesh.vertices.size() && p.normal >= -1 &&
         (p.normal < 0 || static_cast<size_t>(p.normal) < mesh.normals.size()) && p.uv >= -1 &&
         (p.uv < 0 || static_cast<size_t>(p.uv) < mesh.uvs.size());
}

// The normals that are a face's own: every face that names one names it at each of its
// corners. A faceted model gives each face such a normal; kept apart by them, every corner
// would be a seam and nothing could be simplified. So corners are told apart by position and
// texture coordinate where their normal is a face's own, and each simplified face is given its
// own plane's normal again.
std::vector<uint8_t> FlatNormals(const HostMesh& mesh) {
  std::vector<uint8_t> used(mesh.normals.size()), partial(mesh.normals.size());
  for (size_t f = 0; f < mesh.FaceCount(); ++f) {
    if (mesh.FaceRemoved(f)) continue;
    const auto p = mesh.Points(f);
    if (p.empty()) continue;
    const bool one = std::all_of(p.begin(), p.end(),
                                 [&](const HostPoint& q) { return q.normal == p[0].normal; });
    for (const HostPoint& q : p)
      if (q.normal >= 0 && static_cast<size_t>(q.normal) < used.size())
        (one ? used : partial)[static_cast<size_t>(q.normal)] = 1;
  }
  for (size_t n = 0; n < used.size(); ++n)
    used[n] = used[n] && !partial[n];
  return used;
}

ObjectSource GatherObject(const HostMesh& mesh, Counts& counts) {
  ObjectSource object{&mesh, {}, {}};
  const size_t faces = mesh.FaceCount();
  // Each face's part, and the points and triangles of each part.
  std::vector<uint32_t> partOf(faces, kNone);
  std::vector<size_t> points, triangles;
  std::unordered_map<const HostMaterial*, uint32_t> partByMaterial;
  const HostMaterial* lastMaterial = nullptr;
  uint32_t lastPart = kNone;
  for (size_t f = 0; f < faces; ++f) {
    if (mesh.FaceRemoved(f)) continue;
    const auto p = mesh.Points(f);
    if (!std::all_of(p.begin(), p.end(), [&](const HostPoint& q) { return PointFits(mesh, q); })) {
      ++counts.badFaces;
      continue;
    }
    if (p.size() < 3) {
      object.loose.push_back(f);
      continue;
    }
    HostMaterial* material = mesh.FaceMaterial(f);
    if (material != lastMaterial || lastPart == kNone) {
      auto [at, added] =
          partByMaterial.try_emplace(material, static_cast<uint32_t>(object.parts.size()));
      if (added) {
        object.parts.emplace_back();
        object.parts.back().material = material;
        points.push_back(0);
        triangles.push_back(0);
      }
      lastMaterial = material;
      lastPart = at->second;
    }
    partOf[f] = lastPart;
    points[lastPart] += p.size();
    triangles[lastPart] += p.size() - 2;
  }
  // The distinct corners of each part, through a table of its own (open addressing, the
  // corner's number + 1 in each taken slot).
  std::vector<std::vector<uint32_t>> slots(object.parts.size());
  for (size_t k = 0; k < object.parts.size(); ++k) {
    size_t size = 16;
    while (size < 2 * points[k])
      size *= 2;
    slots[k].assign(size, 0);
    object.parts[k].corners.reserve(points[k] / 2 + 4);
    object.parts[k].triangles.reserve(3 * triangles[k]);
    counts.triangles += triangles[k];
  }
  const std::vector<uint8_t> flatNormal = FlatNormals(mesh);
  // A corner as the simplifier tells corners apart: a face's own normal left out.
  const auto key = [&](HostPoint p) {
    if (p.normal >= 0 && flatNormal[static_cast<size_t>(p.normal)]) p.normal = -2;
    return p;
  };
  std::vector<uint32_t> face;
  for (size_t f = 0; f < faces; ++f) {
    if (partOf[f] == kNone) continue;
    Part& part = object.parts[partOf[f]];
    std::vector<uint32_t>& table = slots[partOf[f]];
    const size_t mask = table.size() - 1;
    face.clear();
    for (const HostPoint& point : mesh.Points(f)) {
      const HostPoint p = key(point);
      size_t slot = CornerHash(p) & mask;
      while (table[slot] && key(part.corners[table[slot] - 1]) != p)
        slot = (slot + 1) & mask;
      if (!table[slot]) {
        part.corners.push_back(point);
        part.flat.push_back(p.normal == -2);
        table[slot] = static_cast<uint32_t>(part.corners.size());
      }
      face.push_back(table[slot] - 1);
    }
    // A fan from the first point, as the faces are drawn.
    for (size_t k = 1; k + 1 < face.size(); ++k)
      part.triangles.insert(part.triangles.end(), {face[0], face[k], face[k + 1]});
  }
  for (Part& part : object.parts) {
    part.positions.resize(3 * part.corners.size());
    for (size_t c = 0; c < part.corners.size(); ++c) {
      const Vec3 v = mesh.vertices[static_cast<size_t>(part.corners[c].vertex)];
      part.positions[3 * c] = v.x, part.positions[3 * c + 1] = v.y, part.positions[3 * c + 2] = v.z;
    }
    part.scale =
        meshopt_simplifyScale(part.positions.data(), part.corners.size(), 3 * sizeof(float));
  }
  return object;
}

// The group's subtree, leaving out the groups in `skip`.
NodeSource GatherNode(const HostNode& node, const std::set<const HostNode*>& skip, Counts& counts) {
  NodeSource source{&node, {}, {}};
  for (const auto& mesh : node.meshes)
    source.objects.push_back(GatherObject(*mesh, counts));
  for (const auto& child : node.children)
    if (!skip.contains(child.get())) source.children.push_back(GatherNode(*child, skip, counts));
  return source;
}

// The box around every corner, in the frame of the subtree's top (frames are rigid, so
// lengths are the same in every frame).
void AddToBox(const NodeSource& source, const Mat4& toTop, Vec3& low, Vec3& high) {
  for (const ObjectSource& object : source.objects)
    for (const Part& part : object.parts)
      for (size_t c = 0; c < part.corners.size(); ++c) {
        const Vec3 p = TransformPoint(
            {part.positions[3 * c], part.positions[3 * c + 1], part.positions[3 * c + 2]}, toTop);
        low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
      }
  for (const NodeSource& child : source.children)
    AddToBox(child, Multiply(child.node->LocalMatrix(), toTop), low, high);
}

double SizeOf(const NodeSource& source) {
  Vec3 low{1e30f, 1e30f, 1e30f}, high{-1e30f, -1e30f, -1e30f};
  AddToBox(source, Mat4::Identity(), low, high);
  if (low.x > high.x) return 0;
  return PreciseLength(high - low);
}

// ---- the levels ----

struct LevelOutcome {
  size_t kept = 0, asked = 0;
  double error = 0;  // the largest, in the document's lengths
};

// One object simplified to `ratio` within `limit` (a length), as a new object of `parent`
// that holds only the vertices, normals and texture coordinates its faces use.
void CopyObject(HostDocument& document, HostNode& parent, const ObjectSource& object, double ratio,
                double limit, LevelOutcome& outcome) {
  const HostMesh& mesh = *object.mesh;
  HostMesh& copy = document.NewMesh(parent, mesh.name);
  copy.kind = mesh.kind;
  copy.smoothingAngle = mesh.smoothingAngle;
  std::vector<int32_t> vertexTo(mesh.vertices.size(), -1), normalTo(mesh.normals.size(), -1),
      uvTo(mesh.uvs.size(), -1);
  const auto keep = [&](const HostPoint& p) {
    HostPoint q{-1, -1, -1};
    int32_t& v = vertexTo[static_cast<size_t>(p.vertex)];
    if (v < 0) {
      v = static_cast<int32_t>(copy.vertices.size());
      copy.vertices.push_back(mesh.vertices[static_cast<size_t>(p.vertex)]);
    }
    q.vertex = v;
    if (p.normal >= 0) {
      int32_t& n = normalTo[static_cast<size_t>(p.normal)];
      if (n < 0) {
        n = static_cast<int32_t>(copy.normals.size());
        copy.normals.push_back(mesh.normals[static_cast<size_t>(p.normal)]);
      }
      q.normal = n;
    }
    if (p.uv >= 0) {
      int32_t& t = uvTo[static_cast<size_t>(p.uv)];
      if (t < 0) {
        t = static_cast<int32_t>(copy.uvs.size());
        copy.uvs.push_back(mesh.uvs[static_cast<size_t>(p.uv)]);
      }
      q.uv = t;
    }
    return q;
  };
  std::vector<HostPoint> points;
  std::vector<uint32_t> ends;
  std::vector<HostMaterial*> materials;
  std::vector<uint32_t> kept;
  for (const Part& part : object.parts) {
    const size_t triangles = part.triangles.size() / 3;
    const size_t target = static_cast<size_t>(std::llround(ratio * double(triangles)));
    outcome.asked += target;
    kept.resize(part.triangles.size());
    size_t count = part.triangles.size();
    if (target < triangles && part.scale > 0) {
      float relative = 0;
      count = meshopt_simplify(kept.data(), part.triangles.data(), part.triangles.size(),
                               part.positions.data(), part.corners.size(), 3 * sizeof(float),
                               3 * target, static_cast<float>(kErrorShare * limit / part.scale),
                               meshopt_SimplifyLockBorder, &relative);
      double error = double(relative) * part.scale;
      // Where two levels both stop at the error limit, the simplifier's passes may end a few
      // triangles apart: the farther level then takes the nearer one's, within the limit too.
      if (part.simplified && part.nearer.size() < count) {
        count = part.nearer.size();
        std::copy(part.nearer.begin(), part.nearer.end(), kept.begin());
        error = part.nearerError;
      }
      part.nearer.assign(kept.begin(), kept.begin() + static_cast<std::ptrdiff_t>(count));
      part.nearerError = error;
      part.simplified = true;
      outcome.error = std::max(outcome.error, error);
    } else {
      std::copy(part.triangles.begin(), part.triangles.end(), kept.begin());
    }
    outcome.kept += count / 3;
    for (size_t i = 0; i < count; ++i) {
      HostPoint corner = part.corners[kept[i]];
      if (part.flat[kept[i]]) corner.normal = -1;  // given below
      points.push_back(keep(corner));
      if (i % 3 != 2) continue;
      ends.push_back(static_cast<uint32_t>(points.size()));
      materials.push_back(part.material);
      // The corners whose normal was their face's own take the new face's (none when it
      // encloses no area).
      const std::span<HostPoint> t(points.data() + points.size() - 3, 3);
      if (!part.flat[kept[i - 2]] && !part.flat[kept[i - 1]] && !part.flat[kept[i]]) continue;
      const std::array<Vec3, 3> corners = {copy.vertices[size_t(t[0].vertex)],
                                           copy.vertices[size_t(t[1].vertex)],
                                           copy.vertices[size_t(t[2].vertex)]};
      const Vec3 normal = PolygonNormal(corners);
      if (!IsUsableNormal(normal)) continue;
      copy.normals.push_back(normal);
      for (size_t k = 0; k < 3; ++k)
        if (part.flat[kept[i - 2 + k]]) t[k].normal = static_cast<int32_t>(copy.normals.size() - 1);
    }
  }
  for (size_t f : object.loose) {
    for (const HostPoint& p : mesh.Points(f))
      points.push_back(keep(p));
    ends.push_back(static_cast<uint32_t>(points.size()));
    materials.push_back(mesh.FaceMaterial(f));
  }
  copy.AddFaces(std::move(points), std::move(ends), std::move(materials));
}

void CopyNode(HostDocument& document, HostNode& into, const NodeSource& source, double ratio,
              double limit, LevelOutcome& outcome) {
  for (const ObjectSource& object : source.objects)
    CopyObject(document, into, object, ratio, limit, outcome);
  for (const NodeSource& child : source.children) {
    HostNode& node = document.NewNode(into, child.node->name);
    node.position = child.node->position;
    node.forward = child.node->forward;
    node.up = child.node->up;
    node.animationKeys = child.node->animationKeys;
    node.fields = child.node->fields;
    CopyNode(document, node, child, ratio, limit, outcome);
  }
}

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
