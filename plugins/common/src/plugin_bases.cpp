// The plug-in side of the three contracts: constant descriptive members and the exception
// firewall around the member that does the work.
#include "vlm/plugin_bases.h"

#include "vlm/component_module.h"
#include "vlm/contracts/form_catalog.h"

namespace vlm {
namespace {

int16_t Flag(bool value) {
  return value ? VbTrue : VbFalse;
}

template <class T>
Status Give(T& out, const T& value) noexcept {
  return Guard([&] { out = value; });
}

}  // namespace

// ---- Plugin ------------------------------------------------------------------------------------

PluginBase::PluginBase(PluginDescription description) : description_(std::move(description)) {
  module::InstanceCreated();
}
PluginBase::~PluginBase() {
  module::InstanceDestroyed();
}

void* PluginBase::QueryInterface(std::string_view name) noexcept {
  if (name == FormCatalog::InterfaceName) return dynamic_cast<FormCatalog*>(this);
  return name == Plugin::InterfaceName ? static_cast<Plugin*>(this) : nullptr;
}

Status PluginBase::Plugin_Apply(vlm::Scene* scene, vlm::SceneGraph* sceneGraph, int32_t DeviceID,
                                std::span<const float>, std::span<const int32_t>,
                                const std::string&) noexcept {
  return Guard([&] {
    if (!scene || !sceneGraph) Raise(err::ObjectRequired);
    Apply(*scene, *sceneGraph, DeviceID);
  });
}

Status PluginBase::Plugin_Author(std::string& value) noexcept {
  return Give(value, description_.author);
}
Status PluginBase::Plugin_PluginClass(int32_t& value) noexcept {
  return Give(value, description_.pluginClass);
}
Status PluginBase::Plugin_Cost(int32_t& value) noexcept {
  return Give(value, description_.cost);
}
Status PluginBase::Plugin_Icon(Picture& value) noexcept {
  return Give(value, Picture{});
}
Status PluginBase::Plugin_Name(std::string& value) noexcept {
  return Give(value, description_.name);
}

Status PluginBase::Plugin_GetValidation(ValidationRecord& record) noexcept {
  if (const auto& v = description_.validation) {
    record.ValidMinComponents = v->minComponents;
    record.ValidMaxComponents = v->maxComponents;
    record.ValidMinShapeSubSelection = v->minShapeSubSelection;
    record.ValidMaxShapeSubSelection = v->maxShapeSubSelection;
  }
  return StatusOk;
}

// ---- PluginImportExport ---------------------------------------------------------------------

ImportExportBase::ImportExportBase(ImportExportDescription description)
    : description_(std::move(description)) {
  module::InstanceCreated();
}
ImportExportBase::~ImportExportBase() {
  module::InstanceDestroyed();
}

void* ImportExportBase::QueryInterface(std::string_view name) noexcept {
  if (name == FormCatalog::InterfaceName) return dynamic_cast<FormCatalog*>(this);
  return name == PluginImportExport::InterfaceName ? static_cast<PluginImportExport*>(this)
                                                   : nullptr;
}

Status ImportExportBase::PluginImportExport_Export(const std::string& ExportFileName,
                                                   Node* ExportGroup, vlm::SceneGraph* sceneGraph,
                                                   Unknown*, std::span<const float>,
                                                   std::span<const int32_t>,
                                                   const std::string&) noexcept {
  return Guard([&] {
    if (!sceneGraph) Raise(err::ObjectRequired);
    Export(ExportFileName, ExportGroup, *sceneGraph);
  });
}

Status ImportExportBase::PluginImportExport_Author(std::string& value) noexcept {
  return Give(value, description_.author);
}
Status ImportExportBase::PluginImportExport_PluginClass(int32_t& value) noexcept {
  return Give(value, description_.pluginClass);
}
Status ImportExportBase::PluginImportExport_Cost(int32_t& value) noexcept {
  return Give(value, description_.cost);
}
Status ImportExportBase::PluginImportExport_FileType(std::string& value) noexcept {
  return Give(value, description_.fileType);
}
Status ImportExportBase::PluginImportExport_FileTypeDescription(std::string& value) noexcept {
  return Give(value, description_.fileTypeDescription);
}
Status ImportExportBase::PluginImportExport_Import(const std::string&, Node*, vlm::SceneGraph*,
                                                   Unknown*, std::span<const float>,
                                                   std::span<const int32_t>,
                                                   const std::string&) noexcept {
  return StatusOk;
}
Status ImportExportBase::PluginImportExport_SupportExport(int16_t& value) noexcept {
  return Give(value, Flag(description_.supportExport));
}
Status ImportExportBase::PluginImportExport_SupportImport(int16_t& value) noexcept {
  return Give(value, Flag(description_.supportImport));
}
Status ImportExportBase::PluginImportExport_Icon(Picture& value) noexcept {
  return Give(value, Picture{});
}

// ---- Operation
// -----------------------------------------------------------------------------------

OperationBase::OperationBase(OperationDescription description)
    : description_(std::move(description)) {
  module::InstanceCreated();
}
OperationBase::~OperationBase() {
  module::InstanceDestroyed();
}

void* OperationBase::QueryInterface(std::string_view name) noexcept {
  return name == Operation::InterfaceName ? static_cast<Operation*>(this) : nullptr;
}

Status OperationBase::Operation_Apply(vlm::SceneGraph* sceneGraph, int32_t DeviceID, int32_t,
                                      int32_t, std::span<const float>,
                                      std::span<const float> UserDataSingles,
                                      std::span<const int32_t>, const std::string&,
                                      const std::string&, int16_t& result) noexcept {
  result = VbFalse;
  return Guard([&] {
    if (!sceneGraph) Raise(err::ObjectRequired);
    result = Flag(Apply(*sceneGraph, DeviceID, UserDataSingles));
  });
}

Status OperationBase::Operation_Author(std::string& value) noexcept {
  return Give(value, description_.author);
}
Status OperationBase::Operation_Icon(Picture& value) noexcept {
  return Guard([&] { value = Icon(); });
}
Status OperationBase::Operation_LayerClass(int32_t& value) noexcept {
  return Give(value, description_.layerClass);
}
Status OperationBase::Operation_Cost(int32_t& value) noexcept {
  return Give(value, description_.cost);
}
Status OperationBase::Operation_MultiShapeApplyMethod(int32_t& value) noexcept {
  return Give(value, description_.multiShapeApplyMethod);
}
Status OperationBase::Operation_Name(std::string& value) noexcept {
  return Give(value, description_.name);
}
Status OperationBase::Operation_GetParameters(
    vlm::SceneGraph*, int32_t, int32_t, std::vector<OperationParameter>& Parameters) noexcept {
  return Guard([&] { Parameters = GetParameters(); });
}
Status OperationBase::Operation_ToolTipText(std::string& value) noexcept {
  return Give(value, description_.toolTipText);
}
Status OperationBase::Operation_Version(int32_t& value) noexcept {
  return Give(value, description_.version);
}
Status OperationBase::Operation_IsDestructive(int16_t& value) noexcept {
  return Give(value, Flag(description_.isDestructive));
}
Status OperationBase::Operation_IsStandardFeature(int16_t& value) noexcept {
  return Give(value, Flag(description_.isStandardFeature));
}
Status OperationBase::Operation_ShowParameters(vlm::SceneGraph*, int32_t, int32_t) noexcept {
  return StatusOk;
}
Status OperationBase::Operation_SupportApplyMode(int32_t, int32_t ApplyMode, int32_t,
                                                 int16_t& result) noexcept {
  return Guard([&] { result = Flag(SupportApplyMode(ApplyMode)); });
}
Status OperationBase::Operation_SupportSelectionType(int32_t SelectionType,
                                                     int16_t& result) noexcept {
  return Guard([&] { result = Flag(SupportSelectionType(SelectionType)); });
}

}  // namespace vlm
