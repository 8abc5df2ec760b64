// Motive: prepares selected nodes for an FS10 animation. For each node the user picks one of
// the animations of the simulator's part definitions file; the node is renamed to the
// animation's name and a suffix, and a visibility tag can be stored in its "TetherData"
// field (replacing what Tether or an earlier run stored there).
#pragma once

#include <filesystem>
#include <string>

#include "vlm/contracts/form_catalog.h"
#include "vlm/model.h"
#include "vlm/plugin_bases.h"

namespace vlm {

class Motive final : public PluginBase, public FormCatalogBase {
 public:
  // `pluginFolder` holds "tether.xml", the fall-back "modeldef.xml" and the help file; empty
  // means the folder of the library the plug-in lives in.
  explicit Motive(std::filesystem::path pluginFolder = {});

 protected:
  // The dialogs the tool can show, as a first run shows them.
  std::vector<CatalogForm> CatalogForms() const override;
  void Apply(vlm::Scene& scene, vlm::SceneGraph& sceneGraph, int32_t deviceId) override;

 private:
  // Renames the node (when a new name was chosen) and stores the visibility tag.
  static void applyToNode(vlm::Node& node, int32_t slot, const std::string& newName,
                          const std::string& attachText);

  std::filesystem::path pluginFolder_;
};

}  // namespace vlm
