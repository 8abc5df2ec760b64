// The matrices of the transform step: turns, scales and moves as row-vector matrices (a point
// is a row, the translation the fourth row), and a group's frame set from one.
#pragma once

#include "scene/node.h"
#include "vlm/math.h"

namespace vlm::host::transform_matrices {

Vec3 Row(const Mat4& m, int row);
void SetRow(Mat4& m, int row, Vec3 v);
Mat4 Diagonal(Vec3 d);
// `linear` done about `pivot` instead of the origin.
Mat4 AboutPoint(const Mat4& linear, Vec3 pivot);
// A right-handed turn by `degrees` about world axis 0 (x), 1 (y) or 2 (z). Quarter turns are
// exact, so that a model turned by 90 degrees keeps its round coordinates.
Mat4 Turn(int axis, double degrees);
// The world matrix of a group's parent; the identity for none.
Mat4 ParentWorld(const HostNode* parent);
// A group's frame from a local matrix, its axes made orthonormal again (forward kept, up made
// square to it) so that many turns do not let them drift.
void SetFrame(HostNode& group, const Mat4& local);

}  // namespace vlm::host::transform_matrices
