#include "tether/tether.h"

#include "fs10/attachment.h"
#include "fs10/tether_config.h"
#include "tether/tether_dialog.h"
#include "vlm/forms.h"
#include "vlm/plugin_folder.h"
#include "vlm/refusal.h"

namespace vlm {
namespace {

const char* const kSelectMessage = "Please select an Shape or a face for the Attachment tool";

}  // namespace

Tether::Tether(std::filesystem::path pluginFolder)
    : PluginBase({.name = "Tether Tool",
                  .author = "Ardo Venmark",
                  .cost = 3,
                  .pluginClass = 0,
                  .validation = PluginDescription::Counts{1, 1, 0, 1}}),
      pluginFolder_(std::move(pluginFolder)) {}

void Tether::Apply(vlm::Scene& scene, vlm::SceneGraph& sceneGraph, int32_t) {
  try {
    const std::filesystem::path folder =
        pluginFolder_.empty() ? tetherconfig::ModuleFolder() : pluginFolder_;
    const int32_t slot = attachment::TetherDataSlot(sceneGraph);
    SetHelpFile(PluginHelpFile(folder));

    // Nothing to attach to: say so before any dialog and change nothing.
    if (scene.SelectedObjectCount() < 1) {
      RefuseRun(kSelectMessage, mb::OKOnly | mb::Information);
      return;
    }
    vlm::Object* object = scene.SelectedObject(0);
    vlm::Group* parent = object->Parent();
    tether::frmDialog dialog(folder);

    vlm::Face* face = nullptr;
    if (object->SelectedFaceCount() == 1) {
      face = object->Face(object->SelectedFace(0));
    } else {
      dialog.lblMessage.SetCaption("Applying Changes to Active Shape - " + object->Name());
      dialog.sldDist.SetVisible(false);
      dialog.lblSlide.SetVisible(false);
    }

    dialog.ShowModal();
    // Cancel changes nothing and needs no message.
    if (dialog.OK) {
      const std::string text = attachment::StoredText(dialog.attachText);
      if (face) {
        const float distance = static_cast<float>(dialog.sldDist.Value()) / 100.0f;
        makeAttachmentGroup(scene, *object, *parent, *face, distance).SetCustomField(slot, text);
      } else {
        parent->SetCustomField(slot, text);
      }
    }
    dialog.Unload();
  } catch (const Error& e) {
    ReportPluginError(e);
  }
}

vlm::Group& Tether::makeAttachmentGroup(vlm::Scene& scene, vlm::Object& object, vlm::Group& parent,
                                        vlm::Face& face, float distance) {
  const Vec3 n = face.GetNormal();
  const int32_t count = face.PointCount();
  Vec3 sum;
  for (int32_t i = 0; i < count; ++i)
    sum += object.GetVertex(face.PointVertex(i));
  const Vec3 centre{CheckedDivide(sum.x, static_cast<float>(count)),
                    CheckedDivide(sum.y, static_cast<float>(count)),
                    CheckedDivide(sum.z, static_cast<float>(count))};
  const Vec3 position = centre + distance * n;

  vlm::Group* group = scene.CreateGroup();
  parent.AddGroup(group);
  makeMarker(scene, *group);
  group->SetPosition(&parent, 0, position);
  group->SetName("TetherMark");

  // Forward is the normal turned a quarter round the y axis, so it lies across the face. A
  // normal along y has no such turn; any horizontal forward then serves, and +z is taken.
  Vec3 forward{-n.z, 0, n.x};
  if (n.x == 0 && n.z == 0) forward.z = 1;
  group->SetOrientation(&parent, 0, Normalize(forward), n);
  return *group;
}

void Tether::makeMarker(vlm::Scene& scene, vlm::Group& group) {
  vlm::Material* material = scene.CreateMaterial();
  material->SetAmbientLevel(50);
  material->SetDiffuseTexture("");
  material->SetBumpTexture("");
  material->SetDetailTexture("");
  material->SetTranslucency(50);
  material->SetDiffuseColor(0.9686275f, 0.02745098f, 1.0f);  // 247, 7, 255

  vlm::Object* marker = scene.CreateObject();
  marker->AddTextureCoordinate({0, 0});
  marker->AddVertex({0, 0.1f, 0});
  marker->AddVertex({0.05f, 0, 0.05f});
  marker->AddVertex({0.05f, 0, -0.05f});
  marker->AddVertex({-0.05f, 0, -0.05f});
  marker->AddVertex({-0.05f, 0, 0.05f});
  marker->AddNormal({0, 1, 0});
  marker->AddNormal({0, -1, 0});

  // One triangle of the base, facing down, and the four sides meeting at the tip.
  struct Triangle {
    int32_t a, b, c, normal;
  };
  for (const Triangle& t : {Triangle{3, 2, 1, 1}, Triangle{1, 2, 0, 0}, Triangle{2, 3, 0, 0},
                            Triangle{3, 4, 0, 0}, Triangle{4, 1, 0, 0}}) {
    vlm::Face* face = marker->AddFace();
    face->AddPoint(t.a, t.normal, 0);
    face->AddPoint(t.b, t.normal, 0);
    face->AddPoint(t.c, t.normal, 0);
    face->SetMaterial(material);
  }
  marker->SetSmoothingAngle(60);
  marker->GenerateNormals();
  group.AddObject(marker);
  marker->SetName("TetherMark");
}

std::vector<CatalogForm> Tether::CatalogForms() const {
  return {MakeCatalogForm<tether::frmDialog>(
      "frmDialog", pluginFolder_.empty() ? tetherconfig::ModuleFolder() : pluginFolder_)};
}

}  // namespace vlm
