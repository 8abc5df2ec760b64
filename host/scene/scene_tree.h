// Scene text to a JSON tree, refusing what the JSON library would let through.
//
// The long lists of a mesh (its vertices, normals, texture coordinates and faces) do not
// become JSON values: they are decoded into plain arrays while the text is parsed, and the
// tree holds a placeholder for each (a binary value whose subtype is its index in `lists`).
// Only lists that are well formed down to each number are taken this way; when one is not,
// the text is parsed again into a plain tree, so that the reader finds the fault and names it
// as it names any other.
//
// The text is read by a quick reader of its own, which gives the tree builder the events the
// JSON library's parser would give, and reads a file a piece at a time, so that its text is
// never held whole. On anything it refuses, and anything rare it leaves alone, the text is
// read again by the JSON library alone, whose messages name the place of a fault.
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "scene/mesh.h"
#include "vlm/files.h"

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
  friend bool operator==(const FaceList&, const FaceList&) = default;
};

using MeshList = std::variant<std::vector<Vec3>, std::vector<Vec2>, FaceList>;

// Empties a tree from its leaves up. The JSON library's own teardown first gathers the items
// of a container into a new list, which fails for want of memory (inside a destructor, ending
// the program) when the tree is let go because memory ran out.
void LetGo(SceneJson& value) noexcept;

struct SceneTree {
  SceneJson root;
  std::vector<MeshList> lists;

  SceneTree() = default;
  SceneTree(SceneJson r, std::vector<MeshList> l) : root(std::move(r)), lists(std::move(l)) {}
  SceneTree(SceneTree&&) = default;
  SceneTree& operator=(SceneTree&&) = default;
  ~SceneTree() { LetGo(root); }
};

// The tree of a scene text; `origin` names the text in error messages. Raises vlm::Error (5)
// for text that is not JSON (naming its line and column), a key given twice in one object, and
// values nested too deep to walk.
SceneTree ParseTree(std::string_view text, const std::string& origin);
// The tree through the quick reader alone, or nothing when the text is to be read by the JSON
// library instead (it is not JSON, or is something the quick reader leaves alone, or a list is
// not well formed).
std::optional<SceneTree> ParseTreeFast(std::string_view text, const std::string& origin);
// The same for a file read a piece at a time (named by its name in messages); errors reading
// it are raised.
std::optional<SceneTree> ParseTreeFast(FileReader& file);
// The tree read by the JSON library alone: what ParseTree falls back on.
SceneTree ParseTreePlain(std::string_view text, const std::string& origin);

}  // namespace vlm::host
