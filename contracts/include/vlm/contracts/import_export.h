// The export plug-in contract (PluginImportExport). Its plug-in side, ImportExportBase, is the
// plug-ins' own (plugins/common, vlm/plugin_bases.h).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "vlm/component.h"
#include "vlm/contracts/plugin.h"
#include "vlm/error.h"
#include "vlm/picture.h"

namespace vlm {

class Node;
class SceneGraph;

class PluginImportExport {
 public:
  static constexpr std::string_view InterfaceName = "PluginImportExport";

  // Runs the export of ExportGroup (the root node: the exporter chooses) to ExportFileName.
  // ApplicationState and the user-data arguments are not read.
  virtual Status PluginImportExport_Export(const std::string& ExportFileName, Node* ExportGroup,
                                           SceneGraph* sceneGraph, Unknown* ApplicationState,
                                           std::span<const float> UserDataSingles,
                                           std::span<const int32_t> UserDataLongs,
                                           const std::string& UserDataString) noexcept = 0;
  virtual Status PluginImportExport_Author(std::string& value) noexcept = 0;
  virtual Status PluginImportExport_PluginClass(int32_t& value) noexcept = 0;
  virtual Status PluginImportExport_Cost(int32_t& value) noexcept = 0;
  virtual Status PluginImportExport_FileType(std::string& value) noexcept = 0;  // no dot
  virtual Status PluginImportExport_FileTypeDescription(std::string& value) noexcept = 0;
  virtual Status PluginImportExport_Import(const std::string& ImportFileName, Node* ImportGroup,
                                           SceneGraph* sceneGraph, Unknown* ApplicationState,
                                           std::span<const float> UserDataSingles,
                                           std::span<const int32_t> UserDataLongs,
                                           const std::string& UserDataString) noexcept = 0;
  virtual Status PluginImportExport_SupportExport(int16_t& value) noexcept = 0;
  virtual Status PluginImportExport_SupportImport(int16_t& value) noexcept = 0;
  virtual Status PluginImportExport_Icon(Picture& value) noexcept = 0;

 protected:
  ~PluginImportExport() = default;
};

}  // namespace vlm
