// Flare: extrudes the selected polygons of the selected shapes in several steps, the sides
// flaring outward (or inward) along a curve, and replaces each polygon by the extruded cap.
//
// The host edits the four parameters itself (Extrude, Bevel, Step, Scale) and hands their
// values to Operation_Apply; Flare only reads their remembered values.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "vlm/model.h"
#include "vlm/plugin_bases.h"

namespace vlm {

class Flare final : public OperationBase {
 public:
  Flare();

  // The angle whose sine and cosine are proportional to s and c; for s >= 0 it lies in
  // [0, pi].
  static double AtnFromSinCos(double s, double c);

 protected:
  bool Apply(vlm::SceneGraph& sceneGraph, int32_t deviceId,
             std::span<const float> userDataSingles) override;
  std::vector<OperationParameter> GetParameters() override;
  bool SupportSelectionType(int32_t selectionType) override { return selectionType == 1; }
  Picture Icon() override;

 private:
  // The parameter values of one run: total height E along the face normal, total outward
  // offset B of the sides, N steps, and the blend S between a straight chamfer (0) and the
  // curved profile (1). Ring k (1..N) of every corner lies rise[k - 1] along the face normal
  // and spread[k - 1] along the corner's miter vector: the same for every polygon.
  struct Profile {
    float E = 0, B = 0, S = 0;
    int16_t N = 0;
    std::vector<float> rise, spread;
  };
  // What the selected polygons of one shape become, worked out before anything is added: the
  // new positions of each polygon in turn, ring k (1..N) of its corner j at N * j + k - 1 of
  // its own.
  struct ShapeWork {
    vlm::Shape* shape = nullptr;
    std::vector<int32_t> polygons;
    std::vector<Vec3> positions;
  };

  static Profile readProfile(std::span<const float> userDataSingles);
  // Appends the polygon's rings to `positions`, its corners' position indices in `corners`.
  // Raises an error naming the shape and the polygon when the polygon cannot be flared.
  static void computeRings(vlm::Shape& shape, int32_t polygon, const Profile& p,
                           std::vector<int32_t>& corners, std::vector<Vec3>& positions);
  // The corner's miter vector: moving the corner by d x t moves both adjacent edges outward
  // by t in the face plane. `where` names the corner when it has none.
  template <class Where>
  static Vec3 miterVector(Vec3 Pp, Vec3 P, Vec3 Pn, Vec3 n, const Where& where);
  // Adds the worked-out positions, each polygon's cap and sides, and drops the polygons.
  static void extrude(ShapeWork& work, const Profile& p);
};

}  // namespace vlm
