#include "scene/scene_diff.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <map>
#include <memory>

#include "scene/document.h"
#include "scene/scene_file.h"

namespace vlm::host {
namespace {

// Numbers compare by their bits, as the text written for them does (-0 is not 0).
bool Same(float a, float b) {
  return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
}
bool Same(const Vec3& a, const Vec3& b) {
  return Same(a.x, b.x) && Same(a.y, b.y) && Same(a.z, b.z);
}
bool Same(const Vec2& a, const Vec2& b) {
  return Same(a.u, b.u) && Same(a.v, b.v);
}
bool Same(const Rgb& a, const Rgb& b) {
  return Same(a.r, b.r) && Same(a.g, b.g) && Same(a.b, b.b);
}
template <class T>
bool Same(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

// Custom fields by name (slots may differ between documents), the empty ones left out.
std::map<std::string, std::string> Fields(const std::map<int32_t, std::string>& fields,
                                          const std::vector<std::string>& names) {
  std::map<std::string, std::string> out;
  for (const auto& [slot, text] : fields)
    if (!text.empty() && slot >= 0 && static_cast<size_t>(slot) < names.size())
      out[names[static_cast<size_t>(slot)]] = text;
  return out;
}

bool SameGroup(const HostNode& a, const HostNode& b) {
  return Same(a.position, b.position) && Same(a.forward, b.forward) && Same(a.up, b.up) &&
         a.animationKeys == b.animationKeys &&
         Fields(a.fields, a.Document().NodeFieldNames()) ==
             Fields(b.fields, b.Document().NodeFieldNames());
}

bool SameMaterial(const HostMaterial& a, const HostMaterial& b,
                  const std::vector<std::string>& aFields,
                  const std::vector<std::string>& bFields) {
  return Same(a.diffuse, b.diffuse) && Same(a.ambient, b.ambient) && Same(a.emissive, b.emissive) &&
         Same(a.specular, b.specular) && Same(a.gloss, b.gloss) &&
         a.diffuseLevel == b.diffuseLevel && a.ambientLevel == b.ambientLevel &&
         a.specularLevel == b.specularLevel && a.translucency == b.translucency &&
         a.hasTextures == b.hasTextures && a.diffuseMap == b.diffuseMap && a.bumpMap == b.bumpMap &&
         a.detailMap == b.detailMap && a.specularMap == b.specularMap &&
         a.environmentMap == b.environmentMap && a.wrapU == b.wrapU && a.wrapV == b.wrapV &&
         Fields(a.fields, aFields) == Fields(b.fields, bFields);
}

// The faces a scene file holds: those not removed.
std::vector<size_t> LiveFaces(const HostMesh& mesh) {
  std::vector<size_t> out;
  out.reserve(mesh.FaceCount());
  for (size_t f = 0; f < mesh.FaceCount(); ++f)
    if (!mesh.FaceRemoved(f)) out.push_back(f);
  return out;
}

template <class T>
const T* At(const std::vector<T>& list, int32_t index) {
  return index >= 0 && static_cast<size_t>(index) < list.size() ? &list[static_cast<size_t>(index)]
                                                                : nullptr;
}
template <class T>
bool SameEntry(const T* a, const T* b) {
  return a && b ? Same(*a, *b) : a == b;
}

std::string MaterialName(const HostMaterial* material) {
  return material ? material->name : "";
}

// Whether two faces hold the same points: positions, normals and texture coordinates by value
// (the indices that lead to them may differ, unless `sameIndices`), in the same order, and the
// same material.
bool SameFace(const HostMesh& a, size_t fa, const HostMesh& b, size_t fb, bool sameIndices) {
  auto pa = a.Points(fa), pb = b.Points(fb);
  if (pa.size() != pb.size() ||
      MaterialName(a.FaceMaterial(fa)) != MaterialName(b.FaceMaterial(fb)))
    return false;
  for (size_t i = 0; i < pa.size(); ++i) {
    const HostPoint &x = pa[i], &y = pb[i];
    if ((sameIndices && x != y) || !SameEntry(At(a.vertices, x.vertex), At(b.vertices, y.vertex)) ||
        !SameEntry(At(a.normals, x.normal), At(b.normals, y.normal)) ||
        !SameEntry(At(a.uvs, x.uv), At(b.uvs, y.uv)))
      return false;
  }
  return true;
}

// FNV-1a over 64 bits, a word at a time.
constexpr uint64_t kHashStart = 0xcbf29ce484222325ULL;
uint64_t Mix(uint64_t hash, uint64_t word) {
  for (int i = 0; i < 8; ++i, word >>= 8)
    hash = (hash ^ (word & 0xff)) * 0x100000001b3ULL;
  return hash;
}
uint64_t MixFloats(uint64_t hash, const float* values, size_t count) {
  for (size_t i = 0; i < count; ++i)
    hash = Mix(hash, std::bit_cast<uint32_t>(values[i]));
  return hash;
}

// A hash of what SameFace compares: faces it calls the same hash alike. An index that leads
// nowhere hashes as a marker of its own, as SameEntry counts all of them alike.
uint64_t FaceHash(const HostMesh& mesh, size_t face) {
  uint64_t hash = Mix(kHashStart, mesh.Points(face).size());
  const HostMaterial* material = mesh.FaceMaterial(face);
  for (char c : MaterialName(material))
    hash = Mix(hash, static_cast<unsigned char>(c));
  hash = Mix(hash, material ? 1 : 0);
  for (const HostPoint& p : mesh.Points(face)) {
    const Vec3* position = At(mesh.vertices, p.vertex);
    const Vec3* normal = At(mesh.normals, p.normal);
    const Vec2* uv = At(mesh.uvs, p.uv);
    hash = position ? MixFloats(hash, &position->x, 3) : Mix(hash, 1);
    hash = normal ? MixFloats(hash, &normal->x, 3) : Mix(hash, 2);
    hash = uv ? MixFloats(hash, &uv->u, 2) : Mix(hash, 3);
  }
  return hash;
}

// The faces of `after` that are new or differ from every face of `before`; empty when the
// objects are the same. A face is matched by what it holds, wherever it lies in the list, so
// faces inserted or removed before it leave it unlisted. Each face of `before` is hashed
// once into a sorted list, where the faces of `after` look theirs up; a hash found is
// compared face by face, so two faces that merely hash alike are not taken for one.
std::vector<int32_t> ChangedFaces(const HostMesh& before, const HostMesh& after, bool& changed) {
  const std::vector<size_t> was = LiveFaces(before), is = LiveFaces(after);
  changed = was.size() != is.size() || before.kind != after.kind ||
            !Same(before.smoothingAngle, after.smoothingAngle) ||
            !Same(before.vertices, after.vertices) || !Same(before.normals, after.normals) ||
            !Same(before.uvs, after.uvs);
  // A face at the same place holding the same indices, which lead to the same values, is
  // the same: most of an object a run leaves as it was costs no hash.
  std::vector<int32_t> faces;
  std::vector<std::pair<uint64_t, uint32_t>> hashes;  // of `before`'s live faces, by hash
  for (size_t i = 0; i < is.size(); ++i) {
    if (i < was.size() && SameFace(before, was[i], after, is[i], true)) continue;
    // Found elsewhere or not, the object's text is no longer what it was.
    changed = true;
    if (hashes.empty() && !was.empty()) {
      hashes.reserve(was.size());
      for (size_t w = 0; w < was.size(); ++w)
        hashes.emplace_back(FaceHash(before, was[w]), static_cast<uint32_t>(w));
      std::sort(hashes.begin(), hashes.end());
    }
    const uint64_t hash = FaceHash(after, is[i]);
    auto at = std::lower_bound(hashes.begin(), hashes.end(), std::pair{hash, uint32_t{0}});
    bool found = false;
    for (; at != hashes.end() && at->first == hash && !found; ++at)
      found = SameFace(before, was[at->second], after, is[i], false);
    if (!found) faces.push_back(static_cast<int32_t>(i));
  }
  return faces;
}

// The groups and objects of a document by path, in the order of the file.
struct Tree {
  std::vector<std::pair<std::string, const HostNode*>> groups;
  std::vector<std::pair<std::string, const HostMesh*>> objects;
  std::map<std::string, const HostNode*> groupAt;
  std::map<std::string, const HostMesh*> objectAt;
};

std::string Join(const std::string& up, const std::string& own) {
  return up.empty() ? own : up + "/" + own;
}

void Walk(const HostNode& node, const std::string& path, Tree& tree) {
  tree.groups.emplace_back(path, &node);
  tree.groupAt.emplace(path, &node);
  std::map<std::string, int32_t> seen;
  for (const auto& child : node.children)
    Walk(*child, Join(path, PathSegment(child->name, ++seen[child->name])), tree);
  seen.clear();
  for (const auto& mesh : node.meshes) {
    std::string p = Join(path, PathSegment(mesh->name, ++seen[mesh->name]));
    tree.objects.emplace_back(p, mesh.get());
    tree.objectAt.emplace(p, mesh.get());
  }
}

Tree TreeOf(const HostDocument& document) {
  Tree tree;
  Walk(document.Root(), "", tree);
  return tree;
}

}  // namespace

const char* KindName(SceneItem::Kind kind) {
  switch (kind) {
    case SceneItem::Kind::Group:
      return "group";
    case SceneItem::Kind::Object:
      return "object";
    case SceneItem::Kind::Material:
      return "material";
  }
  return "item";
}

SceneDiff DiffDocuments(const HostDocument& before, const HostDocument& after) {
  using Kind = SceneItem::Kind;
  SceneDiff diff;
  for (const auto& m : after.Materials()) {
    const HostMaterial* was = before.FindMaterial(m->name);
    if (!was)
      diff.created.push_back({Kind::Material, m->name, {}});
    else if (!SameMaterial(*was, *m, before.MaterialFieldNames(), after.MaterialFieldNames()))
      diff.changed.push_back({Kind::Material, m->name, {}});
  }
  for (const auto& m : before.Materials())
    if (!after.FindMaterial(m->name)) diff.removed.push_back({Kind::Material, m->name, {}});

  Tree was = TreeOf(before), is = TreeOf(after);
  // A group, then the objects it holds directly, in the order of the file.
  std::map<const HostNode*, std::vector<std::pair<std::string, const HostMesh*>>> objectsOf;
  for (const auto& [path, mesh] : is.objects)
    objectsOf[mesh->parent].emplace_back(path, mesh);
  for (const auto& [path, node] : is.groups) {
    auto it = was.groupAt.find(path);
    if (it == was.groupAt.end())
      diff.created.push_back({Kind::Group, path, {}});
    else if (!SameGroup(*it->second, *node))
      diff.changed.push_back({Kind::Group, path, {}});
    for (const auto& [objectPath, mesh] : objectsOf[node]) {
      auto old = was.objectAt.find(objectPath);
      if (old == was.objectAt.end()) {
        diff.created.push_back({Kind::Object, objectPath, {}});
        continue;
      }
      bool changed = false;
      std::vector<int32_t> faces = ChangedFaces(*old->second, *mesh, changed);
      if (changed) diff.changed.push_back({Kind::Object, objectPath, std::move(faces)});
    }
  }
  std::map<const HostNode*, std::vector<std::string>> removedObjectsOf;
  for (const auto& [path, mesh] : was.objects)
    if (!is.objectAt.contains(path)) removedObjectsOf[mesh->parent].push_back(path);
  for (const auto& [path, node] : was.groups) {
    if (!is.groupAt.contains(path)) diff.removed.push_back({Kind::Group, path, {}});
    for (const std::string& objectPath : removedObjectsOf[node])
      diff.removed.push_back({Kind::Object, objectPath, {}});
  }
  return diff;
}

SceneDiff DiffDocuments(std::string_view beforeText, const HostDocument& after,
                        const std::string& origin) {
  std::unique_ptr<HostDocument> before = ParseScene(beforeText, origin);
  return DiffDocuments(*before, after);
}

}  // namespace vlm::host
