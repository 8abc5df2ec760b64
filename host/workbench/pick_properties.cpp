#include "workbench/pick_properties.h"

#include <algorithm>
#include <set>
#include <system_error>

#include "scene/document.h"
#include "scene/scene_text.h"
#include "scene/texture_names.h"

namespace vlm::workbench {
namespace {

using host::HostMesh;
using host::HostNode;

void CountBelow(const HostNode& node, PickProperties& p) {
  for (const auto& mesh : node.meshes) {
    ++p.objects;
    p.vertices += mesh->vertices.size();
  }
  for (const auto& child : node.children)
    CountBelow(*child, p);
}

// The vertices the faces use, each once.
size_t VerticesOf(const HostMesh& mesh, const std::vector<int32_t>& faces) {
  std::set<int32_t> used;
  for (int32_t f : faces)
    if (f >= 0 && static_cast<size_t>(f) < mesh.FaceCount())
      for (const host::HostPoint& point : mesh.Points(static_cast<size_t>(f)))
        used.insert(point.vertex);
  return used.size();
}

PickProperties::Field FieldOf(const std::string& name, const std::string& text) {
  // Shown as it stands, but for control characters that would garble a label.
  const std::string shown = host::scene_text::Printable(text, true);
  return {name, shown, name == "OBJ8" || shown.find('\n') != std::string::npos};
}

std::vector<PickProperties::Field> Fields(const std::map<int32_t, std::string>& fields,
                                          const std::vector<std::string>& names) {
  std::vector<PickProperties::Field> out;
  for (const auto& [slot, text] : fields)
    if (!text.empty() && slot >= 0 && static_cast<size_t>(slot) < names.size())
      out.push_back(FieldOf(names[static_cast<size_t>(slot)], text));
  return out;
}

std::string ParentPath(const HostNode* parent) {
  return parent ? parent->Path() : "";
}

template <class T>
std::optional<T> Shared(const std::vector<T>& values) {
  if (values.empty()) return std::nullopt;
  for (const T& v : values)
    if (!(v == values.front())) return std::nullopt;
  return values.front();
}

bool SameFrame(const PickProperties::Frame& a, const PickProperties::Frame& b) {
  return a.position == b.position && a.forward == b.forward && a.up == b.up;
}

void AddMaterials(const host::HostDocument& document, const host::PickedItems& picked,
                  const std::filesystem::path& textureFolder, PickProperties& p) {
  std::map<const host::HostMaterial*, size_t> faces;
  for (const host::FaceHit& hit : host::PickedFaces(picked))
    ++faces[hit.mesh->FaceMaterial(static_cast<size_t>(hit.face))];
  auto add = [&](const host::HostMaterial* m, size_t count) {
    PickProperties::Material shown;
    shown.faces = count;
    if (m) {
      shown.name = m->name;
      shown.diffuse = m->diffuse;
      shown.texture = m->diffuseMap;
      if (!m->diffuseMap.empty()) {
        shown.textureFile = host::TextureFileFrom(m->diffuseMap, textureFolder);
        std::error_code ec;
        shown.textureFound = std::filesystem::is_regular_file(shown.textureFile, ec);
      }
      shown.fields = Fields(m->fields, document.MaterialFieldNames());
    }
    p.materials.push_back(std::move(shown));
  };
  for (const auto& m : document.Materials())
    if (auto at = faces.find(m.get()); at != faces.end()) add(m.get(), at->second);
  // Faces without a material, and any whose material the document does not list.
  for (const auto& [m, count] : faces)
    if (!m || std::none_of(document.Materials().begin(), document.Materials().end(),
                           [m = m](const auto& listed) { return listed.get() == m; }))
      add(m, count);
}

void AddSharedFields(const host::HostDocument& document,
                     const std::vector<const HostNode*>& holders, PickProperties& p) {
  if (holders.empty()) return;
  p.fieldsOf = holders.size() == 1 ? holders[0]->Path() : "";
  for (const auto& [slot, text] : holders[0]->fields) {
    if (text.empty() || slot < 0 || static_cast<size_t>(slot) >= document.NodeFieldNames().size())
      continue;
    const bool shared =
        std::all_of(holders.begin(), holders.end(), [&, slot = slot, &text = text](auto* h) {
          auto at = h->fields.find(slot);
          return at != h->fields.end() && at->second == text;
        });
    if (shared)
      p.fields.push_back(FieldOf(document.NodeFieldNames()[static_cast<size_t>(slot)], text));
  }
}

std::string Kinds(const host::PluginInput& input, bool one) {
  std::vector<std::string> kinds;
  if (input.groups) kinds.push_back(one ? "group" : "groups");
  if (input.objects) kinds.push_back(one ? "object" : "objects");
  // A face pick counts as its object where whole objects are taken too.
  if (input.faces && !(one && input.objects)) kinds.push_back(one ? "object's faces" : "faces");
  std::string text;
  for (size_t i = 0; i < kinds.size(); ++i)
    text += (i == 0 ? "" : i + 1 == kinds.size() ? " or " : ", ") + kinds[i];
  return text;
}

}  // namespace

PickProperties PropertiesOf(const host::HostDocument& document, const host::PickedItems& picked,
                            const std::filesystem::path& textureFolder) {
  PickProperties p;
  if (picked.Empty()) {
    p.heading = "Nothing picked";
    return p;
  }
  p.selectText = host::SelectCommandLine(host::SelectTexts(picked));
  const size_t items = picked.groups.size() + picked.objects.size();

  std::vector<std::string> names, parents;
  std::vector<const HostNode*> holders;  // whose node fields are shown
  std::vector<PickProperties::Frame> frames;
  for (const HostNode* g : picked.groups) {
    names.push_back(g->name);
    parents.push_back(ParentPath(g->parent));
    holders.push_back(g);
    frames.push_back({g->position, g->forward, g->up});
    CountBelow(*g, p);
  }
  for (const auto& o : picked.objects) {
    names.push_back(o.mesh->name);
    parents.push_back(ParentPath(o.mesh->parent));
    if (o.mesh->parent &&
        std::find(holders.begin(), holders.end(), o.mesh->parent) == holders.end())
      holders.push_back(o.mesh->parent);
    ++p.objects;
    p.vertices += o.faces.empty() ? o.mesh->vertices.size() : VerticesOf(*o.mesh, o.faces);
  }
  p.faces = host::PickedFaces(picked).size();
  p.name = Shared(names);
  p.group = Shared(parents);
  if (picked.objects.empty() && !frames.empty() &&
      std::all_of(frames.begin(), frames.end(),
                  [&](const auto& f) { return SameFrame(f, frames.front()); }))
    p.frame = frames.front();

  if (items == 1 && !picked.groups.empty()) {
    const HostNode& g = *picked.groups[0];
    p.kind = PickProperties::Kind::Group;
    p.heading = "Group " + host::scene_text::Printable(g.name);
    p.path = g.Path();
  } else if (items == 1) {
    const auto& o = picked.objects[0];
    p.path = o.mesh->Path();
    p.kind = o.faces.empty() ? PickProperties::Kind::Object : PickProperties::Kind::Faces;
    p.heading = p.kind == PickProperties::Kind::Object
                    ? "Object " + host::scene_text::Printable(o.mesh->name)
                    : std::to_string(o.faces.size()) + (o.faces.size() == 1 ? " face" : " faces") +
                          " of " + host::scene_text::Printable(o.mesh->name);
  } else {
    p.kind = PickProperties::Kind::Several;
    p.heading = std::to_string(items) + " items: " + host::DescribePicks(picked);
  }
  AddMaterials(document, picked, textureFolder, p);
  AddSharedFields(document, holders, p);
  return p;
}

std::string PluginMisfit(const std::string& pluginName, const host::PluginInput& input,
                         const host::PickedItems& picked,
                         const std::map<host::PickMode, std::string>& keys) {
  int taken = input.groups ? static_cast<int>(picked.groups.size()) : 0;
  for (const auto& o : picked.objects)
    taken += o.faces.empty() ? input.objects : input.faces;
  if (taken < input.least) {
    std::vector<std::string> modes;
    auto mode = [&](bool takes, host::PickMode m, const char* word) {
      if (!takes) return;
      const auto key = keys.find(m);
      modes.push_back(key == keys.end() || key->second.empty() ? word
                                                               : word + (" (" + key->second + ")"));
    };
    mode(input.groups, host::PickMode::Groups, "groups");
    mode(input.objects, host::PickMode::Objects, "objects");
    mode(input.faces, host::PickMode::Faces, "faces");
    std::string pick;
    for (size_t i = 0; i < modes.size(); ++i)
      pick += (i == 0 ? "" : i + 1 == modes.size() ? " or " : ", ") + modes[i];
    return pluginName + " works on " + (input.most == 1 ? "one " : "") +
           Kinds(input, input.most == 1) + ": pick " + pick + " first";
  }
  if (input.most > 0 && taken > input.most)
    return pluginName + " works on " +
           (input.most == 1 ? "one " + Kinds(input, true)
                            : "at most " + std::to_string(input.most) + " " + Kinds(input, false)) +
           ": pick only " + (input.most == 1 ? "one" : std::to_string(input.most)) +
           (input.least == 0 ? " (or nothing, for the whole scene)" : "");
  return "";
}

std::string WildcardFor(const std::string& name) {
  std::string out;
  for (char c : name) {
    if (c == '*' || c == '?' || c == '[' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

}  // namespace vlm::workbench
