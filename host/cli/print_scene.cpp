// The scene as a readable tree (vlmhost show).
#include "cli/print_scene.h"

#include <ostream>

#include "cli/printing.h"
#include "scene/document.h"
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

void PrintObject(const HostMesh& mesh, const std::string& pad, std::ostream& out) {
  out << pad << "object " << Shown(mesh.name) << ": " << mesh.vertices.size() << " vertices, "
      << mesh.FaceCount() << " faces";
  std::string names;
  for (HostMaterial* m : mesh.Materials(false))
    names += (names.empty() ? "" : ", ") + Shown(m->name);
  if (!names.empty()) out << ", materials " << names;
  out << "\n";
}

void PrintGroupLine(const HostNode& node, const std::string& pad, std::ostream& out) {
  out << pad << "group " << Shown(node.name) << " at " << Vector(node.position);
  if (!(node.forward == Vec3{0, 0, 1}) || !(node.up == Vec3{0, 1, 0}))
    out << ", forward " << Vector(node.forward) << ", up " << Vector(node.up);
  if (node.animationKeys) out << ", " << node.animationKeys << " animation keys";
  out << "\n";
}

// A group, its fields and objects, then its groups one step further in; the root itself
// has no line of its own.
void PrintGroup(const HostDocument& document, const HostNode& node, int depth, std::ostream& out) {
  std::string pad(static_cast<size_t>(2 * depth), ' ');
  if (node.parent) {
    PrintGroupLine(node, pad, out);
    pad += "  ";
  }
  PrintFieldValues(node.fields, document.NodeFieldNames(), pad, out);
  for (const auto& mesh : node.meshes)
    PrintObject(*mesh, pad, out);
  for (const auto& child : node.children)
    PrintGroup(document, *child, node.parent ? depth + 1 : depth, out);
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
  PrintGroup(document, const_cast<HostDocument&>(document).Root(), 1, out);
  PrintSelection(document, out);
}

}  // namespace vlm::host
