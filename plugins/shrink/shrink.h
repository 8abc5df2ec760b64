// shrink: pulls the vertices of the selected objects or faces in along their normals.
//
// Every vertex of the selected faces (of all faces, for a whole object) moves by one
// distance against the mean direction of the point normals that use it. The objects are
// changed in place; nothing is created.
#pragma once

#include <cstdint>
#include <vector>

#include "vlm/contracts/form_catalog.h"
#include "vlm/model.h"
#include "vlm/numeric_dialog.h"
#include "vlm/plugin_bases.h"

namespace vlm {

// The dialog: the distance to move, "Inset".
class frmShrink final : public NumericDialog {
 public:
  frmShrink();
  Label lbl;

 protected:
  std::string fieldLabel(int index) const override;
};

// One vertex of the object being shrunk.
struct ShrinkVertex {
  Vec3 position;   // as read at the start
  Vec3 normalSum;  // sum of the normals of the processed face points on this vertex
  int32_t uses = 0;
};

class Shrink final : public PluginBase, public FormCatalogBase {
 public:
  Shrink();

  float Amount = 0;

 protected:
  // The dialogs the tool can show, as a first run shows them.
  std::vector<CatalogForm> CatalogForms() const override;
  void Apply(vlm::Scene& scene, vlm::SceneGraph& sceneGraph, int32_t deviceId) override;

 private:
  void shrinkObject(vlm::Object& object);
  void addFace(int32_t face);
  // The face's plane normal, worked out again in double where the host's overflowed.
  Vec3 planeNormal(int32_t face);

  vlm::Object* object_ = nullptr;
  std::vector<ShrinkVertex> vertices_;
  std::vector<FacePoint> points_;  // the points of the face addFace reads
};

}  // namespace vlm
