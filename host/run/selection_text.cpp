#include "run/selection_text.h"

#include <algorithm>
#include <set>

#include "run/printing.h"
#include "run/selections.h"
#include "scene/document.h"

namespace vlm::host {
namespace {

PickedItems::Object* FindObject(PickedItems& picked, const HostMesh* mesh) {
  for (auto& o : picked.objects)
    if (o.mesh == mesh) return &o;
  return nullptr;
}

// Adds `face` (or with -1 the whole object) unless it is there; true when it was there and
// is taken out (toggle) or was there (add).
void PickObject(PickedItems& picked, const HostMesh* mesh, int32_t face, bool toggle) {
  PickedItems::Object* o = FindObject(picked, mesh);
  if (!o) {
    picked.objects.push_back({mesh, face < 0 ? std::vector<int32_t>{} : std::vector{face}});
    return;
  }
  if (face < 0) {
    if (toggle)
      picked.objects.erase(picked.objects.begin() + (o - picked.objects.data()));
    else
      o->faces.clear();  // the whole object now
    return;
  }
  if (o->faces.empty()) {
    // A face of an object picked whole: toggling takes the object out, adding keeps it.
    if (toggle) picked.objects.erase(picked.objects.begin() + (o - picked.objects.data()));
    return;
  }
  auto at = std::lower_bound(o->faces.begin(), o->faces.end(), face);
  if (at != o->faces.end() && *at == face) {
    if (toggle) o->faces.erase(at);
    if (o->faces.empty())
      picked.objects.erase(picked.objects.begin() + (o - picked.objects.data()));
    return;
  }
  o->faces.insert(at, face);
}

void PickGroup(PickedItems& picked, const HostNode* group, bool toggle) {
  auto at = std::find(picked.groups.begin(), picked.groups.end(), group);
  if (at == picked.groups.end())
    picked.groups.push_back(group);
  else if (toggle)
    picked.groups.erase(at);
}

std::string IndexList(const std::vector<int32_t>& faces) {
  std::string t;
  for (int32_t i : faces)
    t += (t.empty() ? "" : ",") + std::to_string(i);
  return t;
}

void CollectFaces(const HostMesh& mesh, std::vector<FaceHit>& out) {
  for (size_t f = 0; f < mesh.FaceCount(); ++f)
    if (!mesh.FaceRemoved(f)) out.push_back({&mesh, static_cast<int32_t>(f)});
}

void CollectGroup(const HostNode& node, std::vector<FaceHit>& out) {
  for (const auto& mesh : node.meshes)
    CollectFaces(*mesh, out);
  for (const auto& child : node.children)
    CollectGroup(*child, out);
}

size_t CountObjects(const HostNode& node) {
  size_t n = node.meshes.size();
  for (const auto& child : node.children)
    n += CountObjects(*child);
  return n;
}

std::string Counted(size_t n, const char* noun) {
  return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

}  // namespace

void CombinePicks(PickedItems& picked, const std::vector<FaceHit>& hits, PickMode mode,
                  PickCombine combine) {
  if (combine == PickCombine::Replace) picked = {};
  const bool toggle = combine == PickCombine::Toggle;
  // A box holds many faces of one object: in object and group mode each is taken once.
  std::set<const void*> seen;
  for (const FaceHit& hit : hits) {
    if (!hit.mesh) continue;
    switch (mode) {
      case PickMode::Faces:
        PickObject(picked, hit.mesh, hit.face, toggle);
        break;
      case PickMode::Objects:
        if (seen.insert(hit.mesh).second) PickObject(picked, hit.mesh, -1, toggle);
        break;
      case PickMode::Groups:
        if (hit.mesh->parent && seen.insert(hit.mesh->parent).second)
          PickGroup(picked, hit.mesh->parent, toggle);
        break;
    }
  }
}

std::vector<std::string> SelectTexts(const PickedItems& picked) {
  std::vector<std::string> texts;
  for (const HostNode* g : picked.groups)
    texts.push_back("group:" + g->Path());
  for (const auto& o : picked.objects)
    texts.push_back(o.faces.empty() ? "object:" + o.mesh->Path()
                                    : "faces:" + o.mesh->Path() + ":" + IndexList(o.faces));
  for (const HostNode* g : picked.groups)
    texts.push_back("node:" + g->Path());
  for (const auto& o : picked.objects)
    texts.push_back(o.faces.empty() ? "shape:" + o.mesh->Path()
                                    : "polygons:" + o.mesh->Path() + ":" + IndexList(o.faces));
  return texts;
}

std::string SelectCommandLine(const std::vector<std::string>& texts) {
  std::string line;
  for (const std::string& t : texts)
    line += (line.empty() ? "--select " : " --select ") + ShellQuoted(t);
  return line;
}

PickedItems PickedIn(const HostDocument& document) {
  PickedItems picked;
  auto group = [&](const HostNode* n) { PickGroup(picked, n, false); };
  auto object = [&](const HostMesh* mesh, const std::vector<int32_t>& faces) {
    if (faces.empty()) return PickObject(picked, mesh, -1, false);
    // Faces join an object picked by faces; an object picked whole stays whole.
    for (int32_t f : faces)
      PickObject(picked, mesh, f, false);
  };
  const auto& s = document.scriptingSelection;
  const auto& g = document.graphSelection;
  for (const HostNode* n : s.groups)
    group(n);
  for (const auto& o : s.objects)
    object(o.mesh, o.mode == 1 ? o.faces : std::vector<int32_t>{});
  for (const HostNode* n : g.nodes)
    group(n);
  for (const auto& e : g.shapes)
    object(e.mesh, e.polygons);
  return picked;
}

PickedItems SelectByTexts(HostDocument& document, const std::vector<std::string>& texts) {
  try {
    if (texts.empty()) document.ClearSelection();
    ApplySelections(document, texts);
  } catch (...) {
    document.ClearSelection();
    throw;
  }
  return PickedIn(document);
}

std::vector<FaceHit> PickedFaces(const PickedItems& picked) {
  std::vector<FaceHit> out;
  for (const HostNode* g : picked.groups)
    CollectGroup(*g, out);
  for (const auto& o : picked.objects) {
    if (o.faces.empty())
      CollectFaces(*o.mesh, out);
    else
      for (int32_t f : o.faces)
        out.push_back({o.mesh, f});
  }
  return out;
}

std::string DescribePicks(const PickedItems& picked) {
  if (picked.Empty()) return "nothing";
  const size_t faces = PickedFaces(picked).size();
  std::vector<std::string> parts;
  if (!picked.groups.empty()) {
    size_t objects = 0;
    for (const HostNode* g : picked.groups)
      objects += CountObjects(*g);
    parts.push_back(Counted(picked.groups.size(), "group") + " (" + Counted(objects, "object") +
                    ")");
  }
  size_t whole = 0, partial = 0, partialFaces = 0;
  for (const auto& o : picked.objects) {
    if (o.faces.empty())
      ++whole;
    else
      ++partial, partialFaces += o.faces.size();
  }
  if (whole) parts.push_back(Counted(whole, "object"));
  if (partial) parts.push_back(Counted(partialFaces, "face") + " of " + Counted(partial, "object"));
  std::string text;
  for (size_t i = 0; i < parts.size(); ++i)
    text += (i ? ", " : "") + parts[i];
  if (picked.groups.empty() && !whole) return text;
  return text + "; " + Counted(faces, "face") + " in all";
}

}  // namespace vlm::host
