// What changed between two documents: the groups, objects and materials made, changed and
// removed, each named by its path (as --select takes it; a material by its name), and for an
// object that changed, the faces that hold what no face of it held before. The report of a run and
// the workbench's highlight after a run both come from here.
//
// Items are matched by path, so a group renamed reads as one removed and one made. An item
// counts as changed when what the scene file holds of it differs (down to the bits of each
// number): a group's frame, animation keys and custom fields (not its groups and objects,
// which are items of their own); an object's kind, smoothing angle, vertices, normals,
// texture coordinates and faces (their order too); every property of a material. The
// selection, the units and the custom field names are not items.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vlm::host {

class HostDocument;

struct SceneItem {
  enum class Kind { Group, Object, Material };
  Kind kind = Kind::Group;
  std::string path;  // a group's or object's path ("" for the root), a material's name
  // A changed object: the faces that are new, by index as the scene file holds them (removed
  // faces are not counted). A face is new when no face of the object before held the same
  // points (their positions, normals and texture coordinates by value, in the same order)
  // and the same material, wherever in the list that face was: faces a run inserted or
  // removed move the others along without listing them. Empty otherwise, and for an object
  // whose faces only moved or were removed.
  std::vector<int32_t> faces;
  friend bool operator==(const SceneItem&, const SceneItem&) = default;
};

// "group", "object", "material".
const char* KindName(SceneItem::Kind kind);

struct SceneDiff {
  // Each list in the order of the document that holds the items (after for made and changed,
  // before for removed): materials first, then the tree, a group before what it holds.
  std::vector<SceneItem> created, changed, removed;
  bool Empty() const { return created.empty() && changed.empty() && removed.empty(); }
};

SceneDiff DiffDocuments(const HostDocument& before, const HostDocument& after);
// The document against the scene text it was read from or saved as (vlm::Error naming
// `origin` when the text is no scene).
SceneDiff DiffDocuments(std::string_view beforeText, const HostDocument& after,
                        const std::string& origin);

}  // namespace vlm::host
