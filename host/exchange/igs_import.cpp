// The export undone: blocks become groups, meshes objects, material records materials with the
// custom fields that build them again.
#include "exchange/igs_import.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <set>

#include "vlm/error.h"
#include "vlm/text.h"
#include "vlm/text_encoding.h"

namespace vlm::host {
namespace {

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

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// The file's 8-bit text as UTF-8.
std::string FromAnsi(std::string_view bytes) {
  std::string out;
  for (char c : bytes)
    text::AppendUtf8(out, static_cast<unsigned char>(c));
  return out;
}

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

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

// A float as a parameter value that reads back as the same float.
std::string FloatText(float value) {
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value));
  return std::string(buffer, end);
}

bool SameBits(float a, float b) {
  return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
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

// ---- materials ----

struct MaterialSlots {
  int32_t railSim, alpha, priority, extra;
};

// The texture stages a shader gives a material, after stage 0: which map each shows.
enum class Map { Diffuse, Bump, Specular, Detail, Environment };
std::vector<Map> StagesOf(const std::string& shader) {
  std::vector<Map> maps{Map::Diffuse};
  if (Contains(shader, "WeatherEffects")) maps.push_back(Map::Diffuse);
  if (Contains(shader, "Bump") || Contains(shader, "WeatherEffects")) maps.push_back(Map::Bump);
  if (Contains(shader, "Specular")) maps.push_back(Map::Specular);
  if (Contains(shader, "LightMap")) maps.push_back(Map::Detail);
  if (Contains(shader, "Water") || Contains(shader, "Env") || Contains(shader, "Glass"))
    maps.push_back(Map::Environment);
  return maps;
}

class MaterialMaker {
 public:
  MaterialMaker(HostDocument& doc, const std::string& folder, std::vector<std::string>& log)
      : doc_(doc), folder_(folder), log_(log) {
    slots_ = {doc.DefineMaterialField("Rail Sim"), doc.DefineMaterialField("Tx Alpha"),
              doc.DefineMaterialField("Alpha Pr"), doc.DefineMaterialField("RailSimX")};
  }

  HostMaterial& Make(const IgsMaterialRecord& r) {
    HostMaterial& m = doc_.NewMaterial(FromAnsi(r.name));
    params_.clear();
    const std::string shader = FromAnsi(r.shader);
    if (shader != "TexDiff") m.SetCustomField(slots_.railSim, shader);
    std::string alpha;
    int32_t zbuffermode = 1;
    if (r.transparency == 1) {
      alpha = "transparency";
    } else if (r.zbuffermode == 3) {
      alpha = "translucency";
      zbuffermode = 3;
    }
    if (!alpha.empty()) m.SetCustomField(slots_.alpha, alpha);
    if (r.alphaPriority != 0) m.SetCustomField(slots_.priority, std::to_string(r.alphaPriority));

    m.ambient = {r.ambient[0], r.ambient[1], r.ambient[2]};
    m.emissive = {r.emissive[0], r.emissive[1], r.emissive[2]};
    m.diffuse = {r.diffuse[0], r.diffuse[1], r.diffuse[2]};
    if (r.diffuse[3] < 1.0f && r.diffuse[3] >= 0.0f)
      m.translucency = static_cast<int32_t>(std::lround((1.0f - r.diffuse[3]) * 100.0f));

    // The texture folder, from the first stage's reference: "textures\wood".
    std::string textureFolder = "textures\\";
    if (!r.stages.empty() && !r.stages[0].textureName.empty()) {
      const std::string& name = r.stages[0].textureName;
      const size_t slash = name.rfind('\\');
      textureFolder = slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
    }
    if (textureFolder != "textures\\") Param("texturepath", FromAnsi(textureFolder));
    IntParam("zbias", r.zbias, 0);
    IntParam("zbuffermode", r.zbuffermode, zbuffermode);
    IntParam("vismod", r.vismod, 100);
    const int32_t viewfacing =
        Contains(shader, "ViewFacing") ? (Contains(shader, "Upright") ? 2 : 1) : 0;
    IntParam("viewfacing", r.viewfacing, viewfacing);
    IntParam("neverocclude", r.neverocclude, 0);

    // Gloss gives the specular value 1 and stage 0's arg0 = (250 - gloss) / 2 with a shader
    // that names "Spec"; other values come as parameters.
    const bool spec = Contains(shader, "Spec");
    float arg0 = 0;
    if (spec && r.specular > 0) {
      const float wanted = r.stages.empty() ? 0.0f : r.stages[0].arg[0];
      const float gloss = 250.0f - 2.0f * wanted;
      if (gloss >= 0.001f && SameBits((250.0f - gloss) / 2.0f, wanted)) {
        m.gloss = gloss;
        arg0 = wanted;
      } else {
        m.gloss = 1.0f;
        arg0 = (250.0f - 1.0f) / 2.0f;
      }
      if (r.specular != 1.0f) Param("specularpower", FloatText(r.specular));
    }
    IntParam("TwoSided", r.twoSided, 0);
    IntParam("BackFacecull", r.backFacecull, 1);

    // The stages: their textures and the parameters that differ from a new stage's.
    const std::vector<Map> maps = StagesOf(shader);
    if (r.stages.size() != maps.size())
      log_.push_back("material \"" + m.name + "\": " + std::to_string(r.stages.size()) +
                     " texture stages where its shader gives " + std::to_string(maps.size()) +
                     "; it will not be written back the same");
    m.hasTextures = true;
    for (size_t n = 0; n < r.stages.size(); ++n) {
      const IgsStageRecord& s = r.stages[n];
      const float bias = n == 0 ? (Contains(shader, "Shadow") ? 0.0f : -2.0f) : -1.0f;
      const std::string k = "r" + std::to_string(n);
      IntParam(k + "AnimateUV", s.animateUV, 0);
      IntParam(k + "filtermode", s.filtermode, 3);
      IntParam(k + "fps", s.fps, 20);
      IntParam(k + "frames", s.frames, 0);
      IntParam(k + "ScrollUVs", s.scrollUVs, 0);
      FloatParam(k + "scrollu", s.scrollu, 0);
      FloatParam(k + "scrollv", s.scrollv, 0);
      FloatParam(k + "miplodbias", s.miplodbias, bias);
      for (size_t a = 0; a < 5; ++a)
        FloatParam(k + "arg" + std::to_string(a), s.arg[a], n == 0 && a == 0 ? arg0 : 0.0f);
      if (n >= maps.size() || s.textureName.empty() || (n == 1 && maps[n] == Map::Diffuse))
        continue;
      const std::string file = TextureFile(s.textureName);
      switch (maps[n]) {
        case Map::Diffuse:
          m.diffuseMap = file;
          break;
        case Map::Bump:
          m.bumpMap = file;
          break;
        case Map::Specular:
          m.specularMap = file;
          break;
        case Map::Detail:
          m.detailMap = file;
          break;
        case Map::Environment:
          m.environmentMap = file;
          break;
      }
    }
    std::string extra;
    for (const std::string& p : params_)
      extra += (extra.empty() ? "" : ";") + p;
    if (!extra.empty()) m.SetCustomField(slots_.extra, extra);
    return m;
  }

 private:
  void Param(const std::string& key, const std::string& value) {
    params_.push_back(key + "=" + value);
  }
  void IntParam(const std::string& key, int32_t value, int32_t standard) {
    if (value != standard) Param(key, std::to_string(value));
  }
  void FloatParam(const std::string& key, float value, float standard) {
    if (!SameBits(value, standard) && std::isfinite(value)) Param(key, FloatText(value));
  }

  // The texture file a reference stands for: the file of that name with any extension in the
  // reference's folder below the IGS file, or the name with ".dds". The exporter makes the
  // reference again from the name without its extension.
  std::string TextureFile(const std::string& reference) {
    const size_t slash = reference.rfind('\\');
    const std::string name =
        FromAnsi(slash == std::string::npos ? reference : reference.substr(slash + 1));
    if (!folder_.empty()) {
      std::string sub = slash == std::string::npos ? std::string() : reference.substr(0, slash);
      std::replace(sub.begin(), sub.end(), '\\', '/');
      std::error_code ec;
      const std::filesystem::path dir = std::filesystem::path(folder_) / FromAnsi(sub);
      for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end;
           it.increment(ec)) {
        const std::filesystem::path p = it->path();
        if (p.has_extension() && Lower(p.stem().string()) == Lower(name) &&
            Lower(p.filename().string()) != Lower(name))
          return p.filename().string();
      }
    }
    return name + ".dds";
  }

  HostDocument& doc_;
  const std::string& folder_;
  std::vector<std::string>& log_;
  MaterialSlots slots_{};
  std::vector<std::string> params_;
};

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
