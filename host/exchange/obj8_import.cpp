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
#include "vlm/obj8_commands.h"
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

// The name of an animation's group: after the last part of its first dataref ("anim door" for
// sim/cockpit/door), "anim" for one that reads none.
std::string AnimationName(const std::vector<obj8::Line>& lines) {
  const auto datarefs = obj8::Datarefs(lines);
  if (datarefs.empty()) return "anim";
  const size_t slash = datarefs.front().find_last_of('/');
  return "anim " +
         (slash == std::string::npos ? datarefs.front() : datarefs.front().substr(slash + 1));
}

// The name of an item's group: "light airplane_beacon", "spill light", "smoke_black", ...
std::string ItemName(const Obj8Command& c) {
  const std::string& k = c.keyword;
  const std::string first = c.arguments.empty() ? "" : c.arguments.front();
  if (k == "LIGHT_NAMED" || k == "LIGHT_PARAM") return "light " + first;
  if (k == "LIGHT_CUSTOM") return "custom light";
  if (k == "LIGHT_SPILL_CUSTOM") return "spill light";
  if (k == "MAGNET") return "magnet " + first;
  if (k == "EMITTER") return "emitter " + first;
  if (k == "LINES") return "lines";
  if (k == "LIGHTS") return "lights";
  return k;
}

obj8::Line LineOf(const Obj8Command& c) {
  return {c.keyword, c.arguments};
}

std::string Number(float value) {
  return Distance(value);
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
    stateField_ = document_.DefineMaterialField(kObj8Field);
    Header(files);
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
      Warnings(file);
      triangles += file.TriangleCount();
    }
    if (triangles == 0) out_.log.push_back(name + ": the files hold no triangles");
  }

 private:
  // An animation open while the commands are walked: its lines so far, and its group, made
  // when it first holds something. An animation line after geometry begins an animation of
  // its own inside it, which ends with it: what X-Plane draws is the same.
  struct Block {
    std::vector<obj8::Line> lines;
    HostNode* group = nullptr;
    bool inner = false;  // begun by a line after geometry, not by ANIM_begin
    int64_t line = 0;
  };

  // The header lines other than the textures go on the top group, from the first file; a
  // later file whose lines differ is named.
  void Header(const std::vector<Obj8File>& files) {
    std::vector<std::string> first;
    for (size_t f = 0; f < files.size(); ++f) {
      std::vector<std::string> lines;
      for (const Obj8File::HeaderLine& h : files[f].header)
        lines.push_back(obj8::Line{h.keyword, h.arguments}.Text());
      if (f == 0)
        first = lines;
      else if (lines != first)
        out_.log.push_back(files[f].origin + ": its header lines differ from those of " +
                           files[0].origin + "; the top group keeps the first file's");
    }
    std::string text;
    for (const std::string& line : first)
      text += (text.empty() ? "" : "\n") + line;
    if (!text.empty()) top_->SetField(document_.DefineNodeField(kObj8Field), text);
  }

  void File(const Obj8File& file) {
    // The TRIS commands of each group and drawing state, in the order each pair is first met.
    std::vector<std::pair<std::pair<HostNode*, std::string>, std::vector<const Obj8Command*>>>
        batches;
    std::map<std::pair<HostNode*, std::string>, size_t> batchOf;
    obj8::DrawState state;
    HostNode* level = top_;
    std::vector<Block> blocks;
    for (const Obj8Command& c : file.commands) {
      switch (c.kind) {
        case Obj8Command::Kind::Lod:
          level = &LevelGroup(c.nearDistance, c.farDistance);
          state = obj8::DrawState();  // a level starts from the format's defaults
          break;
        case Obj8Command::Kind::State:
          state.Apply(LineOf(c));
          break;
        case Obj8Command::Kind::AnimBegin:
          blocks.push_back({{}, nullptr, false, c.line});
          break;
        case Obj8Command::Kind::Anim:
          if (blocks.back().group) blocks.push_back({{}, nullptr, true, c.line});
          blocks.back().lines.push_back(LineOf(c));
          break;
        case Obj8Command::Kind::AnimEnd:
          for (bool inner = true; inner;) {
            // An animation that holds nothing is kept too, as long as it says something.
            if (!blocks.back().lines.empty()) Container(file, blocks, blocks.size(), *level);
            inner = blocks.back().inner;
            blocks.pop_back();
          }
          break;
        case Obj8Command::Kind::Tris:
          if (c.count > 0) {
            const std::pair key{&Container(file, blocks, blocks.size(), *level), state.Text()};
            const auto [at, added] = batchOf.try_emplace(key, batches.size());
            if (added) batches.push_back({key, {}});
            batches[at->second].second.push_back(&c);
          }
          break;
        case Obj8Command::Kind::Lines:
        case Obj8Command::Kind::Lights:
        case Obj8Command::Kind::Item:
          Item(file, c, Container(file, blocks, blocks.size(), *level));
          break;
      }
    }
    for (const auto& [key, tris] : batches)
      Object(file, *key.first, Material(file, key.second), tris);
  }

  // The group that geometry met now goes into: the innermost animation's (made with the
  // ones around it when first needed), or the level's.
  HostNode& Container(const Obj8File& file, std::vector<Block>& blocks, size_t open,
                      HostNode& level) {
    if (open == 0) return level;
    Block& block = blocks[open - 1];
    // A block without animation lines so far moves nothing: what it holds so far lies in the
    // group around it, and a line later begins its group.
    if (block.lines.empty() && !block.group) return Container(file, blocks, open - 1, level);
    if (!block.group) {
      HostNode& parent = Container(file, blocks, open - 1, level);
      std::string problem;
      const auto rest = obj8::RestTransform(block.lines, &problem);
      if (!rest)
        Raise(err::InvalidProcedureCall, file.origin + ": line " + std::to_string(block.line) +
                                             ": the animation's " + problem);
      block.group = &document_.NewNode(parent, AnimationName(block.lines));
      Place(*block.group, *rest);
      block.group->SetField(document_.DefineNodeField(kObj8Field), obj8::LinesText(block.lines));
    }
    return *block.group;
  }

  // A group's frame from a transform in OBJ8's axes: z mirrored on both sides, the
  // translation scaled.
  void Place(HostNode& group, const Mat4& m) const {
    const auto row = [&](int r) { return Vec3{m(r, 0) + 0.0f, m(r, 1) + 0.0f, -m(r, 2) + 0.0f}; };
    const float s = options_.scale;
    Vec3 up = row(1), forward = row(2) * -1.0f, position = row(3) * s;
    group.position = position + Vec3{};
    group.up = Normalize(up);
    group.forward = Normalize(forward);
  }

  // A light, smoke puff, emitter, magnet, line set or command the reader does not know: a
  // group of its own holding its line (and for LINES and LIGHTS the VLINE and VLIGHT lines it
  // draws), in the coordinates of the animation it lies in.
  void Item(const Obj8File& file, const Obj8Command& c, HostNode& container) {
    HostNode& item = document_.NewNode(container, ItemName(c));
    std::string text = c.keyword;
    if (c.kind == Obj8Command::Kind::Lines || c.kind == Obj8Command::Kind::Lights) {
      for (int64_t i = c.offset; i < c.offset + c.count; ++i) {
        const Obj8ColouredPoint& p =
            c.kind == Obj8Command::Kind::Lines
                ? file.lineVertices[static_cast<size_t>(file.indices[static_cast<size_t>(i)])]
                : file.lightVertices[static_cast<size_t>(i)];
        text += std::string("\n") + (c.kind == Obj8Command::Kind::Lines ? "VLINE" : "VLIGHT");
        for (float v :
             {p.position.x, p.position.y, p.position.z, p.colour.x, p.colour.y, p.colour.z})
          text += " " + Number(v);
      }
    } else {
      text = LineOf(c).Text();
    }
    item.SetField(document_.DefineNodeField(kObj8Field), text);
    ++items_;
  }

  // Warnings for what X-Plane reads differently from how it stands: a texture name with a
  // blank (X-Plane stops at it).
  void Warnings(const Obj8File& file) {
    for (size_t slot = 0; slot < file.textures.size(); ++slot) {
      const std::string& name = file.textures[slot];
      const size_t blank = name.find_first_of(" \t");
      if (blank != std::string::npos)
        out_.log.push_back(file.origin + ": line " + std::to_string(file.textureLines[slot]) +
                           ": the texture name \"" + name +
                           "\" has a blank: X-Plane reads it only as far as \"" +
                           name.substr(0, blank) + "\"");
    }
    if (options_.scale != 1.0f && (items_ > 0 || !file.lods.empty() || HasAnimation(file)))
      out_.log.push_back(file.origin + ": the scale " + Number(options_.scale) +
                         " applies to the triangles and the animations' frames; the lines kept "
                         "in the groups' OBJ8 fields stay in the file's metres");
  }

  static bool HasAnimation(const Obj8File& file) {
    return std::any_of(file.commands.begin(), file.commands.end(),
                       [](const Obj8Command& c) { return c.kind == Obj8Command::Kind::AnimBegin; });
  }

  HostNode& LevelGroup(float nearDistance, float farDistance) {
    const std::string name = "LOD " + Distance(nearDistance) + "-" + Distance(farDistance);
    HostNode*& group = levels_[name];
    if (!group) group = &document_.NewNode(*top_, name);
    return *group;
  }

  HostMaterial& Material(const Obj8File& file, const std::string& state) {
    const auto key = std::tuple(file.textures[0], file.textures[1], file.textures[2], state);
    auto [at, added] = materials_.try_emplace(key, nullptr);
    if (!added) return *at->second;
    HostMaterial& m = document_.NewMaterial(
        file.textures[Obj8File::Texture].empty() ? "untextured" : file.textures[Obj8File::Texture]);
    m.diffuseMap = file.textures[Obj8File::Texture];
    m.bumpMap = file.textures[Obj8File::TextureLit];
    m.detailMap = file.textures[Obj8File::TextureNormal];
    m.hasTextures = !m.diffuseMap.empty() || !m.bumpMap.empty() || !m.detailMap.empty();
    m.SetCustomField(stateField_, state);
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
  int32_t stateField_ = -1;
  int64_t items_ = 0;
  std::map<std::string, HostNode*> levels_;  // the level groups by name
  std::map<std::tuple<std::string, std::string, std::string, std::string>, HostMaterial*>
      materials_;
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
