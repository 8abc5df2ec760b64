// The operation contract (Operation), its parameter record and its plug-in side.
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

struct OperationDescription {
  std::string name;
  std::string author;
  std::string toolTipText;
  int32_t layerClass = 0;
  int32_t cost = 0;
  int32_t multiShapeApplyMethod = 0;
  int32_t version = 0;
  bool isDestructive = false;
  bool isStandardFeature = false;
};

class OperationBase : public Unknown, public Operation {
 public:
  explicit OperationBase(OperationDescription description);
  ~OperationBase() override;

  void* QueryInterface(std::string_view interfaceName) noexcept override;

  Status Operation_Apply(vlm::SceneGraph* sceneGraph, int32_t DeviceID, int32_t OperationVersion,
                         int32_t ApplyMode, std::span<const float> ApplyModeParameters,
                         std::span<const float> UserDataSingles,
                         std::span<const int32_t> UserDataLongs, const std::string& UserDataString,
                         const std::string& Texture, int16_t& result) noexcept final;
  Status Operation_Author(std::string& value) noexcept final;
  Status Operation_Icon(Picture& value) noexcept final;
  Status Operation_LayerClass(int32_t& value) noexcept final;
  Status Operation_Cost(int32_t& value) noexcept final;
  Status Operation_MultiShapeApplyMethod(int32_t& value) noexcept final;
  Status Operation_Name(std::string& value) noexcept final;
  Status Operation_GetParameters(vlm::SceneGraph* sceneGraph, int32_t Version,
                                 int32_t SelectionType,
                                 std::vector<OperationParameter>& Parameters) noexcept final;
  Status Operation_ToolTipText(std::string& value) noexcept final;
  Status Operation_Version(int32_t& value) noexcept final;
  Status Operation_IsDestructive(int16_t& value) noexcept final;
  Status Operation_IsStandardFeature(int16_t& value) noexcept final;
  // Shows nothing; the host edits the parameters itself.
  Status Operation_ShowParameters(vlm::SceneGraph* sceneGraph, int32_t Version,
                                  int32_t SelectionType) noexcept final;
  Status Operation_SupportApplyMode(int32_t Version, int32_t ApplyMode, int32_t SelectionType,
                                    int16_t& result) noexcept final;
  Status Operation_SupportSelectionType(int32_t SelectionType, int16_t& result) noexcept final;

  const OperationDescription& Description() const { return description_; }

 protected:
  // Returns whether every selected shape was processed.
  virtual bool Apply(vlm::SceneGraph& sceneGraph, int32_t deviceId,
                     std::span<const float> userDataSingles) = 0;
  virtual std::vector<OperationParameter> GetParameters() = 0;
  virtual bool SupportApplyMode(int32_t applyMode) { return (void)applyMode, true; }
  virtual bool SupportSelectionType(int32_t selectionType) = 0;
  virtual Picture Icon() { return {}; }

 private:
  OperationDescription description_;
};

}  // namespace vlm
