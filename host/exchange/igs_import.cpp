// The export undone: blocks become groups, meshes objects, material records materials with the
// custom fields that build them again.
#include "exchange/igs_import.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <climits>
#include <cmath>
#include <map>
#include <optional>
#include <set>

#include "exchange/igs_materials.h"
#include "vlm/error.h"
#include "vlm/text.h"

namespace vlm::host {
namespace {

using igs::FromAnsi;
using igs::MaterialMaker;

// The distances of the automatic levels of detail, and of the last level of the others.
constexpr int32_t kAutomaticLevels[] = {100, 400, 1000};
constexpr int32_t kFarthest = 1000;
// A shape is too small to be seen from d metres when two of its extents are below d / 1200.
constexpr float kDistancePerMetre = 1200.0f;
// Groups nested deeper than this would not read back from the scene file.
constexpr int kMaxDepth = 200;
// The most tries to fit one group's frame to its block's.
constexpr int64_t kFitTriesPerBlock = 6000;

enum class Levels { None, Automatic, Custom, Other };

bool IsNumber(std::string_view text) {
  // The exporter's test: a decimal number, blanks around it allowed.
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
    text.remove_suffix(1);
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) text.remove_prefix(1);
  if (text.empty() || !((text[0] >= '0' && text[0] <= '9') || text[0] == '.')) return false;
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

std::string Prefix(int32_t level, int32_t distance) {
  const std::string digits = std::to_string(static_cast<int64_t>(distance) + 10000);
  return std::to_string(level) + "_" + digits.substr(digits.size() - 4) + "_";
}

// The block name the exporter gives a node whose base name is `base`.
std::string BlockName(const std::string& base, int32_t level, int32_t distance, Levels mode) {
  const std::string prefix = Prefix(level, distance);
  const std::vector<std::string> parts = SplitAt(base, '_');
  if (parts.size() < 3 || !IsNumber(parts[0]) || !IsNumber(parts[1])) return prefix + base;
  if (mode != Levels::Automatic) return base;
  std::string name = prefix + parts[2];
  for (size_t k = 3; k < parts.size() && k <= 4; ++k)
    name += "_" + parts[k];
  return name;
}

std::string Trimmed(const std::string& text) {
  const size_t start = text.find_first_not_of(" \t");
  if (start == std::string::npos) return {};
  return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

// A node's name and its "Rail Sim" text that make the exporter name its block `block`.
struct NodeName {
  std::string name, field;
};

NodeName NameFor(const std::string& block, int32_t level, int32_t distance, Levels mode) {
  const std::string prefix = Prefix(level, distance);
  if (mode == Levels::Other || level == 0) return {block, {}};
  auto fits = [&](const NodeName& n) {
    std::string base = Trimmed(n.field);
    if (base.empty()) {
      base = n.name;
      if (mode == Levels::Custom) base = base.substr(0, base.find('.'));
    }
    return BlockName(base, level, distance, mode) == block;
  };
  std::vector<NodeName> candidates;
  if (block.starts_with(prefix)) {
    const std::string base = block.substr(prefix.size());
    candidates.push_back({base, {}});
    candidates.push_back({base, base});
  }
  candidates.push_back({block, {}});
  candidates.push_back({block, block});
  for (const NodeName& n : candidates)
    if (!n.name.empty() && fits(n)) return n;
  return {block, {}};
}

// ---- geometry ----

Vec3 V3(const std::array<float, 3>& a) {
  return {a[0], a[1], a[2]};
}

struct VecKey {
  uint32_t x, y, z;
  auto operator<=>(const VecKey&) const = default;
};
VecKey KeyOf(Vec3 v) {
  return {std::bit_cast<uint32_t>(v.x), std::bit_cast<uint32_t>(v.y), std::bit_cast<uint32_t>(v.z)};
}

// Whether a shape of these bounds is drawn from `distance` metres.
bool Visible(Vec3 low, Vec3 high, int32_t distance) {
  if (distance < 101) return true;
  const float smallest = static_cast<float>(distance) / kDistancePerMetre;
  const Vec3 e{high.x - low.x, high.y - low.y, high.z - low.z};
  return (e.x < smallest) + (e.y < smallest) + (e.z < smallest) < 2;
}

class Importer {
 public:
  Importer(const IgsContents& igs, const std::string& folder, const ImportOptions& options,
           ImportedModel& out)
      : igs_(igs),
        options_(options),
        out_(out),
        doc_(*out.document),
        materials_(doc_, folder, out.log) {}

  void Run() {
    doc_.units = 0;
    for (const IgsMaterialRecord& r : igs_.materials)
      materialOf_.push_back(&materials_.Make(r));
    railSimNode_ = doc_.DefineNodeField("Rail Sim");
    children_.resize(igs_.blocks.size());
    for (size_t c = 0; c < igs_.blocks.size(); ++c)
      if (igs_.blocks[c].parent >= 0)
        children_[static_cast<size_t>(igs_.blocks[c].parent)].push_back(static_cast<int32_t>(c));
    const std::vector<int32_t> top = igs_.TopBlocks();
    if (top.empty()) Raise(err::InvalidProcedureCall, igs_.origin + ": the file holds no block");
    mode_ = ModeOf(top);
    static const char* kModes[] = {"none", "automatic (100, 400, 1000 m)", "custom", "unknown"};
    std::string levels;
    for (int32_t b : top)
      levels += (levels.empty() ? "" : ", ") +
                std::to_string(igs_.blocks[static_cast<size_t>(b)].distance);
    out_.log.push_back("levels of detail: " + std::string(kModes[static_cast<int>(mode_)]) +
                       (mode_ == Levels::Other ? "" : "; level distances " + levels));
    if (mode_ == Levels::Automatic) {
      const IgsBlockRecord& first = igs_.blocks[static_cast<size_t>(top[0])];
      std::vector<int32_t> farther(top.begin() + 1, top.end());
      Block(top[0], doc_.Root(), first.level, first.distance, farther, 1);
    } else {
      for (int32_t b : top) {
        const IgsBlockRecord& block = igs_.blocks[static_cast<size_t>(b)];
        Block(b, doc_.Root(), block.level, block.distance, {}, 1);
      }
    }
    if (!options_.name.empty() && !doc_.Root().children.empty())
      doc_.Root().children[0]->name = options_.name;
  }

 private:
  Levels ModeOf(const std::vector<int32_t>& top) const {
    auto block = [&](size_t k) -> const IgsBlockRecord& {
      return igs_.blocks[static_cast<size_t>(top[k])];
    };
    for (size_t k = 0; k < top.size(); ++k)
      if (block(k).level != static_cast<int32_t>(k) + 1) return Levels::Other;
    if (top.size() == 1 && block(0).distance == kFarthest) return Levels::None;
    bool automatic = top.size() <= 3;
    const std::string base = block(0).name.substr(std::min<size_t>(7, block(0).name.size()));
    for (size_t k = 0; automatic && k < top.size(); ++k)
      automatic = block(k).distance == kAutomaticLevels[k] &&
                  block(k).name.substr(std::min<size_t>(7, block(k).name.size())) == base;
    if (automatic) return Levels::Automatic;
    // Custom levels reach each to the next level node's number, those numbers in order (two
    // nodes may share one: 300, 1000, 1000), and the last level to 1000 whatever the one
    // before it.
    if (block(top.size() - 1).distance != kFarthest) return Levels::Other;
    for (size_t k = 1; k + 1 < top.size(); ++k)
      if (block(k).distance < block(k - 1).distance) return Levels::Other;
    return Levels::Custom;
  }

  // The block `b` as a group under `parent`, then its children. `farther` holds the blocks
  // that stand for the same node at the farther automatic levels.
  void Block(int32_t b, HostNode& parent, int32_t level, int32_t distance,
             const std::vector<int32_t>& farther, int depth) {
    const IgsBlockRecord& block = igs_.blocks[static_cast<size_t>(b)];
    if (depth > kMaxDepth)
      Raise(err::InvalidProcedureCall,
            igs_.origin + ": block " + std::to_string(b) + " at byte " +
                std::to_string(block.offset) + ": the blocks are nested more than " +
                std::to_string(kMaxDepth) + " deep, deeper than a scene file holds");
    const NodeName n = NameFor(block.name, level, distance, mode_);
    HostNode& group = doc_.NewNode(parent, FromAnsi(n.name));
    if (!n.field.empty()) group.SetField(railSimNode_, FromAnsi(n.field));
    if (block.parent >= 0) {
      const auto& t = block.transform;
      const float s = options_.scale;
      group.position = {t[12] * s, t[13] * s, t[14] * s};
      group.up = {t[4], t[5], t[6]};
      group.forward = {t[8], t[9], t[10]};
      if (s == 1.0f) FitFrame(group, parent, block);
    }
    for (int32_t mesh : block.meshes)
      Mesh(igs_.meshes[static_cast<size_t>(mesh)], group, FarMeshes(farther));
    // Children in block order: a parent may list only 24 of them.
    for (int32_t c : children_[static_cast<size_t>(b)])
      Block(c, group, level, distance, FarChildren(farther, static_cast<size_t>(c)), depth + 1);
  }

  // The exporter works out a block's frame from the node's and its parent's world frames,
  // which rounds: the group's frame is moved by a few units in the last place until the
  // frame worked out is the block's, bit for bit, where that can be found.
  void FitFrame(HostNode& group, HostNode& parent, const IgsBlockRecord& block) {
    for (float v : block.transform)
      if (!std::isfinite(v)) return;
    // Each try works the frames out again: a few thousand for a block, a few million in all.
    int64_t tries = 0;
    auto distance = [&]() -> int64_t {
      if (++tries > kFitTriesPerBlock || --fitBudget_ < 0) return INT64_MAX;
      const Mat4 m = Transpose(group.AsNode().GetMatrix(&parent.AsNode(), 0));
      int64_t d = 0;
      for (size_t k = 0; k < 16; ++k)
        d += std::llabs(Ordered(m.m[k]) - Ordered(block.transform[k]));
      return d;
    };
    float* values[9] = {&group.position.x, &group.position.y, &group.position.z,
                        &group.up.x,       &group.up.y,       &group.up.z,
                        &group.forward.x,  &group.forward.y,  &group.forward.z};
    int64_t best = distance();
    if (best == INT64_MAX) return;
    // Each value alone first, then pairs of them: the frame is a few places from the one the
    // block was worked out from.
    for (int round = 0; round < 64 && best > 0; ++round) {
      bool better = false;
      for (float* v : values)
        for (int steps = -8; steps <= 8; ++steps) {
          const float before = *v;
          *v = Step(before, steps);
          const int64_t d = distance();
          if (d < best) {
            best = d;
            better = true;
          } else {
            *v = before;
          }
        }
      for (size_t i = 0; i < 9 && !better && best > 0; ++i)
        for (size_t j = i + 1; j < 9 && !better; ++j)
          for (int si = -3; si <= 3 && !better; ++si)
            for (int sj = -3; sj <= 3 && !better; ++sj) {
              const float bi = *values[i], bj = *values[j];
              *values[i] = Step(bi, si);
              *values[j] = Step(bj, sj);
              const int64_t d = distance();
              if (d < best) {
                best = d;
                better = true;
              } else {
                *values[i] = bi;
                *values[j] = bj;
              }
            }
      if (!better) break;
    }
    if (best > 0)
      out_.log.push_back("the frame of \"" + group.name +
                         "\" differs from its block's in the last " +
                         "digits; written again it will not be the same bit for bit");
  }

  // A float's place among all floats, in order.
  static int64_t Ordered(float f) {
    const int32_t bits = std::bit_cast<int32_t>(f);
    return bits < 0 ? static_cast<int64_t>(INT32_MIN) - bits : bits;
  }
  // The float `steps` places after `f` (before it when negative).
  static float Step(float f, int steps) {
    for (int k = 0; k < std::abs(steps); ++k)
      f = std::nextafter(f, steps > 0 ? INFINITY : -INFINITY);
    return f;
  }

  // The meshes of the farther levels' blocks.
  std::vector<const IgsMeshRecord*> FarMeshes(const std::vector<int32_t>& farther) const {
    std::vector<const IgsMeshRecord*> meshes;
    for (int32_t f : farther) {
      if (f < 0) break;
      const auto& refs = igs_.blocks[static_cast<size_t>(f)].meshes;
      meshes.push_back(refs.empty() ? nullptr : &igs_.meshes[static_cast<size_t>(refs[0])]);
    }
    return meshes;
  }

  // For the child `c` of a first-level block, the child of each farther block that stands for
  // the same node (the first one not yet taken with the same name after its level), or -1.
  std::vector<int32_t> FarChildren(const std::vector<int32_t>& farther, size_t c) {
    std::vector<int32_t> out;
    const std::string& name = igs_.blocks[c].name;
    const std::string base = name.substr(std::min<size_t>(7, name.size()));
    for (int32_t f : farther) {
      int32_t found = -1;
      if (f >= 0)
        for (int32_t k : children_[static_cast<size_t>(f)]) {
          if (taken_.count(k)) continue;
          const std::string& other = igs_.blocks[static_cast<size_t>(k)].name;
          if (other.substr(std::min<size_t>(7, other.size())) == base) {
            found = k;
            taken_.insert(found);
          }
          break;
        }
      out.push_back(found);
    }
    return out;
  }

  static bool SameTriangle(const IgsMeshRecord& a, const IgsTriangleRecord& s,
                           const IgsMeshRecord& b, const IgsTriangleRecord& t) {
    if (s.material != t.material) return false;
    for (size_t k = 0; k < 3; ++k) {
      const IgsVertexRecord& u = a.vertices[static_cast<size_t>(s.vertices[k])];
      const IgsVertexRecord& v = b.vertices[static_cast<size_t>(t.vertices[k])];
      if (u.position != v.position || u.normal != v.normal || u.texCoords[0] != v.texCoords[0])
        return false;
    }
    return true;
  }

  // For each triangle of `mesh`, the number of farther levels that still draw it: the meshes
  // of farther levels hold whole shapes of the nearer one, in order.
  std::vector<int> FartherLevels(const IgsMeshRecord& mesh,
                                 const std::vector<const IgsMeshRecord*>& farther) {
    std::vector<int> levels(mesh.triangles.size(), 0);
    std::vector<size_t> kept(mesh.triangles.size());
    for (size_t t = 0; t < kept.size(); ++t)
      kept[t] = t;
    for (size_t f = 0; f < farther.size(); ++f) {
      if (!farther[f]) break;
      const IgsMeshRecord& far = *farther[f];
      std::vector<size_t> next;
      size_t j = 0;
      for (size_t t : kept)
        if (j < far.triangles.size() &&
            SameTriangle(mesh, mesh.triangles[t], far, far.triangles[j])) {
          ++levels[t];
          next.push_back(t);
          ++j;
        }
      if (j != far.triangles.size()) {
        out_.log.push_back("a mesh of level " + std::to_string(f + 2) +
                           " is not a part of its first level's mesh; its shapes are not told "
                           "apart");
        return std::vector<int>(mesh.triangles.size(), 0);
      }
      kept = std::move(next);
    }
    return levels;
  }

  void Mesh(const IgsMeshRecord& mesh, HostNode& group,
            const std::vector<const IgsMeshRecord*>& farther) {
    if (mesh.triangles.empty() && mesh.min == std::array<float, 3>{} &&
        mesh.max == std::array<float, 3>{})
      return;
    // Pieces of consecutive triangles drawn to the same level, each a fan or more, and small
    // ones cut where together they would be seen farther than each was.
    const std::vector<int> levels = mode_ == Levels::Automatic
                                        ? FartherLevels(mesh, farther)
                                        : std::vector<int>(mesh.triangles.size(), 0);
    std::vector<std::pair<size_t, size_t>> pieces;  // [first, end)
    Vec3 low{}, high{};
    for (size_t t = 0; t < mesh.triangles.size();) {
      size_t end = t + 1;
      while (end < mesh.triangles.size() && mesh.triangles[end].fanFlag != 1)
        ++end;
      Vec3 fanLow = V3(mesh.vertices[static_cast<size_t>(mesh.triangles[t].vertices[0])].position);
      Vec3 fanHigh = fanLow;
      for (size_t k = t; k < end; ++k)
        for (int32_t v : mesh.triangles[k].vertices) {
          const Vec3 p = V3(mesh.vertices[static_cast<size_t>(v)].position);
          fanLow = {std::min(fanLow.x, p.x), std::min(fanLow.y, p.y), std::min(fanLow.z, p.z)};
          fanHigh = {std::max(fanHigh.x, p.x), std::max(fanHigh.y, p.y), std::max(fanHigh.z, p.z)};
        }
      bool join = !pieces.empty() && levels[pieces.back().first] == levels[t];
      const int drawnTo = levels[t] + 1;  // levels 1 to drawnTo draw it
      if (join && mode_ == Levels::Automatic && drawnTo < 3) {
        const Vec3 l{std::min(low.x, fanLow.x), std::min(low.y, fanLow.y),
                     std::min(low.z, fanLow.z)};
        const Vec3 h{std::max(high.x, fanHigh.x), std::max(high.y, fanHigh.y),
                     std::max(high.z, fanHigh.z)};
        if (Visible(l, h, kAutomaticLevels[drawnTo])) join = false;
      }
      if (join) {
        pieces.back().second = end;
        low = {std::min(low.x, fanLow.x), std::min(low.y, fanLow.y), std::min(low.z, fanLow.z)};
        high = {std::max(high.x, fanHigh.x), std::max(high.y, fanHigh.y),
                std::max(high.z, fanHigh.z)};
      } else {
        pieces.push_back({t, end});
        low = fanLow, high = fanHigh;
      }
      t = end;
    }
    if (pieces.empty()) pieces.push_back({0, 0});
    for (size_t p = 0; p < pieces.size(); ++p) {
      HostMesh& object = doc_.NewMesh(group, group.name);
      Piece(mesh, pieces[p].first, pieces[p].second, object, p + 1 == pieces.size());
    }
  }

  void Piece(const IgsMeshRecord& mesh, size_t first, size_t end, HostMesh& object, bool last) {
    const float s = options_.scale;
    std::map<VecKey, int32_t> positions, normals;
    std::map<std::pair<uint32_t, uint32_t>, int32_t> uvs;
    auto position = [&](Vec3 p) {
      const auto [it, added] =
          positions.emplace(KeyOf(p), static_cast<int32_t>(object.vertices.size()));
      if (added) object.vertices.push_back(p);
      return it->second;
    };
    int32_t key = -1;  // the position the current fan turns round
    std::vector<HostPoint> corners(3);
    for (size_t t = first; t < end; ++t) {
      const IgsTriangleRecord& tri = mesh.triangles[t];
      // Stored corners 0, 2, 1: the host's corners are stored 0, 2, 1.
      const int32_t order[3] = {tri.vertices[0], tri.vertices[2], tri.vertices[1]};
      for (size_t c = 0; c < 3; ++c) {
        const IgsVertexRecord& v = mesh.vertices[static_cast<size_t>(order[c])];
        const Vec3 p{v.position[0] * s, v.position[1] * s, v.position[2] * s};
        int32_t at = position(p);
        if (c == 0) {
          // The exporter starts a fan where the first corner's position changes: a triangle
          // that starts one gets a position of its own even where the value is the same.
          if (tri.fanFlag == 1 && at == key) {
            at = static_cast<int32_t>(object.vertices.size());
            object.vertices.push_back(p);
            positions[KeyOf(p)] = at;
          } else if (tri.fanFlag != 1 && key >= 0 &&
                     KeyOf(object.vertices[static_cast<size_t>(key)]) == KeyOf(p)) {
            at = key;
          }
          key = at;
        }
        const Vec3 n = V3(v.normal);
        const auto [ni, nAdded] =
            normals.emplace(KeyOf(n), static_cast<int32_t>(object.normals.size()));
        if (nAdded) object.normals.push_back(n);
        const Vec2 uv{v.texCoords[0][0], v.texCoords[0][1]};
        const auto [ui, uAdded] =
            uvs.emplace(std::pair{std::bit_cast<uint32_t>(uv.u), std::bit_cast<uint32_t>(uv.v)},
                        static_cast<int32_t>(object.uvs.size()));
        if (uAdded) object.uvs.push_back(uv);
        corners[c] = {at, ni->second, ui->second};
      }
      object.AddFace(corners, materialOf_.at(static_cast<size_t>(tri.material)));
    }
    // The mesh's box holds every position of the shapes it came from, also those no face
    // uses: such corners are given back as positions of the last piece.
    if (!last) return;
    const Vec3 low{mesh.min[0] * s, mesh.min[1] * s, mesh.min[2] * s};
    const Vec3 high{mesh.max[0] * s, mesh.max[1] * s, mesh.max[2] * s};
    bool any = false;
    Vec3 l{}, h{};
    for (const IgsTriangleRecord& t : mesh.triangles)
      for (int32_t v : t.vertices) {
        const auto& q = mesh.vertices[static_cast<size_t>(v)].position;
        const Vec3 p{q[0] * s, q[1] * s, q[2] * s};
        if (!any) l = h = p, any = true;
        l = {std::min(l.x, p.x), std::min(l.y, p.y), std::min(l.z, p.z)};
        h = {std::max(h.x, p.x), std::max(h.y, p.y), std::max(h.z, p.z)};
      }
    if (!any || KeyOf(l) != KeyOf(low)) object.vertices.push_back(low);
    if (!any || KeyOf(h) != KeyOf(high)) object.vertices.push_back(high);
  }

  const IgsContents& igs_;
  const ImportOptions& options_;
  ImportedModel& out_;
  HostDocument& doc_;
  MaterialMaker materials_;
  std::vector<HostMaterial*> materialOf_;
  int32_t railSimNode_ = -1;
  Levels mode_ = Levels::None;
  std::set<int32_t> taken_;
  int64_t fitBudget_ = 4'000'000;               // tries left for fitting frames
  std::vector<std::vector<int32_t>> children_;  // of each block, in block order
};

}  // namespace

ImportedModel ImportIgs(const IgsContents& igs, const std::string& folder,
                        const ImportOptions& options) {
  if (!(options.scale > 0) || !std::isfinite(options.scale))
    Raise(err::InvalidProcedureCall, "the scale must be a positive number");
  ImportedModel out;
  out.document = std::make_unique<HostDocument>();
  Importer(igs, folder, options, out).Run();
  for (const std::string& note : igs.notes)
    out.log.push_back(igs.origin + ": " + note);
  return out;
}

}  // namespace vlm::host
