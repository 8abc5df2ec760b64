#include "cli/scene_checks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>

#include "cli/obj8_checks.h"
#include "exchange/igs_file.h"
#include "exchange/image_size.h"
#include "scene/document.h"
#include "scene/face_geometry.h"
#include "vlm/file_names.h"
#include "vlm/format_limits.h"
#include "vlm/igs_parameters.h"
#include "vlm/text.h"
#include "vlm/text_encoding.h"

namespace vlm::host {
namespace {

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

// Length as the 8-bit code page stores it: one byte per character.
size_t AnsiLength(const std::string& utf8) {
  return text::IsUtf8(utf8) ? text::CodePoints(utf8).size() : utf8.size();
}

bool HasControlCharacter(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
  });
}

bool Finite(Vec3 v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

std::string Lower(std::string s) {
  for (char& c : s)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trimmed(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

bool IsNumber(const std::string& s) {
  return igs::NumberIn(s).has_value();
}

// The block name the IGS export gives a node of base name `base` ("Rail Sim" text or name):
// the level and distance before it, unless it starts with two numbers already.
std::string IgsBlockName(const std::string& base) {
  const std::vector<std::string> parts = SplitAt(base, '_');
  const bool numbered = parts.size() >= 3 && IsNumber(parts[0]) && IsNumber(parts[1]);
  return numbered ? base : "1_1000_" + base;
}

// The first few indices of a list, for a reason that stays one line.
std::string IndexList(const std::vector<size_t>& indices) {
  std::string out;
  for (size_t k = 0; k < indices.size() && k < 5; ++k)
    out += (k ? ", " : "") + std::to_string(indices[k]);
  if (indices.size() > 5) out += ", ...";
  return out;
}

// A material's custom field by name; "" when the document has no such field.
std::string MaterialField(const HostDocument& document, const HostMaterial& material,
                          const char* name) {
  const int32_t slot = document.FindMaterialField(name);
  if (slot < 0) return {};
  const auto found = material.fields.find(slot);
  return found == material.fields.end() ? std::string() : found->second;
}

// The value of `key` in the list "key=value;key=value" of the field RailSimX ("" if none).
std::string RailSimParameter(const std::string& list, const std::string& key) {
  for (const std::string& item : SplitAt(list, ';')) {
    const size_t eq = item.find('=');
    if (eq == std::string::npos) continue;
    if (Lower(item.substr(0, eq)) != Lower(key)) continue;
    const size_t next = item.find('=', eq + 1);
    return item.substr(eq + 1, next == std::string::npos ? std::string::npos : next - eq - 1);
  }
  return {};
}

struct TextureUse {
  const char* role;  // "diffuse", "bump", ...
  std::string name;
};

// The texture names an export writes for a material, by role.
std::vector<TextureUse> TexturesOf(const HostDocument& document, const HostMaterial& m,
                                   ExportFormat format) {
  if (!m.hasTextures) return {};
  if (format == ExportFormat::Obj8)
    return {{"diffuse", m.diffuseMap}, {"bump", m.bumpMap}, {"detail", m.detailMap}};
  // The rail sim's shader chooses the stages after the first.
  std::string shader = MaterialField(document, m, "Rail Sim");
  if (shader.empty()) shader = "TexDiff";
  const auto has = [&](const char* word) { return shader.find(word) != std::string::npos; };
  std::vector<TextureUse> uses{{"diffuse", m.diffuseMap}};
  if (has("Bump") || has("WeatherEffects")) uses.push_back({"bump", m.bumpMap});
  if (has("Specular")) uses.push_back({"specular", m.specularMap});
  if (has("LightMap")) uses.push_back({"detail", m.detailMap});
  if (has("Water") || has("Env") || has("Glass")) uses.push_back({"environment", m.environmentMap});
  return uses;
}

class Checker {
 public:
  Checker(const HostDocument& document, ExportFormat format, std::filesystem::path folder,
          bool fromCheckedObj8)
      : doc_(document), format_(format), folder_(std::move(folder)), fromFile_(fromCheckedObj8) {
    railSimNodeSlot_ = document.FindNodeField("Rail Sim");
  }

  std::vector<Finding> Run(const CheckScope& scope) {
    for (const HostNode* group : scope.groups) {
      Walk(*group, group->parent == nullptr);
      if (format_ != ExportFormat::Igs) continue;
      // The export takes the root's group named "main" when given the root.
      const HostNode* chosen = group->parent ? group : nullptr;
      if (!chosen)
        for (const auto& child : group->children)
          if (!chosen && Lower(child->name) == "main") chosen = child.get();
      if (chosen) CustomLevels(*chosen);
    }
    for (const CheckScope::ObjectFaces& object : scope.objects)
      Object(*object.mesh, object.allFaces ? nullptr : &object.faces);
    if (faces_ == 0)
      Add(true, "nothing-to-export", "scene", "", "nothing to export: no face in what is checked");
    Materials();
    if (format_ == ExportFormat::Igs) FileSize();
    if (faces_ > 0 && format_ == ExportFormat::Igs && texturedFaces_ == 0)
      Add(true, "nothing-to-export", "scene", "",
          "nothing to export: every object has a material without a texture, and the IGS "
          "export leaves such objects out (unless it is given a default texture)");
    return std::move(findings_);
  }

 private:
  void Add(bool error, const char* check, const char* kind, std::string path, std::string reason) {
    findings_.push_back({error, check, kind, std::move(path), std::move(reason)});
  }

  // Whether a group holds a face, itself or below.
  bool HasFaces(const HostNode& node) const {
    for (const auto& mesh : node.meshes)
      for (size_t f = 0; f < mesh->FaceCount(); ++f)
        if (!mesh->FaceRemoved(f)) return true;
    return std::any_of(node.children.begin(), node.children.end(),
                       [&](const auto& child) { return HasFaces(*child); });
  }

  void Walk(const HostNode& node, bool isRoot) {
    if (!isRoot) Group(node);
    for (const auto& mesh : node.meshes)
      Object(*mesh, nullptr);
    size_t blocks = 0;
    for (const auto& child : node.children) {
      // The OBJ8 export leaves an animated group out with its subtree, and says so when the
      // group holds objects of its own.
      if (format_ == ExportFormat::Obj8 && child->animationKeys >= obj8::AnimatedKeys) {
        if (!child->meshes.empty())
          Add(false, "animated-group", "group", child->Path(),
              "is animated (" + std::to_string(child->animationKeys) +
                  " keys): the OBJ8 export leaves it out with everything below it");
        continue;
      }
      if (HasFaces(*child)) ++blocks;
      Walk(*child, false);
    }
    if (format_ == ExportFormat::Igs && !isRoot && blocks > igs::MaxChildren) {
      // They go under grouping blocks named after the node's block: Name#1, Name#2, ...
      const std::string grouping = IgsBlockName(BaseName(node)) + "#1";
      if (AnsiLength(grouping) > static_cast<size_t>(igs::BlockNameSize))
        Add(true, "igs-children", "group", node.Path(),
            "has " + std::to_string(blocks) + " groups with faces; an IGS block lists " +
                std::to_string(igs::MaxChildren) + ", so they go under blocks named like " +
                Quoted(grouping) + ", " + std::to_string(AnsiLength(grouping)) +
                " characters; IGS holds " + std::to_string(igs::BlockNameSize) +
                " (unless the export shortens long block names)");
    }
    LevelGroups(node);
  }

  void Group(const HostNode& node) {
    const std::string path = node.Path();
    if (!Finite(node.position) || !Finite(node.forward) || !Finite(node.up))
      Add(true, "non-finite", "group", path, "its frame holds a number that is not finite");
    else if (const float det = Determinant(node.LocalMatrix()); det < 0)
      Add(false, "mirrored-frame", "group", path,
          "its frame is mirrored: its faces turn inside out in the export");
    else if (det < 1e-3f)
      Add(false, "degenerate-frame", "group", path,
          "its up and forward axes are parallel or zero: the export flattens what it holds");
    if (format_ != ExportFormat::Igs || !HasFaces(node)) return;
    // The block's name: the group's "Rail Sim" text, else its name, after the level and the
    // distance ("1_1000_"); a name that carries them already is kept as it is.
    const std::string base = BaseName(node);
    if (HasControlCharacter(base)) {
      Add(true, "name", "group", path,
          "its block name " + Quoted(base) + " holds a control character, which IGS cannot carry");
      return;
    }
    const size_t length = AnsiLength(IgsBlockName(base));
    if (length > static_cast<size_t>(igs::BlockNameSize))
      Add(true, "name", "group", path,
          "its block name (" + Quoted(base) + " after the level and distance) is " +
              std::to_string(length) + " characters; IGS holds " +
              std::to_string(igs::BlockNameSize) +
              " (unless the export shortens long block names)");
  }

  // The group's "Rail Sim" text, else its name.
  std::string BaseName(const HostNode& node) const {
    std::string base;
    if (railSimNodeSlot_ >= 0) {
      const auto found = node.fields.find(railSimNodeSlot_);
      if (found != node.fields.end()) base = Trimmed(found->second);
    }
    return base.empty() ? node.name : base;
  }

  // The IGS file's offsets are 32-bit: the export refuses a scene whose triangles and points
  // alone would pass them, at one level or, with Automatic LODs, at three.
  void FileSize() {
    const int64_t level =
        int64_t{kIgsTriangleSize} * igsTriangles_ + int64_t{kIgsVertexSize} * igsPoints_;
    for (const int64_t levels : {1, 3}) {
      const int64_t size = int64_t{kIgsHeaderSize} + levels * level;
      if (size <= igs::MaxFileSize) continue;
      Add(true, "igs-size", "scene", "",
          "the file would be at least " + std::to_string(size) + " bytes (" +
              std::to_string(igsTriangles_) + " triangles, " + std::to_string(igsPoints_) +
              " points" + (levels == 1 ? "" : ", with Automatic LODs' three levels") +
              "); the IGS offsets reach " + std::to_string(igs::MaxFileSize));
      return;
    }
  }

  // Custom levels of detail: the top-level groups named after the exported one, an
  // underscore (or any one character) and a distance. The export reads at most
  // igs::MaxLevelNodes levels, and stops on a distance it cannot read as a whole number.
  void CustomLevels(const HostNode& chosen) {
    const HostNode& root = doc_.Root();
    const std::string prefix = Lower(chosen.name);
    int32_t levels = 1;
    for (const auto& child : root.children) {
      if (Lower(child->name).substr(0, prefix.size()) != prefix) continue;
      const std::string rest =
          child->name.size() > prefix.size() + 1 ? child->name.substr(prefix.size() + 1) : "";
      if (!igs::NumberIn(rest)) continue;
      if (const char* problem = igs::IntegerProblem(rest)) {
        Add(true, "igs-levels", "group", child->Path(),
            "its level distance " + Quoted(rest) + " " + problem + " (with Custom LODs)");
        continue;
      }
      if (std::nearbyint(*igs::NumberIn(rest)) > 0) ++levels;
    }
    if (levels > igs::MaxLevelNodes)
      Add(true, "igs-levels", "group", chosen.Path(),
          "has " + std::to_string(levels - 1) + " custom level groups after it (" + chosen.name +
              "_200, ...): with Custom LODs that is " + std::to_string(levels) +
              " levels; IGS holds " + std::to_string(igs::MaxLevelNodes));
  }

  static float Determinant(const Mat4& m) {
    return m(0, 0) * (m(1, 1) * m(2, 2) - m(1, 2) * m(2, 1)) -
           m(0, 1) * (m(1, 0) * m(2, 2) - m(1, 2) * m(2, 0)) +
           m(0, 2) * (m(1, 0) * m(2, 1) - m(1, 1) * m(2, 0));
  }

  // Sibling groups named after their range ("LOD 0-300", as an OBJ8 file is imported) must
  // follow each other from 0: each starts where the one before ends, or (additive levels)
  // each starts at 0 and reaches farther.
  void LevelGroups(const HostNode& node) {
    std::vector<std::pair<double, double>> ranges;
    for (const auto& child : node.children) {
      double nearDist = 0, farDist = 0;
      char tail = 0;
      if (std::sscanf(child->name.c_str(), "LOD %lf-%lf%c", &nearDist, &farDist, &tail) == 2)
        ranges.emplace_back(nearDist, farDist);
    }
    const auto fromZero = [](const auto& r) { return r.first == 0; };
    const bool additive = std::count_if(ranges.begin(), ranges.end(), fromZero) > 1;
    bool ordered = true;
    for (size_t k = 0; k < ranges.size(); ++k) {
      const auto [nearDist, farDist] = ranges[k];
      const double lastFar = k > 0 ? ranges[k - 1].second : 0;
      ordered = ordered && farDist > nearDist &&
                (additive ? nearDist == 0 && farDist > lastFar : nearDist == lastFar);
    }
    const int32_t count = static_cast<int32_t>(ranges.size());
    const std::string path = node.parent ? node.Path() : "";
    const char* kind = node.parent ? "group" : "scene";
    if (!ordered && !fromFile_)
      Add(false, "lod-order", kind, path,
          "its level-of-detail groups (LOD near-far) do not follow each other from 0");
    if (format_ == ExportFormat::Obj8 && count > obj8::LevelCount)
      Add(true, "lod-count", kind, path,
          "has " + std::to_string(count) + " level-of-detail groups; an OBJ8 object holds " +
              std::to_string(obj8::LevelCount));
  }

  void Object(const HostMesh& mesh, const std::vector<int32_t>* only) {
    const std::string path = mesh.Path();
    const auto finite = [](const auto& list, auto ok) {
      return std::all_of(list.begin(), list.end(), ok);
    };
    if (!finite(mesh.vertices, Finite) || !finite(mesh.normals, Finite) ||
        !finite(mesh.uvs, [](Vec2 t) { return std::isfinite(t.u) && std::isfinite(t.v); }))
      Add(true, "non-finite", "object", path,
          "holds a vertex, normal or texture coordinate that is not finite");
    std::set<int32_t> chosen;
    if (only) chosen.insert(only->begin(), only->end());
    std::vector<size_t> degenerate, zeroArea;
    std::vector<WorldFace> world = WorldFaces(mesh);
    // The IGS export leaves out an object with a material that has no texture.
    size_t faces = 0;
    int64_t triangles = 0;
    bool textured = true;
    for (const WorldFace& face : world) {
      if (only && !chosen.count(static_cast<int32_t>(face.index))) continue;
      ++faces_, ++faces;
      const auto points = mesh.Points(face.index);
      if (points.size() >= 3) triangles += static_cast<int64_t>(points.size()) - 2;
      bool bad = points.size() < 3;
      for (size_t k = 0; k < points.size() && !bad; ++k) {
        const int32_t v = points[k].vertex;
        bad = v < 0 || static_cast<size_t>(v) >= mesh.vertices.size() ||
              v == points[(k + 1) % points.size()].vertex;
      }
      if (bad)
        degenerate.push_back(face.index);
      else if (Finite(face.centre) && face.normal == Vec3{})  // not finite: said above
        zeroArea.push_back(face.index);
      HostMaterial* m = mesh.FaceMaterial(face.index);
      if (m) used_[m].push_back(&mesh);
      textured = textured && (!m || (m->hasTextures && AnsiLength(m->diffuseMap) > 4));
    }
    if (textured && faces > 0) {
      texturedFaces_ += faces;
      igsTriangles_ += triangles;
      igsPoints_ += std::min(static_cast<int64_t>(mesh.vertices.size()), 3 * triangles);
    }
    if (!degenerate.empty())
      Add(false, "degenerate-face", "object", path,
          std::to_string(degenerate.size()) +
              " faces with fewer than three distinct corners (faces " + IndexList(degenerate) +
              ")");
    if (!zeroArea.empty())
      Add(false, "zero-area-face", "object", path,
          std::to_string(zeroArea.size()) + " faces of zero area (faces " + IndexList(zeroArea) +
              ")");
  }

  void Materials() {
    // In the order of the document, each material once.
    std::set<std::string> igsRecords, igsReferences;
    size_t igsNames = 0;
    const bool anyTextured = std::any_of(used_.begin(), used_.end(),
                                         [](const auto& use) { return Obj8Textured(*use.first); });
    for (const auto& owned : doc_.Materials()) {
      const HostMaterial& m = *owned;
      const auto users = used_.find(const_cast<HostMaterial*>(&m));
      if (users == used_.end()) continue;
      if (!std::isfinite(m.gloss) || !std::isfinite(m.diffuse.r) || !std::isfinite(m.diffuse.g) ||
          !std::isfinite(m.diffuse.b))
        Add(true, "non-finite", "material", m.name, "a colour or gloss is not finite");
      const std::vector<TextureUse> textures = TexturesOf(doc_, m, format_);
      if (!fromFile_)  // an OBJ8 file's textures were checked on its own lines
        for (const TextureUse& t : textures)
          Texture(m, t);
      if (format_ == ExportFormat::Obj8 && anyTextured && !Obj8Textured(m))
        Add(false, "untextured", "material", m.name,
            "has no texture while other faces of the export have one: the OBJ8 export writes "
            "the faces that use it (" +
                users->second.front()->Path() + (users->second.size() > 1 ? ", ..." : "") +
                ") to a file of their own without a TEXTURE, which X-Plane draws untextured");
      if (format_ == ExportFormat::Igs) Igs(m, textures, igsRecords, igsReferences, igsNames);
    }
    if (format_ != ExportFormat::Igs) return;
    const auto limit = [&](const char* check, size_t count, int32_t max, const char* what) {
      if (count > static_cast<size_t>(max))
        Add(true, check, "scene", "",
            std::to_string(count) + " " + what + "; IGS holds " + std::to_string(max));
    };
    limit("igs-materials", igsRecords.size(), igs::MaxMaterials, "distinct materials");
    limit("igs-textures", igsReferences.size(), igs::MaxTextures, "distinct textures");
    limit("igs-texture-names", igsNames, igs::MaxTextureNames, "textured stages");
  }

  void Igs(const HostMaterial& m, const std::vector<TextureUse>& textures,
           std::set<std::string>& records, std::set<std::string>& references, size_t& names) {
    const std::string shader = MaterialField(doc_, m, "Rail Sim");
    const std::string parameters = MaterialField(doc_, m, "RailSimX");
    if (HasControlCharacter(shader) || HasControlCharacter(parameters))
      Add(true, "name", "material", m.name,
          "its Rail Sim or RailSimX text holds a control character, which IGS cannot carry");
    else if (AnsiLength(shader) > static_cast<size_t>(igs::ShaderNameSize))
      Add(true, "name", "material", m.name,
          "its shader name (Rail Sim) is " + std::to_string(AnsiLength(shader)) +
              " characters; IGS holds " + std::to_string(igs::ShaderNameSize));
    Numbers(m, shader.empty() ? "TexDiff" : shader, parameters);
    if (!m.hasTextures || AnsiLength(m.diffuseMap) <= 4) {
      const auto& users = used_.at(const_cast<HostMaterial*>(&m));
      Add(false, "untextured", "material", m.name,
          "has no texture: the IGS export leaves out the objects that use it (" +
              users.front()->Path() + (users.size() > 1 ? ", ..." : "") + ")");
      return;
    }
    // Materials that are written alike are one record.
    std::ostringstream key;
    key << shader << '\n'
        << parameters << '\n'
        << Lower(MaterialField(doc_, m, "Tx Alpha")) << '\n'
        << MaterialField(doc_, m, "Alpha Pr") << '\n'
        << m.diffuse.r << ' ' << m.diffuse.g << ' ' << m.diffuse.b << ' ' << m.translucency << ' '
        << m.ambient.r << ' ' << m.ambient.g << ' ' << m.ambient.b << ' ' << m.emissive.r << ' '
        << m.emissive.g << ' ' << m.emissive.b << ' ' << (m.gloss >= 0.001f);
    std::string folder = RailSimParameter(parameters, "texturepath");
    if (folder.empty()) folder = "textures";
    if (folder.back() != '\\') folder += '\\';
    size_t stages = 0;
    for (const TextureUse& t : textures) {
      if (AnsiLength(t.name) <= 4) continue;
      const size_t dot = t.name.rfind('.');
      const std::string reference = folder + Lower(t.name.substr(0, dot));
      references.insert(reference);
      key << '\n' << reference;
      ++stages;
    }
    // The weather layer draws the diffuse texture again, in a stage (and a name) of its own.
    if (shader.find("WeatherEffects") != std::string::npos && AnsiLength(m.diffuseMap) > 4)
      ++stages;
    if (records.insert(key.str()).second) names += stages;
  }

  // The numbers the IGS export reads from a material's texts: each RailSimX parameter it
  // reads (those of the texture stages its shader gives), and "Alpha Pr" when it is a number.
  void Numbers(const HostMaterial& m, const std::string& shader, const std::string& parameters) {
    const auto check = [&](const std::string& key, const char* (*problem)(std::string_view)) {
      const std::string value = RailSimParameter(parameters, key);
      if (value.empty()) return;
      if (const char* why = problem(value))
        Add(true, "igs-parameter", "material", m.name,
            "its RailSimX parameter " + key + "=" + Quoted(value) + " " + why +
                ": the IGS export stops on it");
    };
    for (const char* key : igs::MaterialIntegers)
      check(key, igs::IntegerProblem);
    for (const char* key : igs::MaterialFloats)
      check(key, igs::FloatProblem);
    int32_t stages = 1;
    if (m.hasTextures) {
      const auto has = [&](const char* word) { return shader.find(word) != std::string::npos; };
      stages += has("WeatherEffects") + (has("Bump") || has("WeatherEffects")) + has("Specular") +
                has("LightMap") + (has("Water") || has("Env") || has("Glass"));
    }
    for (int32_t n = 0; n < stages; ++n) {
      const std::string r = "r" + std::to_string(n);
      for (const char* key : igs::StageIntegers)
        check(r + key, igs::IntegerProblem);
      for (const char* key : igs::StageFloats)
        check(r + key, igs::FloatProblem);
    }
    const std::string priority = MaterialField(doc_, m, "Alpha Pr");
    if (igs::NumberIn(priority))
      if (const char* why = igs::IntegerProblem(priority))
        Add(true, "igs-parameter", "material", m.name,
            "its Alpha Pr " + Quoted(priority) + " " + why + ": the IGS export stops on it");
  }

  void Texture(const HostMaterial& m, const TextureUse& t) {
    if (t.name.empty()) return;
    const std::string what = "its " + std::string(t.role) + " texture " + Quoted(t.name);
    if (HasControlCharacter(t.name)) {
      Add(true, "name", "material", m.name, what + " holds a control character");
      return;
    }
    if (IsAbsoluteFileName(t.name)) {
      // vlmhost run --copy-textures finds it at that path, or by its file name in the scene's
      // folder (a path of another machine), and copies it beside the export.
      std::error_code ec;
      const bool beside = std::filesystem::is_regular_file(folder_ / BareFileName(t.name), ec);
      const bool there = !beside && std::filesystem::is_regular_file(t.name, ec);
      Add(true, "absolute-texture", "material", m.name,
          what + " is named by an absolute path; the simulator looks beside the export" +
              (beside  ? " (--copy-textures copies it there from the scene's folder)"
               : there ? " (--copy-textures copies it there, with --allow-outside when it lies "
                         "outside the scene's folder)"
                       : ""));
      return;
    }
    std::string relative = t.name;
    if (relative.find('\\') != std::string::npos) {
      if (format_ == ExportFormat::Obj8)
        Add(false, "backslash-texture", "material", m.name,
            what + " has \"\\\" between folders; \"/\" is what every system reads");
      std::replace(relative.begin(), relative.end(), '\\', '/');
    }
    const std::filesystem::path file = folder_ / relative;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) {
      Add(true, "missing-texture", "material", m.name,
          what + " does not exist (looked for " + file.string() + ")");
      return;
    }
    if (const auto size = ImageSizeOfFile(file);
        size && (!IsPowerOfTwo(size->width) || !IsPowerOfTwo(size->height)))
      Add(false, "texture-size", "material", m.name,
          what + " is " + std::to_string(size->width) + "x" + std::to_string(size->height) +
              " pixels; the simulator wants sides that are powers of two");
  }

  // A texture set of its own, as the OBJ8 export makes one: a material with a texture.
  static bool Obj8Textured(const HostMaterial& m) { return m.hasTextures && !m.diffuseMap.empty(); }

  const HostDocument& doc_;
  ExportFormat format_;
  std::filesystem::path folder_;
  bool fromFile_;  // imported from OBJ8 files whose own lines were checked
  int32_t railSimNodeSlot_ = -1;
  size_t faces_ = 0;
  size_t texturedFaces_ = 0;  // of objects whose materials all have a texture
  // The triangles and points of those objects, each a record of the IGS file at one level.
  int64_t igsTriangles_ = 0, igsPoints_ = 0;
  std::map<HostMaterial*, std::vector<const HostMesh*>> used_;
  std::vector<Finding> findings_;
};

}  // namespace

CheckScope ScopeOfSelection(const HostDocument& document) {
  CheckScope scope;
  const ScriptingSelection& s = document.scriptingSelection;
  for (const HostNode* group : s.groups)
    scope.groups.push_back(group);
  for (const auto& entry : s.objects)
    scope.objects.push_back({entry.mesh, entry.mode == 0, entry.faces});
  for (const HostNode* node : document.graphSelection.nodes)
    scope.groups.push_back(node);
  for (const auto& entry : document.graphSelection.shapes)
    scope.objects.push_back({entry.mesh, entry.polygons.empty(), entry.polygons});
  if (scope.groups.empty() && scope.objects.empty()) scope.groups.push_back(&document.Root());
  return scope;
}

std::vector<Finding> CheckForExport(const HostDocument& document, const CheckScope& scope,
                                    ExportFormat format, const std::filesystem::path& sceneFolder,
                                    bool fromCheckedObj8) {
  std::vector<Finding> findings =
      Checker(document, format, sceneFolder, fromCheckedObj8).Run(scope);
  if (format != ExportFormat::Obj8 || fromCheckedObj8) return findings;
  for (Finding& f : CheckObj8Data(document, scope))
    findings.push_back(std::move(f));
  return findings;
}

}  // namespace vlm::host
