// The scripting view of the host: Scene, the entry point of a tool plug-in.
//
// Every call may fail with vlm::Error. Items are owned by the host document; the pointers a
// plug-in receives stay valid for the length of its call.
#pragma once

#include <cstdint>
#include <string>

namespace vlm {

class Group;
class Object;
class Material;

class Scene {
 public:
  virtual ~Scene() = default;

  // New, unattached items: a group or object joins the scene with AddGroup / AddObject,
  // a material when a face uses it.
  virtual Group* CreateGroup() = 0;
  virtual Object* CreateObject() = 0;
  virtual Material* CreateMaterial() = 0;

  virtual int32_t SelectedObjectCount() = 0;
  virtual Object* SelectedObject(int32_t index) = 0;  // error 9 outside 0..count-1
  virtual int32_t SelectedGroupCount() = 0;
  virtual Group* SelectedGroup(int32_t index) = 0;

  // The group that holds the top-level groups.
  virtual Group* RootGroup() = 0;

  // The decimal text of `value` times the scene's unit scale (metres per scene unit: 1 for
  // metres, 0.01 for centimetres, 0.3048 for feet). The tools pass 1.0 and read the number
  // as the unit scale.
  virtual std::string UnitScaleText(float value) = 0;
};

}  // namespace vlm
