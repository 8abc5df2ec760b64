// Scene text to a JSON tree, refusing what the JSON library would let through.
//
// The long lists of a mesh (its vertices, normals, texture coordinates and faces) do not
// become JSON values: they are decoded into plain arrays while the text is parsed, and the
// tree holds a placeholder for each (a binary value whose subtype is its index in `lists`).
// Only lists that are well formed down to each number are taken this way; when one is not,
// the text is parsed again into a plain tree, so that the reader finds the fault and names it
// as it names any other.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "scene/mesh.h"

namespace vlm::host {

// Ordered, so that members keep the order of the text.
using SceneJson = nlohmann::ordered_json;

// A mesh's faces as read: each face's points end at `ends[i]` in `points`; `materials[i]` is
// an index into `names`, or -1 for a face that names none. Indices are not yet checked.
struct FaceList {
  std::vector<HostPoint> points;
  std::vector<uint32_t> ends;
  std::vector<int32_t> materials;
  std::vector<std::string> names;
};

using MeshList = std::variant<std::vector<Vec3>, std::vector<Vec2>, FaceList>;

struct SceneTree {
  SceneJson root;
  std::vector<MeshList> lists;
};

// The tree of a scene text; `origin` names the text in error messages. Raises vlm::Error (5)
// for text that is not JSON (naming its line and column), a key given twice in one object,
// and values nested too deep to walk.
SceneTree ParseTree(std::string_view text, const std::string& origin);

}  // namespace vlm::host
