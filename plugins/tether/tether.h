// Tether: attaches FS10 model data (an attach point with an effect or a library object, a
// visibility tag, a mouse rectangle, a platform, a no-crash flag) to a part of the scene.
//
// The data is stored in the custom field "TetherData": on a new "TetherMark" group placed on
// the face when exactly one face is selected, otherwise on the group that holds the selected
// object.
#pragma once

#include <filesystem>

#include "vlm/contracts/form_catalog.h"
#include "vlm/model.h"
#include "vlm/plugin_bases.h"

namespace vlm {

class Tether final : public PluginBase, public FormCatalogBase {
 public:
  // `pluginFolder` holds "tether.xml" and the help file; empty means the folder of the
  // library the plug-in lives in.
  explicit Tether(std::filesystem::path pluginFolder = {});

 protected:
  // The dialogs the tool can show, as a first run shows them.
  std::vector<CatalogForm> CatalogForms() const override;
  void Apply(vlm::Scene& scene, vlm::SceneGraph& sceneGraph, int32_t deviceId) override;

 private:
  // The "TetherMark" group on `face`, `distance` units along its normal from its centre,
  // turned so that its up axis is the normal.
  vlm::Group& makeAttachmentGroup(vlm::Scene& scene, vlm::Object& object, vlm::Group& parent,
                                  vlm::Face& face, float distance);
  // The small pyramid that marks an attachment, added to `group`.
  void makeMarker(vlm::Scene& scene, vlm::Group& group);

  std::filesystem::path pluginFolder_;
};

}  // namespace vlm
