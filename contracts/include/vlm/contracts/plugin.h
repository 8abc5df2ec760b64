// The tool plug-in contract (Plugin). Its plug-in side, PluginBase, is the plug-ins' own
// (plugins/common, vlm/plugin_bases.h).
//
// The host reads the descriptive members (constants, no side effects), calls
// Plugin_GetValidation, then Plugin_Apply once per use. Every member returns a status and
// lets nothing escape: a vlm::Error becomes 0x800A0000 | number, recorded for LastError.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "vlm/component.h"
#include "vlm/error.h"
#include "vlm/picture.h"

namespace vlm {

class Scene;
class SceneGraph;

// 16-bit flags exchanged with the host.
inline constexpr int16_t VbTrue = -1;
inline constexpr int16_t VbFalse = 0;

// The six arguments of Plugin_GetValidation: what a tool accepts. The first two are host
// enumerations that no tool reads or writes.
struct ValidationRecord {
  int32_t ComponentType = 0;
  int32_t SelectionType = 0;
  int32_t ValidMinComponents = 0;
  int32_t ValidMaxComponents = 0;
  int32_t ValidMinShapeSubSelection = 0;
  int32_t ValidMaxShapeSubSelection = 0;
};

class Plugin {
 public:
  static constexpr std::string_view InterfaceName = "Plugin";

  // Runs the tool on the host's current scene. DeviceID names the view whose scene-graph
  // selection applies. No tool reads the user-data arguments.
  virtual Status Plugin_Apply(Scene* scene, SceneGraph* sceneGraph, int32_t DeviceID,
                              std::span<const float> UserDataSingles,
                              std::span<const int32_t> UserDataLongs,
                              const std::string& UserDataString) noexcept = 0;
  virtual Status Plugin_Author(std::string& value) noexcept = 0;
  virtual Status Plugin_PluginClass(int32_t& value) noexcept = 0;
  virtual Status Plugin_Cost(int32_t& value) noexcept = 0;
  virtual Status Plugin_Icon(Picture& value) noexcept = 0;
  virtual Status Plugin_Name(std::string& value) noexcept = 0;
  // Writes the last four counts (a tool may leave them as the host passed them).
  virtual Status Plugin_GetValidation(ValidationRecord& record) noexcept = 0;

 protected:
  ~Plugin() = default;
};

}  // namespace vlm
