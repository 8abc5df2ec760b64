// A group of the scripting view (a node of the scene-graph view).
//
// Frames: a group's transform is relative to its parent. GetPosition / SetPosition take a
// point in the frame of `relativeTo`; the orientation vectors are the group's local +z
// ("forward") and +y ("up") axes as unit directions in that frame; the third axis is
// y x z. The `reserved` argument is always 0.
#pragma once

#include <cstdint>
#include <string>

#include "vlm/math.h"
#include "vlm/model/types.h"

namespace vlm {

class Object;

class Group {
 public:
  virtual ~Group() = default;

  virtual std::string Name() = 0;
  virtual void SetName(const std::string& name) = 0;
  // The group that holds this one; error 91 for the root group, which has none.
  virtual Group* Parent() = 0;

  virtual int32_t GroupCount() = 0;
  virtual Group* ChildGroup(int32_t index) = 0;  // the host's Group (i)
  virtual int32_t ObjectCount() = 0;
  virtual vlm::Object* Object(int32_t index) = 0;

  // Adds an unattached group or object (made by Scene) as the last child.
  virtual void AddGroup(Group* group) = 0;
  virtual void AddObject(vlm::Object* object) = 0;

  virtual Vec3 GetPosition(Group* relativeTo, int32_t reserved) = 0;
  virtual void SetPosition(Group* relativeTo, int32_t reserved, Vec3 position) = 0;
  virtual vlm::Orientation GetOrientation(Group* relativeTo, int32_t reserved) = 0;
  // `forward` sets the local +z axis; `up` is made perpendicular to it and sets +y.
  virtual void SetOrientation(Group* relativeTo, int32_t reserved, Vec3 forward, Vec3 up) = 0;

  // Custom fields by slot (Node::FindCustomField on the root node gives the slot).
  virtual std::string GetCustomField(int32_t slot) = 0;
  virtual void SetCustomField(int32_t slot, const std::string& text) = 0;
};

}  // namespace vlm
