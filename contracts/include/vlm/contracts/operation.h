// The operation contract (Operation) and its parameter record. Its plug-in side, OperationBase,
// is the plug-ins' own (plugins/common, vlm/plugin_bases.h).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vlm/component.h"
#include "vlm/contracts/plugin.h"
#include "vlm/error.h"
#include "vlm/picture.h"

namespace vlm {

class SceneGraph;

// One parameter that the host edits for an operation.
struct OperationParameter {
  std::string Name;       // shown by the host; also the settings key
  int32_t ValueType = 4;  // 4: a 32-bit float value
  float Minimum = 0;
  float Maximum = 0;
  int32_t UnitKind = 0;  // kind of quantity, passed to the host
  std::string Text;
  float Default = 0;
  float Value = 0;
  int32_t Identifier = 0;  // 0-based position
  float Increment = 0;
};

class Operation {
 public:
  static constexpr std::string_view InterfaceName = "Operation";

  // `result` is true (-1) when every selected shape was processed.
  virtual Status Operation_Apply(SceneGraph* sceneGraph, int32_t DeviceID, int32_t OperationVersion,
                                 int32_t ApplyMode, std::span<const float> ApplyModeParameters,
                                 std::span<const float> UserDataSingles,
                                 std::span<const int32_t> UserDataLongs,
                                 const std::string& UserDataString, const std::string& Texture,
                                 int16_t& result) noexcept = 0;
  virtual Status Operation_Author(std::string& value) noexcept = 0;
  virtual Status Operation_Icon(Picture& value) noexcept = 0;
  virtual Status Operation_LayerClass(int32_t& value) noexcept = 0;
  virtual Status Operation_Cost(int32_t& value) noexcept = 0;
  virtual Status Operation_MultiShapeApplyMethod(int32_t& value) noexcept = 0;
  virtual Status Operation_Name(std::string& value) noexcept = 0;
  virtual Status Operation_GetParameters(SceneGraph* sceneGraph, int32_t Version,
                                         int32_t SelectionType,
                                         std::vector<OperationParameter>& Parameters) noexcept = 0;
  virtual Status Operation_ToolTipText(std::string& value) noexcept = 0;
  virtual Status Operation_Version(int32_t& value) noexcept = 0;
  virtual Status Operation_IsDestructive(int16_t& value) noexcept = 0;
  virtual Status Operation_IsStandardFeature(int16_t& value) noexcept = 0;
  virtual Status Operation_ShowParameters(SceneGraph* sceneGraph, int32_t Version,
                                          int32_t SelectionType) noexcept = 0;
  virtual Status Operation_SupportApplyMode(int32_t Version, int32_t ApplyMode,
                                            int32_t SelectionType, int16_t& result) noexcept = 0;
  virtual Status Operation_SupportSelectionType(int32_t SelectionType,
                                                int16_t& result) noexcept = 0;

 protected:
  ~Operation() = default;
};

}  // namespace vlm
