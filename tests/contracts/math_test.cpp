#include "vlm/math.h"

#include <gtest/gtest.h>

namespace vlm {
namespace {

Mat4 Translation(float x, float y, float z) {
  Mat4 m = Mat4::Identity();
  m(3, 0) = x, m(3, 1) = y, m(3, 2) = z;
  return m;
}

// A quarter turn about +z: x goes to y.
Mat4 QuarterTurnZ() {
  Mat4 m = Mat4::Identity();
  m(0, 0) = 0, m(0, 1) = 1, m(1, 0) = -1, m(1, 1) = 0;
  return m;
}

TEST(Vectors, BasicOperations) {
  EXPECT_EQ(Cross({1, 0, 0}, {0, 1, 0}), (Vec3{0, 0, 1}));
  EXPECT_EQ(Dot({1, 2, 3}, {4, 5, 6}), 32.0f);
  EXPECT_EQ(Length({3, 4, 0}), 5.0f);
  EXPECT_EQ(Normalize({0, 0, 2}), (Vec3{0, 0, 1}));
  // A zero vector has no direction: it stays zero instead of becoming NaN.
  EXPECT_EQ(Normalize({0, 0, 0}), (Vec3{0, 0, 0}));
}

TEST(Matrices, RowVectorConventionAppliesTheLeftFactorFirst) {
  const Vec3 p{1, 0, 0};
  // Turn, then move: (0, 1, 0) + (5, 0, 0).
  EXPECT_EQ(TransformPoint(p, Multiply(QuarterTurnZ(), Translation(5, 0, 0))), (Vec3{5, 1, 0}));
  // Move, then turn: (6, 0, 0) turned.
  EXPECT_EQ(TransformPoint(p, Multiply(Translation(5, 0, 0), QuarterTurnZ())), (Vec3{0, 6, 0}));
  // Directions ignore the translation.
  EXPECT_EQ(TransformDirection(p, Multiply(QuarterTurnZ(), Translation(5, 0, 0))), (Vec3{0, 1, 0}));
  EXPECT_EQ(Multiply(Mat4::Identity(), QuarterTurnZ()), QuarterTurnZ());
}

TEST(Matrices, TransposeMovesTheTranslationToTheLastColumn) {
  Mat4 t = Transpose(Translation(1, 2, 3));
  EXPECT_EQ(t(0, 3), 1.0f);
  EXPECT_EQ(t(1, 3), 2.0f);
  EXPECT_EQ(t(2, 3), 3.0f);
  EXPECT_EQ(t(3, 0), 0.0f);
  EXPECT_EQ(Transpose(t), Translation(1, 2, 3));
  // Storage order: the translation of the row-vector form is in elements 12 to 14.
  EXPECT_EQ(Translation(1, 2, 3).m[12], 1.0f);
  EXPECT_EQ(Translation(1, 2, 3).m[14], 3.0f);
}

}  // namespace
}  // namespace vlm
