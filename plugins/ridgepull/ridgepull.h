// Ridgepull: builds a moulding along the outline of faces.
//
// For every selected face (every face of a whole selected object) a raised frame that
// follows the face's outline is added to a new object "Moulding" in the source object's
// group. The frame's cross-section is set by Inset, Extrude and Bevel, with an optional
// underside; the source objects are not changed.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "vlm/contracts/form_catalog.h"
#include "vlm/model.h"
#include "vlm/numeric_dialog.h"
#include "vlm/plugin_bases.h"

namespace vlm {

// The dialog: Inset, Extrude and Bevel, and whether to close the underside.
class frmEEx final : public NumericDialog {
 public:
  frmEEx();
  ControlArray<Label> lbl;
  CheckBox chkInside;

 protected:
  void loadSettings() override;
  void saveSettings() override;
  std::string fieldLabel(int index) const override;
};

// One point of a face's outline with what the moulding needs there.
struct RingPoint {
  int32_t vertexIndex = 0;
  Vec3 position;
  Vec3 faceNormal;        // unit
  float cornerAngle = 0;  // radians, between the two edges meeting here
  Vec3 bisector;          // unit, halving the corner
  Vec3 vertexNormal;      // unit sum of the normals of the processed faces at the vertex
  bool shared = false;    // the vertex is used by more than two processed faces
};

// The outline of one face, in the face's point order.
struct EdgeRing {
  int32_t pointCount = 0;
  std::vector<RingPoint> points;
};

class Ridgepull final : public PluginBase, public FormCatalogBase {
 public:
  Ridgepull();

  float Inset = 0;
  float Extrude = 0;
  float Bevel = 0;
  bool Inside = false;

  // Angle between two vectors in [0, pi]; 0 when they are (anti)parallel to float precision.
  // Error 11 when either has no length.
  static float angleBetween(Vec3 a, Vec3 b);

 protected:
  // The dialogs the tool can show, as a first run shows them.
  std::vector<CatalogForm> CatalogForms() const override;
  void Apply(vlm::Scene& scene, vlm::SceneGraph& sceneGraph, int32_t deviceId) override;

 private:
  void processObject(vlm::Object& object);
  EdgeRing buildRing(int32_t face);
  void finishRing(EdgeRing& ring);
  void emitRing(const EdgeRing& ring);
  void release();
  // The two edges at point i of a ring, from the point to its previous and next neighbour.
  static std::pair<Vec3, Vec3> edgesAt(const EdgeRing& ring, int32_t i);

  vlm::Object* source = nullptr;
  vlm::Object* target = nullptr;
  std::vector<Vec3> vertexNormalSums;
  std::vector<int32_t> vertexUseCounts;
  std::vector<EdgeRing> rings;
  std::vector<int32_t> newVertexIndices;  // 4 per ring point: Q0, Q1, Q2, Q3
  std::vector<FacePoint> facePoints;      // the points of the face buildRing reads
};

}  // namespace vlm
