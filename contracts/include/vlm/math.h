// Vectors of 32-bit floats and 4 x 4 matrices in row-vector convention.
//
// A point p maps to p x M: the translation sits in the last row (elements 12, 13, 14 of the
// row-major storage) and a product A x B applies A first, then B.
#pragma once

#include <array>
#include <cmath>

namespace vlm {

struct Vec2 {
  float u = 0, v = 0;
  friend bool operator==(const Vec2&, const Vec2&) = default;
};

struct Vec3 {
  float x = 0, y = 0, z = 0;
  friend bool operator==(const Vec3&, const Vec3&) = default;
};

inline Vec3 operator+(Vec3 a, Vec3 b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vec3 operator-(Vec3 a, Vec3 b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vec3 operator-(Vec3 a) {
  return {-a.x, -a.y, -a.z};
}
inline Vec3 operator*(Vec3 a, float s) {
  return {a.x * s, a.y * s, a.z * s};
}
inline Vec3 operator*(float s, Vec3 a) {
  return a * s;
}
inline Vec3& operator+=(Vec3& a, Vec3 b) {
  return a = a + b;
}

inline float Dot(Vec3 a, Vec3 b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Vec3 Cross(Vec3 a, Vec3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float Length(Vec3 a) {
  return std::sqrt(Dot(a, a));
}
// Unit vector in the direction of a; the zero vector stays the zero vector.
inline Vec3 Normalize(Vec3 a) {
  float len = Length(a);
  return len > 0 ? a * (1.0f / len) : Vec3{};
}

// Whether the float length of a keeps its digits: the sum of squares neither overflows nor
// falls below the smallest normal float (a zero vector has its length, 0).
inline bool HasFloatLength(Vec3 a) {
  const float squares = Dot(a, a);
  return std::isfinite(squares) && (squares >= 1.17549435e-38f || a == Vec3{});
}

// The length worked out in double precision, for vectors whose float length would not do.
inline double PreciseLength(Vec3 a) {
  const double x = a.x, y = a.y, z = a.z;
  return std::sqrt(x * x + y * y + z * z);
}

// The dot product in double precision.
inline double PreciseDot(Vec3 a, Vec3 b) {
  return double{a.x} * b.x + double{a.y} * b.y + double{a.z} * b.z;
}

// Like Normalize, but a very long or very short vector (edges near 1e19, or 1e-20) keeps its
// direction: there the length is worked out in double. Ordinary vectors give exactly what
// Normalize gives. The zero vector, and a vector that is not finite, give the zero vector.
inline Vec3 Direction(Vec3 a) {
  if (HasFloatLength(a)) return Normalize(a);
  const double length = PreciseLength(a);
  if (!(length > 0) || !std::isfinite(length)) return Vec3{};
  return {static_cast<float>(a.x / length), static_cast<float>(a.y / length),
          static_cast<float>(a.z / length)};
}

// The unit normal of a polygon by Newell's method, in double precision so that the products
// of very large coordinates do not overflow; the zero vector when it encloses no area.
template <class Points>
Vec3 PolygonNormal(const Points& points) {
  double n[3] = {0, 0, 0};
  const size_t count = points.size();
  for (size_t i = 0; i < count; ++i) {
    const Vec3 a = points[i], b = points[(i + 1) % count];
    n[0] += (double{a.y} - b.y) * (double{a.z} + b.z);
    n[1] += (double{a.z} - b.z) * (double{a.x} + b.x);
    n[2] += (double{a.x} - b.x) * (double{a.y} + b.y);
  }
  const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  if (!(length > 0) || !std::isfinite(length)) return Vec3{};
  return {static_cast<float>(n[0] / length), static_cast<float>(n[1] / length),
          static_cast<float>(n[2] / length)};
}

// A normal the host gave is usable when it is finite and not zero.
inline bool IsUsableNormal(Vec3 n) {
  return std::isfinite(n.x) && std::isfinite(n.y) && std::isfinite(n.z) && n != Vec3{};
}

struct Mat4 {
  std::array<float, 16> m{};  // row-major: m[4 * row + column]

  float& operator()(int row, int column) { return m[static_cast<size_t>(4 * row + column)]; }
  float operator()(int row, int column) const { return m[static_cast<size_t>(4 * row + column)]; }
  friend bool operator==(const Mat4&, const Mat4&) = default;

  static Mat4 Identity() {
    Mat4 r;
    r(0, 0) = r(1, 1) = r(2, 2) = r(3, 3) = 1.0f;
    return r;
  }
};

// a x b
inline Mat4 Multiply(const Mat4& a, const Mat4& b) {
  Mat4 r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      float s = 0;
      for (int k = 0; k < 4; ++k)
        s += a(i, k) * b(k, j);
      r(i, j) = s;
    }
  return r;
}

inline Mat4 Transpose(const Mat4& a) {
  Mat4 r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      r(i, j) = a(j, i);
  return r;
}

// The row-vector form (p x M) of a move by t.
inline Mat4 Translation(Vec3 t) {
  Mat4 m = Mat4::Identity();
  m(3, 0) = t.x;
  m(3, 1) = t.y;
  m(3, 2) = t.z;
  return m;
}

// The inverse of a rigid row-vector transform (an orthonormal turn and a move).
inline Mat4 RigidInverse(const Mat4& m) {
  Mat4 r = Mat4::Identity();
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      r(i, j) = m(j, i);
  for (int j = 0; j < 3; ++j)
    r(3, j) = -(m(3, 0) * r(0, j) + m(3, 1) * r(1, j) + m(3, 2) * r(2, j));
  return r;
}

// p x M with w = 1 (the translation applies).
inline Vec3 TransformPoint(Vec3 p, const Mat4& m) {
  return {p.x * m(0, 0) + p.y * m(1, 0) + p.z * m(2, 0) + m(3, 0),
          p.x * m(0, 1) + p.y * m(1, 1) + p.z * m(2, 1) + m(3, 1),
          p.x * m(0, 2) + p.y * m(1, 2) + p.z * m(2, 2) + m(3, 2)};
}

// d x M with w = 0 (no translation, not re-normalised).
inline Vec3 TransformDirection(Vec3 d, const Mat4& m) {
  return {d.x * m(0, 0) + d.y * m(1, 0) + d.z * m(2, 0),
          d.x * m(0, 1) + d.y * m(1, 1) + d.z * m(2, 1),
          d.x * m(0, 2) + d.y * m(1, 2) + d.z * m(2, 2)};
}

}  // namespace vlm
