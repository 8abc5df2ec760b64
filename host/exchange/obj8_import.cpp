#include "exchange/obj8_import.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <map>
#include <tuple>

#include "exchange/distinct_values.h"
#include "vlm/error.h"
#include "vlm/obj8_keywords.h"

namespace vlm::host {
namespace {

using exchange::Distinct;

// A distance of a level as its group's name shows it: 300, 0.5.
std::string Distance(float value) {
  char text[32];
  const auto r = std::to_chars(text, text + sizeof text, value);
  return std::string(text, r.ptr);
}

// The name of an object or material after its texture: the file name without its folder and
// extension ("wall" for "tex/wall.png").
std::string TextureStem(const std::string& texture) {
  if (texture.empty()) return "untextured";
  const size_t slash = texture.find_last_of("/\\");
  std::string name = slash == std::string::npos ? texture : texture.substr(slash + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name.empty() ? texture : name;
}

class Builder {
 public:
  Builder(const ImportOptions& options, ImportedModel& out)
      : options_(options), out_(out), document_(*out.document) {}

  void Run(const std::vector<Obj8File>& files) {
    if (!(options_.scale > 0) || !std::isfinite(options_.scale))
      Raise(err::InvalidProcedureCall, "the scale must be a positive number");
    document_.units = 0;
    std::string name = options_.name;
    if (name.empty() && !files.empty())
      name = std::filesystem::path(files.front().origin).stem().string();
    if (name.empty()) name = "Model";
    top_ = &document_.NewNode(document_.Root(), name);
    cullField_ = document_.DefineMaterialField(kObj8CullField);
    // The level groups nearest first, whichever files hold them.
    std::vector<std::pair<float, float>> ranges;
    for (const Obj8File& file : files)
      for (const Obj8Lod& lod : file.lods)
        ranges.emplace_back(lod.nearDistance, lod.farDistance);
    std::sort(ranges.begin(), ranges.end());
    for (const auto& [nearDistance, farDistance] : ranges)
      LevelGroup(nearDistance, farDistance);
    // Wingform makes an object for a texture set when it meets the set's last triangle, the
    // scene's triangles walked last first: the objects come back in the order that, exported
    // again, gives the same files, the last file's first.
    for (auto file = files.rbegin(); file != files.rend(); ++file)
      File(*file);
    int64_t triangles = 0;
    for (const Obj8File& file : files) {
      Report(file);
      triangles += file.TriangleCount();
    }
    if (triangles == 0) out_.log.push_back(name + ": the files hold no triangles");
  }

 private:
  // The state a TRIS command draws with.
  struct State {
    bool cull = true;
  };

  static bool IsCullState(const std::string& keyword) {
    return keyword == obj8::AttrNoCull || keyword == obj8::AttrCull;
  }

  void File(const Obj8File& file) {
    // The TRIS commands of each level (-1 before any ATTR_LOD) and cull state, in the order
    // each pair is first met.
    std::vector<std::pair<std::pair<int32_t, bool>, std::vector<const Obj8Command*>>> batches;
    std::map<std::pair<int32_t, bool>, size_t> batchOf;
    State state;
    int32_t level = -1;
    for (const Obj8Command& c : file.commands) {
      switch (c.kind) {
        case Obj8Command::Kind::Lod:
          level = c.lod;
          state = State();  // a level starts from the format's defaults
          break;
        case Obj8Command::Kind::State:
          if (IsCullState(c.keyword)) state.cull = c.keyword == obj8::AttrCull;
          break;
        case Obj8Command::Kind::Tris:
          if (c.count > 0) {
            const std::pair key{level, state.cull};
            const auto [at, added] = batchOf.try_emplace(key, batches.size());
            if (added) batches.push_back({key, {}});
            batches[at->second].second.push_back(&c);
          }
          break;
      }
    }
    for (const auto& [key, tris] : batches) {
      const auto [lod, cull] = key;
      const Obj8Lod* level = lod < 0 ? nullptr : &file.lods[static_cast<size_t>(lod)];
      HostNode& group = level ? LevelGroup(level->nearDistance, level->farDistance) : *top_;
      Object(file, group, Material(file, cull), tris);
    }
  }

  // One log line of what the file holds that is left out: lines the reader does not know, and
  // state commands other than the cull state.
  void Report(const Obj8File& file) {
    std::map<std::string, int64_t> left = file.unknown;
    for (const Obj8Command& c : file.commands)
      if (c.kind == Obj8Command::Kind::State && !IsCullState(c.keyword)) ++left[c.keyword];
    if (!left.empty()) {
      std::string line = file.origin + ": left out lines the importer does not use:";
      bool first = true;
      for (const auto& [keyword, count] : left) {
        line += (first ? " " : ", ") + keyword + " (" + std::to_string(count) + ")";
        first = false;
      }
      out_.log.push_back(line);
    }
  }

  HostNode& LevelGroup(float nearDistance, float farDistance) {
    const std::string name = "LOD " + Distance(nearDistance) + "-" + Distance(farDistance);
    HostNode*& group = levels_[name];
    if (!group) group = &document_.NewNode(*top_, name);
    return *group;
  }

  HostMaterial& Material(const Obj8File& file, bool cull) {
    const auto key = std::tuple(file.textures[0], file.textures[1], file.textures[2], cull);
    auto [at, added] = materials_.try_emplace(key, nullptr);
    if (!added) return *at->second;
    HostMaterial& m = document_.NewMaterial(
        file.textures[Obj8File::Texture].empty() ? "untextured" : file.textures[Obj8File::Texture]);
    m.diffuseMap = file.textures[Obj8File::Texture];
    m.bumpMap = file.textures[Obj8File::TextureLit];
    m.detailMap = file.textures[Obj8File::TextureNormal];
    m.hasTextures = !m.diffuseMap.empty() || !m.bumpMap.empty() || !m.detailMap.empty();
    m.SetCustomField(cullField_, std::string(cull ? obj8::AttrCull : obj8::AttrNoCull));
    at->second = &m;
    return m;
  }

  // One object of the file's triangles in these TRIS commands. Wingform adds a scene's
  // triangles to the file last first, so they are taken back from the last.
  void Object(const Obj8File& file, HostNode& group, HostMaterial& material,
              const std::vector<const Obj8Command*>& tris) {
    HostMesh& mesh = document_.NewMesh(group, TextureStem(file.textures[Obj8File::Texture]));
    const float s = options_.scale;
    Distinct<Vec3> positions, normals;
    Distinct<Vec2> uvs;
    // The point each vertex of the file became, made on first use.
    std::map<int32_t, HostPoint> points;
    const auto point = [&](int32_t index) {
      auto [at, added] = points.try_emplace(index);
      if (added) {
        const Obj8Vertex& v = file.vertices[static_cast<size_t>(index)];
        // Wingform mirrors z (OBJ8 looks down the other z axis) and counts v from the
        // bottom edge of the image.
        // (+ 0 makes a -0 into 0.)
        const Vec3 p{v.position.x * s + 0.0f, v.position.y * s + 0.0f, -v.position.z * s + 0.0f};
        const Vec3 n{v.normal.x + 0.0f, v.normal.y + 0.0f, -v.normal.z + 0.0f};
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
          Raise(err::InvalidProcedureCall,
                file.origin + ": a vertex scaled by " + std::to_string(s) + " is not finite");
        at->second.vertex = positions.Add(p, mesh.vertices);
        at->second.normal = normals.Add(n, mesh.normals);
        at->second.uv = uvs.Add(Vec2{v.uv.u + 0.0f, 1.0f - v.uv.v + 0.0f}, mesh.uvs);
      }
      return at->second;
    };
    size_t count = 0;
    for (const Obj8Command* c : tris)
      count += static_cast<size_t>(c->count / 3);
    mesh.ReserveFaces(count, 3 * count);
    for (auto c = tris.rbegin(); c != tris.rend(); ++c)
      for (int64_t i = (*c)->offset + (*c)->count - 3; i >= (*c)->offset; i -= 3) {
        const auto at = [&](int64_t k) { return file.indices[static_cast<size_t>(i + k)]; };
        const std::array<HostPoint, 3> corners{point(at(0)), point(at(1)), point(at(2))};
        mesh.AddFace(corners, &material);
      }
  }

  const ImportOptions& options_;
  ImportedModel& out_;
  HostDocument& document_;
  HostNode* top_ = nullptr;
  int32_t cullField_ = -1;
  std::map<std::string, HostNode*> levels_;  // the level groups by name
  std::map<std::tuple<std::string, std::string, std::string, bool>, HostMaterial*> materials_;
};

}  // namespace

ImportedModel ImportObj8(const std::vector<Obj8File>& files, const ImportOptions& options) {
  ImportedModel out;
  out.document = std::make_unique<HostDocument>();
  Builder(options, out).Run(files);
  return out;
}

ImportedModel ImportObj8Files(const std::vector<std::filesystem::path>& files,
                              const ImportOptions& options) {
  std::vector<Obj8File> read;
  for (const std::filesystem::path& file : files)
    read.push_back(ReadObj8File(file));
  return ImportObj8(read, options);
}

}  // namespace vlm::host
