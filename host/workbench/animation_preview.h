// An imported X-Plane object as X-Plane would show it for given dataref values: its animation
// groups moved from their rest frame (every dataref at 0, where the import put them) and shown
// or hidden, its lights as coloured points, and one level of detail at a time. No windows
// here: the workbench's Animation panel sets the values and the view draws the pose.
//
// What the import keeps of the object is read back from the groups' OBJ8 fields (see
// docs/obj8-in-scenes.md): an animation group holds its ANIM_ lines, a light group its light
// line (or LIGHTS and its VLIGHT lines), and the levels of detail are the groups named
// `LOD near-far`, or the exporters' Custom LOD level nodes (`Body`, `Body_200`, `Body_500`
// at the top of the scene).
#pragma once

#include <limits>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "vlm/math.h"
#include "vlm/obj8_commands.h"

namespace vlm::host {
class HostDocument;
class HostMesh;
class HostNode;
}  // namespace vlm::host

namespace vlm::workbench {

// A dataref the animations read and the values worth moving it through: from 0 (the rest
// frame) and every key, two-value line end, show and hide range and loop that names it; 0 to
// 1 when they give no other span.
struct DatarefSpan {
  std::string name;
  double low = 0, high = 1;
};

// A level of detail: a group drawn from `nearDistance` (metres, inclusive) up to
// `farDistance` (exclusive; infinite for the last of the Custom LOD level nodes).
struct LevelOfDetail {
  const host::HostNode* node = nullptr;
  double nearDistance = 0, farDistance = std::numeric_limits<double>::infinity();
  friend bool operator==(const LevelOfDetail&, const LevelOfDetail&) = default;
};

// A light of the object where it is drawn: world space, its colour from 0 to 1.
struct LightPoint {
  Vec3 position, colour;
  friend bool operator==(const LightPoint&, const LightPoint&) = default;
};

// The colour a named light (LIGHT_NAMED, LIGHT_PARAM: X-Plane's own table gives their colour)
// is drawn in, and a light whose colour is too dark to see on the view's background.
inline constexpr Vec3 kNamedLightColour{1.0f, 0.92f, 0.72f};

// The document as the view draws it for one set of values.
struct ScenePose {
  // For each object under an animation group: the world-space transform (row vectors) from
  // where the document puts its vertices to where they are drawn now.
  std::unordered_map<const host::HostMesh*, Mat4> moved;
  // Objects not drawn: under a hidden animation group or a level not shown.
  std::unordered_set<const host::HostMesh*> hidden;
  // The lights shown.
  std::vector<LightPoint> lights;
};

// Dataref values by name; a dataref not named is at 0.
using DatarefValues = std::map<std::string, double>;

class AnimationPreview {
 public:
  AnimationPreview() = default;
  explicit AnimationPreview(const host::HostDocument& document);

  // Nothing to preview: no animation, light or level of detail.
  bool Empty() const { return groups_.empty() && lights_.empty() && levels_.empty(); }
  // In order of first use, animation group by animation group.
  const std::vector<DatarefSpan>& Datarefs() const { return datarefs_; }
  // Nearest first.
  const std::vector<LevelOfDetail>& Levels() const { return levels_; }
  size_t LightCount() const { return lights_.size(); }
  size_t AnimationCount() const { return groups_.size(); }
  // Animation groups whose lines cannot be read ("anim door: ANIM_rotate needs 7 numbers"):
  // they stay where the document puts them.
  const std::vector<std::string>& Problems() const { return problems_; }

  // An animation group at `values`: its transform relative to its rest frame (row vectors,
  // scene axes, in its parent's frame: its geometry goes through its own frame, then through
  // this), and whether its own lines show it.
  struct GroupPose {
    const host::HostNode* node = nullptr;
    Mat4 motion;
    bool shown = true;
  };
  std::vector<GroupPose> Groups(const DatarefValues& values) const;

  // The whole document at `values`, every level drawn (no `distance`) or only those whose
  // range holds `distance`. What a hidden group holds is hidden with it; what a moved one
  // holds (animations inside it, lights) moves with it.
  ScenePose Pose(const DatarefValues& values, std::optional<double> distance) const;

 private:
  struct Group {
    const host::HostNode* node;
    std::vector<obj8::Line> lines;
    Mat4 restInverse;  // of where the lines rest, in OBJ8's axes
  };
  struct Light {
    const host::HostNode* node;
    Vec3 position;  // in its group's frame, scene axes
    Vec3 colour;
  };
  void Collect(const host::HostNode& node, int32_t slot);
  void CollectLevels(const host::HostDocument& document);

  std::vector<Group> groups_;
  std::vector<Light> lights_;
  std::vector<LevelOfDetail> levels_;
  std::vector<DatarefSpan> datarefs_;
  std::vector<std::string> problems_;
  const host::HostNode* root_ = nullptr;
};

}  // namespace vlm::workbench
