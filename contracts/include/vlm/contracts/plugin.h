// The tool plug-in contract (Plugin) and its plug-in side (PluginBase).
//
// The host reads the descriptive members (constants, no side effects), calls
// Plugin_GetValidation, then Plugin_Apply once per use. Every member returns a status and
// lets nothing escape: a vlm::Error becomes 0x800A0000 | number, recorded for LastError.
#pragma once

#include <cstdint>
#include <optional>
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

// What a tool states about itself.
struct PluginDescription {
  std::string name;
  std::string author;
  int32_t cost = 0;
  int32_t pluginClass = 0;
  struct Counts {
    int32_t minComponents, maxComponents, minShapeSubSelection, maxShapeSubSelection;
  };
  std::optional<Counts> validation;  // none: Plugin_GetValidation writes nothing
};

// The plug-in side of the contract: the descriptive members from a PluginDescription, the
// exception firewall around Apply, and instance counting for DllCanUnloadNow.
class PluginBase : public Unknown, public Plugin {
 public:
  explicit PluginBase(PluginDescription description);
  ~PluginBase() override;

  void* QueryInterface(std::string_view interfaceName) noexcept override;

  Status Plugin_Apply(vlm::Scene* scene, vlm::SceneGraph* sceneGraph, int32_t DeviceID,
                      std::span<const float> UserDataSingles,
                      std::span<const int32_t> UserDataLongs,
                      const std::string& UserDataString) noexcept final;
  Status Plugin_Author(std::string& value) noexcept final;
  Status Plugin_PluginClass(int32_t& value) noexcept final;
  Status Plugin_Cost(int32_t& value) noexcept final;
  Status Plugin_Icon(Picture& value) noexcept final;
  Status Plugin_Name(std::string& value) noexcept final;
  Status Plugin_GetValidation(ValidationRecord& record) noexcept final;

  const PluginDescription& Description() const { return description_; }

 protected:
  // The tool itself. Anything it throws ends Plugin_Apply with that error's status.
  virtual void Apply(vlm::Scene& scene, vlm::SceneGraph& sceneGraph, int32_t deviceId) = 0;

 private:
  PluginDescription description_;
};

}  // namespace vlm
