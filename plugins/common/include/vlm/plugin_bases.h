// The plug-in side of the three contracts: the bases a plug-in class derives from. Each
// answers the descriptive members from a description given once, counts instances for
// DllCanUnloadNow, and holds the exception firewall: every member the host calls returns a
// status and lets nothing escape, so a plug-in implements Apply / Export and throws vlm::Error
// freely (a vlm::Error becomes 0x800A0000 | number, recorded for LastError). The contracts
// the host calls are in contracts/ (vlm/contracts/{plugin,import_export,operation}.h).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vlm/component.h"
#include "vlm/contracts/import_export.h"
#include "vlm/contracts/operation.h"
#include "vlm/contracts/plugin.h"
#include "vlm/error.h"
#include "vlm/picture.h"

namespace vlm {

class Node;
class Scene;
class SceneGraph;

// ---- Plugin ------------------------------------------------------------------------------

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

// ---- PluginImportExport ------------------------------------------------------------------

struct ImportExportDescription {
  std::string author;
  int32_t pluginClass = 0;
  int32_t cost = 0;
  std::string fileType;
  std::string fileTypeDescription;
  bool supportExport = true;
  bool supportImport = false;
};

class ImportExportBase : public Unknown, public PluginImportExport {
 public:
  explicit ImportExportBase(ImportExportDescription description);
  ~ImportExportBase() override;

  void* QueryInterface(std::string_view interfaceName) noexcept override;

  Status PluginImportExport_Export(const std::string& ExportFileName, Node* ExportGroup,
                                   vlm::SceneGraph* sceneGraph, Unknown* ApplicationState,
                                   std::span<const float> UserDataSingles,
                                   std::span<const int32_t> UserDataLongs,
                                   const std::string& UserDataString) noexcept final;
  Status PluginImportExport_Author(std::string& value) noexcept final;
  Status PluginImportExport_PluginClass(int32_t& value) noexcept final;
  Status PluginImportExport_Cost(int32_t& value) noexcept final;
  Status PluginImportExport_FileType(std::string& value) noexcept final;
  Status PluginImportExport_FileTypeDescription(std::string& value) noexcept final;
  // Does nothing and succeeds.
  Status PluginImportExport_Import(const std::string& ImportFileName, Node* ImportGroup,
                                   vlm::SceneGraph* sceneGraph, Unknown* ApplicationState,
                                   std::span<const float> UserDataSingles,
                                   std::span<const int32_t> UserDataLongs,
                                   const std::string& UserDataString) noexcept final;
  Status PluginImportExport_SupportExport(int16_t& value) noexcept final;
  Status PluginImportExport_SupportImport(int16_t& value) noexcept final;
  Status PluginImportExport_Icon(Picture& value) noexcept final;

  const ImportExportDescription& Description() const { return description_; }

 protected:
  virtual void Export(const std::string& exportFileName, Node* exportGroup,
                      vlm::SceneGraph& sceneGraph) = 0;

 private:
  ImportExportDescription description_;
};

// ---- Operation ---------------------------------------------------------------------------

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
