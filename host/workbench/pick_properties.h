// What the workbench's properties panel shows of the picks, worked out without a window: the
// picked group, object or faces (their name, path, frame or group, counts, materials and custom
// fields), or for several items how many and what they share; and whether the picks suit a
// plug-in, with the words that say why not.
#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "run/plugin_names.h"
#include "run/selection_text.h"
#include "vlm/model.h"

namespace vlm::host {
class HostDocument;
}

namespace vlm::workbench {

struct PickProperties {
  enum class Kind { Nothing, Group, Object, Faces, Several };
  Kind kind = Kind::Nothing;
  // "Group Wing", "Object Spar", "3 faces of Spar", "3 items: 1 group, 2 objects".
  std::string heading;
  // The item's name (faces: their object's); several items: the name they share, else none.
  std::optional<std::string> name;
  // The path of the group or object (faces: of their object), as --select takes it; "" for
  // several items.
  std::string path;
  // The --select arguments that pick the same items.
  std::string selectText;
  // A group's frame in its parent's frame (several groups: when they share it).
  struct Frame {
    Vec3 position, forward, up;
  };
  std::optional<Frame> frame;
  // The group that holds the picked objects or faces, when they share one ("" for the root).
  std::optional<std::string> group;
  size_t objects = 0, vertices = 0, faces = 0;  // of the faces picked, or all below the items

  struct Field {
    std::string name, text;
    bool lines = false;  // read as lines in a fixed-width box (OBJ8 lines, several lines)
  };
  struct Material {
    std::string name;  // "" for faces without a material
    Rgb diffuse;
    std::string texture;  // the diffuse texture's name as the scene keeps it ("" none)
    std::filesystem::path textureFile;  // where that name leads from the scene's folder
    bool textureFound = false;
    size_t faces = 0;  // picked faces that have it
    std::vector<Field> fields;
  };
  std::vector<Material> materials;  // of the picked faces, in the document's order
  // The node fields of the picked groups, or of the group that holds the picked objects; with
  // several items those all of them share (same text).
  std::vector<Field> fields;
  std::string fieldsOf;  // whose fields they are: "Hangar/Wing", "" for the root
};

// What the panel shows for `picked` in `document`; texture names lead from `textureFolder`.
PickProperties PropertiesOf(const host::HostDocument& document, const host::PickedItems& picked,
                            const std::filesystem::path& textureFolder);

// Why the picks do not suit a plug-in that takes `input` ("" when they do): the kinds of item
// it works on and the picks to make first. `keys` names the key that picks in each mode, where
// there is one.
std::string PluginMisfit(const std::string& pluginName, const host::PluginInput& input,
                         const host::PickedItems& picked,
                         const std::map<host::PickMode, std::string>& keys = {});

// A shell wildcard that fits `name` alone, for an option that takes a pattern (`prep materials
// --material`): "*", "?", "[" and "\\" each taken as themselves.
std::string WildcardFor(const std::string& name);

}  // namespace vlm::workbench
