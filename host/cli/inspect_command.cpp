// vlmhost inspect: what a file holds, in counts.
#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/check_commands.h"
#include "cli/exit_status.h"
#include "cli/printing.h"
#include "cli/scene_argument.h"
#include "exchange/image_size.h"
#include "exchange/model_import.h"
#include "exchange/model_reader_process.h"
#include "scene/document.h"
#include "scene/face_geometry.h"
#include "vlm/error.h"
#include "vlm/file_names.h"

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
  int64_t batches = -1;  // draw batches (TRIS) of the level; -1 when the format has none
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
  bool hasBounds = false;
  Vec3 min{}, max{};
  std::vector<MaterialInfo> materials;
  std::vector<Margin> margins;
  std::vector<std::string> notes;
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
  std::string relative = name;
  std::replace(relative.begin(), relative.end(), '\\', '/');
  const std::filesystem::path file =
      IsAbsoluteFileName(name) ? std::filesystem::path(relative) : folder / relative;
  t.file = file.string();
  std::error_code ec;
  t.exists = std::filesystem::is_regular_file(file, ec);
  if (t.exists) t.size = ImageSizeOfFile(file);
  return t;
}

void Extend(Inspection& s, Vec3 lo, Vec3 hi) {
  if (!s.hasBounds) {
    s.min = lo, s.max = hi, s.hasBounds = true;
    return;
  }
  s.min = {std::min(s.min.x, lo.x), std::min(s.min.y, lo.y), std::min(s.min.z, lo.z)};
  s.max = {std::max(s.max.x, hi.x), std::max(s.max.y, hi.y), std::max(s.max.z, hi.z)};
}

int64_t Triangles(const HostMesh& mesh) {
  int64_t n = 0;
  for (size_t f = 0; f < mesh.FaceCount(); ++f)
    if (!mesh.FaceRemoved(f) && mesh.Points(f).size() >= 3)
      n += static_cast<int64_t>(mesh.Points(f).size()) - 2;
  return n;
}

struct TreeCounts {
  int64_t groups = 0, objects = 0, faces = 0, triangles = 0, vertices = 0;
};

void CountTree(const HostNode& node, TreeCounts& c, Inspection& s) {
  for (const auto& mesh : node.meshes) {
    ++c.objects;
    for (size_t f = 0; f < mesh->FaceCount(); ++f)
      c.faces += !mesh->FaceRemoved(f);
    c.triangles += Triangles(*mesh);
    c.vertices += static_cast<int64_t>(mesh->vertices.size());
    Vec3 lo, hi;
    if (WorldBounds(*mesh, lo, hi)) Extend(s, lo, hi);
  }
  for (const auto& child : node.children) {
    ++c.groups;
    CountTree(*child, c, s);
  }
}

// Groups named after their range ("LOD 0-300", as an OBJ8 file is imported) are levels.
void LevelGroups(const HostNode& node, Inspection& s) {
  for (const auto& child : node.children) {
    double nearDist = 0, farDist = 0;
    char tail = 0;
    if (std::sscanf(child->name.c_str(), "LOD %lf-%lf%c", &nearDist, &farDist, &tail) == 2) {
      TreeCounts c;
      Inspection ignored;
      CountTree(*child, c, ignored);
      s.levels.push_back({child->Path(), nearDist, farDist, c.triangles, -1});
    } else {
      LevelGroups(*child, s);
    }
  }
}

Inspection OfDocument(const HostDocument& document, const std::filesystem::path& folder,
                      const std::vector<EmbeddedTexture>* embedded) {
  Inspection s;
  TreeCounts c;
  CountTree(document.Root(), c, s);
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

void PrintText(const Inspection& s, std::ostream& out) {
  out << s.file << ": " << s.format << "\n  ";
  for (size_t k = 0; k < s.counts.size(); ++k)
    out << (k ? ", " : "") << s.counts[k].first << " " << s.counts[k].second;
  out << "\n";
  for (const LevelInfo& l : s.levels) {
    out << "  level " << l.name << ": " << Distance(l.nearDist) << "-" << Distance(l.farDist)
        << " m, " << l.triangles << " triangles";
    if (l.batches >= 0) out << ", " << l.batches << (l.batches == 1 ? " batch" : " batches");
    out << "\n";
  }
  if (s.hasBounds)
    out << "  bounds " << Vector(s.min) << " to " << Vector(s.max) << "\n";
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
  for (const LevelInfo& l : s.levels) {
    Json level = {
        {"name", l.name}, {"near", l.nearDist}, {"far", l.farDist}, {"triangles", l.triangles}};
    if (l.batches >= 0) level["batches"] = l.batches;
    levels.push_back(std::move(level));
  }
  j["levels"] = std::move(levels);
  j["bounds"] = s.hasBounds ? Json{{"min", Vec(s.min)}, {"max", Vec(s.max)}} : Json(nullptr);
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

}  // namespace

int InspectCommand(const InspectOptions& options, std::ostream& out, std::ostream& err) {
  const std::filesystem::path& file = options.file;
  const std::filesystem::path folder =
      file.parent_path().empty() ? std::filesystem::path(".") : file.parent_path();
  Inspection s;
  try {
    const std::string extension = Lower(file.extension().string());
    if (IsStandardStream(file) || extension == ".json") {
      s = OfDocument(*LoadSceneArgument(file), folder, nullptr);
      s.format = "scene";
    } else {
      ImportedModel model = ImportModelInChildProcess(file, {}, options.limits);
      s = OfDocument(*model.document, folder, &model.textures);
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
