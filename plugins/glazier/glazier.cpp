#include "glazier/glazier.h"

#include <algorithm>

#include "glazier/frm_dialog.h"
#include "glazier/frm_options.h"
#include "glazier/fs10_material.h"
#include "vlm/component.h"
#include "vlm/forms.h"
#include "vlm/plugin_folder.h"
#include "vlm/refusal.h"

namespace vlm {
namespace {

std::filesystem::path ModuleFolder() {
  return PluginFolder(reinterpret_cast<const void*>(&ModuleFolder));
}

}  // namespace

Glazier::Glazier(std::filesystem::path pluginFolder)
    : PluginBase({.name = "FS10 Material Editor",
                  .author = "Ardo Venmark",
                  .cost = 99,
                  .pluginClass = 0,
                  .validation = PluginDescription::Counts{1, 1, 0, 999}}),
      folder_(pluginFolder.empty() ? ModuleFolder() : std::move(pluginFolder)) {}

void Glazier::Apply(vlm::Scene& scene, vlm::SceneGraph& sceneGraph, int32_t) {
  try {
    SetHelpFile(PluginHelpFile(folder_));
    ApplyToSelection(scene, sceneGraph);
  } catch (const Error& e) {
    ReportPluginError(e);
  } catch (const std::exception& e) {
    ReportPluginError(Error(err::InvalidProcedureCall, e.what()));
  }
}

void Glazier::ApplyToSelection(vlm::Scene& scene, vlm::SceneGraph& sceneGraph) {
  vlm::Node* root = sceneGraph.Document()->RootNode();
  FieldId = root->FindMaterialCustomField("FS10");
  if (FieldId < 0) FieldId = root->AddMaterialCustomField("FS10");

  if (scene.SelectedObjectCount() <= 0) {
    RefuseRun("Please select something in the group hierarchy you wish to update",
              mb::Information | mb::OKOnly);
    return;
  }

  vlm::Object* object = scene.SelectedObject(0);
  std::vector<vlm::Material*> materials;
  const bool faces = object->SelectionMode() == 1;
  if (faces) {
    // The distinct materials of the sub-selected faces, by identity, in first-seen order.
    // A face without a material has nothing to edit.
    for (int32_t j = 0; j < object->SelectedFaceCount(); ++j) {
      vlm::Material* m = object->Face(object->SelectedFace(j))->Material();
      if (m && std::find(materials.begin(), materials.end(), m) == materials.end())
        materials.push_back(m);
    }
  } else {
    for (int32_t i = 0; i < object->MaterialCount(); ++i)
      materials.push_back(object->Material(i));
  }

  if (materials.empty()) {
    RefuseRun(
        faces ? "The selected faces have no material." : "The selected object has no material.",
        mb::Information | mb::OKOnly);
    return;
  }
  EditOneOf(materials);
}

void Glazier::EditOneOf(const std::vector<vlm::Material*>& materials) {
  if (materials.size() == 1) {
    EditMaterial(*materials.front());
    return;
  }
  glazier::frmDialog picker;
  for (vlm::Material* m : materials)
    picker.Add(m);
  picker.ShowModal();
  if (!picker.OK || !picker.SelMaterial) return;

  const std::optional<std::string> s = EditMaterial(*picker.SelMaterial);
  if (!s || picker.chkCopy.Value() == 0) return;
  for (vlm::Material* m : materials) {
    if (m != picker.SelMaterial) m->SetCustomField(FieldId, *s);
  }
}

std::optional<std::string> Glazier::EditMaterial(vlm::Material& material) {
  FS10Material record;
  record.Create(material, FieldId);
  if (!record.Edit(folder_)) return std::nullopt;
  std::string s = record.toString();
  material.SetCustomField(FieldId, s);
  return s;
}

namespace {

// The options dialog on a record of its own: a material without FS10 parameters and without
// translucency, as a first edit shows it.
class CatalogOptions final : public glazier::frmOptions {
 public:
  explicit CatalogOptions(const std::filesystem::path& folder) {
    record_.SrcBlend = "One";
    record_.DstBlend = "Zero";
    fx = &record_;
    PluginFolder = folder;
  }

 private:
  FS10Material record_;
};

}  // namespace

std::vector<CatalogForm> Glazier::CatalogForms() const {
  return {MakeCatalogForm<glazier::frmDialog>("frmDialog"),
          MakeCatalogForm<CatalogOptions>("frmOptions", folder_)};
}

}  // namespace vlm
