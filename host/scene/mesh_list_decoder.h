// Decoding the long lists of a mesh (its vertices, normals, texture coordinates and faces)
// from the JSON parser's events into plain arrays while a scene text is parsed (see
// scene_tree.h). The scene tree's builder feeds a decoder every event inside such a list;
// the decoder is called for every number of a large scene, so it is defined here, inline.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "scene/mesh.h"
#include "scene/scene_fields.h"
#include "scene/scene_text.h"
#include "scene/scene_tree.h"

namespace vlm::host::scene_lists {

using namespace scene_text;
using namespace scene_fields;

enum class ListKind { Vec3s, Vec2s, Faces };

// The kind of list a member of a mesh record holds, if it is one decoded while parsing.
inline std::optional<ListKind> MeshListKind(std::string_view key) {
  for (const auto& field : kObjectFields) {
    if (field.key != key) continue;
    if (std::holds_alternative<std::vector<Vec3> HostMesh::*>(field.member)) return ListKind::Vec3s;
    if (std::holds_alternative<std::vector<Vec2> HostMesh::*>(field.member)) return ListKind::Vec2s;
    if (field.part == Part::Faces) return ListKind::Faces;
  }
  return std::nullopt;
}

// A number as the parser gives it.
struct Number {
  double value;
  bool whole;
  bool fitsInt32;
};

// Decodes one list from the parser's events. It takes only what the reader would accept
// as far as the list alone can tell (the right shapes, numbers of the right kind and range,
// known keys given once); anything else makes it give up, and the text is read the plain way.
class ListDecoder {
 public:
  enum Result { More, Done, GiveUp };

  explicit ListDecoder(ListKind kind)
      : kind_(kind),
        materialKey_(FieldOf(kFaceFields, Part::Material).key),
        pointsKey_(FieldOf(kFaceFields, Part::Points).key) {
    if (kind == ListKind::Vec3s) list_ = std::vector<Vec3>{};
    if (kind == ListKind::Vec2s) list_ = std::vector<Vec2>{};
    if (kind == ListKind::Faces) list_ = FaceList{};
  }

  MeshList Take() { return std::move(list_); }

  // The list's own opening bracket has been seen.
  Result OpenArray() {
    if (kind_ != ListKind::Faces) {
      if (depth_ != 1) return GiveUp;
      depth_ = 2;
      count_ = 0;
      return More;
    }
    if (depth_ == 2 && pending_ == pointsKey_) {
      pending_ = {};
      seenPoints_ = true;
      depth_ = 3;
      return More;
    }
    if (depth_ != 3) return GiveUp;
    depth_ = 4;
    count_ = 0;
    return More;
  }
  Result CloseArray() {
    if (depth_ == 1) return Done;
    if (kind_ == ListKind::Vec3s && depth_ == 2 && count_ == 3) {
      std::get<0>(list_).push_back(Vec3{numbers_[0], numbers_[1], numbers_[2]});
    } else if (kind_ == ListKind::Vec2s && depth_ == 2 && count_ == 2) {
      std::get<1>(list_).push_back(Vec2{numbers_[0], numbers_[1]});
    } else if (kind_ == ListKind::Faces && depth_ == 4 && count_ == 3) {
      Faces().points.push_back(HostPoint{indices_[0], indices_[1], indices_[2]});
    } else if (!(kind_ == ListKind::Faces && depth_ == 3)) {
      return GiveUp;
    }
    --depth_;
    return More;
  }
  Result OpenObject() {
    if (kind_ != ListKind::Faces || depth_ != 1) return GiveUp;
    depth_ = 2;
    material_ = -1;
    seenMaterial_ = seenPoints_ = false;
    return More;
  }
  Result CloseObject() {
    if (depth_ != 2 || !pending_.empty() || !seenPoints_) return GiveUp;
    FaceList& faces = Faces();
    faces.ends.push_back(static_cast<uint32_t>(faces.points.size()));
    faces.materials.push_back(material_);
    depth_ = 1;
    return More;
  }
  Result Key(const std::string& key) {
    if (depth_ != 2 || !pending_.empty()) return GiveUp;
    bool& seen = key == materialKey_ ? seenMaterial_ : seenPoints_;
    if ((key != materialKey_ && key != pointsKey_) || seen) return GiveUp;
    seen = true;
    pending_ = key == materialKey_ ? materialKey_ : pointsKey_;
    return More;
  }
  Result String(const std::string& text) {
    if (depth_ != 2 || pending_ != materialKey_) return GiveUp;
    pending_ = {};
    material_ = MaterialIndex(text);
    return More;
  }
  Result Value(Number n) {
    if (kind_ == ListKind::Faces) {
      if (depth_ != 4 || count_ >= 3 || !n.whole || !n.fitsInt32) return GiveUp;
      indices_[count_++] = static_cast<int32_t>(n.value);
      return More;
    }
    // Past FLT_MAX by half a unit in the last place or more, a value rounds to infinity.
    if (depth_ != 2 || count_ >= 3 || !std::isfinite(n.value) ||
        std::fabs(n.value) >= static_cast<double>(FLT_MAX) + std::ldexp(1.0, 103))
      return GiveUp;
    numbers_[count_++] = ReadValue(n.value);
    return More;
  }
  Result Other() { return GiveUp; }

 private:
  FaceList& Faces() { return std::get<FaceList>(list_); }

  int32_t MaterialIndex(const std::string& name) {
    FaceList& faces = Faces();
    if (last_ >= 0 && faces.names[size_t(last_)] == name) return last_;
    auto [it, added] = materialIndex_.emplace(name, static_cast<int32_t>(faces.names.size()));
    if (added) faces.names.push_back(name);
    last_ = it->second;
    return last_;
  }

  ListKind kind_;
  std::string_view materialKey_, pointsKey_;
  MeshList list_;
  // 1: in the list; 2: in an item (for faces: a face record); 3: in a face's points;
  // 4: in a point.
  int depth_ = 1;
  int count_ = 0;
  float numbers_[3] = {};
  int32_t indices_[3] = {};
  std::string_view pending_;  // the key of a face member whose value comes next
  bool seenMaterial_ = false, seenPoints_ = false;
  int32_t material_ = -1, last_ = -1;
  std::unordered_map<std::string, int32_t> materialIndex_;
};

}  // namespace vlm::host::scene_lists
