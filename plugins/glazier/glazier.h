// Glazier: the FS10 material editor.
//
// Applied to a selected object, it finds the materials concerned (those of the sub-selected
// faces, else all of the object's), lets the user pick one when there are several, opens the
// FS10 options dialog on that material's record and stores the result as the material's
// "FS10" custom field. The picker can copy the same parameters to the other materials.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "vlm/contracts/form_catalog.h"
#include "vlm/model.h"
#include "vlm/plugin_bases.h"

namespace vlm {

class Glazier final : public PluginBase, public FormCatalogBase {
 public:
  // `pluginFolder` holds the help file and the user library; empty means the folder of the
  // library this code was loaded from.
  explicit Glazier(std::filesystem::path pluginFolder = {});

  const std::filesystem::path& PluginFolder() const { return folder_; }

  // The slot of the material custom field "FS10", looked up at every apply.
  int32_t FieldId = -1;

 protected:
  // The dialogs the tool can show, as a first run shows them.
  std::vector<CatalogForm> CatalogForms() const override;
  void Apply(vlm::Scene& scene, vlm::SceneGraph& sceneGraph, int32_t deviceId) override;

 private:
  void ApplyToSelection(vlm::Scene& scene, vlm::SceneGraph& sceneGraph);
  // Edits one of the materials: at once when there is one, through the picker otherwise.
  void EditOneOf(const std::vector<vlm::Material*>& materials);
  // Opens the options dialog on the material's record and stores its string at OK, which it
  // returns; nothing on Cancel.
  std::optional<std::string> EditMaterial(vlm::Material& material);

  std::filesystem::path folder_;
};

}  // namespace vlm
