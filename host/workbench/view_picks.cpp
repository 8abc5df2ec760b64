// What the view hides and the picks of everything shown (see view_picks.h).
#include "workbench/view_picks.h"

#include <algorithm>
#include <set>

#include "scene/document.h"

namespace vlm::workbench {
namespace {

void EveryObject(const host::HostNode& node, std::vector<const host::HostMesh*>& out) {
  for (const auto& mesh : node.meshes)
    out.push_back(mesh.get());
  for (const auto& child : node.children)
    EveryObject(*child, out);
}

std::vector<const host::HostMesh*> EveryObject(const host::HostNode& node) {
  std::vector<const host::HostMesh*> out;
  EveryObject(node, out);
  return out;
}

}  // namespace

void HiddenFaces::HideObject(const host::HostMesh& mesh, const std::vector<int32_t>& faces) {
  const std::string path = mesh.Path();
  auto [at, added] = byPath_.emplace(path, faces);
  if (added) return;
  std::vector<int32_t>& had = at->second;
  if (had.empty()) return;  // hidden whole already
  if (faces.empty()) return had.clear();
  std::vector<int32_t> both;
  std::set_union(had.begin(), had.end(), faces.begin(), faces.end(), std::back_inserter(both));
  had = std::move(both);
}

void HiddenFaces::Hide(const host::PickedItems& picked) {
  for (const host::HostNode* group : picked.groups)
    for (const host::HostMesh* mesh : EveryObject(*group))
      HideObject(*mesh, {});
  for (const auto& object : picked.objects)
    HideObject(*object.mesh, object.faces);
}

void HiddenFaces::Isolate(const host::HostDocument& document, const host::PickedItems& picked) {
  // The picked faces of each object (an object picked whole or under a group: all of them).
  std::map<const host::HostMesh*, std::vector<int32_t>> kept;
  std::set<const host::HostMesh*> whole;
  for (const host::HostNode* group : picked.groups)
    for (const host::HostMesh* mesh : EveryObject(*group))
      whole.insert(mesh);
  for (const auto& object : picked.objects)
    if (object.faces.empty())
      whole.insert(object.mesh);
    else
      kept[object.mesh] = object.faces;
  for (const host::HostMesh* mesh : EveryObject(document.Root())) {
    if (whole.contains(mesh)) continue;
    const auto at = kept.find(mesh);
    if (at == kept.end()) {
      HideObject(*mesh, {});
      continue;
    }
    std::vector<int32_t> others;
    for (size_t f = 0; f < mesh->FaceCount(); ++f)
      if (!std::binary_search(at->second.begin(), at->second.end(), static_cast<int32_t>(f)))
        others.push_back(static_cast<int32_t>(f));
    if (!others.empty()) HideObject(*mesh, others);
  }
}

std::vector<host::FaceHit> HiddenFaces::Faces(const host::HostDocument& document) const {
  std::vector<host::FaceHit> out;
  if (byPath_.empty()) return out;
  for (const host::HostMesh* mesh : EveryObject(document.Root())) {
    const auto at = byPath_.find(mesh->Path());
    if (at == byPath_.end()) continue;
    const auto hide = [&](size_t f) {
      if (!mesh->FaceRemoved(f)) out.push_back({mesh, static_cast<int32_t>(f)});
    };
    if (at->second.empty())
      for (size_t f = 0; f < mesh->FaceCount(); ++f)
        hide(f);
    for (int32_t f : at->second)
      if (f >= 0 && static_cast<size_t>(f) < mesh->FaceCount()) hide(static_cast<size_t>(f));
  }
  return out;
}

std::vector<host::FaceHit> ShownFaces(const host::HostDocument& document,
                                      const std::vector<host::FaceHit>& hidden) {
  std::vector<host::FaceHit> out;
  for (const host::HostMesh* mesh : EveryObject(document.Root()))
    for (size_t f = 0; f < mesh->FaceCount(); ++f) {
      const host::FaceHit face{mesh, static_cast<int32_t>(f)};
      if (!mesh->FaceRemoved(f) && !std::binary_search(hidden.begin(), hidden.end(), face))
        out.push_back(face);
    }
  return out;
}

host::PickedItems PickAll(const std::vector<host::FaceHit>& shown, host::PickMode mode) {
  host::PickedItems picked;
  host::CombinePicks(picked, shown, mode, host::PickCombine::Replace);
  return picked;
}

host::PickedItems InvertPicks(const host::PickedItems& picked,
                              const std::vector<host::FaceHit>& shown, host::PickMode mode) {
  std::vector<host::FaceHit> covered = host::PickedFaces(picked);
  std::sort(covered.begin(), covered.end());
  std::set<const void*> taken;  // the objects or groups picked
  for (const host::FaceHit& face : covered)
    taken.insert(face.mesh);
  if (mode == host::PickMode::Groups) {
    taken.clear();
    taken.insert(picked.groups.begin(), picked.groups.end());
  }
  std::vector<host::FaceHit> rest;
  for (const host::FaceHit& face : shown) {
    const bool in = mode == host::PickMode::Faces
                        ? std::binary_search(covered.begin(), covered.end(), face)
                    : mode == host::PickMode::Objects ? taken.contains(face.mesh)
                                                      : taken.contains(face.mesh->parent);
    if (!in) rest.push_back(face);
  }
  return PickAll(rest, mode);
}

}  // namespace vlm::workbench
