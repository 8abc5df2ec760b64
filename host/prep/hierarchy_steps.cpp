// The steps that change how a model is cut into groups and objects: flatten a group's tree
// into one object per material, merge objects into one, split an object by material.
//
// They copy faces a mesh at a time through flat lists (points, face ends, materials), each
// vertex, normal and texture coordinate a face uses renumbered on first use with a stamp per
// source index, so a million triangles take a few passes over arrays and no face handles.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "prep/prep_steps.h"
#include "scene/document.h"

namespace vlm::host {
namespace {

// The material a face is sorted by: faces with none, and those with the document's stand-in
// material for them, go together.
HostMaterial* MaterialKey(const HostDocument& document, HostMaterial* material) {
  return material && !document.IsDefaultMaterial(material) ? material : nullptr;
}

std::string MaterialName(const HostMaterial* material) {
  return material ? material->name : "none";
}

// `name`, or `name_2`, `name_3`... whichever `taken` does not hold yet; it then holds it.
std::string UniqueName(const std::string& name, std::unordered_set<std::string>& taken) {
  if (taken.insert(name).second) return name;
  for (int n = 2;; ++n) {
    std::string candidate = name + "_" + std::to_string(n);
    if (taken.insert(candidate).second) return candidate;
  }
}

// An object being put together from the faces of others, in the lists a mesh takes whole.
struct Gathered {
  HostMaterial* material = nullptr;  // what the faces were sorted by
  std::vector<Vec3> vertices, normals;
  std::vector<Vec2> uvs;
  std::vector<HostPoint> points;
  std::vector<uint32_t> ends;
  std::vector<HostMaterial*> materials;

  void MoveInto(HostMesh& mesh) {
    mesh.vertices = std::move(vertices);
    mesh.normals = std::move(normals);
    mesh.uvs = std::move(uvs);
    mesh.AddFaces(std::move(points), std::move(ends), std::move(materials));
  }
};

// Copies faces of a source object into Gathered lists. Each list gets the vertices, normals
// and texture coordinates its faces use, once each, numbered in order of first use; positions
// and normals are carried into the target's frame by `frame` when one is given.
class FaceCopier {
 public:
  // The next faces come from `source`, into lists none of its faces went into before.
  void Start(const HostMesh& source, const Mat4* frame) {
    source_ = &source;
    frame_ = frame;
    vertices_.Fit(source.vertices.size());
    normals_.Fit(source.normals.size());
    uvs_.Fit(source.uvs.size());
    NextList();
  }
  // The next faces of the same source go into another list.
  void NextList() { ++stamp_; }

  void Copy(size_t face, Gathered& into) {
    const HostMesh& s = *source_;
    for (const HostPoint& p : s.Points(face)) {
      HostPoint q;
      q.vertex = vertices_.Number(p.vertex, stamp_, into.vertices, [&](int32_t v) {
        const Vec3 at = s.vertices[static_cast<size_t>(v)];
        return frame_ ? TransformPoint(at, *frame_) : at;
      });
      q.normal = normals_.Number(p.normal, stamp_, into.normals, [&](int32_t n) {
        const Vec3 along = s.normals[static_cast<size_t>(n)];
        return frame_ ? TransformDirection(along, *frame_) : along;
      });
      q.uv = uvs_.Number(p.uv, stamp_, into.uvs,
                         [&](int32_t t) { return s.uvs[static_cast<size_t>(t)]; });
      into.points.push_back(q);
    }
    into.ends.push_back(static_cast<uint32_t>(into.points.size()));
    into.materials.push_back(s.FaceMaterial(face));
  }

 private:
  // New numbers of one kind of index of the source, valid where the stamp is the current one.
  struct Renumbering {
    std::vector<int32_t> number;
    std::vector<uint32_t> stamp;

    void Fit(size_t size) {
      if (size > number.size()) {
        number.resize(size);
        stamp.resize(size, 0);
      }
    }
    template <class T, class Value>
    int32_t Number(int32_t old, uint32_t current, std::vector<T>& list, Value value) {
      if (old < 0) return -1;
      const auto i = static_cast<size_t>(old);
      if (stamp[i] != current) {
        stamp[i] = current;
        number[i] = static_cast<int32_t>(list.size());
        list.push_back(value(old));
      }
      return number[i];
    }
  };

  const HostMesh* source_ = nullptr;
  const Mat4* frame_ = nullptr;
  uint32_t stamp_ = 0;
  Renumbering vertices_, normals_, uvs_;
};

// Sorts faces into lists by material, in order of first use.
class MaterialLists {
 public:
  explicit MaterialLists(const HostDocument& document) : document_(document) {}

  // Copies the faces of `source` that are not removed into the lists of their materials,
  // keeping their order; `frame` as FaceCopier takes it. Gives the number of faces copied.
  size_t Add(const HostMesh& source, const Mat4* frame) {
    // A counting sort of the faces by list, so that each list's faces are copied together and
    // each vertex is renumbered once per list.
    const size_t faces = source.FaceCount();
    listOf_.assign(faces, UINT32_MAX);
    used_.clear();
    for (size_t f = 0; f < faces; ++f) {
      if (source.FaceRemoved(f)) continue;
      HostMaterial* key = MaterialKey(document_, source.FaceMaterial(f));
      auto [it, added] = indexOf_.emplace(key, static_cast<uint32_t>(lists.size()));
      if (added) {
        lists.emplace_back();
        lists.back().material = key;
        counts_.push_back(0);
      }
      if (counts_[it->second]++ == 0) used_.push_back(it->second);
      listOf_[f] = it->second;
    }
    if (used_.empty()) return 0;
    copier_.Start(source, frame);
    if (used_.size() == 1) {
      for (size_t f = 0; f < faces; ++f)
        if (listOf_[f] != UINT32_MAX) copier_.Copy(f, lists[listOf_[f]]);
    } else {
      starts_.assign(lists.size() + 1, 0);
      for (uint32_t list : used_)
        starts_[list + 1] = counts_[list];
      for (size_t l = 0; l < lists.size(); ++l)
        starts_[l + 1] += starts_[l];
      order_.resize(starts_.back());
      std::vector<size_t> next(starts_.begin(), starts_.end() - 1);
      for (size_t f = 0; f < faces; ++f)
        if (listOf_[f] != UINT32_MAX) order_[next[listOf_[f]]++] = f;
      for (uint32_t list : used_) {
        copier_.NextList();
        for (size_t k = starts_[list]; k < starts_[list + 1]; ++k)
          copier_.Copy(order_[k], lists[list]);
      }
    }
    size_t copied = 0;
    for (uint32_t list : used_) {
      copied += counts_[list];
      counts_[list] = 0;
    }
    return copied;
  }

  std::vector<Gathered> lists;

 private:
  const HostDocument& document_;
  std::unordered_map<HostMaterial*, uint32_t> indexOf_;
  std::vector<size_t> counts_, starts_, order_;
  std::vector<uint32_t> listOf_, used_;
  FaceCopier copier_;
};

// ---- flatten --------------------------------------------------------------------------------

// The name template's text with the group's and the material's names in it.
std::string FillName(const std::string& pattern, const std::string& group,
                     const std::string& material) {
  std::string out;
  for (size_t i = 0; i < pattern.size();) {
    if (pattern.compare(i, 7, "{group}") == 0) {
      out += group;
      i += 7;
    } else if (pattern.compare(i, 10, "{material}") == 0) {
      out += material;
      i += 10;
    } else {
      out += pattern[i++];
    }
  }
  return out;
}

void CheckNameTemplate(const PrepArgs& args, const std::string& pattern) {
  if (pattern.empty()) args.Refuse("name", "give a name such as {group}_{material}");
  for (size_t open = pattern.find('{'); open != std::string::npos;
       open = pattern.find('{', open + 1)) {
    const size_t close = pattern.find('}', open);
    const std::string field =
        pattern.substr(open, close == std::string::npos ? std::string::npos : close - open + 1);
    if (field != "{group}" && field != "{material}")
      args.Refuse("name", "there is no field " + field + "; the fields are {group} and {material}");
  }
}

// An object to flatten and its frame in the target group's (none: it is the target's own).
struct Source {
  HostMesh* mesh;
  Mat4 frame;
  bool own;
};

void CollectBelow(HostNode& group, const Mat4* frame, std::vector<Source>& sources,
                  std::vector<HostNode*>& groups) {
  for (const auto& mesh : group.meshes)
    sources.push_back({mesh.get(), frame ? *frame : Mat4::Identity(), frame == nullptr});
  for (const auto& child : group.children) {
    groups.push_back(child.get());
    const Mat4 local = child->LocalMatrix();
    const Mat4 childFrame = frame ? Multiply(local, *frame) : local;
    CollectBelow(*child, &childFrame, sources, groups);
  }
}

// What a group below the target carries that goes when it does.
std::string CarriedData(const HostDocument& document, const HostNode& group) {
  std::string what;
  auto add = [&](const std::string& item) { what += (what.empty() ? "" : ", ") + item; };
  const auto& names = document.NodeFieldNames();
  for (const auto& [slot, text] : group.fields)
    if (!text.empty())
      add(slot >= 0 && static_cast<size_t>(slot) < names.size()
              ? "its " + names[static_cast<size_t>(slot)] + " data"
              : "its custom field " + std::to_string(slot));
  if (group.animationKeys > 0) add(std::to_string(group.animationKeys) + " animation keys");
  return what;
}

// A group as the transcript names it.
std::string Shown(const HostNode& group) {
  return group.parent ? group.Path() : "the scene's root";
}

// "2 groups: House, Yard", the first few named.
std::string ItemList(const std::vector<std::string>& names, const std::string& kind) {
  std::string text = std::to_string(names.size()) + " " + kind + (names.size() == 1 ? "" : "s");
  for (size_t i = 0; i < names.size() && i < 5; ++i)
    text += (i ? ", " : ": ") + names[i];
  if (names.size() > 5) text += ", ...";
  return text;
}

bool Inside(const HostNode* group, const std::vector<HostNode*>& others) {
  for (const HostNode* p = group->parent; p; p = p->parent)
    if (std::find(others.begin(), others.end(), p) != others.end()) return true;
  return false;
}

// A group that holds no groups, and objects of one material each, no two of the same, each
// named as `pattern` names it: what flattening it would give.
bool IsFlat(const HostNode& group, const std::string& pattern) {
  if (!group.children.empty()) return false;
  std::set<const HostMaterial*> seen;
  for (const auto& mesh : group.meshes) {
    const auto& materials = mesh->Materials(false);
    if (materials.size() != 1 || !seen.insert(materials[0]).second ||
        mesh->name != FillName(pattern, group.name, MaterialName(materials[0])))
      return false;
  }
  return true;
}

void Flatten(PrepContext& context) {
  const std::string pattern = context.args.Text("name").value_or("{material}");
  CheckNameTemplate(context.args, pattern);
  std::vector<HostNode*> targets;
  for (HostNode* group : context.targets.groups)
    if (!Inside(group, context.targets.groups)) targets.push_back(group);
  bool flattened = false;
  std::vector<std::string> left;  // the groups left as they were, for one warning
  for (HostNode* target : targets) {
    if (target->children.empty() && target->meshes.empty()) {
      context.log << "left " << Shown(*target) << " as it is: it is empty\n";
      left.push_back(Shown(*target));
      continue;
    }
    if (IsFlat(*target, pattern)) {
      context.log
          << "left " << Shown(*target)
          << " as it is: it holds no groups and one object per material, named so, already\n";
      left.push_back(Shown(*target));
      continue;
    }
    std::vector<Source> sources;
    std::vector<HostNode*> below;
    CollectBelow(*target, nullptr, sources, below);
    for (const HostNode* group : below)
      if (const std::string lost = CarriedData(context.document, *group); !lost.empty())
        context.warn("flatten " + Shown(*target) + ": the group " + group->Path() +
                     " is removed with " + lost);

    MaterialLists lists(context.document);
    size_t pointsOnly = 0;
    float smoothingAngle = kDefaultSmoothingAngle;
    for (size_t i = 0; i < sources.size(); ++i) {
      const Source& s = sources[i];
      if (i == 0) smoothingAngle = s.mesh->smoothingAngle;
      if (lists.Add(*s.mesh, s.own ? nullptr : &s.frame) == 0 && !s.mesh->vertices.empty())
        ++pointsOnly;
    }
    if (pointsOnly)
      context.warn("flatten " + Shown(*target) + ": " + std::to_string(pointsOnly) +
                   " objects had vertices but no faces; their vertices are dropped");

    // The document changes from here on.
    std::vector<HostMesh*> own;
    for (const auto& mesh : target->meshes)
      own.push_back(mesh.get());
    for (HostMesh* mesh : own)
      context.document.RemoveMesh(*mesh);
    while (!target->children.empty())
      context.document.RemoveNode(*target->children.back());
    std::unordered_set<std::string> taken;
    for (Gathered& list : lists.lists) {
      HostMesh& mesh = context.document.NewMesh(
          *target, UniqueName(FillName(pattern, target->name, MaterialName(list.material)), taken));
      mesh.smoothingAngle = smoothingAngle;
      list.MoveInto(mesh);
    }
    context.log << "flattened " << Shown(*target) << ": " << below.size() << " groups, "
                << sources.size() << " objects into " << lists.lists.size() << " objects\n";
    flattened = true;
  }
  if (flattened && !left.empty())
    context.warn("flatten left " + ItemList(left, "group") +
                 " as they were: empty, or flat already");
  if (!flattened)
    throw PrepNothingToDo(targets.empty()
                              ? "flatten works on groups: select groups (merge joins objects)"
                              : "the groups are empty or flat already");
}

// ---- merge ----------------------------------------------------------------------------------

void Merge(PrepContext& context) {
  const auto name = context.args.Text("name");
  if (name && name->empty()) context.args.Refuse("name", "give a name for the merged object");
  const std::vector<HostMesh*> objects = context.targets.AllObjects();
  if (objects.size() < 2)
    throw PrepNothingToDo("merge needs two objects or more; " + std::to_string(objects.size()) +
                          (objects.size() == 1 ? " is" : " are") + " selected");
  HostMesh& first = *objects.front();
  // Every index of the merged object must fit its 32-bit numbers.
  size_t vertices = 0, normals = 0, uvs = 0, points = 0;
  for (const HostMesh* m : objects) {
    vertices += m->vertices.size();
    normals += m->normals.size();
    uvs += m->uvs.size();
    points += m->TotalPoints();
  }
  if (std::max({vertices, normals, uvs}) > INT32_MAX || points > UINT32_MAX)
    throw PrepBadValue("the " + std::to_string(objects.size()) +
                       " objects together hold more than one object can (2147483647 vertices, "
                       "normals or texture coordinates, 4294967295 face points); merge fewer");

  const HostNode& home = *first.parent;
  const Mat4 toHome = RigidInverse(home.WorldMatrix());
  first.vertices.reserve(vertices);
  first.normals.reserve(normals);
  first.uvs.reserve(uvs);
  std::vector<HostPoint> newPoints;
  std::vector<uint32_t> ends;
  std::vector<HostMaterial*> materials;
  for (size_t i = 1; i < objects.size(); ++i) {
    HostMesh& other = *objects[i];
    const bool moved = other.parent != &home;
    const Mat4 frame = moved ? Multiply(other.parent->WorldMatrix(), toHome) : Mat4::Identity();
    const auto vertexBase = static_cast<int32_t>(first.vertices.size());
    const auto normalBase = static_cast<int32_t>(first.normals.size());
    const auto uvBase = static_cast<int32_t>(first.uvs.size());
    for (const Vec3& v : other.vertices)
      first.vertices.push_back(moved ? TransformPoint(v, frame) : v);
    for (const Vec3& n : other.normals)
      first.normals.push_back(moved ? TransformDirection(n, frame) : n);
    first.uvs.insert(first.uvs.end(), other.uvs.begin(), other.uvs.end());
    newPoints.clear();
    ends.clear();
    materials.clear();
    for (size_t f = 0; f < other.FaceCount(); ++f) {
      if (other.FaceRemoved(f)) continue;
      for (const HostPoint& p : other.Points(f))
        newPoints.push_back({p.vertex + vertexBase, p.normal < 0 ? -1 : p.normal + normalBase,
                             p.uv < 0 ? -1 : p.uv + uvBase});
      ends.push_back(static_cast<uint32_t>(newPoints.size()));
      materials.push_back(other.FaceMaterial(f));
    }
    first.AddFaces(newPoints, ends, materials);
    context.document.RemoveMesh(other);
  }
  if (name) first.name = *name;
  context.log << "merged " << objects.size() << " objects into " << first.Path() << "\n";
}

// ---- split ----------------------------------------------------------------------------------

void Split(PrepContext& context) {
  const std::vector<HostMesh*> objects = context.targets.AllObjects();
  size_t split = 0;
  std::vector<std::string> left;  // the objects left as they were, for one warning
  for (HostMesh* object : objects) {
    MaterialLists lists(context.document);
    lists.Add(*object, nullptr);
    if (lists.lists.size() < 2) {
      context.log << "left " << object->Path() << " as it is: "
                  << (lists.lists.empty() ? "it has no faces" : "its faces have one material")
                  << "\n";
      left.push_back(object->Path());
      continue;
    }
    HostNode& group = *object->parent;
    std::unordered_set<std::string> taken;
    for (const auto& sibling : group.meshes)
      if (sibling.get() != object) taken.insert(sibling->name);
    const std::string path = object->Path(), base = object->name;
    const float smoothingAngle = object->smoothingAngle;
    const int32_t kind = object->kind;
    context.document.RemoveMesh(*object);
    std::string names;
    for (Gathered& list : lists.lists) {
      HostMesh& part = context.document.NewMesh(
          group, UniqueName(base + "_" + MaterialName(list.material), taken));
      part.smoothingAngle = smoothingAngle;
      part.kind = kind;
      list.MoveInto(part);
      names += (names.empty() ? "" : ", ") + part.name;
    }
    context.log << "split " << path << " into " << lists.lists.size()
                << " objects by material: " << names << "\n";
    ++split;
  }
  if (split > 0 && !left.empty())
    context.warn("split left " + ItemList(left, "object") +
                 " as they were: no faces, or faces of one material");
  if (split == 0)
    throw PrepNothingToDo(objects.empty() ? "there are no objects to split"
                                          : "every object has faces of one material at most");
}

}  // namespace

PrepStepInfo FlattenStep() {
  return {"flatten",
          "turn each group's whole tree into one object per material, directly in the group",
          {{"name", "TEMPLATE",
            "name of each new object: {group} is the group's name, {material} the material's "
            "(\"none\" for faces without one); a name taken twice gets _2, _3... "
            "(default: {material})"}},
          Flatten};
}

PrepStepInfo MergeStep() {
  return {"merge",
          "join the selected objects (and every object in the selected groups) into one, in "
          "the group of the first",
          {{"name", "NAME", "name of the merged object (default: the first object's name)"}},
          Merge};
}

PrepStepInfo SplitStep() {
  return {"split",
          "cut each object whose faces have several materials into one object per material, "
          "named OBJECT_MATERIAL",
          {},
          Split};
}

}  // namespace vlm::host
