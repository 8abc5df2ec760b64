// Obverse: makes a mirrored copy of a whole group hierarchy.
//
// The selected group, or the group that holds the selected object, is copied with all its
// objects and sub-groups, reflected across one axis plane of its parent's frame, and the
// copy is placed beside the source under the same parent. The source is not changed.
#pragma once

#include <string>

#include "vlm/model.h"
#include "vlm/plugin_bases.h"

namespace vlm {

class Obverse final : public PluginBase {
 public:
  Obverse();

  // Copies `Group` as a new child of `Parent`, recursively (objects before sub-groups).
  void MirrorHierarchy(vlm::Group& Parent, vlm::Group& Group, const std::string& dir);
  // Adds a mirrored copy of `Object` to `Grp`.
  void MirrorObject(vlm::Group& Grp, vlm::Object& Object, const std::string& dir);
  // Negates x for "X", y for "Y", z for "Z"; any other text changes nothing.
  static void Mirror(float& x, float& y, float& z, const std::string& dir);
  static void Mirror(Vec3& v, const std::string& dir) { Mirror(v.x, v.y, v.z, dir); }

 protected:
  void Apply(vlm::Scene& scene, vlm::SceneGraph& sceneGraph, int32_t deviceId) override;

 private:
  // The scene of the current run; the next run replaces it.
  vlm::Scene* scene_ = nullptr;
  // The slot of the OBJ8 field in the run's document; below 0 when it has none.
  int32_t obj8Field_ = -1;
};

}  // namespace vlm
