// vlmhost inspect: what a file holds, in counts.
#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>

#include "cli/check_commands.h"
#include "cli/obj8_contents.h"
#include "exchange/conventions.h"
#include "exchange/igs_file.h"
#include "exchange/image_size.h"
#include "exchange/model_import.h"
#include "exchange/model_reader_process.h"
#include "exchange/obj8_file.h"
#include "run/exit_status.h"
#include "run/printing.h"
#include "run/scene_argument.h"
#include "scene/document.h"
#include "scene/scene_counts.h"
#include "scene/texture_names.h"
#include "vlm/error.h"
#include "vlm/format_limits.h"

namespace vlm::host {
namespace {

using Json = nlohmann::ordered_json;

struct TextureInfo {
  std::string role;  // diffuse, lit, normal, bump, ...
  std::string name;  // as the file names it
  std::string file;  // where it was looked for ("" for a name that leads nowhere here)
  bool exists = false;
  std::optional<ImageSize> size;
};

struct MaterialInfo {
  std::string name;
  std::string detail;  // what else the format says of it (a shader, ...)
  std::vector<TextureInfo> textures;
};

struct LevelInfo {
  std::string name;
  double nearDist = 0, farDist = 0;
  int64_t triangles = 0;
  int64_t batches = -1;       // draw batches (TRIS) of the level; -1 when the format has none
  int64_t stateChanges = -1;  // state commands (ATTR_...) of the level; -1 likewise
};

struct Margin {
  std::string what;
  int64_t used = 0, limit = 0;
  std::string item;  // the item that comes nearest, when there is one
};

// What inspect prints, whatever the file.
struct Inspection {
  std::string file, format;                             // format: "scene", "model", "OBJ8", "IGS"
  std::vector<std::pair<std::string, int64_t>> counts;  // in printing order
  std::vector<LevelInfo> levels;
  Box bounds;
  std::vector<MaterialInfo> materials;
  std::vector<Margin> margins;
  std::vector<std::string> notes;
  std::optional<Obj8Contents> obj8;  // OBJ8: what each level holds besides triangles
};

// A texture named by a file, looked for relative to that file's folder.
TextureInfo LookUp(std::string role, const std::string& name, const std::filesystem::path& folder,
                   const std::vector<EmbeddedTexture>* embedded = nullptr) {
  TextureInfo t{std::move(role), name, {}, false, std::nullopt};
  if (embedded)
    for (const EmbeddedTexture& e : *embedded)
      if (e.file == name) {
        t.file = "(embedded)";
        t.exists = true;
        t.size = ReadImageSize(e.bytes);
        return t;
      }
  const std::filesystem::path file = TextureFileFrom(name, folder);
  t.file = file.string();
  std::error_code ec;
  t.exists = std::filesystem::is_regular_file(file, ec);
  if (t.exists) t.size = ImageSizeOfFile(file);
  return t;
}

// Groups named after their range ("LOD 0-300", as an OBJ8 file is imported) are levels.
void LevelGroups(const HostNode& node, Inspection& s) {
  for (const auto& child : node.children) {
    double nearDist = 0, farDist = 0;
    char tail = 0;
    if (std::sscanf(child->name.c_str(), "LOD %lf-%lf%c", &nearDist, &farDist, &tail) == 2) {
      s.levels.push_back({child->Path(), nearDist, farDist, CountScene(*child).triangles, -1});
    } else {
      LevelGroups(*child, s);
    }
  }
}

Inspection OfDocument(const HostDocument& document, const std::filesystem::path& folder,
                      const std::vector<EmbeddedTexture>* embedded) {
  Inspection s;
  const SceneCounts c = CountScene(document.Root());
  s.bounds = c.bounds;
  s.counts = {{"groups", c.groups},
              {"objects", c.objects},
              {"faces", c.faces},
              {"triangles", c.triangles},
              {"vertices", c.vertices}};
  LevelGroups(document.Root(), s);
  for (const auto& m : document.Materials()) {
    MaterialInfo info{m->name, {}, {}};
    const std::pair<const char*, const std::string*> maps[] = {{"diffuse", &m->diffuseMap},
                                                               {"bump", &m->bumpMap},
                                                               {"detail", &m->detailMap},
                                                               {"specular", &m->specularMap},
                                                               {"environment", &m->environmentMap}};
    for (const auto& [role, name] : maps)
      if (!name->empty()) info.textures.push_back(LookUp(role, *name, folder, embedded));
    s.materials.push_back(std::move(info));
  }
  return s;
}

std::string Distance(double d) {
  return Number(static_cast<float>(d));
}

std::string Size(const ImageSize& size) {
  return std::to_string(size.width) + "x" + std::to_string(size.height) + " " + size.format;
}

// An OBJ8 file's header lines, and what lies outside any level (everything when it has none).
void Obj8Outside(const Obj8Contents& c, bool noLevels, std::ostream& out) {
  if (!c.header.empty()) {
    out << "  header:";
    for (size_t k = 0; k < c.header.size(); ++k)
      out << (k ? "; " : " ") << c.header[k];
    out << "\n";
  }
  if (c.outside.Empty()) return;
  if (!noLevels) out << "  outside any level:\n";
  PrintLevelContents(c.outside, noLevels ? "  " : "    ", out);
}

void PrintText(const Inspection& s, std::ostream& out) {
  out << s.file << ": " << s.format << "\n  ";
  for (size_t k = 0; k < s.counts.size(); ++k)
    out << (k ? ", " : "") << s.counts[k].first << " " << s.counts[k].second;
  out << "\n";
  if (s.obj8) Obj8Outside(*s.obj8, s.levels.empty(), out);
  for (size_t k = 0; k < s.levels.size(); ++k) {
    const LevelInfo& l = s.levels[k];
    out << "  level " << l.name << ": " << Distance(l.nearDist) << "-" << Distance(l.farDist)
        << " m, " << l.triangles << " triangles";
    if (l.batches >= 0) out << ", " << l.batches << (l.batches == 1 ? " batch" : " batches");
    if (l.stateChanges >= 0)
      out << ", " << l.stateChanges << (l.stateChanges == 1 ? " state change" : " state changes");
    out << "\n";
    if (s.obj8 && k < s.obj8->levels.size()) PrintLevelContents(s.obj8->levels[k], "    ", out);
  }
  if (s.bounds.any)
    out << "  bounds " << Vector(s.bounds.min) << " to " << Vector(s.bounds.max) << "\n";
  else
    out << "  bounds: none (no vertices)\n";
  out << "  materials " << s.materials.size() << "\n";
  for (const MaterialInfo& m : s.materials) {
    out << "    " << m.name;
    if (!m.detail.empty()) out << " (" << m.detail << ")";
    out << (m.textures.empty() ? ": no texture\n" : "\n");
    for (const TextureInfo& t : m.textures) {
      out << "      " << t.role << " " << t.name << ": ";
      if (!t.exists)
        out << "missing (looked for " << t.file << ")";
      else
        out << (t.size ? Size(*t.size) : "found, size unknown") << " (" << t.file << ")";
      out << "\n";
    }
  }
  if (!s.margins.empty()) out << "  margins to the format's limits\n";
  for (const Margin& m : s.margins) {
    out << "    " << m.what << ": " << m.used << " of " << m.limit << ", " << m.limit - m.used
        << " to spare";
    if (!m.item.empty()) out << " (" << m.item << ")";
    out << "\n";
  }
  for (const std::string& note : s.notes)
    out << "  note: " << note << "\n";
}

Json Vec(Vec3 v) {
  return Json::array({v.x, v.y, v.z});
}

void PrintJson(const Inspection& s, std::ostream& out) {
  Json j;
  j["file"] = s.file;
  j["format"] = s.format;
  for (const auto& [name, count] : s.counts)
    j[name] = count;
  Json levels = Json::array();
  for (size_t k = 0; k < s.levels.size(); ++k) {
    const LevelInfo& l = s.levels[k];
    Json level = {
        {"name", l.name}, {"near", l.nearDist}, {"far", l.farDist}, {"triangles", l.triangles}};
    if (l.batches >= 0) level["batches"] = l.batches;
    if (l.stateChanges >= 0) level["stateChanges"] = l.stateChanges;
    if (s.obj8 && k < s.obj8->levels.size()) level.update(LevelContentsJson(s.obj8->levels[k]));
    levels.push_back(std::move(level));
  }
  j["levels"] = std::move(levels);
  if (s.obj8) {
    j["header"] = s.obj8->header;
    j["outsideLevels"] = LevelContentsJson(s.obj8->outside);
  }
  j["bounds"] =
      s.bounds.any ? Json{{"min", Vec(s.bounds.min)}, {"max", Vec(s.bounds.max)}} : Json(nullptr);
  Json materials = Json::array();
  for (const MaterialInfo& m : s.materials) {
    Json textures = Json::array();
    for (const TextureInfo& t : m.textures) {
      Json texture = {{"role", t.role}, {"name", t.name}, {"file", t.file}, {"exists", t.exists}};
      texture["width"] = t.size ? Json(t.size->width) : Json(nullptr);
      texture["height"] = t.size ? Json(t.size->height) : Json(nullptr);
      texture["imageFormat"] = t.size ? Json(t.size->format) : Json(nullptr);
      textures.push_back(std::move(texture));
    }
    Json material = {{"name", m.name}};
    if (!m.detail.empty()) material["detail"] = m.detail;
    material["textures"] = std::move(textures);
    materials.push_back(std::move(material));
  }
  j["materials"] = std::move(materials);
  if (!s.margins.empty()) {
    Json margins = Json::array();
    for (const Margin& m : s.margins)
      margins.push_back({{"what", m.what},
                         {"used", m.used},
                         {"limit", m.limit},
                         {"spare", m.limit - m.used},
                         {"item", m.item}});
    j["margins"] = std::move(margins);
  }
  j["notes"] = s.notes;
  out << j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

std::string Lower(std::string s) {
  for (char& c : s)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

void Bound(Inspection& s, Vec3 p) {
  s.bounds.Extend(p, p);
}

Inspection OfObj8(const Obj8File& f, const std::filesystem::path& folder) {
  Inspection s;
  s.format = "OBJ8";
  int64_t batches = 0, states = 0;
  for (const Obj8Command& c : f.commands) {
    batches += c.kind == Obj8Command::Kind::Tris;
    states += c.kind == Obj8Command::Kind::State;
  }
  s.counts = {{"vertices", static_cast<int64_t>(f.vertices.size())},
              {"indices", static_cast<int64_t>(f.indices.size())},
              {"triangles", f.TriangleCount()},
              {"batches", batches},
              {"stateChanges", states}};
  for (size_t k = 0; k < f.lods.size(); ++k) {
    const Obj8Lod& l = f.lods[k];
    s.levels.push_back(
        {std::to_string(k), l.nearDistance, l.farDistance, l.triangles, l.batches, l.stateChanges});
  }
  for (const Obj8Vertex& v : f.vertices)
    Bound(s, v.position);
  // The file is one texture set: its three textures stand for its one material.
  MaterialInfo m{f.textures[0].empty() ? "(no texture)" : f.textures[0], {}, {}};
  const char* roles[] = {"texture", "lit", "normal"};
  for (size_t k = 0; k < 3; ++k)
    if (!f.textures[k].empty()) m.textures.push_back(LookUp(roles[k], f.textures[k], folder));
  s.materials.push_back(std::move(m));
  s.obj8 = ContentsOf(f);
  for (const auto& [keyword, lines] : f.unknown)
    s.notes.push_back(std::to_string(lines) + (lines == 1 ? " line" : " lines") + " of " + keyword +
                      ", a keyword the reader does not know (the import keeps it as it stands)");
  return s;
}

// An IGS texture reference ("textures\\wood") names a file with any extension.
TextureInfo LookUpReference(const std::string& reference, const std::filesystem::path& folder) {
  std::string relative = reference;
  std::replace(relative.begin(), relative.end(), '\\', '/');
  const std::filesystem::path wanted = folder / relative;
  TextureInfo t{"stage", reference, wanted.string() + ".*", false, std::nullopt};
  std::error_code ec;
  const std::string stem = Lower(wanted.filename().string());
  for (std::filesystem::directory_iterator it(wanted.parent_path(), ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::filesystem::path& file = it->path();
    if (Lower(file.stem().string()) != stem || !it->is_regular_file(ec)) continue;
    t.file = file.string();
    t.exists = true;
    t.size = ImageSizeOfFile(file);
    break;
  }
  return t;
}

Mat4 BlockWorld(const IgsContents& c, int32_t block) {
  Mat4 world = Mat4::Identity();
  // The parents are checked by the reader; the depth is bounded by the block count all the same.
  for (size_t steps = 0; block >= 0 && steps <= c.blocks.size(); ++steps) {
    Mat4 local;
    local.m = c.blocks[static_cast<size_t>(block)].transform;
    world = Multiply(world, local);
    block = c.blocks[static_cast<size_t>(block)].parent;
  }
  return world;
}

int64_t SubtreeTriangles(const IgsContents& c, int32_t block, size_t depth = 0) {
  if (depth > c.blocks.size()) return 0;
  const IgsBlockRecord& b = c.blocks[static_cast<size_t>(block)];
  int64_t n = 0;
  for (int32_t mesh : b.meshes)
    n += static_cast<int64_t>(c.meshes[static_cast<size_t>(mesh)].triangles.size());
  for (int32_t child : b.children)
    n += SubtreeTriangles(c, child, depth + 1);
  return n;
}

Inspection OfIgs(const IgsContents& c, const std::filesystem::path& folder) {
  Inspection s;
  s.format = "IGS";
  const IgsUsage u = UsageOf(c);
  s.counts = {{"blocks", u.blocks},
              {"meshes", u.meshes},
              {"vertices", u.vertices},
              {"triangles", u.triangles},
              {"materials", static_cast<int64_t>(c.materials.size())},
              {"textureNames", static_cast<int64_t>(c.textureNames.size())}};
  // Each top-level block is one level of detail, seen out to the distance its name gives.
  double nearDist = 0;
  for (int32_t top : c.TopBlocks()) {
    const IgsBlockRecord& b = c.blocks[static_cast<size_t>(top)];
    s.levels.push_back(
        {b.name, nearDist, static_cast<double>(b.distance), SubtreeTriangles(c, top), -1, -1});
    nearDist = b.distance;
  }
  // The vertices where their blocks put them: the corners of a turned block's box would
  // reach past them.
  for (size_t i = 0; i < c.blocks.size(); ++i) {
    const Mat4 world = BlockWorld(c, static_cast<int32_t>(i));
    for (int32_t mesh : c.blocks[i].meshes)
      for (const IgsVertexRecord& v : c.meshes[static_cast<size_t>(mesh)].vertices)
        Bound(s, TransformPoint({v.position[0], v.position[1], v.position[2]}, world));
  }
  for (const IgsMaterialRecord& m : c.materials) {
    MaterialInfo info{m.name, "shader " + m.shader, {}};
    for (size_t k = 0; k < m.stages.size(); ++k)
      if (!m.stages[k].textureName.empty()) {
        info.textures.push_back(LookUpReference(m.stages[k].textureName, folder));
        info.textures.back().role = "stage " + std::to_string(k);
      }
    s.materials.push_back(std::move(info));
  }
  s.margins = {{"block name length", static_cast<int64_t>(u.longestBlockName), igs::BlockNameSize,
                u.longestBlock},
               {"material name length", static_cast<int64_t>(u.longestMaterialName),
                igs::MaterialNameSize, ""},
               {"shader name length", static_cast<int64_t>(u.longestShader), igs::ShaderNameSize,
                u.longestShaderMaterial},
               {"materials", u.materials, igs::MaxMaterials, ""},
               {"distinct textures", u.distinctTextures, igs::MaxTextures, ""},
               {"texture name table entries", u.textureNames, igs::MaxTextureNames, ""},
               {"children of one block", u.mostChildren, igs::MaxChildren, u.mostChildrenBlock},
               {"levels of detail (top blocks)", u.levels, igs::MaxLevelNodes, ""},
               {"file size in bytes", static_cast<int64_t>(c.size), igs::MaxFileSize, ""}};
  if (u.unlistedChildren > 0)
    s.notes.push_back(std::to_string(u.unlistedChildren) +
                      " blocks are not listed by their parent, which lists " +
                      std::to_string(igs::MaxChildren) + " children at most");
  for (const std::string& note : c.notes)
    s.notes.push_back(note);
  return s;
}

// The first bytes of a file, to tell its format.
std::string FirstBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string bytes(4096, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(in ? bytes.size() : static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  return bytes;
}

}  // namespace

int InspectCommand(const InspectOptions& options, std::ostream& out, std::ostream& err) {
  const std::filesystem::path& file = options.file;
  const std::filesystem::path folder =
      file.parent_path().empty() ? std::filesystem::path(".") : file.parent_path();
  Inspection s;
  try {
    const std::string extension = Lower(file.extension().string());
    const std::string start = IsStandardStream(file) ? std::string() : FirstBytes(file);
    if (IsObj8(start)) {
      s = OfObj8(ReadObj8File(file), folder);
    } else if (LooksLikeIgs(start)) {
      // Read in a child process under the reader limits, as a model is: what inspect prints
      // comes back, and a file whose reading would pass them is an error here.
      const ImportedModel printed = ReadInChildProcess(
          [&] {
            Inspection igs = OfIgs(ReadIgsFile(file), folder);
            igs.file = file.string();
            std::ostringstream text;
            if (options.json)
              PrintJson(igs, text);
            else
              PrintText(igs, text);
            ImportedModel m;
            m.document = std::make_unique<HostDocument>();
            m.log = {text.str()};
            return m;
          },
          file.string(), options.limits);
      out << printed.log.at(0);
      return ExitOk;
    } else if (IsStandardStream(file) || extension == ".json") {
      s = OfDocument(*LoadSceneArgument(file), folder, nullptr);
      s.format = "scene";
    } else {
      ImportedModel model = ImportModelInChildProcess(file, {}, options.limits);
      s = OfDocument(*model.document, folder, &model.textures);
      // The bounds in the model's own axes, as its file has them.
      if (Box& box = s.bounds; box.any) {
        const aiVector3D a = exchange::ToLibrary(box.min), b = exchange::ToLibrary(box.max);
        box.min = {std::min(a.x, b.x), std::min(a.y, b.y), std::min(a.z, b.z)};
        box.max = {std::max(a.x, b.x), std::max(a.y, b.y), std::max(a.z, b.z)};
      }
      s.format = "model";
      s.notes = model.log;
    }
  } catch (const Error& e) {
    err << "error: " << e.Description() << "\n";
    return ExitBadInput;
  }
  s.file = IsStandardStream(file) ? "-" : file.string();
  if (options.json)
    PrintJson(s, out);
  else
    PrintText(s, out);
  return ExitOk;
}

}  // namespace vlm::host
