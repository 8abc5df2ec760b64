#include "motive/motive.h"

#include "fs10/attachment.h"
#include "fs10/tether_config.h"
#include "motive/motive_dialog.h"
#include "vlm/forms.h"
#include "vlm/plugin_folder.h"
#include "vlm/refusal.h"

namespace vlm {

Motive::Motive(std::filesystem::path pluginFolder)
    : PluginBase({.name = "Motive Helper",
                  .author = "Ardo Venmark",
                  .cost = 3,
                  .pluginClass = 0,
                  .validation = PluginDescription::Counts{1, 999, 0, 999}}),
      pluginFolder_(std::move(pluginFolder)) {}

namespace {

// "1 group", "2 objects".
std::string Counted(int32_t count, const char* noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// What the selection holds when it holds no node: what the user chose instead.
std::string SelectionInstead(vlm::Scene& scene, vlm::SceneGraph& sceneGraph, int32_t deviceId) {
  if (const int32_t groups = scene.SelectedGroupCount(); groups > 0)
    return Counted(groups, "group") + " of the group hierarchy";
  if (const int32_t objects = scene.SelectedObjectCount(); objects > 0)
    return Counted(objects, "object");
  if (const int32_t shapes = sceneGraph.SelectedShapeCount(deviceId); shapes > 0)
    return Counted(shapes, "shape");
  return "nothing";
}

}  // namespace

// One dialog per selected node, each starting empty. An error stops the run with the
// "Plugin Error" message; the nodes done before it keep their changes.
void Motive::Apply(vlm::Scene& scene, vlm::SceneGraph& sceneGraph, int32_t deviceId) {
  try {
    const std::filesystem::path folder =
        pluginFolder_.empty() ? tetherconfig::ModuleFolder() : pluginFolder_;
    const int32_t slot = attachment::TetherDataSlot(sceneGraph);
    SetHelpFile(PluginHelpFile(folder));

    const int32_t n = sceneGraph.SelectedNodeCount(deviceId);
    if (n <= 0) {
      RefuseRun(
          "Please select a group for the FSX Animation tool as a node of the scene graph; "
          "the selection holds " +
              SelectionInstead(scene, sceneGraph, deviceId),
          mb::OKOnly | mb::Information);
      return;
    }
    for (int32_t i = 0; i < n; ++i) {
      vlm::Node* node = sceneGraph.SelectedNode(deviceId, i);
      motive::frmDialog dialog(folder);
      dialog.ShowModal();
      if (dialog.OK) applyToNode(*node, slot, dialog.newName, dialog.attachText);
      dialog.Unload();
    }
  } catch (const Error& e) {
    ReportPluginError(e);
  }
}

void Motive::applyToNode(vlm::Node& node, int32_t slot, const std::string& newName,
                         const std::string& attachText) {
  if (!newName.empty()) node.SetName(newName);
  node.SetCustomField(slot, attachment::StoredText(attachText));
}

std::vector<CatalogForm> Motive::CatalogForms() const {
  return {MakeCatalogForm<motive::frmDialog>(
      "frmDialog", pluginFolder_.empty() ? tetherconfig::ModuleFolder() : pluginFolder_, true)};
}

}  // namespace vlm
