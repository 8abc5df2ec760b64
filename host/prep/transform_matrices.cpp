#include "prep/transform_matrices.h"

#include <cmath>
#include <numbers>

namespace vlm::host::transform_matrices {

Vec3 Row(const Mat4& m, int row) {
  return {m(row, 0), m(row, 1), m(row, 2)};
}

void SetRow(Mat4& m, int row, Vec3 v) {
  m(row, 0) = v.x;
  m(row, 1) = v.y;
  m(row, 2) = v.z;
}

Mat4 Diagonal(Vec3 d) {
  Mat4 m = Mat4::Identity();
  m(0, 0) = d.x;
  m(1, 1) = d.y;
  m(2, 2) = d.z;
  return m;
}

Mat4 AboutPoint(const Mat4& linear, Vec3 pivot) {
  return Multiply(Multiply(Translation(-pivot), linear), Translation(pivot));
}

Mat4 Turn(int axis, double degrees) {
  double r = std::fmod(degrees, 360.0);
  if (r < 0) r += 360;
  double c, s;
  if (r == 0) {
    c = 1, s = 0;
  } else if (r == 90) {
    c = 0, s = 1;
  } else if (r == 180) {
    c = -1, s = 0;
  } else if (r == 270) {
    c = 0, s = -1;
  } else {
    c = std::cos(r * std::numbers::pi / 180);
    s = std::sin(r * std::numbers::pi / 180);
  }
  // The turn takes axis a toward axis b: x toward y about z, y toward z about x, z toward x
  // about y.
  const int a = (axis + 1) % 3, b = (axis + 2) % 3;
  Mat4 m = Mat4::Identity();
  m(a, a) = static_cast<float>(c);
  m(a, b) = static_cast<float>(s);
  m(b, a) = static_cast<float>(-s);
  m(b, b) = static_cast<float>(c);
  return m;
}

Mat4 ParentWorld(const HostNode* parent) {
  return parent ? parent->WorldMatrix() : Mat4::Identity();
}

void SetFrame(HostNode& group, const Mat4& local) {
  const Vec3 forward = Normalize(Row(local, 2));
  const Vec3 up = Row(local, 1);
  const Vec3 square = Normalize(up - forward * Dot(up, forward));
  group.position = Row(local, 3);
  if (forward != Vec3{} && square != Vec3{}) {
    group.forward = forward;
    group.up = square;
  }
}

}  // namespace vlm::host::transform_matrices
