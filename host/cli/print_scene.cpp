// The scene as a readable tree (vlmhost show).
#include "cli/print_scene.h"

#include <cmath>
#include <nlohmann/json.hpp>
#include <ostream>

#include "run/printing.h"
#include "scene/document.h"
#include "scene/face_geometry.h"
#include "scene/scene_text.h"

namespace vlm::host {
namespace {

// A name or text from the scene on the terminal: its control characters (an escape sequence,
// a line break) escaped.
std::string Shown(const std::string& text) {
  return scene_text::Printable(text);
}

void PrintUnits(const HostDocument& document, std::ostream& out) {
  static const char* const unitNames[] = {"metres", "centimetres", "feet"};
  out << "units: "
      << (document.units >= 0 && document.units <= 2 ? unitNames[document.units] : "code") << " ("
      << document.units << ")\n";
}

// `0 "Name", 1 "Other"`, or "none".
std::string FieldList(const std::vector<std::string>& names) {
  std::string s;
  for (size_t i = 0; i < names.size(); ++i)
    s += (i ? ", " : "") + std::to_string(i) + " \"" + Shown(names[i]) + "\"";
  return s.empty() ? std::string("none") : s;
}

void PrintFieldNames(const HostDocument& document, std::ostream& out) {
  out << "custom fields: node " << FieldList(document.NodeFieldNames()) << "; material "
      << FieldList(document.MaterialFieldNames()) << "\n";
}

// The values of a node's or material's custom fields, one a line under their names.
void PrintFieldValues(const std::map<int32_t, std::string>& fields,
                      const std::vector<std::string>& names, const std::string& pad,
                      std::ostream& out) {
  for (const auto& [slot, text] : fields)
    out << pad << Shown(names[static_cast<size_t>(slot)]) << ": " << Shown(text) << "\n";
}

void PrintTextures(const HostMaterial& m, std::ostream& out) {
  out << ", textures:";
  const std::pair<const char*, const std::string*> maps[] = {{"diffuse", &m.diffuseMap},
                                                             {"bump", &m.bumpMap},
                                                             {"detail", &m.detailMap},
                                                             {"specular", &m.specularMap},
                                                             {"environment", &m.environmentMap}};
  bool any = false;
  for (auto [label, name] : maps)
    if (!name->empty()) out << " " << label << " " << Shown(*name), any = true;
  if (!any) out << " (empty set)";
  if (m.wrapU != TextureWrap::Repeat || m.wrapV != TextureWrap::Repeat)
    out << ", wrap " << WrapName(m.wrapU)
        << (m.wrapU == m.wrapV ? "" : std::string(" / ") + WrapName(m.wrapV));
}

void PrintMaterials(const HostDocument& document, std::ostream& out) {
  out << "materials:\n";
  for (const auto& m : document.Materials()) {
    out << "  " << Shown(m->name) << ": diffuse (" << Number(m->diffuse.r) << ", "
        << Number(m->diffuse.g) << ", " << Number(m->diffuse.b) << ")";
    if (m->translucency) out << ", translucency " << m->translucency << "%";
    if (m->hasTextures) PrintTextures(*m, out);
    out << "\n";
    PrintFieldValues(m->fields, document.MaterialFieldNames(), "    ", out);
  }
}

// A step down the tree: the path of the n-th item of a name below `up`.
std::string Below(const std::string& up, const std::string& name, int32_t ordinal) {
  std::string own = PathSegment(name, ordinal);
  return up.empty() ? own : up + "/" + own;
}

std::string MaterialNames(const HostMesh& mesh) {
  std::string names;
  for (HostMaterial* m : mesh.Materials(false))
    names += (names.empty() ? "" : ", ") + Shown(m->name);
  return names;
}

void PrintObject(const HostMesh& mesh, const std::string& path, const std::string& pad,
                 std::ostream& out) {
  out << pad << "object " << Shown(mesh.name) << ": " << mesh.vertices.size() << " vertices, "
      << mesh.FaceCount() << " faces";
  if (std::string names = MaterialNames(mesh); !names.empty()) out << ", materials " << names;
  out << "; path " << Shown(ShellQuoted(path)) << "\n";
}

void PrintGroupLine(const HostNode& node, const std::string& path, const std::string& pad,
                    std::ostream& out) {
  out << pad << "group " << Shown(node.name) << " at " << Vector(node.position);
  if (!(node.forward == Vec3{0, 0, 1}) || !(node.up == Vec3{0, 1, 0}))
    out << ", forward " << Vector(node.forward) << ", up " << Vector(node.up);
  if (node.animationKeys) out << ", " << node.animationKeys << " animation keys";
  out << "; path " << Shown(ShellQuoted(path)) << "\n";
}

// A group, its fields and objects, then its groups one step further in; the root itself
// has no line of its own. Paths are built on the way down: asking each item for its own
// would count its siblings again for every one.
void PrintGroup(const HostDocument& document, const HostNode& node, const std::string& path,
                int depth, std::ostream& out) {
  std::string pad(static_cast<size_t>(2 * depth), ' ');
  if (node.parent) {
    PrintGroupLine(node, path, pad, out);
    pad += "  ";
  }
  PrintFieldValues(node.fields, document.NodeFieldNames(), pad, out);
  std::map<std::string, int32_t> seen;
  for (const auto& mesh : node.meshes)
    PrintObject(*mesh, Below(path, mesh->name, ++seen[mesh->name]), pad, out);
  seen.clear();
  for (const auto& child : node.children)
    PrintGroup(document, *child, Below(path, child->name, ++seen[child->name]),
               node.parent ? depth + 1 : depth, out);
}

// "1,2,5".
std::string IndexList(const std::vector<int32_t>& v) {
  std::string t;
  for (int32_t i : v)
    t += (t.empty() ? "" : ",") + std::to_string(i);
  return t;
}

// The selection in the form `run --select` reads.
void PrintSelection(const HostDocument& document, std::ostream& out) {
  const auto& s = document.scriptingSelection;
  const auto& g = document.graphSelection;
  out << "selection:";
  if (s.groups.empty() && s.objects.empty() && g.nodes.empty() && g.shapes.empty()) out << " none";
  out << "\n";
  for (const HostNode* n : s.groups)
    out << "  group:" << Shown(n->Path()) << "\n";
  for (const auto& o : s.objects) {
    if (o.mode == 1)
      out << "  faces:" << Shown(o.mesh->Path()) << ":" << IndexList(o.faces) << "\n";
    else
      out << "  object:" << Shown(o.mesh->Path()) << "\n";
  }
  for (const HostNode* n : g.nodes)
    out << "  node:" << Shown(n->Path()) << "\n";
  for (const auto& e : g.shapes) {
    if (e.polygons.empty())
      out << "  shape:" << Shown(e.mesh->Path()) << "\n";
    else
      out << "  polygons:" << Shown(e.mesh->Path()) << ":" << IndexList(e.polygons) << "\n";
  }
}

}  // namespace

void PrintScene(const HostDocument& document, std::ostream& out) {
  PrintUnits(document, out);
  PrintFieldNames(document, out);
  PrintMaterials(document, out);
  out << "groups:\n";
  PrintGroup(document, document.Root(), "", 1, out);
  PrintSelection(document, out);
}

namespace {

using Json = nlohmann::ordered_json;

// A float as JSON: the shortest text that reads back as it, not its double's digits.
Json Num(float value) {
  return std::isfinite(value) ? Json(std::stod(Number(value))) : Json(nullptr);
}
Json Vec(Vec3 v) {
  return Json::array({Num(v.x), Num(v.y), Num(v.z)});
}
Json Colour(Rgb c) {
  return Json::array({Num(c.r), Num(c.g), Num(c.b)});
}

Json FieldsJson(const std::map<int32_t, std::string>& fields,
                const std::vector<std::string>& names) {
  Json out = Json::object();
  for (const auto& [slot, text] : fields)
    if (slot >= 0 && static_cast<size_t>(slot) < names.size() && !text.empty())
      out[names[static_cast<size_t>(slot)]] = text;
  return out;
}

struct Box {
  bool any = false;
  Vec3 min{}, max{};
  void Add(Vec3 lo, Vec3 hi) {
    if (!any) {
      min = lo, max = hi, any = true;
      return;
    }
    min = {std::min(min.x, lo.x), std::min(min.y, lo.y), std::min(min.z, lo.z)};
    max = {std::max(max.x, hi.x), std::max(max.y, hi.y), std::max(max.z, hi.z)};
  }
  Json AsJson() const { return any ? Json{{"min", Vec(min)}, {"max", Vec(max)}} : Json(nullptr); }
};

Json ObjectJson(const HostMesh& mesh, const std::string& path, Box& groupBox) {
  Json materials = Json::array();
  for (HostMaterial* m : mesh.Materials(false))
    materials.push_back(m->name);
  size_t faces = 0;
  for (size_t f = 0; f < mesh.FaceCount(); ++f)
    faces += mesh.FaceRemoved(f) ? 0 : 1;
  Box box;
  Vec3 lo, hi;
  if (WorldBounds(mesh, lo, hi)) box.Add(lo, hi), groupBox.Add(lo, hi);
  return {{"kind", "object"},
          {"name", mesh.name},
          {"path", path},
          {"vertices", mesh.vertices.size()},
          {"normals", mesh.normals.size()},
          {"uvs", mesh.uvs.size()},
          {"faces", faces},
          {"smoothingAngle", Num(mesh.smoothingAngle)},
          {"materials", materials},
          {"bounds", box.AsJson()}};
}

Json GroupJson(const HostDocument& document, const HostNode& node, const std::string& path,
               Box& parentBox) {
  const Mat4 world = node.WorldMatrix();
  Json j = {{"kind", "group"},
            {"name", node.name},
            {"path", path},
            {"position", Vec(node.position)},
            {"forward", Vec(node.forward)},
            {"up", Vec(node.up)},
            {"world",
             {{"position", Vec(TransformPoint({0, 0, 0}, world))},
              {"forward", Vec(TransformDirection({0, 0, 1}, world))},
              {"up", Vec(TransformDirection({0, 1, 0}, world))}}},
            {"animationKeys", node.animationKeys},
            {"fields", FieldsJson(node.fields, document.NodeFieldNames())}};
  Box box;
  Json groups = Json::array(), objects = Json::array();
  std::map<std::string, int32_t> seen;
  for (const auto& child : node.children)
    groups.push_back(
        GroupJson(document, *child, Below(path, child->name, ++seen[child->name]), box));
  seen.clear();
  for (const auto& mesh : node.meshes)
    objects.push_back(ObjectJson(*mesh, Below(path, mesh->name, ++seen[mesh->name]), box));
  j["bounds"] = box.AsJson();
  if (box.any) parentBox.Add(box.min, box.max);
  j["groups"] = std::move(groups);
  j["objects"] = std::move(objects);
  return j;
}

Json MaterialJson(const HostDocument& document, const HostMaterial& m) {
  Json j = {{"name", m.name},
            {"diffuse", Colour(m.diffuse)},
            {"ambient", Colour(m.ambient)},
            {"emissive", Colour(m.emissive)},
            {"specular", Colour(m.specular)},
            {"gloss", Num(m.gloss)},
            {"diffuseLevel", m.diffuseLevel},
            {"ambientLevel", m.ambientLevel},
            {"specularLevel", m.specularLevel},
            {"translucency", m.translucency}};
  if (m.hasTextures)
    j["textures"] = {{"diffuse", m.diffuseMap},
                     {"bump", m.bumpMap},
                     {"detail", m.detailMap},
                     {"specular", m.specularMap},
                     {"environment", m.environmentMap}};
  j["wrap"] = Json::array({WrapName(m.wrapU), WrapName(m.wrapV)});
  j["fields"] = FieldsJson(m.fields, document.MaterialFieldNames());
  return j;
}

// The selection as --select arguments.
Json SelectionJson(const HostDocument& document) {
  Json out = Json::array();
  const auto& s = document.scriptingSelection;
  const auto& g = document.graphSelection;
  for (const HostNode* n : s.groups)
    out.push_back("group:" + n->Path());
  for (const auto& o : s.objects)
    out.push_back(o.mode == 1 ? "faces:" + o.mesh->Path() + ":" + IndexList(o.faces)
                              : "object:" + o.mesh->Path());
  for (const HostNode* n : g.nodes)
    out.push_back("node:" + n->Path());
  for (const auto& e : g.shapes)
    out.push_back(e.polygons.empty() ? "shape:" + e.mesh->Path()
                                     : "polygons:" + e.mesh->Path() + ":" + IndexList(e.polygons));
  return out;
}

void Dump(const Json& j, std::ostream& out) {
  // Names that are not UTF-8 are shown with replacement characters, never as bad JSON.
  out << j.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
}

}  // namespace

void PrintSceneJson(const HostDocument& document, const std::string& file, std::ostream& out) {
  Json materials = Json::array();
  for (const auto& m : document.Materials())
    materials.push_back(MaterialJson(document, *m));
  Box box;
  Json j = {{"scene", file},
            {"units", document.units},
            {"customFields",
             {{"node", document.NodeFieldNames()}, {"material", document.MaterialFieldNames()}}},
            {"materials", materials},
            {"root", GroupJson(document, document.Root(), "", box)},
            {"selection", SelectionJson(document)}};
  Dump(j, out);
}

void PrintFaces(const HostMesh& mesh, bool asJson, std::ostream& out) {
  const std::vector<WorldFace> faces = WorldFaces(mesh);
  auto materialOf = [&mesh](size_t f) {
    const HostMaterial* m = mesh.FaceMaterial(f);
    return m ? m->name : std::string();
  };
  if (asJson) {
    Json list = Json::array();
    for (const WorldFace& f : faces)
      list.push_back({{"index", f.index},
                      {"corners", f.corners},
                      {"material", materialOf(f.index)},
                      {"centre", Vec(f.centre)},
                      {"normal", Vec(f.normal)}});
    Dump({{"path", mesh.Path()}, {"faces", list}}, out);
    return;
  }
  out << "object " << Shown(ShellQuoted(mesh.Path())) << ": " << faces.size()
      << " faces (world space)\n";
  for (const WorldFace& f : faces) {
    std::string material = materialOf(f.index);
    out << "  face " << f.index << ": " << f.corners << " corners, "
        << (material.empty() ? std::string("no material") : "material " + Shown(material))
        << ", centre " << Vector(f.centre) << ", normal " << Vector(f.normal) << "\n";
  }
}

}  // namespace vlm::host
